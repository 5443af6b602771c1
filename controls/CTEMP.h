#pragma once
// CTEMP: an indicator that paints one picture of a series chosen by its owner,
// stretched to the size of the first picture it showed. It has no painting of
// its own: what it shows stays until the window is repainted, and the owner's
// next call paints it again.
#include <map>

#include "framework/CStatic.h"
#include "framework/Gdi.h"

class CTEMP : public CStatic {
public:
    // Paints bitmap resource id into the control at once. An identifier with no
    // bitmap paints nothing and does not fix the indicator's size.
    void ShowBitmap(UINT id);

private:
    struct Picture {
        CBitmap bitmap;
        int width = 0;
        int height = 0;
    };
    // Pictures are loaded once and kept: the owner repaints ten times a second.
    const Picture* Find(UINT id);

    int m_targetWidth = 0;
    int m_targetHeight = 0;
    BOOL m_sized = FALSE;
    std::map<UINT, Picture> m_pictures;
};
