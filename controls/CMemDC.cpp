#include "controls/CMemDC.h"

CMemDC::CMemDC(CDC& target, const CRect& area, BOOL copyFirst)
    : m_pDC(&target), m_bMemDC(::GetDeviceCaps(target.m_hDC, TECHNOLOGY) != DT_RASPRINTER)
{
    if (!m_bMemDC) {
        // Borrowed: the destructor hands it back without deleting it.
        m_hDC = target.m_hDC;
        m_rect = area;
        return;
    }
    m_hDC = ::CreateCompatibleDC(target.m_hDC);
    if (area == CRect())
        ::GetClipBox(target.m_hDC, &m_rect);
    else
        m_rect = area;
    m_bitmap.reset(::CreateCompatibleBitmap(target.m_hDC, m_rect.Width(), m_rect.Height()));
    if (!m_hDC) return;
    m_oldBitmap = ::SelectObject(m_hDC, m_bitmap);
    ::SetWindowOrgEx(m_hDC, m_rect.left, m_rect.top, nullptr);
    if (copyFirst) {
        ::BitBlt(m_hDC, m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), target.m_hDC, m_rect.left,
                 m_rect.top, SRCCOPY);
    }
}

CMemDC::~CMemDC()
{
    if (!m_bMemDC) {
        m_hDC = nullptr;
        return;
    }
    if (!m_hDC) return;
    ::BitBlt(m_pDC->m_hDC, m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), m_hDC, m_rect.left, m_rect.top,
             SRCCOPY);
    if (m_oldBitmap) ::SelectObject(m_hDC, m_oldBitmap);
    ::DeleteDC(m_hDC);
    m_hDC = nullptr;
}
