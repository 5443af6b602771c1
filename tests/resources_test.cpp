// Everything qsurge.exe carries, read back from the built executable under
// Wine: every identifier's kind and size, the dialog templates with their
// controls, the tray menu, icon, cursor, version and manifest. The images,
// which this test carries too (the same resource object as the program), are
// read through LoadArt as the windows read them, at every scale: their
// sizes, the skins' key colour, the needles, and that pictures painted over
// the main skin meet it without seams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>
using std::max;
using std::min;
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <shlwapi.h>

#include "framework/Art.h"
#include "framework/Dpi.h"
#include "framework/Gdi.h"
#include "res/resource.h"

namespace {

constexpr COLORREF kKey = 0x00FF0000;

// The built program sits in the build tree's app directory, beside tests/.
std::string ExePath()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path);
    p.resize(p.find_last_of("\\/"));
    return p.substr(0, p.find_last_of("\\/")) + "\\app\\qsurge.exe";
}

HMODULE Exe()
{
    static HMODULE module = LoadLibraryExA(ExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

struct GdiplusSession : ::testing::Environment {
    void SetUp() override
    {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
        ASSERT_NE(Exe(), nullptr) << ExePath();
    }
    void TearDown() override { Gdiplus::GdiplusShutdown(token); }
    ULONG_PTR token = 0;
};
const auto* const g_session = ::testing::AddGlobalTestEnvironment(new GdiplusSession);

enum class Kind { Art, Needle, Dialog, Menu, Icon, Cursor };

struct Entry {
    int id;
    Kind kind;
    int width, height;
};

#define BMP(id, w, h) {id, Kind::Art, w, h}
// Every identifier the program uses, with its kind and size in pixels (at 96 DPI).
const Entry kResources[] = {
    BMP(129, 926, 451), BMP(160, 412, 364), BMP(156, 412, 402), BMP(202, 412, 364),
    BMP(206, 412, 364), BMP(207, 295, 207), BMP(218, 295, 207),
    BMP(152, 19, 17), BMP(153, 19, 17), BMP(204, 19, 17),
    BMP(132, 50, 50), BMP(133, 50, 50), BMP(131, 50, 50), BMP(135, 52, 50), BMP(136, 52, 50),
    BMP(134, 52, 50), BMP(138, 52, 53), BMP(139, 52, 53), BMP(137, 52, 53),
    BMP(142, 97, 45), BMP(140, 97, 45), BMP(141, 97, 45), BMP(148, 97, 45), BMP(146, 97, 45),
    BMP(147, 97, 45), BMP(145, 68, 68), BMP(143, 68, 68), BMP(144, 68, 68), BMP(130, 69, 68),
    BMP(149, 69, 68), BMP(150, 69, 68), BMP(154, 141, 33), BMP(155, 141, 33),
    BMP(177, 32, 16), BMP(176, 32, 16),
    BMP(189, 78, 117), BMP(190, 78, 117), BMP(191, 78, 117), BMP(192, 78, 117), BMP(193, 78, 117),
    BMP(194, 78, 117), BMP(195, 78, 117), BMP(196, 78, 117), BMP(197, 78, 117), BMP(198, 78, 117),
    BMP(199, 78, 117), BMP(200, 78, 117), BMP(201, 78, 117),
    BMP(178, 122, 91), BMP(179, 122, 91), BMP(180, 122, 91), BMP(181, 122, 91), BMP(182, 122, 91),
    BMP(183, 122, 91), BMP(184, 122, 91), BMP(185, 122, 91), BMP(186, 122, 91), BMP(187, 122, 91),
    BMP(188, 122, 91),
    BMP(216, 298, 298), {224, Kind::Needle, 22, 186}, {225, Kind::Needle, 28, 107},
    BMP(158, 19, 17), BMP(159, 19, 17), BMP(162, 16, 17), BMP(165, 16, 17), BMP(164, 17, 17),
    BMP(163, 17, 17), BMP(169, 116, 53), BMP(167, 116, 53), BMP(168, 116, 53), BMP(166, 116, 53),
    BMP(170, 116, 53), BMP(171, 116, 53), BMP(174, 134, 15), BMP(173, 134, 15), BMP(175, 15, 15),
    BMP(172, 290, 200), BMP(209, 19, 17), BMP(208, 19, 17), BMP(212, 50, 30), BMP(210, 50, 30),
    BMP(211, 50, 30),
    {102, Kind::Dialog, 0, 0}, {157, Kind::Dialog, 0, 0}, {161, Kind::Dialog, 0, 0},
    {203, Kind::Dialog, 0, 0}, {205, Kind::Dialog, 0, 0}, {213, Kind::Dialog, 0, 0},
    {222, Kind::Dialog, 0, 0}, {214, Kind::Menu, 0, 0}, {128, Kind::Icon, 32, 32},
    {151, Kind::Cursor, 32, 32},
};
#undef BMP

LPCSTR Id(int id) { return MAKEINTRESOURCEA(id); }

// The scales the art is carried at, with their resource types.
const struct {
    UINT dpi;
    const char* type;
} kScales[] = {{96, "ART100"}, {120, "ART125"}, {144, "ART150"}, {168, "ART175"}, {192, "ART200"}};
// Between carried scales and above the largest.
constexpr UINT kMadeDpis[] = {108, 132, 240};

bool IsImage(Kind k) { return k == Kind::Art || k == Kind::Needle; }

// An image's pixels as LoadArt gives them, as COLORREFs, rows top down.
struct Pixels {
    int width = 0, height = 0, bits = 0;
    std::vector<COLORREF> px;
    COLORREF at(int x, int y) const { return px[static_cast<size_t>(y) * width + x]; }
    bool key(int x, int y) const { return at(x, y) == kKey; }
};

Pixels Read(int id, UINT dpi = kBaseDpi)
{
    Pixels out;
    CBitmap bmp = LoadArt(static_cast<UINT>(id), dpi);
    DIBSECTION ds{};
    if (!bmp || GetObject(bmp, sizeof ds, &ds) != sizeof ds) return out;
    out.width = ds.dsBm.bmWidth;
    out.height = ds.dsBm.bmHeight;
    out.bits = ds.dsBm.bmBitsPixel;
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), out.width, -out.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<RGBQUAD> raw(static_cast<size_t>(out.width) * out.height);
    CClientDC screen(nullptr);
    GetDIBits(screen, bmp, 0, out.height, raw.data(), &bi, DIB_RGB_COLORS);
    for (const RGBQUAD& q : raw) out.px.push_back(RGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
    return out;
}

BYTE AlphaAt(Gdiplus::Bitmap& bmp, int x, int y)
{
    Gdiplus::Color c;
    bmp.GetPixel(x, y, &c);
    return c.GetA();
}

LPCSTR TypeOf(Kind k)
{
    switch (k) {
    case Kind::Art:
    case Kind::Needle: return kScales[0].type;
    case Kind::Dialog: return MAKEINTRESOURCEA(5);   // RT_DIALOG
    case Kind::Menu: return MAKEINTRESOURCEA(4);     // RT_MENU
    case Kind::Icon: return MAKEINTRESOURCEA(14);    // RT_GROUP_ICON
    case Kind::Cursor: return MAKEINTRESOURCEA(12);  // RT_GROUP_CURSOR
    }
    return nullptr;
}

// An icon or cursor from LoadImage, destroyed the way its kind needs.
struct Icon {
    HANDLE handle;
    bool icon;
    Icon(HANDLE h, bool isIcon) : handle(h), icon(isIcon) {}
    ~Icon()
    {
        if (handle) icon ? DestroyIcon(static_cast<HICON>(handle)) : DestroyCursor(static_cast<HCURSOR>(handle));
    }
    Icon(const Icon&) = delete;
    Icon& operator=(const Icon&) = delete;
};

TEST(Resources, EveryIdentifierHasItsKindAndSize)
{
    for (const Entry& e : kResources) {
        SCOPED_TRACE(e.id);
        ASSERT_NE(FindResourceA(Exe(), Id(e.id), TypeOf(e.kind)), nullptr);
        if (e.kind == Kind::Art) {
            Pixels p = Read(e.id);
            EXPECT_EQ(p.width, e.width);
            EXPECT_EQ(p.height, e.height);
            EXPECT_EQ(p.bits, 32);
        } else if (e.kind == Kind::Needle) {
            auto bmp = LoadArtImage(e.id, kBaseDpi);
            ASSERT_TRUE(bmp && bmp->GetLastStatus() == Gdiplus::Ok);
            EXPECT_EQ(static_cast<int>(bmp->GetWidth()), e.width);
            EXPECT_EQ(static_cast<int>(bmp->GetHeight()), e.height);
            EXPECT_TRUE(Gdiplus::IsAlphaPixelFormat(bmp->GetPixelFormat()));
        } else if (e.kind == Kind::Icon || e.kind == Kind::Cursor) {
            const bool icon = e.kind == Kind::Icon;
            Icon h(LoadImageA(Exe(), Id(e.id), icon ? IMAGE_ICON : IMAGE_CURSOR, e.width, e.height, 0), icon);
            ICONINFO info{};
            ASSERT_TRUE(h.handle && GetIconInfo(static_cast<HICON>(h.handle), &info));
            CBitmap colour(info.hbmColor), mask(info.hbmMask);
            BITMAP bm{};
            GetObject(colour, sizeof bm, &bm);
            EXPECT_EQ(bm.bmWidth, e.width);
            EXPECT_EQ(bm.bmHeight, e.height);
        }
    }
}

BOOL CALLBACK CollectId(HMODULE, LPCSTR, LPSTR name, LONG_PTR out)
{
    if (IS_INTRESOURCE(name)) reinterpret_cast<std::set<int>*>(out)->insert(LOWORD(name));
    return TRUE;
}

std::set<int> Carried(LPCSTR type)
{
    std::set<int> carried;
    EnumResourceNamesA(Exe(), type, CollectId, reinterpret_cast<LONG_PTR>(&carried));
    return carried;
}

// Every scale carries every image and nothing else; the uncompressed
// bitmaps are gone.
TEST(Resources, CarriesEveryImageAtEveryScaleAndNoBitmaps)
{
    std::set<int> listed;
    for (const Entry& e : kResources)
        if (IsImage(e.kind)) listed.insert(e.id);
    for (const auto& scale : kScales) EXPECT_EQ(Carried(scale.type), listed) << scale.type;
    EXPECT_TRUE(Carried(MAKEINTRESOURCEA(2)).empty());  // RT_BITMAP
    EXPECT_TRUE(Carried("PNG").empty());
}

// At a carried scale and at any other DPI an image is its 96-DPI size scaled.
TEST(Resources, EveryImageTakesItsScaledSizeAtEveryDpi)
{
    std::vector<UINT> dpis;
    for (const auto& scale : kScales) dpis.push_back(scale.dpi);
    dpis.insert(dpis.end(), std::begin(kMadeDpis), std::end(kMadeDpis));
    for (const Entry& e : kResources) {
        if (!IsImage(e.kind)) continue;
        for (UINT dpi : dpis) {
            SCOPED_TRACE(testing::Message() << e.id << " at " << dpi);
            int width = 0, height = 0;
            if (e.kind == Kind::Art) {
                Pixels p = Read(e.id, dpi);
                width = p.width;
                height = p.height;
            } else {
                auto image = LoadArtImage(e.id, dpi);
                ASSERT_TRUE(image);
                width = static_cast<int>(image->GetWidth());
                height = static_cast<int>(image->GetHeight());
            }
            EXPECT_EQ(width, ScaleToDpi(e.width, dpi));
            EXPECT_EQ(height, ScaleToDpi(e.height, dpi));
        }
    }
}

TEST(Resources, ImagesThatDoNotExistLoadEmpty)
{
    for (UINT dpi : {96u, 144u, 240u}) {
        EXPECT_FALSE(LoadArt(4321, dpi)) << dpi;
        EXPECT_FALSE(LoadArtImage(4321, dpi)) << dpi;
    }
}

struct Skin {
    int id;
    std::vector<RECT> controls;  // rectangles the window places its controls at
};

RECT R(int x, int y, int w, int h) { return {x, y, x + w, y + h}; }

const std::vector<RECT> kPanelButtons = {R(358, 5, 19, 17), R(382, 5, 19, 17)};

std::vector<RECT> Join(std::vector<RECT> a, const std::vector<RECT>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Skin kSkins[] = {
    {129, {R(594, 76, 19, 17), R(616, 76, 19, 17), R(638, 76, 19, 17), R(639, 120, 50, 50),
           R(657, 169, 52, 50), R(657, 218, 52, 53), R(655, 275, 97, 45), R(765, 275, 97, 45),
           R(652, 338, 68, 68), R(725, 338, 69, 68), R(123, 381, 141, 33), R(134, 358, 32, 16),
           R(220, 150, 78, 117), R(230, 291, 122, 91), R(110, 187, 126, 50), R(125, 310, 89, 32),
           R(520, 233, 80, 30), R(527, 285, 65, 26)}},
    {160, Join(kPanelButtons, {R(150, 101, 174, 155), R(334, 100, 43, 162), R(50, 283, 306, 53)})},
    {156, Join(kPanelButtons, {R(68, 101, 290, 200), R(80, 336, 266, 53)})},
    {202, Join(kPanelButtons, {R(89, 75, 230, 255), R(322, 91, 60, 229)})},
    {206, Join(kPanelButtons, {R(128, 60, 233, 234)})},
    {207, {R(240, 5, 19, 17), R(264, 5, 19, 17), R(32, 47, 32, 66), R(32, 126, 82, 30),
           R(122, 131, 32, 16), R(178, 152, 50, 30)}},
    {218, {R(264, 5, 19, 17), R(14, 76, 268, 131)}},
};

// The key marks what lies outside the shape: every key pixel must reach the
// bitmap's border through other key pixels (no holes), the shape must hold
// every control, and the edge must be hard (no blend of art and key, no
// bluish fringe), at every scale, made from the art between carried scales
// and above them too. Away from the outline, what is key at a DPI is key at
// 96 DPI: the outline is the 96-DPI one scaled.
void CheckKeyOutline(const Skin& s, const Pixels& at96, UINT dpi)
{
    const Pixels p = Read(s.id, dpi);
    ASSERT_GT(p.width, 0);
    CRgn region(CreateRectRgn(0, 0, 0, 0));
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width;) {
            while (x < p.width && p.key(x, y)) ++x;
            int start = x;
            while (x < p.width && !p.key(x, y)) ++x;
            if (x > start) {
                CRgn run(CreateRectRgn(start, y, x, y + 1));
                CombineRgn(region, region, run, RGN_OR);
            }
        }
    }
    RECT box{};
    ASSERT_NE(GetRgnBox(region, &box), NULLREGION);
    EXPECT_TRUE(box.left >= 0 && box.top >= 0 && box.right <= p.width && box.bottom <= p.height);

    std::vector<char> outside(p.px.size(), 0);
    std::vector<POINT> todo;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if ((x == 0 || y == 0 || x == p.width - 1 || y == p.height - 1) && p.key(x, y)) todo.push_back({x, y});
    while (!todo.empty()) {
        POINT q = todo.back();
        todo.pop_back();
        if (q.x < 0 || q.y < 0 || q.x >= p.width || q.y >= p.height || !p.key(q.x, q.y)) continue;
        char& seen = outside[static_cast<size_t>(q.y) * p.width + q.x];
        if (seen) continue;
        seen = 1;
        todo.insert(todo.end(), {{q.x + 1, q.y}, {q.x - 1, q.y}, {q.x, q.y + 1}, {q.x, q.y - 1}});
    }
    int holes = 0, blended = 0, moved = 0;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            COLORREF c = p.at(x, y);
            // The 96-DPI pixel under this one's middle and its neighbours: all key, or none.
            const int bx = (2 * x + 1) * static_cast<int>(kBaseDpi) / static_cast<int>(2 * dpi);
            const int by = (2 * y + 1) * static_cast<int>(kBaseDpi) / static_cast<int>(2 * dpi);
            int keys = 0, around = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (bx + dx >= 0 && by + dy >= 0 && bx + dx < at96.width && by + dy < at96.height) {
                        ++around;
                        keys += at96.key(bx + dx, by + dy);
                    }
            moved += (keys == around && c != kKey) || (keys == 0 && c == kKey);
            if (c == kKey) {
                holes += !outside[static_cast<size_t>(y) * p.width + x];
                continue;
            }
            bool onEdge = (x > 0 && p.key(x - 1, y)) || (y > 0 && p.key(x, y - 1)) ||
                          (x + 1 < p.width && p.key(x + 1, y)) || (y + 1 < p.height && p.key(x, y + 1));
            blended += onEdge && GetBValue(c) - max(GetRValue(c), GetGValue(c)) > 64;
        }
    }
    EXPECT_EQ(holes, 0);
    EXPECT_EQ(blended, 0);
    EXPECT_EQ(moved, 0);
    const CScale scale(dpi);
    for (const RECT& r : s.controls) {
        const CRect at = scale.Rect(r.left, r.top, r.right - r.left, r.bottom - r.top);
        CRgn rect(CreateRectRgnIndirect(&at)), rest(CreateRectRgn(0, 0, 0, 0));
        EXPECT_EQ(CombineRgn(rest, rect, region, RGN_DIFF), NULLREGION)
            << "control at " << r.left << "," << r.top << " leaves the shape";
    }
}

