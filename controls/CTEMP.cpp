#include "controls/CTEMP.h"

#include <oleacc.h>

#include "framework/Art.h"
#include "framework/Dpi.h"
#include "framework/Resources.h"

BEGIN_MESSAGE_MAP(CTEMP, CStatic)
    ON_MESSAGE(WM_PAINT, OnPaint)
    ON_MESSAGE(kDpiChangedAfterParent, OnDpiChangedAfterParent)
    ON_WM_GETOBJECT_ACCESSIBLE()
END_MESSAGE_MAP()

void CTEMP::Describe(AccessibleFacts& facts) const
{
    facts.role = ROLE_SYSTEM_GRAPHIC;
    facts.states = STATE_SYSTEM_INVISIBLE;
}

void CTEMP::ShowBitmap(UINT id)
{
    const Picture* picture = m_hWnd ? Find(id) : nullptr;
    // The picture shown stays on screen: painting puts it back whenever the
    // window is uncovered, so only a new one is drawn.
    if (!picture || picture == m_shown || !Select(picture, id)) return;
    CClientDC window(m_hWnd);
    Paint(window);
}

bool CTEMP::Select(const Picture* picture, UINT id)
{
    if (!m_pictureDC.Select(nullptr, picture->bitmap)) return false;
    m_shown = picture;
    m_shownId = id;
    return true;
}

// Sent by the indicator's window when its DPI changes, and by Windows after
// it: only a DPI the pictures are not for drops them and takes the shown one
// again, at the size the first picture has at the new DPI.
LRESULT CTEMP::OnDpiChangedAfterParent(WPARAM, LPARAM)
{
    if (!m_picturesDpi || Dpi() == m_picturesDpi) return Default();
    m_pictureDC.Release();
    m_shown = nullptr;
    m_pictures.clear();
    m_picturesDpi = 0;
    m_sized = FALSE;
    if (m_sizeId) Find(m_sizeId);
    const Picture* shown = m_shownId ? Find(m_shownId) : nullptr;
    if (shown) Select(shown, m_shownId);
    Invalidate(FALSE);
    return Default();
}

void CTEMP::Paint(HDC target) const
{
    ::BitBlt(target, 0, 0, m_targetWidth, m_targetHeight, m_pictureDC, 0, 0, SRCCOPY);
}

LRESULT CTEMP::OnPaint(WPARAM, LPARAM)
{
    if (!m_shown) return Default();
    CPaintDC dc(m_hWnd);
    Paint(dc);
    return 0;
}

const CTEMP::Picture* CTEMP::Find(UINT id)
{
    auto it = m_pictures.find(id);
    if (it != m_pictures.end()) return &it->second;
    if (!m_picturesDpi) m_picturesDpi = Dpi();
    CBitmap loaded = LoadArt(id, m_picturesDpi);
    int width = 0, height = 0;
    if (!GetBitmapSize(loaded, width, height)) return nullptr;
    // The first picture gives the indicator its size; later ones are stretched to it.
    if (!m_sized) {
        m_targetWidth = width;
        m_targetHeight = height;
        m_sized = TRUE;
        m_sizeId = id;
    }
    Picture picture;
    void* bits = nullptr;
    picture.bitmap = CreateTopDownDib(m_targetWidth, m_targetHeight, &bits);
    if (!picture.bitmap) return nullptr;
    {
        CCompatibleDC from(nullptr), to(nullptr);
        CSelect source(from, loaded), target(to, picture.bitmap);
        ::StretchBlt(to, 0, 0, m_targetWidth, m_targetHeight, from, 0, 0, width, height, SRCCOPY);
    }
    return &m_pictures.emplace(id, std::move(picture)).first->second;
}
