// The overclock panel and its warning note over the simulated driver: keys,
// sliders, what Apply, Reset and the presets write and in which order, the
// frame-rate target's settings session, the read-back shown afterwards, and
// what is stored for the next start.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "controls/CBitmapSlider.h"
#include "gpu/GpuControl.h"
#include "overclock/COverclock.h"
#include "panels/CDlgTurbo.h"
#include "profile/IniFile.h"
#include "res/resource.h"
#include "note_closer.h"
#include "sim_driver.h"
#include "test_files.h"
#include "window_pixels.h"

namespace {

// One card by default: power 50..114 % (default 100), offsets -1000..1000 MHz
// (graphics) and -1000..1500 MHz (memory), both editable.
const char* const kOneCard = "[Simulator]\nGpuCount=1\n";
const char* const kTwoCards = "[Simulator]\nGpuCount=2\n";

std::string TempPath(const char* name)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + name;
}

class TestableTurbo : public CDlgTurbo {
public:
    int Enabled(COverclock::Row row) const { return m_overclock->Value(row).enabled ? 1 : 0; }
    int FrameTargetSent() const { return m_overclock->FrameTargetSent(); }
    int SyncAllGpus() const { return m_overclock->SyncAllGpus() ? 1 : 0; }
    void SetStartNote(const std::string& text) { m_overclock->SetNote(text); }

    void Press(int id) { SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(id))); }
    std::string Text(int id) const
    {
        char text[128] = {};
        ::GetWindowTextA(GetDlgItem(id), text, sizeof text);
        return text;
    }
    CBitmapSlider& Slider(int id) { return m_rows[id - IDC_POWER_SLIDER].slider; }
    CRect ChildRect(int id) const
    {
        CRect r;
        ::GetWindowRect(GetDlgItem(id), &r);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    // A press and release at x on a slider, then the messages it posted.
    void Drag(int id, int x)
    {
        HWND slider = GetDlgItem(id);
        ::SendMessageA(slider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 7));
        ::SendMessageA(slider, WM_LBUTTONUP, 0, MAKELPARAM(x, 7));
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
    }
    // Moves a slider as a drag would and tells the panel with the given message.
    void Slide(int id, int pos, UINT message = WM_SLIDER_MOVED)
    {
        Slider(id).SetPos(pos);
        SendMessage(message, static_cast<WPARAM>(id), pos);
    }
    // "Apply", closing the note the given way when it shows.
    void ApplyClosingNote(NoteClose how = NoteClose::Button)
    {
        CloseNoteWhenShown(how);
        Press(IDC_APPLY);
    }
    // The main window's preset, as its "Apply" runs it.
    void PresetClosingNote(int level)
    {
        CloseNoteWhenShown();
        if (m_warning->Confirm()) m_overclock->ApplyPreset(level);
    }
};

struct Write {
    int gpu;
    unsigned interfaceId;
    std::vector<int> values;
    bool operator==(const Write& o) const { return gpu == o.gpu && interfaceId == o.interfaceId && values == o.values; }
};

void PrintTo(const Write& w, std::ostream* os)
{
    *os << "{gpu " << w.gpu << ", 0x" << std::hex << w.interfaceId << std::dec << ":";
    for (int v : w.values) *os << " " << v;
    *os << "}";
}

// The clock-offset and power writes in the log, in order.
std::vector<Write> OverclockWrites()
{
    std::vector<Write> writes;
    for (const NvSimCall& call : SimDriver::Calls()) {
        if (call.interfaceId != NvId::SetPstates20 && call.interfaceId != NvId::SetPowerPolicyStatus) continue;
        writes.push_back({call.gpu, call.interfaceId, std::vector<int>(call.values, call.values + call.count)});
    }
    return writes;
}

// P0 with graphics then memory offset (kHz), as the driver receives it.
Write Offsets(int gpu, int gfxKhz, int memKhz)
{
    return {gpu, NvId::SetPstates20, {0, kNvClockGraphics, gfxKhz, kNvClockMemory, memKhz}};
}
// Policy 0, no flags, the target in thousandths of a per cent.
Write Power(int gpu, int target) { return {gpu, NvId::SetPowerPolicyStatus, {0, 0, target}}; }

class TurboPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(SimDriver::Get().load, nullptr) << "simulated driver missing";
        UseScenario(kOneCard);
        WriteSync(1);
    }
    void TearDown() override
    {
        m_panel.reset();
        m_overclock.reset();
        DeleteFileA(m_profile.c_str());
    }
    void UseScenario(const char* ini)
    {
        m_panel.reset();
        m_overclock.reset();
        ASSERT_TRUE(SimDriver::UseScenario(ini));
        m_gpu = std::make_unique<CGpuControl>();
        ASSERT_EQ(m_gpu->Initialize(), 0);
    }
    void WriteSync(int sync)
    {
        WritePrivateProfileStringA("System", "Synchronization", sync ? "1" : "0", m_profile.c_str());
    }
    TestableTurbo& Open()
    {
        m_panel.reset();
        m_ini.SetPath(Widen(m_profile));
        m_overclock = std::make_unique<COverclock>(*m_gpu, m_ini);
        m_panel = std::make_unique<TestableTurbo>();
        m_panel->SetOverclock(m_overclock.get(), &m_warning);
        EXPECT_TRUE(m_panel->Create(IDD_OVERCLOCK));
        m_panel->ShowWindow(SW_SHOW);
        m_panel->UpdateWindow();
        SimDriver::Get().clearLog();
        return *m_panel;
    }
    static int DrsSessions() { return static_cast<int>(SimDriver::Calls(NvId::DrsCreateSession).size()); }
    static std::vector<int> FrameRateWrites()
    {
        std::vector<int> values;
        for (const NvSimCall& call : SimDriver::Calls(NvId::DrsSetSetting)) values.push_back(call.values[2]);
        return values;
    }

    std::string m_profile = TempPath("qsurge_turbo_test.ini");
    CIniFile m_ini;
    std::unique_ptr<CGpuControl> m_gpu;
    COverclockWarning m_warning;
    std::unique_ptr<COverclock> m_overclock;
    std::unique_ptr<TestableTurbo> m_panel;
};

}  // namespace

TEST_F(TurboPanelTest, OpensWithTheDriversValuesAndLimits)
{
    TestableTurbo& panel = Open();
    EXPECT_EQ(panel.GetWindowText(), "Q-Surge");
    EXPECT_EQ(panel.GetClientRect(), CRect(0, 0, 412, 364));
    struct Row {
        int slider, readout;
        std::string shown;
        int minimum, maximum;
    };
    const Row rows[] = {
        {IDC_POWER_SLIDER, IDC_POWER_READOUT, "100", 50, 114},
        {IDC_FRAME_SLIDER, IDC_FRAME_READOUT, "40", 40, 255},
        {IDC_GPU_OFFSET_SLIDER, IDC_GPU_OFFSET_READOUT, "0", -1000, 1000},
        {IDC_MEM_OFFSET_SLIDER, IDC_MEM_OFFSET_READOUT, "0", -1000, 1500},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.slider);
        EXPECT_EQ(panel.Text(r.readout), r.shown);
        EXPECT_EQ(panel.Slider(r.slider).GetPos(), std::stoi(r.shown));
        EXPECT_EQ(panel.Slider(r.slider).GetRangeMin(), r.minimum);
        EXPECT_EQ(panel.Slider(r.slider).GetRangeMax(), r.maximum);
    }
    // Keys take their images' sizes at their places, row by row.
    EXPECT_EQ(panel.ChildRect(IDC_POWER_PLUS), CRect(307, 101, 324, 118));
    EXPECT_EQ(panel.ChildRect(IDC_MEM_OFFSET_MINUS), CRect(150, 239, 166, 256));
    EXPECT_EQ(panel.ChildRect(IDC_FRAME_SLIDER), CRect(170, 148, 304, 163));
    EXPECT_EQ(panel.ChildRect(IDC_GPU_OFFSET_READOUT), CRect(334, 192, 377, 216));
    EXPECT_EQ(panel.ChildRect(IDC_APPLY), CRect(50, 283, 166, 336));
    EXPECT_EQ(panel.ChildRect(IDC_CLOSE), CRect(382, 5, 401, 22));
}