TEST(Resources, SkinsKeepTheKeyOutsideTheirShape)
{
    for (const Skin& s : kSkins) {
        const Pixels at96 = Read(s.id);
        for (UINT dpi : {96u, 144u, 192u, 108u, 240u}) {
            SCOPED_TRACE(testing::Message() << s.id << " at " << dpi);
            CheckKeyOutline(s, at96, dpi);
        }
    }
}

struct Control {
    int id;
    const char* cls;
    const char* caption;
    DWORD mask, style;  // (style & mask) == style
};

struct Template {
    int id;
    const char* font;
    bool sysMenu, appWindow;
    std::vector<Control> controls;
};

Control Key(int id, const char* caption) { return {id, "Button", caption, BS_TYPEMASK, BS_PUSHBUTTON}; }
Control Text(int id, const char* caption = "", DWORD type = SS_LEFT)
{
    return {id, "Static", caption, SS_TYPEMASK | SS_NOTIFY, type};
}
Control Clickable(int id) { return {id, "Static", "", SS_NOTIFY, SS_NOTIFY}; }
Control Hidden(int id) { return {id, "Static", "", WS_VISIBLE | SS_TYPEMASK, SS_LEFT}; }

const std::vector<Control> kPanelKeys = {Key(1000, "-"), Key(1001, "X")};

