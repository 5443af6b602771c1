// The hardware-monitor panel over the simulated driver: the readings it
// samples, the rows its plots draw them on, the readouts, and what it repaints.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Dpi.h"
#include "panels/CDlgHwm.h"
#include "res/resource.h"
#include "sim_driver.h"
#include "window_pixels.h"

namespace {

// Engine and memory P0 figures of 1500 MHz: both scales run 0 to 3000 MHz.
const char* const kScenario =
    "[Simulator]\nGpuCount=1\n"
    "[Gpu]\nGfxType=range\nGfxMinFreq=300000\nGfxMaxFreq=1500000\nMemType=single\nMemFreq=1500000\n"
    "Temperature=45\nLoad=0\nLoadAmplitude=0\n";

constexpr COLORREF kPlotLine = 0x00A6721B;
constexpr UINT_PTR kSampleTimer = 10;
constexpr int kPlotRight = 89 + 230;  // the plots' right edge in the panel

class TestableHwm : public CDlgHwm {
public:
    // One sampling step, then the painting the message loop would do after it.
    void Tick()
    {
        SendMessage(WM_TIMER, kSampleTimer);
        ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    std::string Text(int id) const
    {
        char text[32] = {};
        ::GetWindowTextA(GetDlgItem(id), text, sizeof text);
        return text;
    }
    // The rows of the plot's second last column drawn in the line colour.
    std::vector<int> NewestRows(int plotId) const
    {
        const WindowPixels shot = CaptureClient(GetDlgItem(plotId));
        std::vector<int> rows;
        for (int y = 0; y < shot.height; ++y)
            if (shot.At(228, y) == kPlotLine) rows.push_back(y);
        return rows;
    }
    // Whether this panel's pending repaint covers the point of its client area.
    bool Pending(int x, int y) const
    {
        CRgn region(::CreateRectRgn(0, 0, 0, 0));
        ::GetUpdateRgn(m_hWnd, region, FALSE);
        return ::PtInRegion(region, x, y) != FALSE;
    }
    POINT CentreOf(int id) const
    {
        CRect r;
        ::GetWindowRect(GetDlgItem(id), &r);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
};

// The row a percentage is drawn on in a 56-pixel plot.
int RowOf(int percent) { return std::max(56 - 56 * percent / 101 - 1, 0); }

class MonitorPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(SimDriver::Get().load, nullptr) << "simulated driver missing";
        ASSERT_TRUE(SimDriver::UseScenario(kScenario));
        ::SetCursorPos(1279, 1023);  // away from the plots' hover text
    }

