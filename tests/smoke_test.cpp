#include <gtest/gtest.h>
#include <windows.h>
TEST(Smoke, CreatesWindow) {
    HWND h = CreateWindowExA(0, "STATIC", "x", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(h, nullptr);
    DestroyWindow(h);
}