std::vector<Control> With(std::vector<Control> a, const std::vector<Control>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Template kTemplates[] = {
    {102, "Microsoft Sans Serif", false, true,
     {Key(1000, "-"), Key(1001, "X"), Key(1042, "Set"), Key(1002, "3"), Key(1004, "5"), Key(1003, "10"),
      Key(1005, "Apply"), Key(1006, "Reset"), Key(1007, "HWM"), Key(1008, "Turbo"), Key(1009, "FanCurve"),
      Key(1031, "FanA/M"), Text(1029, "", SS_BITMAP), Text(1030, "", SS_BITMAP), Text(1037), Text(1038),
      Hidden(1036), Hidden(1039), Text(1063, "", SS_BLACKFRAME)}},
    {161, "MS Shell Dlg", true, true,
     With(kPanelKeys, {Key(1014, "P-"), Key(1015, "P+"), Key(1016, "F-"), Key(1017, "F+"), Key(1018, "G-"),
                       Key(1019, "G+"), Key(1020, "M-"), Key(1021, "M+"), Clickable(1025), Clickable(1026),
                       Clickable(1027), Clickable(1028), Text(1059, "", SS_RIGHT), Text(1060, "", SS_RIGHT),
                       Text(1036, "", SS_RIGHT), Text(1039, "", SS_RIGHT), Key(1005, "Apply"),
                       Key(1006, "Reset"), Text(1064)})},
    {157, "MS Shell Dlg", true, true,
     With(kPanelKeys, {Key(1005, "Apply"), Key(1006, "Reset"), Clickable(1024)})},
    {203, "MS Shell Dlg", true, true,
     With(kPanelKeys, {Text(1027), Text(1028), Text(1034), Text(1035), Text(1036, "", SS_RIGHT),
                       Text(1039, "", SS_RIGHT), Text(1037, "", SS_RIGHT), Text(1038, "", SS_RIGHT)})},
    {205, "MS Shell Dlg", true, true,
     With(kPanelKeys, {Key(1005, "Apply"), Key(1046, "Launch"), Key(1047, "Minisize"), Key(1048, "OC"),
                       Key(1049, "All"), {1050, "ComboBox", "", 0x3, CBS_DROPDOWNLIST}})},
    {213, "MS Shell Dlg", true, true,
     With(kPanelKeys, {Text(1053, "GPU"), Text(1054, "CUDA"), Text(1055, "Memory"), Text(1056, "Ram Width"),
                       Text(1057, "Dirver Version"), Text(1058, "Bios Version")})},
    {222, "MS Shell Dlg", true, false, {Key(1001, "X"), Text(1062)}},
};

INT_PTR CALLBACK PlainDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

struct WindowDeleter {
    void operator()(HWND h) const { DestroyWindow(h); }
};
using Window = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;

TEST(Resources, DialogTemplatesHoldTheirControls)
{
    for (const Template& t : kTemplates) {
        SCOPED_TRACE(t.id);
        Window dlg(CreateDialogParamA(Exe(), Id(t.id), nullptr, PlainDialog, 0));
        ASSERT_TRUE(dlg);
        const LONG style = GetWindowLongA(dlg.get(), GWL_STYLE);
        const LONG ex = GetWindowLongA(dlg.get(), GWL_EXSTYLE);
        EXPECT_TRUE(style & WS_POPUP);
        EXPECT_NE(style & WS_CAPTION, WS_CAPTION);
        EXPECT_EQ((style & WS_SYSMENU) != 0, t.sysMenu);
        EXPECT_EQ((ex & WS_EX_APPWINDOW) != 0, t.appWindow);
        LOGFONTA font{};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dlg.get(), WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_STREQ(font.lfFaceName, t.font);

        int children = 0;
        for (HWND c = GetWindow(dlg.get(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ++children;
        EXPECT_EQ(children, static_cast<int>(t.controls.size()));
        for (const Control& c : t.controls) {
            SCOPED_TRACE(c.id);
            HWND item = GetDlgItem(dlg.get(), c.id);
            ASSERT_NE(item, nullptr);
            char cls[64] = {}, caption[64] = {};
            GetClassNameA(item, cls, sizeof cls);
            GetWindowTextA(item, caption, sizeof caption);
            EXPECT_EQ(lstrcmpiA(cls, c.cls), 0) << cls;
            EXPECT_STREQ(caption, c.caption);
            EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(item, GWL_STYLE)) & c.mask, c.style);
        }
    }
}

struct MenuDeleter {
    void operator()(HMENU h) const { DestroyMenu(h); }
};

TEST(Resources, TrayMenuOffersOpenTheLogSwitchItsFolderAndExit)
{
    std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter> menu(LoadMenuA(Exe(), Id(IDR_TRAY_MENU)));
    ASSERT_TRUE(menu);
    ASSERT_EQ(GetMenuItemCount(menu.get()), 1);
    char text[32] = {};
    GetMenuStringA(menu.get(), 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "Quilo");
    HMENU popup = GetSubMenu(menu.get(), 0);
    const struct { UINT id; const char* text; } items[] = {
        {32772, "Open(&O)"}, {32774, "&Log readings"}, {32775, "Open log &folder"}, {0, ""}, {32773, "Exit(&E)"}};
    ASSERT_EQ(GetMenuItemCount(popup), static_cast<int>(std::size(items)));
    for (int i = 0; i < static_cast<int>(std::size(items)); ++i) {
        EXPECT_EQ(GetMenuItemID(popup, i), items[i].id);
        text[0] = '\0';  // a separator has no text to fill in
        GetMenuStringA(popup, i, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, items[i].text);
    }
}

TEST(Resources, IconHoldsTheUsualSizes)
{
    HRSRC res = FindResourceA(Exe(), Id(IDI_APP), MAKEINTRESOURCEA(14));
    ASSERT_NE(res, nullptr);
    const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(Exe(), res)));
    const int count = dir[4] | dir[5] << 8;
    std::set<int> sizes;
    for (int i = 0; i < count; ++i) {
        const BYTE* entry = dir + 6 + 14 * i;  // GRPICONDIRENTRY
        EXPECT_EQ(entry[6] | entry[7] << 8, 32) << "bits per pixel";
        sizes.insert(entry[0] ? entry[0] : 256);
    }
    for (int size : {16, 20, 24, 32, 40, 48, 256}) EXPECT_TRUE(sizes.count(size)) << size;
}