    // driveSteps: the test sends the sampling steps itself, the panel's own timer stopped.
    TestableHwm& Open(bool driveSteps = true)
    {
        m_panel.reset();  // one panel on the screen at a time
        m_gpu = std::make_unique<CGpuControl>();
        EXPECT_EQ(m_gpu->Initialize(), 0);
        m_panel = std::make_unique<TestableHwm>();
        m_panel->SetGpuControl(m_gpu.get());
        EXPECT_TRUE(m_panel->Create(IDD_MONITOR));
        m_panel->SetWindowPos(nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        m_panel->ShowWindow(SW_SHOW);
        if (driveSteps) m_panel->KillTimer(kSampleTimer);
        ::RedrawWindow(*m_panel, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        return *m_panel;
    }

    std::unique_ptr<CGpuControl> m_gpu;
    std::unique_ptr<TestableHwm> m_panel;
};

}  // namespace

TEST_F(MonitorPanelTest, ReadingsArePlottedAsTruncatedPercentagesOfTheirScales)
{
    const SimDriver& sim = SimDriver::Get();
    struct Case {
        const char* what;
        std::function<void(CGpuControl&)> set;
        int plot, readout;
        int percent;
        const char* text;
    };
    const Case cases[] = {
        {"60 C of 0..120", [&](CGpuControl&) { sim.setTemperature(0, 60); }, IDC_TEMP_PLOT, IDC_TEMP_READOUT, 50, "60"},
        {"121 C", [&](CGpuControl&) { sim.setTemperature(0, 121); }, IDC_TEMP_PLOT, IDC_TEMP_READOUT, 100, "121"},
        {"fan 37", [&](CGpuControl&) { sim.setFanLevel(0, 0, 37); }, IDC_FAN_PLOT, IDC_FAN_READOUT, 37, "37"},
        {"fan 29", [&](CGpuControl&) { sim.setFanLevel(0, 0, 29); }, IDC_FAN_PLOT, IDC_FAN_READOUT, 28, "29"},
        {"engine 1500 of 0..3000", [&](CGpuControl&) { sim.setLoad(0, 100); }, IDC_ENGINE_PLOT, IDC_ENGINE_READOUT,
         50, "1500"},
        {"memory 1500 of 0..3000, not doubled", [&](CGpuControl&) {}, IDC_MEMORY_PLOT, IDC_MEMORY_READOUT, 50,
         "1500"},
        {"memory at the scale's top",
         [&](CGpuControl& gpu) {
             GpuClockInfo offsets{};
             offsets.memOffset = 1500000;
             ASSERT_EQ(gpu.SetClockOffsets(offsets), 1);
         },
         IDC_MEMORY_PLOT, IDC_MEMORY_READOUT, 100, "3000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(SimDriver::UseScenario(kScenario));
        TestableHwm& panel = Open();
        c.set(*m_gpu);
        for (int i = 0; i < 3; ++i) panel.Tick();
        EXPECT_EQ(panel.NewestRows(c.plot), std::vector<int>{RowOf(c.percent)});
        EXPECT_EQ(panel.Text(c.readout), c.text);
    }
}

TEST_F(MonitorPanelTest, ASingleFrequencyP0LeavesTheEngineFlatAtZero)
{
    ASSERT_TRUE(SimDriver::UseScenario(std::string(kScenario) + "GfxType=single\nGfxFreq=1000000\n"));
    TestableHwm& panel = Open();
    for (int i = 0; i < 3; ++i) panel.Tick();
    EXPECT_EQ(panel.NewestRows(IDC_ENGINE_PLOT), std::vector<int>{55});
    EXPECT_EQ(panel.Text(IDC_ENGINE_READOUT), "1000");
    EXPECT_EQ(panel.NewestRows(IDC_MEMORY_PLOT), std::vector<int>{RowOf(50)});
}

TEST_F(MonitorPanelTest, FailedReadsArePlottedAtZeroAndAFanLevelShowsADash)
{
    struct Case {
        const char* what;
        std::vector<unsigned int> faults;
        std::vector<std::pair<int, int>> flat;  // plots on row 55 with their readouts' "0" (the fan's "-")
    };
    const Case cases[] = {
        {"clocks", {NvId::GetAllClockFrequencies},
         {{IDC_ENGINE_PLOT, IDC_ENGINE_READOUT}, {IDC_MEMORY_PLOT, IDC_MEMORY_READOUT}}},
        {"temperature and fan", {NvId::GetThermalSettings, NvId::GetCoolerSettings},
         {{IDC_TEMP_PLOT, IDC_TEMP_READOUT}, {IDC_FAN_PLOT, IDC_FAN_READOUT}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(SimDriver::UseScenario(kScenario));
        TestableHwm& panel = Open();
        SimDriver::Get().setTemperature(0, 60);
        SimDriver::Get().setFanLevel(0, 0, 50);
        panel.Tick();
        for (unsigned int id : c.faults) SimDriver::Get().setFault(id, -1);
        for (int i = 0; i < 3; ++i) panel.Tick();
        for (const auto& [plot, readout] : c.flat) {
            EXPECT_EQ(panel.NewestRows(plot), std::vector<int>{55});
            // A fan level that cannot be read is never shown as 0.
            EXPECT_EQ(panel.Text(readout), readout == IDC_FAN_READOUT ? "-" : "0");
        }
    }
}

TEST_F(MonitorPanelTest, AFailedScaleQueryLeavesTheClockPlotsFlatButTheReadoutsLive)
{
    SimDriver::Get().setFault(NvId::GetPstates20, -1);
    TestableHwm& panel = Open();
    SimDriver::Get().setLoad(0, 100);
    for (int i = 0; i < 3; ++i) panel.Tick();
    EXPECT_EQ(panel.NewestRows(IDC_ENGINE_PLOT), std::vector<int>{55});
    EXPECT_EQ(panel.NewestRows(IDC_MEMORY_PLOT), std::vector<int>{55});
    EXPECT_EQ(panel.Text(IDC_ENGINE_READOUT), "1500");
    EXPECT_EQ(panel.Text(IDC_MEMORY_READOUT), "1500");
}

// A readout paints a changed value at once, skin and digits, so the panel
// has nothing to repaint under it; an unchanged value is not painted again.
TEST_F(MonitorPanelTest, AReadoutShowsANewValueAtOnceAndLeavesThePanelNothingToRepaint)
{
    TestableHwm& panel = Open();
    SimDriver::Get().setTemperature(0, 50);
    panel.Tick();
    const int readouts[] = {IDC_ENGINE_READOUT, IDC_MEMORY_READOUT, IDC_TEMP_READOUT, IDC_FAN_READOUT};
    HWND temperature = panel.GetDlgItem(IDC_TEMP_READOUT);
    auto fullRepaint = [&] {
        ::RedrawWindow(panel, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return CaptureClient(temperature);
    };
    const WindowPixels fifty = fullRepaint();

    ::ValidateRect(panel, nullptr);
    panel.SendMessage(WM_TIMER, kSampleTimer);
    EXPECT_EQ(CaptureClient(temperature).pixels, fifty.pixels);
    SimDriver::Get().setTemperature(0, 51);
    panel.SendMessage(WM_TIMER, kSampleTimer);
    for (int id : readouts) EXPECT_FALSE(panel.Pending(panel.CentreOf(id).x, panel.CentreOf(id).y)) << id;
    EXPECT_EQ(panel.Text(IDC_TEMP_READOUT), "51");
    const WindowPixels shown = CaptureClient(temperature);
    EXPECT_NE(shown.pixels, fifty.pixels);
    EXPECT_EQ(shown.pixels, fullRepaint().pixels);
}

TEST_F(MonitorPanelTest, TheStripUnderEachPlotsLastColumnIsRepaintedEverySixthStep)
{
    TestableHwm& panel = Open();
    const int plotMiddles[] = {75 + 28, 142 + 28, 209 + 28, 274 + 28};
    std::vector<int> stripSteps;
    for (int step = 0; step < 18; ++step) {
        ::ValidateRect(panel, nullptr);
        panel.SendMessage(WM_TIMER, kSampleTimer);
        int strips = 0;
        for (int y : plotMiddles) {
            strips += panel.Pending(kPlotRight - 1, y);
            EXPECT_FALSE(panel.Pending(kPlotRight - 2, y));
        }
        if (strips) stripSteps.push_back(step);
        EXPECT_TRUE(strips == 0 || strips == 4);
    }
    ASSERT_EQ(stripSteps.size(), 3u);
    EXPECT_EQ(stripSteps[1] - stripSteps[0], 6);
    EXPECT_EQ(stripSteps[2] - stripSteps[1], 6);
}

// The plots show each new sample as the step ends, and the repaint of the
// strips under their last columns leaves them as they are.
TEST_F(MonitorPanelTest, AStepPaintsThePlotsAtOnceAndTheStripRepaintLeavesThemAsTheyAre)
{
    TestableHwm& panel = Open();
    const int plots[] = {IDC_ENGINE_PLOT, IDC_MEMORY_PLOT, IDC_TEMP_PLOT, IDC_FAN_PLOT};
    SimDriver::Get().setFanLevel(0, 0, 40);
    for (int step = 0; step < 12; ++step) {
        SCOPED_TRACE(step);
        // A level line at 25 and then at 50 per cent, once the rise has moved on.
        SimDriver::Get().setTemperature(0, step < 6 ? 30 : 60);
        panel.SendMessage(WM_TIMER, kSampleTimer);
        if (step % 6 > 1) {
            EXPECT_EQ(panel.NewestRows(IDC_TEMP_PLOT), std::vector<int>{RowOf(step < 6 ? 25 : 50)});
        }
        std::vector<WindowPixels> painted;
        for (int id : plots) painted.push_back(CaptureClient(panel.GetDlgItem(id)));
        ::RedrawWindow(panel, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        for (size_t i = 0; i < painted.size(); ++i)
            EXPECT_TRUE(CaptureClient(panel.GetDlgItem(plots[i])).pixels == painted[i].pixels) << plots[i];
    }
}

// Minimised, the panel samples on; restored, it shows what it sampled meanwhile.
TEST_F(MonitorPanelTest, AMinimisedPanelGoesOnSamplingAndShowsItWhenRestored)
{
    TestableHwm& panel = Open();
    panel.ShowWindow(SW_MINIMIZE);
    ASSERT_TRUE(::IsIconic(panel));
    SimDriver::Get().setTemperature(0, 60);
    for (int i = 0; i < 3; ++i) panel.Tick();
    panel.ShowWindow(SW_RESTORE);
    ::RedrawWindow(panel, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    EXPECT_EQ(panel.NewestRows(IDC_TEMP_PLOT), std::vector<int>{RowOf(50)});
}

TEST_F(MonitorPanelTest, ClosingHidesThePanelAndItGoesOnSampling)
{
    TestableHwm& panel = Open(false);
    panel.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
    EXPECT_FALSE(panel.IsWindowVisible());
    ASSERT_NE(panel.m_hWnd, nullptr);

    // The message loop runs until two steps have sampled, for three seconds at most.
    SimDriver::Get().clearLog();
    const DWORD end = ::GetTickCount() + 3000;
    while (SimDriver::Calls(NvId::GetThermalSettings).size() < 2 && ::GetTickCount() < end) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
        ::Sleep(10);
    }
    EXPECT_GE(SimDriver::Calls(NvId::GetAllClockFrequencies).size(), 2u);
    EXPECT_GE(SimDriver::Calls(NvId::GetThermalSettings).size(), 2u);
}

// At 150 % the plots and readouts stand at their 96-DPI places scaled, and a
// new sample lands on its row scaled, in the column of the newest sample scaled.
TEST_F(MonitorPanelTest, AtAnotherDpiThePlotsAndReadoutsAreLaidOutScaled)
{
    TestableHwm& panel = Open();
    const CScale s(144);
    RECT suggested{40, 40, 40 + s(412), 40 + s(364)};
    panel.SendMessage(WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    ::SetWindowRgn(panel, nullptr, TRUE);  // the outline is the skin's; the plots are looked at here
    const auto place = [&panel](int id) {
        CRect r;
        ::GetWindowRect(panel.GetDlgItem(id), &r);
        ::MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    EXPECT_EQ(place(IDC_ENGINE_PLOT), s.Rect(89, 75, 230, 56));
    EXPECT_EQ(place(IDC_FAN_PLOT), s.Rect(89, 274, 230, 56));
    EXPECT_EQ(place(IDC_TEMP_READOUT), s.Rect(322, 225, 60, 30));
    panel.Tick();
    panel.Tick();
    // 45 degrees on 0..120 is 37 %, row 35 of 56 at 96 DPI.
    const WindowPixels shot = CaptureClient(panel.GetDlgItem(IDC_TEMP_PLOT));
    ASSERT_EQ(shot.width, s(230));
    std::vector<int> rows;
    for (int y = 0; y < shot.height; ++y)
        if (shot.At(s(228), y) == kPlotLine) rows.push_back(y);
    ASSERT_FALSE(rows.empty());
    EXPECT_NEAR(rows.front(), s(RowOf(37)), 1);
}