TEST_F(TurboPanelTest, DriverOffsetsAreShownInWholeMegahertzTowardZero)
{
    const std::pair<int, std::string> cases[] = {{-1500, "-1"}, {999, "0"}, {-999, "0"}, {25999, "25"}};
    for (const auto& [khz, shown] : cases) {
        SCOPED_TRACE(khz);
        GpuClockInfo offsets{};
        offsets.gfxOffset = khz;
        offsets.memOffset = khz;
        ASSERT_EQ(m_gpu->SetClockOffsets(offsets), 1);
        TestableTurbo& panel = Open();
        EXPECT_EQ(panel.Text(IDC_GPU_OFFSET_READOUT), shown);
        EXPECT_EQ(panel.Text(IDC_MEM_OFFSET_READOUT), shown);
    }
}

TEST_F(TurboPanelTest, KeysStepWithinTheLimitsAndRepaintAtTheEnds)
{
    struct Case {
        int key, slider, readout, start;
        std::string shown;
    };
    const Case cases[] = {
        {IDC_POWER_PLUS, IDC_POWER_SLIDER, IDC_POWER_READOUT, 113, "114"},
        {IDC_POWER_PLUS, IDC_POWER_SLIDER, IDC_POWER_READOUT, 114, "114"},  // at the maximum
        {IDC_POWER_MINUS, IDC_POWER_SLIDER, IDC_POWER_READOUT, 50, "50"},  // at the minimum
        {IDC_FRAME_PLUS, IDC_FRAME_SLIDER, IDC_FRAME_READOUT, 40, "41"},
        {IDC_FRAME_MINUS, IDC_FRAME_SLIDER, IDC_FRAME_READOUT, 40, "40"},
        {IDC_GPU_OFFSET_MINUS, IDC_GPU_OFFSET_SLIDER, IDC_GPU_OFFSET_READOUT, 0, "-1"},
        {IDC_MEM_OFFSET_PLUS, IDC_MEM_OFFSET_SLIDER, IDC_MEM_OFFSET_READOUT, 1500, "1500"},
    };
    TestableTurbo& panel = Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        panel.Slide(c.slider, c.start);
        HWND readout = panel.GetDlgItem(c.readout);
        const WindowPixels before = CaptureClient(readout);
        {
            CClientDC dc(readout);  // something else paints over the digits
            CBrush red(::CreateSolidBrush(RGB(255, 0, 0)));
            const CRect all(0, 0, 43, 24);
            ::FillRect(dc, &all, red);
        }
        panel.Press(c.key);
        EXPECT_EQ(panel.Text(c.readout), c.shown);
        EXPECT_EQ(panel.Slider(c.slider).GetPos(), std::stoi(c.shown));
        const WindowPixels after = CaptureClient(readout);
        EXPECT_EQ(after.Count(RGB(255, 0, 0)), 0) << "the readout was not painted again";
        if (std::to_string(c.start) == c.shown) {
            EXPECT_EQ(after.pixels, before.pixels);
        }
    }
    EXPECT_TRUE(SimDriver::Calls().empty()) << "keys write nothing to the driver";
}

TEST_F(TurboPanelTest, BothSliderMessagesShowTheValueAndOthersAreIgnored)
{
    TestableTurbo& panel = Open();
    panel.Slide(IDC_GPU_OFFSET_SLIDER, 120, WM_SLIDER_MOVING);
    EXPECT_EQ(panel.Text(IDC_GPU_OFFSET_READOUT), "120");
    panel.Slide(IDC_MEM_OFFSET_SLIDER, -300, WM_SLIDER_MOVED);
    EXPECT_EQ(panel.Text(IDC_MEM_OFFSET_READOUT), "-300");

    panel.Slider(IDC_POWER_SLIDER).SetPos(60);
    for (WPARAM id : {WPARAM{IDC_POWER_SLIDER - 1}, WPARAM{IDC_MEM_OFFSET_SLIDER + 1}, WPARAM{0}})
        panel.SendMessage(WM_SLIDER_MOVED, id, 60);
    EXPECT_EQ(panel.Text(IDC_POWER_READOUT), "100");

    // Dragged with the mouse, the slider tells the panel itself.
    panel.Drag(IDC_FRAME_SLIDER, 120);
    EXPECT_GT(std::stoi(panel.Text(IDC_FRAME_READOUT)), 200);
    EXPECT_EQ(panel.Text(IDC_FRAME_READOUT), std::to_string(panel.Slider(IDC_FRAME_SLIDER).GetPos()));
}

