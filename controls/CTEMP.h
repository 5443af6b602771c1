#pragma once
// CTEMP: an indicator that shows one picture of a series chosen by its owner,
// stretched to the size of the first picture it showed. A new picture is
// painted at once; the one shown is painted again whenever the control is.
// The pictures are the art at the DPI of the indicator's window; when that
// changes, they are taken again at the new one.
#include <map>

#include "framework/Accessible.h"
#include "framework/CStatic.h"
#include "framework/Gdi.h"

// Its pictures only decorate what a readout beside them says: assistive
// technology is told it is not there.
class CTEMP : public CStatic, public AccessibleControl {
    DECLARE_MESSAGE_MAP()
public:
    // Paints bitmap resource id into the control at once; the picture already
    // shown is not painted again. An identifier with no bitmap paints nothing
    // and does not fix the indicator's size.
    void ShowBitmap(UINT id);

    void Describe(AccessibleFacts& facts) const override;

private:
    // A picture kept ready at the indicator's size, in a DIB section: showing
    // it is one copy, with no stretching and nothing the window system keeps.
    struct Picture {
        CBitmap bitmap;
    };
    // Pictures are loaded once and kept: the owner asks ten times a second.
    const Picture* Find(UINT id);
    // Holds the picture as the one shown; false when it cannot.
    bool Select(const Picture* picture, UINT id);
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnDpiChangedAfterParent(WPARAM, LPARAM);
    void Paint(HDC target) const;

    int m_targetWidth = 0;
    int m_targetHeight = 0;
    BOOL m_sized = FALSE;
    UINT m_sizeId = 0;  // the picture that gave the size
    UINT m_picturesDpi = 0;  // the DPI the pictures kept are for
    std::map<UINT, Picture> m_pictures;
    CKeptDC m_pictureDC;  // holds the picture shown
    const Picture* m_shown = nullptr;
    UINT m_shownId = 0;
};
