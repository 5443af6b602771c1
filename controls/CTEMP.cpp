#include "controls/CTEMP.h"

#include "framework/Resources.h"

BEGIN_MESSAGE_MAP(CTEMP, CStatic)
    ON_MESSAGE(WM_PAINT, OnPaint)
END_MESSAGE_MAP()

void CTEMP::ShowBitmap(UINT id)
{
    const Picture* picture = m_hWnd ? Find(id) : nullptr;
    // The picture shown stays on screen: painting puts it back whenever the
    // window is uncovered, so only a new one is drawn.
    if (!picture || picture == m_shown) return;
    if (!m_pictureDC.Select(nullptr, picture->bitmap)) return;
    if (!m_sized) {
        m_targetWidth = picture->width;
        m_targetHeight = picture->height;
        m_sized = TRUE;
    }
    m_shown = picture;
    CClientDC window(m_hWnd);
    Paint(window);
}

void CTEMP::Paint(HDC target) const
{
    ::StretchBlt(target, 0, 0, m_targetWidth, m_targetHeight, m_pictureDC, 0, 0, m_shown->width, m_shown->height,
                 SRCCOPY);
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
    Picture picture;
    picture.bitmap = LoadBitmapResource(id);
    if (!GetBitmapSize(picture.bitmap, picture.width, picture.height)) return nullptr;
    return &m_pictures.emplace(id, std::move(picture)).first->second;
}