TEST(Resources, HandCursorPointsWithItsFingertip)
{
    Icon hand(LoadImageA(Exe(), Id(IDCUR_HAND), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE), false);
    ICONINFO info{};
    ASSERT_TRUE(hand.handle && GetIconInfo(static_cast<HICON>(hand.handle), &info));
    CBitmap colour(info.hbmColor), mask(info.hbmMask);
    EXPECT_FALSE(info.fIcon);
    EXPECT_LT(info.xHotspot, 16u);  // the tip of the index finger, top left
    EXPECT_LT(info.yHotspot, 4u);
}

// The hand is drawn at the cursor size of each scale, so the system finds
// it at that size rather than stretching another; the fingertip stays the
// hot spot at each.
TEST(Resources, HandCursorComesAtEveryScalesSize)
{
    HRSRC res = FindResourceA(Exe(), Id(IDCUR_HAND), MAKEINTRESOURCEA(12));  // RT_GROUP_CURSOR
    ASSERT_NE(res, nullptr);
    BYTE* dir = static_cast<BYTE*>(LockResource(LoadResource(Exe(), res)));
    const int count = dir[4] | dir[5] << 8;
    for (int size : {32, 40, 48, 56, 64}) {
        SCOPED_TRACE(size);
        int found = 0;
        for (int i = 0; i < count; ++i) {
            const BYTE* entry = dir + 6 + 14 * i;  // width, twice the height, planes, bits, bytes, id
            if ((entry[0] | entry[1] << 8) != size || (entry[2] | entry[3] << 8) != 2 * size) continue;
            found = entry[12] | entry[13] << 8;
        }
        ASSERT_NE(found, 0);
        HRSRC image = FindResourceA(Exe(), Id(found), MAKEINTRESOURCEA(1));  // RT_CURSOR
        ASSERT_NE(image, nullptr);
        const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(Exe(), image)));
        const int hotX = data[0] | data[1] << 8, hotY = data[2] | data[3] << 8;
        EXPECT_LT(hotX, size / 2);
        EXPECT_LT(hotY, size / 8);
        const BITMAPINFOHEADER* head = reinterpret_cast<const BITMAPINFOHEADER*>(data + 4);
        EXPECT_EQ(head->biWidth, size);
    }
}

