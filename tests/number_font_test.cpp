// The digital face the program carries for its numbers, and the numbers'
// pixel heights, which must not follow the system's DPI setting: the windows
// are laid out in pixels.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "dpi_process.h"
#include "framework/Dpi.h"
#include "framework/Gdi.h"
#include "framework/Resources.h"
#include "res/resource.h"

namespace {

struct Shown {
    std::wstring face;
    LONG height;
};

// What a point font asks for and what GDI gives it.
Shown Describe(int tenths, const char* face, UINT dpi = kBaseDpi)
{
    CFont font = CreatePointFont(tenths, face, dpi);
    CCompatibleDC dc(nullptr);
    CSelect select(dc, font);
    wchar_t chosen[LF_FACESIZE] = L"";
    ::GetTextFaceW(dc, LF_FACESIZE, chosen);
    LOGFONTW lf{};
    ::GetObjectW(font, sizeof lf, &lf);
    return {chosen, lf.lfHeight};
}

}  // namespace

TEST(NumberFont, TheCarriedFaceStandsInForAMissingDigifaceWide)
{
    ASSERT_FALSE(IsFaceInstalled(L"DigifaceWide")) << "this prefix is to lack the face";
    EXPECT_TRUE(IsFaceInstalled(L"Liberation Sans"));
    EXPECT_NE(Describe(200, "DigifaceWide").face, L"DSEG7 Classic") << "nothing stands in before registering";
    ASSERT_TRUE(RegisterCarriedFace(IDR_NUMBER_FONT, L"DSEG7 Classic", "DigifaceWide", 0.78f));
    EXPECT_FALSE(RegisterCarriedFace(IDR_NUMBER_FONT, L"DSEG7 Classic", "DigifaceWide", 0.78f)) << "once a process";
    const Shown readout = Describe(200, "DigifaceWide");
    EXPECT_EQ(readout.face, L"DSEG7 Classic");
    EXPECT_EQ(readout.height, -21) << "27 pixels for 20 points, at the stand-in's share";
    EXPECT_EQ(Describe(140, "Liberation Sans").face, L"Liberation Sans") << "other faces are left alone";
}

// Run in a second process, with the system set to another DPI.
TEST(NumberFont, HeightsAtTheSystemsDpiAsSetForThisProcess)
{
    const char* expected = std::getenv("QSURGE_EXPECT_DPI");
    if (!expected) GTEST_SKIP() << "runs only as the second process of the DPI test";
    CClientDC screen(nullptr);
    ASSERT_EQ(::GetDeviceCaps(screen, LOGPIXELSY), std::atoi(expected)) << "the setting did not take";
    // The DPI asked for, not the system's: a window on another monitor has its own.
    EXPECT_EQ(Describe(300, "Tahoma").height, -40);
    EXPECT_EQ(Describe(200, "Tahoma").height, -27);
    EXPECT_EQ(Describe(140, "Tahoma").height, -19);
    EXPECT_EQ(Describe(300, "Tahoma", 144).height, -60);
    EXPECT_EQ(Describe(200, "Tahoma", 120).height, -33) << "26.67 * 1.25, rounded";
    EXPECT_EQ(Describe(140, "Tahoma", 192).height, -37);
    EXPECT_EQ(CScale(144).Points(20.0f), 40.0f);
}

TEST(NumberFont, PixelHeightsFollowTheDpiAskedForNotTheSystems)
{
    EXPECT_EQ(dpitest::RunAtDpi(144, "NumberFont.HeightsAtTheSystemsDpiAsSetForThisProcess", "QSURGE_EXPECT_DPI"), 0u)
        << "the fonts at 144 DPI (see the second process's output above)";
}
