#pragma once
// ClockPoint: the main window's dial. A gauge face with two rotating needles
// (memory and engine clock), turned by GDI+, which the application must have
// started and may shut down only after the dial is destroyed, and their two
// numbers. The last composed frame is kept: it repaints the control on
// WM_PAINT, and a reading that would draw the same picture is neither composed
// nor copied to the window again. Each needle is turned by GDI+ once per angle
// shown lately and blended from then on, which costs a fraction of turning it.
// A new frame is drawn, and copied to the window, only where it or the last
// one differs from the face: under the needles and the numbers. Face, needles,
// pivots, numbers and their places are given at 96 DPI and drawn at the DPI
// of the dial's window; when that changes, all of it is made again once.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/Accessible.h"
#include "framework/CStatic.h"
#include "framework/Gdi.h"
#include "framework/Rect.h"

namespace Gdiplus {
class Bitmap;
class Graphics;
class Image;
}  // namespace Gdiplus

// To assistive technology a dial whose value is the two clocks it shows.
class ClockPoint : public CStatic, public AccessibleControl {
    DECLARE_MESSAGE_MAP()
public:
    ClockPoint();
    ~ClockPoint() override;

    // Lets the dial draw into its window; call once attached.
    void AttachWindowDC();
    // Needles are images with an alpha channel from the program's resources
    // (id, resource type such as "PNG"). FALSE when the resource is missing or
    // does not decode; a needle loaded before is then kept.
    BOOL LoadEngineNeedle(UINT id, const char* type);
    BOOL LoadMemoryNeedle(UINT id, const char* type);
    // The pixel of the needle image (at 96 DPI) that sits on the dial's centre.
    void SetMemoryNeedlePivot(int x, int y);
    void SetEngineNeedlePivot(int x, int y);

    // Shows the two readings: 270 degrees at 9000 memory units and at 1800
    // engine units, in whole degrees, each needle held within its 0..270
    // degree scale. Draws nothing until both needles are loaded and the window
    // is attached.
    void DrawGauge(int memoryValue, int engineValue);

    void Describe(AccessibleFacts& facts) const override;

    // A number's font, kept for the dial's life, and how far right of its
    // origin the number starts.
    struct NumberFont {
        CFont font;
        int offsetX = 0;
        int emPixels = 0;
    };

    // How many frames have been composed: unchanged readings compose none.
    int FramesComposed() const { return m_framesComposed; }
    // How many times a needle has been turned by GDI+ rather than blended from
    // a kept copy.
    int NeedlesTurned() const { return m_needlesTurned; }

protected:
    void PostNcDestroy() override;

private:
    // A needle turned by one whole angle as GDI+ draws it over the dial:
    // premultiplied pixels, in bands of a few rows each cut to the columns the
    // needle reaches there, so that a slanted needle keeps and blends little
    // more than itself. Blending the bands onto a frame gives the pixels
    // drawing the image there would.
    struct NeedleBand {
        CRect area;         // in dial coordinates
        size_t offset = 0;  // of its first pixel; rows of the area's width follow
    };
    struct TurnedNeedle {
        int angle = 0;
        std::vector<NeedleBand> bands;  // none when the needle reaches no pixel of the dial
        std::vector<uint32_t> pixels;
        unsigned lastUse = 0;
    };
    struct Needle {
        UINT id = 0;                             // its art, taken again at each DPI
        std::string type;                        // the resource type standing in where there is no art
        std::unique_ptr<Gdiplus::Bitmap> image;  // drawn for imageDpi
        UINT imageDpi = 0;
        int pivotX = 0;  // at 96 DPI
        int pivotY = 0;
        BOOL loaded = FALSE;
        std::vector<TurnedNeedle> turned;  // the angles shown lately
    };

    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnDpiChangedAfterParent(WPARAM, LPARAM);
    static BOOL LoadNeedle(Needle& needle, UINT id, const char* type);
    bool ComposeFrame(HDC window, int memoryValue, int engineValue);
    // Everything a frame is drawn with, at the window's DPI.
    bool LoadDrawingTools(HDC window);
    void DropDrawingTools();
    void DrawNeedle(Gdiplus::Graphics& g, const Needle& needle, int angle) const;
    // Null when no turned copy could be made.
    const TurnedNeedle* Turned(Needle& needle, int angle);
    std::optional<TurnedNeedle> TurnNeedle(const Needle& needle, int angle);
    // Draws the needle from its kept copy, or turns it afresh without one.
    void BlendNeedle(const Needle& needle, const TurnedNeedle* turned, int angle);
    // The parts of a frame that may differ from the face, for these needle copies.
    void SetInk(const TurnedNeedle& memory, const TurnedNeedle& engine);
    void AddToInk(const RECT& area);
    // The whole frame, or only where it changed from the last one shown.
    void ShowFrame(HDC target, bool changedOnly) const;

    Needle m_memory;
    Needle m_engine;
    UINT m_toolsDpi = 0;  // the DPI the drawing tools are for, 0 before they are made
    POINT m_memoryNumberAt{};
    POINT m_engineNumberAt{};
    CBitmap m_face;
    int m_faceWidth = 0;
    int m_faceHeight = 0;
    bool m_attached = false;

    NumberFont m_memoryFont;
    NumberFont m_engineFont;

    CBitmap m_frame;  // the face's size, 32 bits
    // A 32-bit canvas of the face's size from where turned copies are blended;
    // the copies themselves hold no GDI object.
    CBitmap m_needleCanvas;
    // Where GDI+ turns a needle: premultiplied, the face's size.
    std::unique_ptr<Gdiplus::Bitmap> m_turnCanvas;
    uint32_t* m_needleBits = nullptr;
    CKeptDC m_faceDC;
    CKeptDC m_frameDC;
    CKeptDC m_needleDC;  // empty when the canvas could not be made: needles are then turned at every frame
    // Where the frame may differ from the face (valid while m_inkKnown), where
    // the last composition changed it (the whole face while m_changedAll), and
    // a rectangle's region on its way into one of them.
    CRgn m_ink;
    CRgn m_changed;
    CRgn m_piece;
    bool m_inkKnown = false;
    bool m_changedAll = true;
    unsigned m_needleUses = 0;
    bool m_hasFrame = false;
    bool m_hasLatest = false;  // readings given, composed or not
    int m_latestMemory = 0;
    int m_latestEngine = 0;
    int m_frameMemory = 0;
    int m_frameEngine = 0;
    int m_framesComposed = 0;
    int m_needlesTurned = 0;
};