// Needles are stored pointing down from their pivot, and nothing of them
// reaches past the dial's face (radius 136 at 96 DPI), where other pictures
// paint; at every scale, the pivot scaled as the dial scales it.
TEST(Resources, NeedlesHangFromTheirPivots)
{
    const struct { int id; int px, py; int minReach; } needles[] = {{IDP_ENGINE_NEEDLE, 11, 34, 110},
                                                                    {IDP_MEMORY_NEEDLE, 14, 26, 60}};
    for (const auto& n : needles) {
        for (UINT dpi : {96u, 120u, 144u, 168u, 192u, 108u, 240u}) {
            SCOPED_TRACE(testing::Message() << n.id << " at " << dpi);
            auto bmp = LoadArtImage(n.id, dpi);
            ASSERT_TRUE(bmp);
            const int w = bmp->GetWidth(), h = bmp->GetHeight();
            const int px = ScaleToDpi(n.px, dpi), py = ScaleToDpi(n.py, dpi), face = ScaleToDpi(136, dpi);
            EXPECT_EQ(AlphaAt(*bmp, px, py), 255);
            EXPECT_EQ(AlphaAt(*bmp, 0, 0) | AlphaAt(*bmp, w - 1, 0) | AlphaAt(*bmp, 0, h - 1), 0);
            int reachDown = 0, reach = 0;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    if (AlphaAt(*bmp, x, y) < 8) continue;
                    const int dx = x - px, dy = y - py;
                    reach = max(reach, dx * dx + dy * dy);
                    if (std::abs(dx) <= ScaleToDpi(2, dpi)) reachDown = max(reachDown, dy);
                }
            }
            EXPECT_GE(reachDown, ScaleToDpi(n.minReach, dpi));
            EXPECT_LT(reach, face * face);
        }
    }
}

