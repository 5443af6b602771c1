// The tests' entry for programs whose windows draw with GDI+, as the
// application starts it.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>

#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    const int result = RUN_ALL_TESTS();
    Gdiplus::GdiplusShutdown(token);
    return result;
}
