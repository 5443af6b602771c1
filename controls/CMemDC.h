#pragma once
// CMemDC: an off-screen drawing context for one painting pass. Drawing
// collects in a bitmap compatible with the target, in the target's own
// coordinates, and reaches the target in one copy when the object goes out of
// scope, so a repainted control never flickers. A printer context is drawn on
// directly.
#include <windows.h>

#include "framework/Gdi.h"
#include "framework/Rect.h"

class CMemDC : public CDC {
public:
    // area (0, 0, 0, 0) covers the target's clip box; copyFirst starts from the
    // target's pixels so that transparent drawing shows what lies underneath.
    explicit CMemDC(CDC& target, const CRect& area = CRect(), BOOL copyFirst = FALSE);
    ~CMemDC() override;
    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    // The part of the target that is covered, in the target's coordinates.
    const CRect& Area() const { return m_rect; }
    BOOL IsBuffered() const { return m_bMemDC; }

private:
    CBitmap m_bitmap;                  // the drawing surface
    HGDIOBJ m_oldBitmap = nullptr;     // selected in the new context before the surface
    CDC* m_pDC;                        // the target, not owned
    CRect m_rect;
    BOOL m_bMemDC;
};