TEST(Resources, VersionAndManifest)
{
    const std::string path = ExePath();
    std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), nullptr));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    char* product = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\080403a8\\ProductName",
                               reinterpret_cast<void**>(&product), &length));
    EXPECT_STREQ(product, "Q-Surge");

    HRSRC res = FindResourceA(Exe(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(res, nullptr);
    std::string manifest(static_cast<const char*>(LockResource(LoadResource(Exe(), res))), SizeofResource(Exe(), res));
    for (const char* part : {"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"", "level=\"asInvoker\"",
                             // Wine reports per-monitor awareness whatever the manifest says: it is read here.
                             ">true/pm</dpiAware>", ">PerMonitorV2, PerMonitor</dpiAwareness>",
                             "http://schemas.microsoft.com/SMI/2016/WindowsSettings"})
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
}

// Pictures and the dial paint over the main skin from timers; where they
// meet the skin, or each other, they must show the same pixels or seams
// flicker in and out.
int Mismatches(const Pixels& a, POINT at, const Pixels& b, POINT bt, bool borderOnly, const Pixels* shape)
{
    int bad = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (borderOnly && x > 0 && y > 0 && x < a.width - 1 && y < a.height - 1) continue;
            const int bx = at.x + x - bt.x, by = at.y + y - bt.y;
            if (bx < 0 || by < 0 || bx >= b.width || by >= b.height) continue;
            const int sx = at.x + x, sy = at.y + y;
            if (shape && shape->key(sx, sy)) continue;
            bad += a.at(x, y) != b.at(bx, by);
        }
    }
    return bad;
}