TEST_F(TurboPanelTest, AValueWhoseReadFailedIsNeverWrittenAndIsReadAgainWhenThePanelIsShown)
{
    struct Case {
        const char* name;
        unsigned interfaceId;
        bool clocksLost;  // else the power target
        std::vector<Write> apply, preset, reset;  // with the read still failing
    };
    const Case cases[] = {
        {"P-states", NvId::GetPstates20, true, {Power(0, 100000)}, {Power(0, 110000)}, {Power(0, 100000)}},
        {"power policies", NvId::GetPowerPolicyInfo, false, {Offsets(0, 0, 0)}, {Offsets(0, 80000, 100000)},
         {Offsets(0, 0, 0)}},
        {"power status", NvId::GetPowerPolicyStatus, false, {Offsets(0, 0, 0)}, {Offsets(0, 80000, 100000)},
         {Offsets(0, 0, 0)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UseScenario(kOneCard);
        SimDriver::Get().setFault(c.interfaceId, -1);
        TestableTurbo& panel = Open();
        const std::vector<int> lost = c.clocksLost ? std::vector<int>{IDC_GPU_OFFSET_READOUT, IDC_MEM_OFFSET_READOUT}
                                                   : std::vector<int>{IDC_POWER_READOUT};
        const int lostKey = c.clocksLost ? IDC_GPU_OFFSET_PLUS : IDC_POWER_MINUS;
        const int lostSlider = c.clocksLost ? IDC_MEM_OFFSET_SLIDER : IDC_POWER_SLIDER;
        const auto expectLost = [&] {
            for (int readout : lost) EXPECT_EQ(panel.Text(readout), "") << readout;
            EXPECT_EQ(panel.Enabled(COverclock::kGpuOffset), c.clocksLost ? 0 : 1);
            EXPECT_EQ(panel.Enabled(COverclock::kMemOffset), c.clocksLost ? 0 : 1);
            EXPECT_EQ(panel.Enabled(COverclock::kPower), c.clocksLost ? 1 : 0);
        };
        expectLost();
        panel.Press(lostKey);
        panel.Drag(lostSlider, 120);
        EXPECT_EQ(panel.Text(lost.front()), "") << "a row not read ignores its keys";
        EXPECT_EQ(panel.Text(lost.back()), "") << "a row not read ignores its slider";

        // Apply, a preset and Reset send the rows that were read, and only those.
        SimDriver::Get().clearLog();
        panel.ApplyClosingNote();
        EXPECT_EQ(OverclockWrites(), c.apply);
        SimDriver::Get().clearLog();
        panel.PresetClosingNote(3);
        EXPECT_EQ(OverclockWrites(), c.preset);
        SimDriver::Get().clearLog();
        panel.Press(IDC_RESET);
        EXPECT_EQ(OverclockWrites(), c.reset);
        expectLost();

        // Shown again once the driver answers, the panel reads the row.
        SimDriver::Get().setFault(c.interfaceId, 0);
        panel.Press(IDC_CLOSE);
        panel.ShowWindow(SW_SHOW);
        for (int readout : lost) EXPECT_EQ(panel.Text(readout), readout == IDC_POWER_READOUT ? "100" : "0");
        EXPECT_EQ(panel.Enabled(COverclock::kGpuOffset) + panel.Enabled(COverclock::kMemOffset) + panel.Enabled(COverclock::kPower), 3);
        EXPECT_EQ(panel.Slider(IDC_POWER_SLIDER).GetRangeMax(), 114);
        EXPECT_EQ(panel.Slider(IDC_MEM_OFFSET_SLIDER).GetRangeMax(), 1500);
        panel.Press(lostKey);
        SimDriver::Get().clearLog();
        panel.ApplyClosingNote();
        EXPECT_EQ(OverclockWrites(), (std::vector<Write>{Offsets(0, c.clocksLost ? 1000 : 0, 0),
                                                         Power(0, c.clocksLost ? 100000 : 99000)}));
    }
}

TEST_F(TurboPanelTest, AFailedReadBackLeavesTheRowOutUntilARestoreOrAPresetReadsIt)
{
    TestableTurbo& panel = Open();
    SimDriver::Get().setFault(NvId::GetPowerPolicyStatus, -1);
    panel.Slide(IDC_POWER_SLIDER, 105);
    panel.ApplyClosingNote();
    EXPECT_EQ(OverclockWrites(), (std::vector<Write>{Offsets(0, 0, 0), Power(0, 105000)}));
    EXPECT_EQ(panel.Text(IDC_POWER_READOUT), "") << "what the driver took is not known";
    EXPECT_EQ(panel.Enabled(COverclock::kPower), 0);
    SimDriver::Get().clearLog();
    panel.ApplyClosingNote();
    EXPECT_EQ(OverclockWrites(), std::vector<Write>{Offsets(0, 0, 0)});

    // Restored from its icon, the panel reads it again.
    panel.Press(IDC_MINIMIZE);
    SimDriver::Get().setFault(NvId::GetPowerPolicyStatus, 0);
    panel.ShowWindow(SW_RESTORE);
    EXPECT_EQ(panel.Text(IDC_POWER_READOUT), "105");
    EXPECT_EQ(panel.Enabled(COverclock::kPower), 1);

    // The main window's preset, on a panel it never shows, reads the default
    // it needs before raising it.
    SimDriver::Get().setFault(NvId::GetPowerPolicyInfo, -1);
    panel.Press(IDC_CLOSE);
    panel.Press(IDC_RESET);
    EXPECT_EQ(panel.Text(IDC_POWER_READOUT), "");
    SimDriver::Get().setFault(NvId::GetPowerPolicyInfo, 0);
    SimDriver::Get().clearLog();
    panel.PresetClosingNote(1);
    EXPECT_EQ(OverclockWrites(), (std::vector<Write>{Offsets(0, 30000, 50000), Power(0, 110000)}));
    EXPECT_EQ(panel.Text(IDC_POWER_READOUT), "110");
}

TEST_F(TurboPanelTest, WithoutADefaultPowerTargetPresetsAndResetLeaveThePowerOut)
{
    UseScenario("[Simulator]\nGpuCount=1\n[Gpu]\nPowerMin=0\nPowerDefault=0\n");
    TestableTurbo& panel = Open();
    ASSERT_EQ(panel.Enabled(COverclock::kPower), 0);
    EXPECT_EQ(panel.Text(IDC_POWER_READOUT), "0") << "the target itself was read";
    panel.PresetClosingNote(2);
    EXPECT_EQ(OverclockWrites(), std::vector<Write>{Offsets(0, 50000, 80000)});
    SimDriver::Get().clearLog();
    panel.Press(IDC_RESET);
    EXPECT_EQ(OverclockWrites(), std::vector<Write>{Offsets(0, 0, 0)});
    SimDriver::Get().clearLog();
    panel.ApplyClosingNote();
    EXPECT_EQ(OverclockWrites(), (std::vector<Write>{Offsets(0, 0, 0), Power(0, 0)})) << "Apply sends what was read";
}

TEST_F(TurboPanelTest, ARowTheDriverDoesNotLetChangeIgnoresItsKeysAndSlider)
{
    UseScenario("[Simulator]\nGpuCount=1\n[Gpu]\nGfxEditable=0\n");
    TestableTurbo& panel = Open();
    ASSERT_EQ(panel.Enabled(COverclock::kGpuOffset), 0);
    ASSERT_EQ(panel.Enabled(COverclock::kMemOffset), 1);
    EXPECT_EQ(panel.Slider(IDC_GPU_OFFSET_SLIDER).GetRangeMax(), 1000) << "limits are kept";
    panel.Press(IDC_GPU_OFFSET_PLUS);
    panel.Press(IDC_GPU_OFFSET_PLUS);
    panel.Drag(IDC_GPU_OFFSET_SLIDER, 120);
    EXPECT_EQ(panel.Text(IDC_GPU_OFFSET_READOUT), "0");
    EXPECT_EQ(panel.Slider(IDC_GPU_OFFSET_SLIDER).GetPos(), 0);
    panel.Press(IDC_MEM_OFFSET_PLUS);
    panel.Drag(IDC_MEM_OFFSET_SLIDER, 120);
    EXPECT_GT(std::stoi(panel.Text(IDC_MEM_OFFSET_READOUT)), 1000);
}

TEST_F(TurboPanelTest, ApplyWritesOffsetsThenPowerToTheAddressedGpusAndShowsTheSelectedOnesReadBack)
{
    struct Case {
        int sync, selected;
        std::vector<Write> writes;
    };
    const Case cases[] = {
        {1, 1, {Offsets(0, 120000, -300000), Power(0, 105000), Offsets(1, 120000, -300000), Power(1, 105000)}},
        {0, 1, {Offsets(1, 120000, -300000), Power(1, 105000)}},
        {0, 0, {Offsets(0, 120000, -300000), Power(0, 105000)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "sync " << c.sync << ", GPU " << c.selected);
        UseScenario(kTwoCards);
        WriteSync(c.sync);
        ASSERT_TRUE(m_gpu->SelectGpu(c.selected));
        TestableTurbo& panel = Open();
        EXPECT_EQ(panel.SyncAllGpus(), c.sync);
        panel.Slide(IDC_POWER_SLIDER, 105);
        panel.Slide(IDC_GPU_OFFSET_SLIDER, 120);
        panel.Slide(IDC_MEM_OFFSET_SLIDER, -300);
        // The card that is not selected holds another offset.
        GpuClockInfo other{};
        other.gfxOffset = 7000;
        ASSERT_EQ(m_gpu->SetClockOffsets(other, 1 - c.selected), 1);
        SimDriver::Get().clearLog();

        panel.ApplyClosingNote();
        EXPECT_TRUE(LastNote().shown);
        EXPECT_EQ(OverclockWrites(), c.writes);
        // Read back from the selected GPU only.
        for (const NvSimCall& call : SimDriver::Calls(NvId::GetPstates20)) EXPECT_EQ(call.gpu, c.selected);
        EXPECT_EQ(panel.Text(IDC_GPU_OFFSET_READOUT), "120");
        EXPECT_EQ(panel.Text(IDC_MEM_OFFSET_READOUT), "-300");
        EXPECT_EQ(panel.Text(IDC_POWER_READOUT), "105");
        // The 40 shown is not known to be in the driver until written once.
        EXPECT_EQ(FrameRateWrites(), std::vector<int>{static_cast<int>(0xF0000028)});
    }
}

TEST_F(TurboPanelTest, TheNoteWarnsAndEitherWayOfClosingItLetsTheWriteGoOn)
{
    TestableTurbo& panel = Open();
    for (NoteClose how : {NoteClose::Button, NoteClose::Escape}) {
        SCOPED_TRACE(how == NoteClose::Button ? "button" : "Esc");
        SimDriver::Get().clearLog();
        panel.ApplyClosingNote(how);
        ASSERT_TRUE(LastNote().shown);
        EXPECT_EQ(LastNote().text, CDlgTurbo::kOverclockWarning);
        EXPECT_EQ(LastNote().exStyle & WS_EX_APPWINDOW, 0);
        EXPECT_EQ(OverclockWrites().size(), 2u);
    }
}

TEST_F(TurboPanelTest, TheFrameRateTargetIsWrittenWhenItIsNotKnownToBeInTheDriver)
{
    TestableTurbo& panel = Open();
    panel.ApplyClosingNote();  // 40 is shown, whatever the driver holds
    EXPECT_EQ(FrameRateWrites(), std::vector<int>{static_cast<int>(0xF0000028)});
    EXPECT_EQ(panel.FrameTargetSent(), 40);
    SimDriver::Get().clearLog();
    panel.ApplyClosingNote();  // now it is there
    EXPECT_EQ(DrsSessions(), 0);

    panel.Slide(IDC_FRAME_SLIDER, 60);
    panel.ApplyClosingNote();
    EXPECT_EQ(FrameRateWrites(), std::vector<int>{static_cast<int>(0xF000003C)});
    EXPECT_EQ(panel.FrameTargetSent(), 60);
    EXPECT_EQ(panel.Text(IDC_FRAME_READOUT), "60");

    SimDriver::Get().clearLog();
    panel.ApplyClosingNote();  // 60 is in the driver already
    EXPECT_EQ(DrsSessions(), 0);

    panel.Press(IDC_RESET);  // shows 40 but writes nothing for it: the driver keeps 60
    EXPECT_EQ(panel.Text(IDC_FRAME_READOUT), "40");
    EXPECT_EQ(panel.Slider(IDC_FRAME_SLIDER).GetPos(), 40);
    EXPECT_EQ(DrsSessions(), 0);
    unsigned saved = 0;
    ASSERT_EQ(SimDriver::Get().savedSetting(kNvDrsFrameRateLimiter, &saved), 1);
    EXPECT_EQ(saved, 0xF000003Cu);
    panel.ApplyClosingNote();  // so the 40 shown is written
    EXPECT_EQ(FrameRateWrites(), std::vector<int>{static_cast<int>(0xF0000028)});
    ASSERT_EQ(SimDriver::Get().savedSetting(kNvDrsFrameRateLimiter, &saved), 1);
    EXPECT_EQ(saved, 0xF0000028u);
    EXPECT_EQ(panel.FrameTargetSent(), 40);

    // A failed write is tried again at the next Apply.
    panel.Slide(IDC_FRAME_SLIDER, 50);
    SimDriver::Get().setFault(NvId::DrsSetSetting, -1);
    panel.ApplyClosingNote();
    EXPECT_EQ(panel.FrameTargetSent(), 40);
    SimDriver::Get().setFault(NvId::DrsSetSetting, 0);
    SimDriver::Get().clearLog();
    panel.ApplyClosingNote();
    EXPECT_EQ(FrameRateWrites(), std::vector<int>{static_cast<int>(0xF0000032)});
    EXPECT_EQ(panel.FrameTargetSent(), 50);
}

TEST_F(TurboPanelTest, PresetsAskForTheirValuesBeyondTheLimitsAndShowWhatTheDriverHolds)
{
    // Limits below every preset: 105 % at most, offsets up to 50 MHz.
    UseScenario("[Simulator]\nGpuCount=1\n[Gpu]\nPowerMax=105000\nGfxOffsetMax=50000\nMemOffsetMax=50000\n");
    TestableTurbo& panel = Open();
    panel.Slide(IDC_FRAME_SLIDER, 70);
    struct Case {
        int level, gpuKhz, memKhz;
    };
    const Case cases[] = {{1, 30000, 50000}, {2, 50000, 80000}, {3, 80000, 100000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        SimDriver::Get().clearLog();
        panel.PresetClosingNote(c.level);
        EXPECT_TRUE(LastNote().shown);
        EXPECT_EQ(OverclockWrites(), (std::vector<Write>{Offsets(0, c.gpuKhz, c.memKhz), Power(0, 110000)}));
        // The driver refuses what is out of its limits: the read-back shows what it holds.
        GpuClockInfo held{};
        ASSERT_EQ(m_gpu->GetPstateClocks(held, 0, 0), 1);
        ASSERT_EQ(m_gpu->GetPowerTarget(held), 1);
        EXPECT_EQ(panel.Text(IDC_GPU_OFFSET_READOUT), std::to_string(held.gfxOffset / 1000));
        EXPECT_EQ(panel.Text(IDC_MEM_OFFSET_READOUT), std::to_string(held.memOffset / 1000));
        EXPECT_EQ(panel.Text(IDC_POWER_READOUT), std::to_string(held.powerTarget / 1000));
        // The frame-rate row is not a preset's.
        EXPECT_EQ(panel.Text(IDC_FRAME_READOUT), "70");
        EXPECT_EQ(DrsSessions(), 0);
    }
    EXPECT_EQ(panel.Text(IDC_GPU_OFFSET_READOUT), "30") << "preset 1 fits, the others do not";
}

TEST_F(TurboPanelTest, CloseAndEscHideThePanelWhichKeepsItsValues)
{
    TestableTurbo& panel = Open();
    panel.Slide(IDC_GPU_OFFSET_SLIDER, 42);
    panel.Press(IDC_CLOSE);
    EXPECT_FALSE(panel.IsWindowVisible());
    ASSERT_TRUE(::IsWindow(panel));
    panel.ShowWindow(SW_SHOW);
    EXPECT_EQ(panel.Text(IDC_GPU_OFFSET_READOUT), "42");
    panel.SendMessage(WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(panel.IsWindowVisible());
    panel.ShowWindow(SW_SHOW);
    panel.Press(IDC_MINIMIZE);
    EXPECT_TRUE(::IsIconic(panel));
    EXPECT_EQ(panel.Slider(IDC_GPU_OFFSET_SLIDER).GetPos(), 42);
}

TEST_F(TurboPanelTest, EverySuccessfulOverclockIsStoredForTheNextStartAndResetForgetsIt)
{
    const auto stored = [this](const char* key) {
        char value[32] = {};
        GetPrivateProfileStringA("Overclock", key, "<missing>", value, sizeof value, m_profile.c_str());
        return std::string(value);
    };
    const auto expectStored = [&](const char* power, const char* frame, const char* gpu, const char* mem,
                                  const char* all) {
        EXPECT_EQ(stored("PowerTarget"), power);
        EXPECT_EQ(stored("FrameTarget"), frame);
        EXPECT_EQ(stored("GpuOffset"), gpu);
        EXPECT_EQ(stored("MemOffset"), mem);
        EXPECT_EQ(stored("AllGpus"), all);
    };
    TestableTurbo& panel = Open();
    // A start held the stored one back; the panel says why.
    WritePrivateProfileStringA("Overclock", "StartGuard", "tripped", m_profile.c_str());
    panel.SetStartNote("held back");
    EXPECT_EQ(panel.Text(IDC_OVERCLOCK_NOTE), "held back");

    panel.Slide(IDC_POWER_SLIDER, 105);
    panel.Slide(IDC_FRAME_SLIDER, 60);
    panel.Slide(IDC_GPU_OFFSET_SLIDER, 120);
    panel.Slide(IDC_MEM_OFFSET_SLIDER, -300);
    panel.ApplyClosingNote();
    expectStored("105", "60", "120", "-300", "1");
    EXPECT_EQ(stored("StartGuard"), "") << "applied by hand, it may be applied at start again";
    EXPECT_EQ(panel.Text(IDC_OVERCLOCK_NOTE), "Values go to the GPU when you press Apply.");

    // A preset leaves the frame-rate target as the driver holds it.
    panel.PresetClosingNote(2);
    expectStored("110", "60", "50", "80", "1");

    // Given whole, as the overclock at start gives it: within the limits, to
    // the one card, shown, and the kept one stays as it was.
    OverclockSettings wanted;
    wanted.powerTarget = 200;
    wanted.frameTarget = 70;
    wanted.gpuOffset = 5000;
    wanted.memOffset = -5000;
    wanted.allGpus = false;
    SimDriver::Get().clearLog();
    EXPECT_TRUE(m_overclock->ApplyPlan(m_overclock->Plan(wanted)));
    EXPECT_EQ(OverclockWrites(), (std::vector<Write>{Offsets(0, 1000000, -1000000), Power(0, 114000)}));
    EXPECT_EQ(FrameRateWrites(), std::vector<int>{static_cast<int>(0xF0000046)});
    expectStored("110", "60", "50", "80", "1");
    EXPECT_EQ(panel.Text(IDC_POWER_READOUT), "114");

    panel.Press(IDC_RESET);
    expectStored("", "", "", "", "");
}

TEST_F(TurboPanelTest, AnOverclockTheDriverRefusesIsNotStored)
{
    // Limits below preset 3: 105 % at most, offsets up to 50 MHz.
    UseScenario("[Simulator]\nGpuCount=1\n[Gpu]\nPowerMax=105000\nGfxOffsetMax=50000\nMemOffsetMax=50000\n");
    TestableTurbo& panel = Open();
    panel.Slide(IDC_GPU_OFFSET_SLIDER, 20);
    panel.ApplyClosingNote();
    const std::string applied = ReadWholeFile(m_profile);
    ASSERT_NE(applied.find("GpuOffset=20"), std::string::npos) << applied;

    panel.PresetClosingNote(3);
    EXPECT_EQ(ReadWholeFile(m_profile), applied) << "refused by the driver";
    panel.Slide(IDC_FRAME_SLIDER, 50);
    SimDriver::Get().setFault(NvId::DrsSetSetting, -1);
    panel.ApplyClosingNote();
    EXPECT_EQ(ReadWholeFile(m_profile), applied) << "the frame-rate target was not taken";
}
