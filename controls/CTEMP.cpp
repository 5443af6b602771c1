#include "controls/CTEMP.h"

#include "framework/Resources.h"

void CTEMP::ShowBitmap(UINT id)
{
    const Picture* picture = m_hWnd ? Find(id) : nullptr;
    if (!picture) return;
    if (!m_sized) {
        m_targetWidth = picture->width;
        m_targetHeight = picture->height;
        m_sized = TRUE;
    }
    CClientDC window(m_hWnd);
    CCompatibleDC memory(window);
    CSelect select(memory, picture->bitmap);
    ::StretchBlt(window, 0, 0, m_targetWidth, m_targetHeight, memory, 0, 0, picture->width, picture->height,
                 SRCCOPY);
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
