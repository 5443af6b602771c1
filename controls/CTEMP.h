#pragma once
// CTEMP: an indicator that shows one picture of a series chosen by its owner,
// stretched to the size of the first picture it showed. A new picture is
// painted at once; the one shown is painted again whenever the control is.
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
    LRESULT OnPaint(WPARAM, LPARAM);
    void Paint(HDC target) const;

    int m_targetWidth = 0;
    int m_targetHeight = 0;
    BOOL m_sized = FALSE;
    std::map<UINT, Picture> m_pictures;
    CKeptDC m_pictureDC;  // holds the picture shown
    const Picture* m_shown = nullptr;
};