// At every carried scale too, each picture placed at its scaled corner.
TEST(Resources, MainWindowPicturesMeetTheSkinWithoutSeams)
{
    for (const auto& scale : kScales) {
        const UINT dpi = scale.dpi;
        SCOPED_TRACE(dpi);
        const CScale s(dpi);
        const Pixels skin = Read(IDB_MAIN_SKIN, dpi), face = Read(IDB_DIAL_FACE, dpi);
        const POINT origin{0, 0}, gauge = s.Point(318, 67), fanAt = s.Point(230, 291), tempAt = s.Point(220, 150);
        EXPECT_EQ(Mismatches(face, gauge, skin, origin, false, &skin), 0) << "face";
        EXPECT_EQ(Mismatches(Read(IDB_MAIN_SETTINGS, dpi), s.Point(594, 76), face, gauge, false, nullptr), 0)
            << "settings key";
        for (int id = IDB_TEMP_FIRST; id <= IDB_TEMP_LAST; ++id)
            EXPECT_EQ(Mismatches(Read(id, dpi), tempAt, skin, origin, true, nullptr), 0) << id;
        for (int id = IDB_FAN_FIRST; id <= IDB_FAN_LAST; ++id) {
            const Pixels fan = Read(id, dpi);
            EXPECT_EQ(Mismatches(fan, fanAt, skin, origin, true, nullptr), 0) << id;
            EXPECT_EQ(Mismatches(fan, fanAt, face, gauge, false, nullptr), 0) << id << " under the dial";
            for (int key : {IDB_FANCURVE_KEY, IDB_FANCURVE_KEY_ACTIVE})
                EXPECT_EQ(Mismatches(fan, fanAt, Read(key, dpi), s.Point(123, 381), false, nullptr), 0)
                    << id << " over " << key;
        }
    }
}

}  // namespace
