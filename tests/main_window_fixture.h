#pragma once
// The main window over the simulated driver, as the main window's tests open
// it: a card with known cooler limits, message boxes recorded, profiles beside
// the test program removed before and after.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/CQuiloDlg.h"
#include "framework/Art.h"
#include "framework/Dpi.h"
#include "framework/MessageBox.h"
#include "framework/Resources.h"
#include "guard_program.h"
#include "profile/AutoRun.h"
#include "res/resource.h"
#include "sim_driver.h"
#include "window_pixels.h"

namespace mwtest {

// A card with known cooler limits and a frozen model.
inline const char* const kScenario =
    "[Simulator]\nGpuCount=1\n"
    "[Gpu]\nDeviceId=0x2684\nExtDeviceId=0x2684\nCoolerMin=35\nCoolerMax=90\nTemperature=45\n"
    "Load=0\nLoadAmplitude=0\n";

struct Box {
    std::string text, caption;
    UINT type;
};
inline std::vector<Box> g_boxes;

inline int RecordBox(HWND, const char* text, const char* caption, UINT type)
{
    g_boxes.push_back({text, caption, type});
    return IDOK;
}

inline std::string ExeDirectory()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.rfind('\\'));
}

inline std::string ReadKey(const std::string& file, const char* key)
{
    char value[16] = {};
    GetPrivateProfileStringA("System", key, "<missing>", value, sizeof value, file.c_str());
    return value;
}

// The window, reachable by the test as the class sees itself.
class TestableQuiloDlg : public CQuiloDlg {
public:
    void ApplyFanCurve(const FanCurvePoints& points) { m_fan.ApplyFanCurve(points); }
    int FanAuto() const { return m_fan.FanAuto(); }
    using CQuiloDlg::m_gauge;
    using CQuiloDlg::m_readingsLog;
    HWND TurboPanel() const { return m_turboPanel.m_hWnd; }
    CTrayIcon& TrayIcon() { return m_trayIcon; }
    // What the overclock at start's timer does at each tick.
    void CheckOverclockAtStart() { m_overclockAtStart.Check(); }
    // One refresh, then the painting the message loop would do after it.
    void Tick()
    {
        SendMessage(WM_TIMER, 2);
        PaintPending();
    }
    void PaintPending() { ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN); }
    CRect ChildRect(int id) const
    {
        CRect r;
        ::GetWindowRect(GetDlgItem(id), &r);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    // Whether a picture control shows exactly the bitmap resource.
    bool Shows(int id, UINT bitmapId) const
    {
        CBitmap expected = LoadArt(bitmapId, kBaseDpi);
        const WindowPixels want = CaptureBitmap(expected);
        const WindowPixels got = CaptureClient(GetDlgItem(id));
        return want.width == got.width && want.height == got.height && want.pixels == got.pixels;
    }
    std::string Text(int id) const
    {
        char text[32] = {};
        ::GetWindowTextA(GetDlgItem(id), text, sizeof text);
        return text;
    }
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_boxes.clear();
        SetMessageBoxHook(&RecordBox);
        UseBuiltFanGuard();
        ASSERT_NE(SimDriver::Get().load, nullptr) << "simulated driver missing";
        ASSERT_TRUE(SimDriver::UseScenario(kScenario));
        DeleteProfiles();
    }
    void TearDown() override
    {
        m_dlg.reset();
        DeleteProfiles();
        RemoveAutoRun();
        SetMessageBoxHook(nullptr);
    }
    void DeleteProfiles()
    {
        for (const char* name : {"Quilo_ID2684.ini", "Quilo_ID0000.ini"})
            DeleteFileA((ExeDirectory() + "\\" + name).c_str());
    }
    std::string Profile(const char* name) const { return ExeDirectory() + "\\" + name; }

    TestableQuiloDlg& Open()
    {
        m_dlg = std::make_unique<TestableQuiloDlg>();
        EXPECT_TRUE(m_dlg->Create(IDD_MAIN));
        m_dlg->PaintPending();
        SimDriver::Get().clearLog();
        return *m_dlg;
    }
    // Cooler writes since the log was last cleared: (level, policy) pairs.
    static std::vector<std::pair<int, int>> CoolerWrites()
    {
        std::vector<std::pair<int, int>> writes;
        for (const NvSimCall& call : SimDriver::Calls(NvId::SetCoolerLevels))
            writes.emplace_back(call.values[1], call.values[2]);
        return writes;
    }
    static bool TrayIconExists(HWND owner)
    {
        NOTIFYICONDATAA nid{};
        nid.cbSize = sizeof nid;
        nid.hWnd = owner;
        nid.uID = 128;
        return Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
    }

    std::unique_ptr<TestableQuiloDlg> m_dlg;
};

}  // namespace mwtest
