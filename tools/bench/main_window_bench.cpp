// Benchmark of the main window over the simulated driver, for steady readings,
// for readings that change at every refresh, and for changing readings with
// the monitor and information panels open beside it: the window's own cost of
// one refresh, and the monitor's of one sampling step, against one plain copy
// of the dial, the process's CPU share in normal running, and its private
// memory and GDI and USER objects before and after many refreshes. Prints the
// figures beside their targets; tools/bench.sh runs it.
// With the readings log on, it prints the log's own cost beside them.
//   main_window_bench.exe [seconds of normal running per scenario, default 60]
//                         [refreshes of the soak, default 100000, 0 none]
//                         [scenario to run alone, 1 to 7, or 8 for the
//                          platform's floor alone; default all; the one at
//                          150 % runs after its 100 % twin]
#include <windows.h>
#include <commctrl.h>

#include <objidl.h>
#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "app/CQuiloDlg.h"
#include "framework/Art.h"
#include "framework/Dpi.h"
#include "framework/Resources.h"
#include "profile/IniFile.h"
#include "res/resource.h"
#include "tests/sim_driver.h"
#include "tools/bench/LoggingCost.h"
#include "tools/bench/PlatformFloor.h"
#include "tools/bench/ProcessCounters.h"

namespace {

constexpr int kRefreshes = 10000;
// Pictures and fonts are loaded on first use, and the simulated driver's call
// log grows until it holds its newest 4096 calls (three per refresh).
constexpr int kWarmUpRefreshes = 1500;
// Normal running is timed once the readings have been through their cycle of
// 100 refreshes: by then the dial has turned each needle angle it shows once.
constexpr int kSettleRefreshes = 110;
constexpr UINT_PTR kRefreshTimer = 2;
constexpr UINT_PTR kSampleTimer = 10;  // the monitor panel's
constexpr int kDialSize = 298;

// One card whose memory clock follows the load as its graphics clock does, so
// that a change of load turns both needles.
const char* const kCard =
    "[Gpu]\nDeviceId=0x1B8110DE\nExtDeviceId=0x1B81\nGfxMinFreq=300000\nGfxMaxFreq=1750000\n"
    "MemType=range\nMemMinFreq=810000\nMemMaxFreq=4500000\n"
    "CoolerMin=0\nCoolerMax=100\nTemperature=57\nLoad=60\nLoadAmplitude=0\n";
const std::string kScenario = std::string("[Simulator]\nGpuCount=1\n") + kCard;
// The same card and a second one, for the readings log's own cost.
const std::string kLoggingScenario = std::string("[Simulator]\nGpuCount=2\n") + kCard +
                                     "[Gpu1]\nDeviceId=0x1C03\nExtDeviceId=0x1C03\nTemperature=48\nLoad=30\n";
// The logged seconds whose cost is measured apart from the window.
constexpr int kLoggedSeconds = 2000;
constexpr double kMaxLoggingStep = 100e-6;    // seconds: the longest the log may hold up a refresh
constexpr double kMaxLoggingPercent = 0.05;   // of one core
constexpr int kLooksPerSecond = 2;            // the writer's, for rows
constexpr int kRefreshesPerSecond = 10;
constexpr int kLookSeconds = 5;               // of looks once a millisecond, to measure one

struct Scenario {
    const char* name;
    bool changing;
    double maxDialCopies;  // the refresh's own cost, mean, in dial copies per turn of the loop
    double maxCpuPercent;  // of one core
    bool panels = false;   // the monitor and information panels open ("HWM")
    double maxStepDialCopies = 0;  // the monitor's own cost of one sampling step
    bool hidden = false;   // the window hidden in the notification area
    double maxBackToBack = 0;  // the refresh's own cost, mean, in back-to-back dial copies (0: none)
    bool logging = false;  // the readings log on
    UINT dpi = kBaseDpi;   // the display's scale the window is laid out for
};
const Scenario kScenarios[] = {
    {"steady readings", false, 5, 0.2},
    {"readings changing at every refresh", true, 40, 0.4, false, 0, false, 15},
    {"readings changing at every refresh, monitor and information panels open", true, 40, 0.8, true, 20, false, 15},
    {"steady readings, hidden in the notification area", false, 5, 0.2, false, 0, true},
    {"readings changing at every refresh, hidden in the notification area", true, 40, 0.4, false, 0, true, 15},
    {"readings changing at every refresh, logging", true, 40, 0.4, false, 0, false, 15, true},
    // 2.25 times the pixels of the frame at 100 %, against the same plain copy of the 100 % dial.
    {"readings changing at every refresh, at 150 %", true, 90, 0.9, false, 0, false, 34, false, 144},
};
constexpr int kChangingScenario = 2;  // the one logging and the larger scale are compared with
// At 150 % a refresh may cost at most as much more as its frame has pixels.
constexpr double kMaxScaledCost = 2.25;
// The soak: readings changing at every refresh with every panel open.
constexpr int kSoakRefreshes = 100000;
constexpr int kSoakReport = 10000;

struct Readings {
    int temperature, fan, load;
};

// What the card reads at refresh i. Changing readings step by one at every
// refresh; one per cent of load moves each clock by more than a degree of its
// needle, and every wrap-around is a change too.
Readings ReadingsAt(const Scenario& s, int i)
{
    if (!s.changing) return {57, 43, 60};
    return {20 + i % 100, i % 101, i % 100};
}

void SetReadings(const Readings& r)
{
    const SimDriver& sim = SimDriver::Get();
    sim.setTemperature(0, r.temperature);
    sim.setFanLevel(0, 0, r.fan);
    sim.setLoad(0, r.load);
}

void PumpMessages()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

// The main window with a hook before each of timer 2's refreshes.
class BenchDlg : public CQuiloDlg {
public:
    using CQuiloDlg::m_gauge;
    using CQuiloDlg::m_monitorPanel;

    void OpenMonitor() { SendMessage(WM_COMMAND, MAKEWPARAM(IDC_HWM, BN_CLICKED)); }
    void OpenEveryPanel()
    {
        for (int id : {IDC_HWM, IDC_TURBO, IDC_FANCURVE, IDC_SETTINGS}) SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED));
    }
    void Hide() { SendMessage(WM_COMMAND, MAKEWPARAM(IDC_MINIMIZE, BN_CLICKED)); }
    // As if moved to a monitor of that scale: Wine sends no WM_DPICHANGED itself.
    void ShowAtScale(UINT dpi)
    {
        if (dpi == Dpi()) return;
        const CRect now = GetWindowRect();
        RECT suggested{now.left, now.top, now.left + ScaleToDpi(926, dpi), now.top + ScaleToDpi(451, dpi)};
        SendMessage(WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    }
    std::function<void()> beforeRefresh;

    int Reading(int id) const
    {
        char text[16] = {};
        ::GetDlgItemTextA(m_hWnd, id, text, sizeof text);
        return std::atoi(text);
    }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_TIMER && wParam == kRefreshTimer && beforeRefresh) beforeRefresh();
        return CQuiloDlg::WindowProc(msg, wParam, lParam);
    }
};

struct RefreshFigures {
    double median = 0;   // seconds: the middle refresh, handler and painting
    double handler = 0;  // seconds per refresh: timer 2's handler
    double painting = 0; // the painting it leaves for the message loop
    double stepHandler = 0;   // seconds per sampling step: the monitor's timer 10
    double stepPainting = 0;  // the painting it leaves
    double driver = 0;   // the same driver calls alone
    double dialCopy = 0;            // one per turn of the message loop
    double dialCopyBackToBack = 0;  // with source and target in the caches
    int driverCalls = 0;
    int framesComposed = 0;
    int needleTurns = 0;  // needles turned by GDI+ rather than blended from a kept copy
    int needlesTurned = 0;  // refreshes that turned both needles by whole degrees
    ProcessCounters before, after;
};

// The driver calls of one refresh, made by an object of the program's own kind.
double MeasureDriver(const Scenario& s)
{
    CGpuControl gpu;
    if (gpu.Initialize() != 0) return 0;
    double total = 0;
    for (int i = 0; i < kRefreshes; ++i) {
        SetReadings(ReadingsAt(s, i));
        const double start = WallSeconds();
        GpuReading reading;
        gpu.Read(reading, -1);
        total += WallSeconds() - start;
    }
    return total / kRefreshes;
}

// Plain copies of a dial-sized frame, holding the face, onto the dial's place
// in the window.
class DialCopy {
public:
    explicit DialCopy(HWND gauge)
        : m_window(gauge), m_memory(m_window),
          m_frame(::CreateCompatibleBitmap(m_window, kDialSize, kDialSize)), m_selectFrame(m_memory, m_frame)
    {
        CBitmap face = LoadArt(IDB_DIAL_FACE, kBaseDpi);
        CCompatibleDC faceDC(m_window);
        CSelect selectFace(faceDC, face);
        ::BitBlt(m_memory, 0, 0, kDialSize, kDialSize, faceDC, 0, 0, SRCCOPY);
    }
    // Seconds one copy takes.
    double Once()
    {
        const double start = WallSeconds();
        ::BitBlt(m_window, 0, 0, kDialSize, kDialSize, m_memory, 0, 0, SRCCOPY);
        return WallSeconds() - start;
    }

private:
    CClientDC m_window;
    CCompatibleDC m_memory;
    CBitmap m_frame;
    CSelect m_selectFrame;
};

int Angle(int value, int fullScale) { return static_cast<int>(static_cast<long long>(value) * 270 / fullScale); }

// Refreshes driven one by one, each timed with the painting it leaves, as
// the message loop would do that painting next.
class RefreshRun {
public:
    // Room for every refresh's time is made and written first, so that keeping
    // them neither allocates nor touches a new page while the process's memory
    // is measured (Wine counts private memory by the pages touched).
    RefreshRun(BenchDlg& dlg, const Scenario& s)
        : m_dlg(dlg), m_scenario(s), m_each(kSoakRefreshes + 2 * kWarmUpRefreshes + kRefreshes + 1)
    {
    }

    void Refresh()
    {
        SetReadings(ReadingsAt(m_scenario, m_count++));
        const double before = m_handler + m_painting;
        Time(m_dlg, kRefreshTimer, m_handler, m_painting);
        if (m_eachCount < m_each.size()) m_each[m_eachCount++] = m_handler + m_painting - before;
        if (m_dlg.m_monitorPanel.m_hWnd) Time(m_dlg.m_monitorPanel, kSampleTimer, m_stepHandler, m_stepPainting);
        PumpMessages();

        const int memory = Angle(m_dlg.Reading(IDC_MEMORY_READOUT), 9000);
        const int engine = Angle(m_dlg.Reading(IDC_ENGINE_READOUT), 1800);
        m_needlesTurned += memory != m_memoryAngle && engine != m_engineAngle;
        m_memoryAngle = memory;
        m_engineAngle = engine;
    }
    void ResetFigures()
    {
        m_handler = m_painting = m_stepHandler = m_stepPainting = 0;
        m_eachCount = 0;
        m_needlesTurned = 0;
        m_framesBefore = m_dlg.m_gauge.FramesComposed();
        m_turnsBefore = m_dlg.m_gauge.NeedlesTurned();
    }
    void Report(RefreshFigures& f, int refreshes)
    {
        const auto end = m_each.begin() + static_cast<ptrdiff_t>(m_eachCount);
        std::nth_element(m_each.begin(), m_each.begin() + m_eachCount / 2, end);
        f.median = m_eachCount ? m_each[m_eachCount / 2] : 0;
        f.handler = m_handler / refreshes;
        f.painting = m_painting / refreshes;
        f.stepHandler = m_stepHandler / refreshes;
        f.stepPainting = m_stepPainting / refreshes;
        f.needlesTurned = m_needlesTurned;
        f.framesComposed = m_dlg.m_gauge.FramesComposed() - m_framesBefore;
        f.needleTurns = m_dlg.m_gauge.NeedlesTurned() - m_turnsBefore;
    }

private:
    // One timer's work on a window and the painting it leaves there.
    static void Time(CWnd& window, UINT_PTR timer, double& handler, double& painting)
    {
        const double start = WallSeconds();
        window.SendMessage(WM_TIMER, timer);
        handler += WallSeconds() - start;
        if (::GetUpdateRect(window, nullptr, FALSE) || (HIWORD(::GetQueueStatus(QS_PAINT)) & QS_PAINT)) {
            const double paint = WallSeconds();
            ::RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
            painting += WallSeconds() - paint;
        }
    }

    BenchDlg& m_dlg;
    const Scenario& m_scenario;
    int m_count = 0;
    double m_handler = 0, m_painting = 0, m_stepHandler = 0, m_stepPainting = 0;
    std::vector<double> m_each;  // each refresh's handler and painting, the first m_eachCount
    size_t m_eachCount = 0;
    int m_needlesTurned = 0, m_framesBefore = 0, m_turnsBefore = 0;
    int m_memoryAngle = -1, m_engineAngle = -1;
};

bool MeasureRefreshes(const Scenario& s, RefreshFigures& f)
{
    BenchDlg dlg;
    if (!dlg.Create(IDD_MAIN)) return false;
    dlg.KillTimer(kRefreshTimer);  // the refreshes are driven from here
    dlg.ShowAtScale(s.dpi);
    PumpMessages();
    RefreshRun run(dlg, s);
    SimDriver::Get().clearLog();
    run.Refresh();
    f.driverCalls = SimDriver::Get().callCount();
    if (s.panels) {
        dlg.OpenMonitor();
        dlg.m_monitorPanel.KillTimer(kSampleTimer);  // and the sampling steps
        PumpMessages();
    }
    if (s.hidden) {
        dlg.Hide();
        PumpMessages();
    }
    // Reading the counters disturbs the heap once, and the refreshes after it
    // settle it: warming up twice, each time after a reading, measures the
    // refreshes alone.
    for (int round = 0; round < 2; ++round) {
        ReadProcessCounters();
        for (int i = 0; i < kWarmUpRefreshes; ++i) run.Refresh();
    }

    run.ResetFigures();
    f.before = ReadProcessCounters();
    for (int i = 0; i < kRefreshes; ++i) run.Refresh();
    f.after = ReadProcessCounters();
    run.Report(f, kRefreshes);
    // The copy as the refreshes are timed: one per turn of the message loop,
    // which puts the window's changed pixels on the display. A hidden window
    // takes no pixels: the copy is measured with it shown.
    if (s.hidden) {
        dlg.ShowWindow(SW_SHOW);
        PumpMessages();
    }
    DialCopy copy(dlg.GetDlgItem(IDC_GAUGE));
    double perTurn = 0, backToBack = 0;
    for (int i = 0; i < kRefreshes; ++i) {
        perTurn += copy.Once();
        PumpMessages();
    }
    for (int i = 0; i < kRefreshes; ++i) backToBack += copy.Once();
    f.dialCopy = perTurn / kRefreshes;
    f.dialCopyBackToBack = backToBack / kRefreshes;
    return true;
}

struct CpuFigures {
    double seconds = 0;
    double cpuSeconds = 0;
    int refreshes = 0;
    int needleTurns = 0;  // needle images turned by GDI+ while timed
};

// The timed stretch of normal running; a thread timer ends it.
struct Run {
    BenchDlg* dlg = nullptr;
    double wallStart = 0, cpuStart = 0;
    int refreshStart = 0, refreshes = 0;
    int turnsStart = 0;
    CpuFigures figures;
};
Run g_run;

void CALLBACK EndRun(HWND, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(nullptr, id);
    g_run.figures.cpuSeconds = ProcessCpuSeconds() - g_run.cpuStart;
    g_run.figures.seconds = WallSeconds() - g_run.wallStart;
    g_run.figures.refreshes = g_run.refreshes - g_run.refreshStart;
    g_run.figures.needleTurns = g_run.dlg->m_gauge.NeedlesTurned() - g_run.turnsStart;
    // Ended as its close key ends it: Esc (IDCANCEL) only hides the window.
    g_run.dlg->PostMessage(WM_CLOSE);
}

// The window run modally, as the program runs it, with its own 100 ms timer.
CpuFigures MeasureCpu(const Scenario& s, int seconds)
{
    BenchDlg dlg;
    g_run = Run{};
    g_run.dlg = &dlg;
    dlg.beforeRefresh = [&] {
        if (s.changing) SetReadings(ReadingsAt(s, g_run.refreshes));
        if (g_run.refreshes == 0) dlg.ShowAtScale(s.dpi);
        if (s.panels && g_run.refreshes == 0) dlg.OpenMonitor();
        if (s.hidden && g_run.refreshes == 0) dlg.Hide();
        if (++g_run.refreshes != kSettleRefreshes) return;
        g_run.refreshStart = g_run.refreshes;
        g_run.wallStart = WallSeconds();
        g_run.cpuStart = ProcessCpuSeconds();
        g_run.turnsStart = dlg.m_gauge.NeedlesTurned();
        ::SetTimer(nullptr, 0, static_cast<UINT>(seconds) * 1000, &EndRun);
    };
    dlg.DoModal();
    return g_run.figures;
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

// Per cent of one core over the timed stretch.
double CpuShare(const CpuFigures& c) { return c.seconds > 0 ? 100 * c.cpuSeconds / c.seconds : 0; }

void PrintCount(const char* what, long long before, long long after)
{
    std::printf("  %-44s %10lld -> %-10lld (%+lld)   target: no growth   %s\n", what, before, after, after - before,
                Verdict(after <= before));
}

void Report(const Scenario& s, const RefreshFigures& r, const CpuFigures& c, bool userCounted)
{
    const double us = 1e6;
    const double total = r.handler + r.painting;
    const double own = total - r.driver;
    const double ratio = own / r.dialCopy;
    std::printf("\n== %s ==\n", s.name);
    std::printf("  %-44s %9.1f us  (handler %.1f us, painting it leaves %.1f us); median %.1f us\n",
                "one refresh, timer 2's work in all, mean", total * us, r.handler * us, r.painting * us,
                r.median * us);
    std::printf("  %-44s %9.1f us  (%d calls, timed alone)\n", "  the driver's share", r.driver * us,
                r.driverCalls);
    std::printf("  %-44s %9.1f us\n", "  the window's own cost", own * us);
    std::printf("  %-44s %9.1f us  (one per turn of the loop; %.1f us back to back)\n",
                "one plain copy of the 298 x 298 dial", r.dialCopy * us, r.dialCopyBackToBack * us);
    std::printf("  %-44s %9.2f dial copies   target: <= %.0f   %s\n", "own cost of one refresh", ratio,
                s.maxDialCopies, Verdict(ratio <= s.maxDialCopies));
    const double backToBack = own / r.dialCopyBackToBack;
    std::printf("  %-44s %9.2f back-to-back dial copies (median %.2f)", "", backToBack,
                (r.median - r.driver) / r.dialCopyBackToBack);
    if (s.maxBackToBack > 0)
        std::printf("   target: <= %.0f   %s", s.maxBackToBack, Verdict(backToBack <= s.maxBackToBack));
    std::printf("\n");
    if (s.panels) {
        const double step = r.stepHandler + r.stepPainting;
        const double stepRatio = (step - r.driver) / r.dialCopy;
        std::printf("  %-44s %9.1f us  (handler %.1f us, painting it leaves %.1f us)\n",
                    "one monitor sampling step, timer 10 in all", step * us, r.stepHandler * us, r.stepPainting * us);
        std::printf("  %-44s %9.1f us  (the same calls as a refresh)\n", "  the driver's share", r.driver * us);
        std::printf("  %-44s %9.2f dial copies   target: <= %.0f   %s\n", "own cost of one sampling step", stepRatio,
                    s.maxStepDialCopies, Verdict(stepRatio <= s.maxStepDialCopies));
    }
    std::printf("  %-44s %d frames composed, both needles moved %d times, in %d refreshes;\n", "the dial",
                r.framesComposed, r.needlesTurned, kRefreshes);
    std::printf("  %-44s %d needle images turned by GDI+, the others blended from kept copies\n", "",
                r.needleTurns);
    const double share = CpuShare(c);
    std::printf("  %-44s %9.3f %% of one core (%.2f s CPU in %.1f s, %d refreshes)   target: < %.1f %%   %s\n",
                "CPU share in normal running", share, c.cpuSeconds, c.seconds, c.refreshes, s.maxCpuPercent,
                Verdict(c.seconds > 0 && share < s.maxCpuPercent));
    std::printf("  %-44s %d needle images turned by GDI+ meanwhile\n", "", c.needleTurns);
    std::printf("  before and after %d refreshes%s:\n", kRefreshes, s.panels ? " and sampling steps" : "");
    PrintCount("private memory, bytes", static_cast<long long>(r.before.privateBytes),
               static_cast<long long>(r.after.privateBytes));
    if (r.before.touchedBytes)
        std::printf("  %-44s %10lld -> %-10lld (%+lld)\n", "  of it written so far (Wine's figure), bytes",
                    static_cast<long long>(r.before.touchedBytes), static_cast<long long>(r.after.touchedBytes),
                    static_cast<long long>(r.after.touchedBytes) - static_cast<long long>(r.before.touchedBytes));
    PrintCount("GDI objects", r.before.gdiObjects, r.after.gdiObjects);
    if (userCounted)
        PrintCount("USER objects", r.before.userObjects, r.after.userObjects);
    else
        std::printf("  %-44s cannot be measured here\n", "USER objects");
}

// The readings log's own cost, and what it added to the changing scenario's
// CPU share when that ran in the same invocation (changingShare > 0).
bool ReportLogging(double share, double changingShare)
{
    LoggingFigures f;
    SimDriver::UseScenario(kLoggingScenario);
    const bool measured = MeasureLoggingCost(kLoggedSeconds, kLookSeconds, f);
    SimDriver::UseScenario(kScenario);
    if (!measured) return false;
    const double us = 1e6;
    const double lookPercent = 100 * kLooksPerSecond * f.lookCpu;
    const double checkPercent = 100 * kRefreshesPerSecond * f.checkMean;
    const double percent = 100 * f.cpuPerSecond + lookPercent + checkPercent;
    std::printf("  the readings log, %d GPUs, %d logged seconds apart from the window:\n", f.gpus, f.seconds);
    std::printf("  %-44s %9.2f us  (max %.1f us); %d a second = %.4f %% of one core\n",
                "whether rows are due, at every refresh", f.checkMean * us, f.checkMax * us, kRefreshesPerSecond,
                checkPercent);
    std::printf("  %-44s %9.1f us\n", "the refresh's logging step, once a second, mean", f.stepMean * us);
    std::printf("  %-44s %9.1f us   target: <= %.0f us   %s\n", "  the slowest but one in a thousand",
                f.stepSlowest * us, kMaxLoggingStep * us, Verdict(f.stepSlowest <= kMaxLoggingStep));
    std::printf("  %-44s %9.1f us   (%s; the step waits for no file and no thread: a longer one was\n",
                "  the slowest", f.stepMax * us, Verdict(f.stepMax <= kMaxLoggingStep));
    std::printf("  %-44s   interrupted, as an empty stretch timed as often was for up to %.1f us)\n", "",
                f.emptyMax * us);
    std::printf("  %-44s %9.1f us CPU\n", "one logged second's rows, every thread", f.cpuPerSecond * us);
    std::printf("  %-44s %9.1f us CPU; %d a second = %.4f %% of one core\n", "one look of the writer for rows",
                f.lookCpu * us, kLooksPerSecond, lookPercent);
    std::printf("  %-44s %9.4f %% of one core   target: < %.2f %%   %s\n", "logging in all", percent,
                kMaxLoggingPercent, Verdict(percent < kMaxLoggingPercent));
    std::printf("  %-44s %9.1f us  (max %.1f us): kept off the window's thread\n",
                "its rows appended and flushed, synchronously", f.appendMean * us, f.appendMax * us);
    if (changingShare > 0)
        std::printf("  %-44s %+9.3f %% of one core (%.3f %% against %.3f %%; the shares vary by a fifth from run "
                    "to run)\n",
                    "CPU share in normal running, added", share - changingShare, share, changingShare);
    return true;
}

// The window at a larger scale against the same readings at 100 %.
void ReportScaled(double cost, double share, double baseCost, double baseShare)
{
    const double costRatio = cost / baseCost, shareRatio = share / baseShare;
    std::printf("  against 100 %% (the frame has %.2f times the pixels):\n", kMaxScaledCost);
    std::printf("  %-44s %9.2f times   target: <= %.2f   %s\n", "the window's own cost of one refresh", costRatio,
                kMaxScaledCost, Verdict(costRatio <= kMaxScaledCost));
    std::printf("  %-44s %9.2f times   target: < %.2f   %s\n", "CPU share in normal running", shareRatio,
                kMaxScaledCost, Verdict(shareRatio < kMaxScaledCost));
}

// Readings changing at every refresh with every panel open, for long: what
// the process holds at the start, every so many refreshes, and at the end.
bool Soak(bool userCounted, int refreshes)
{
    const Scenario& changing = kScenarios[1];
    BenchDlg dlg;
    if (!dlg.Create(IDD_MAIN)) return false;
    dlg.KillTimer(kRefreshTimer);
    dlg.OpenEveryPanel();
    dlg.m_monitorPanel.KillTimer(kSampleTimer);
    PumpMessages();
    std::printf("\n== soak: %d refreshes and sampling steps, readings changing at every refresh, every panel open ==\n",
                refreshes);
    std::printf("  %10s %14s %14s %8s %8s\n", "refreshes", "private bytes", "written", "GDI", "USER");
    RefreshRun run(dlg, changing);
    ProcessCounters first{};
    for (int i = 0; i <= refreshes; ++i) {
        if (i % kSoakReport == 0) {
            const ProcessCounters now = ReadProcessCounters();
            if (i == kSoakReport) first = now;
            std::printf("  %10d %14llu %14llu %8ld", i, static_cast<unsigned long long>(now.privateBytes),
                        static_cast<unsigned long long>(now.touchedBytes), static_cast<long>(now.gdiObjects));
            if (userCounted)
                std::printf(" %8ld\n", static_cast<long>(now.userObjects));
            else
                std::printf(" %8s\n", "-");
            if (i == refreshes) {
                const bool flat = now.privateBytes <= first.privateBytes && now.gdiObjects <= first.gdiObjects &&
                                  (!userCounted || now.userObjects <= first.userObjects);
                std::printf("  no growth after the first %d refreshes   target: none   %s\n", kSoakReport, Verdict(flat));
            }
        }
        if (i < refreshes) run.Refresh();
    }
    return true;
}

// The least a refresh that changes the dial costs here, whatever draws it.
bool ReportPlatformFloor(int seconds)
{
    CRect main;
    {
        BenchDlg dlg;
        if (!dlg.Create(IDD_MAIN)) return false;
        main = dlg.GetWindowRect();
    }
    PumpMessages();
    FloorFigures floor;
    if (!MeasurePlatformFloor(seconds, main.Width(), main.Height(), kDialSize, floor)) return false;
    std::printf("\n== the platform's floor: a bare window of the main window's size, woken by a 100 ms timer ==\n");
    std::printf("  %-44s %9.3f %% of one core\n", "CPU share, drawing nothing", floor.wakePercent);
    std::printf("  %-44s %9.3f %% of one core\n", "CPU share, one pixel changed at each wake", floor.pixelPercent);
    std::printf("  %-44s %9.3f %% of one core\n", "CPU share, a new 298 x 298 frame at each wake", floor.copyPercent);
    return true;
}

// A profile that is not a first run, so the benchmark registers nothing to
// start with Windows; removed at the end.
std::wstring WriteProfile(bool logging)
{
    CGpuControl gpu;
    gpu.Initialize();
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir = path;
    dir.resize(dir.rfind(L'\\'));
    CIniFile ini;
    const std::wstring profile = BuildProfilePath(dir, gpu.m_pciIds[1]);
    ini.SetPath(profile);
    ini.WriteSystemFlags(SystemFlags{0, 0, 0, 1});
    ini.WriteInitialized(1);
    ini.WriteText("Log", "Enabled", logging ? "1" : "0");
    return profile;
}

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int soak = argc > 2 ? std::atoi(argv[2]) : kSoakRefreshes;
    const int only = argc > 3 ? std::atoi(argv[3]) : 0;
    const int scenarios = static_cast<int>(std::size(kScenarios));
    const int floorAlone = scenarios + 1;
    if (seconds < 1 || soak < 0 || soak > kSoakRefreshes || only < 0 || only > floorAlone) {
        std::fprintf(stderr, "usage: main_window_bench.exe [seconds of normal running, default 60] "
                             "[refreshes of the soak, 0 to %d, default %d] "
                             "[scenario alone, 1 to %d, or %d for the platform's floor]\n",
                     kSoakRefreshes, kSoakRefreshes, scenarios, floorAlone);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    // The numbers' face as the program has it on a system without its own.
    RegisterCarriedFace(IDR_NUMBER_FONT, L"DSEG7 Classic", "DigifaceWide", 0.78f);
    INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
    ::InitCommonControlsEx(&controls);
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);

    int status = 0;
    if (!SimDriver::UseScenario(kScenario)) {
        std::fprintf(stderr, "the simulated driver is not installed as the system's nvapi64.dll\n");
        status = 1;
    } else {
        std::wstring profile = WriteProfile(false);
        const bool userCounted = UserCountWorks();
        std::printf("Main window over the simulated driver: %d refreshes per scenario, %d s of normal running\n",
                    kRefreshes, seconds);
        std::printf("private memory: %s\n", PrivateMemorySource());
        if (userCounted)
            std::printf("USER objects: %s\n", UserObjectsSource());
        else
            std::printf("USER objects: cannot be measured here: a count does not follow objects made and destroyed\n");
        double changingShare = 0, changingCost = 0;
        for (int n = 1; n <= scenarios; ++n) {
            // A scenario at another scale is measured against its twin at 100 %.
            const bool twin = n == kChangingScenario && only >= 1 && only <= scenarios && kScenarios[only - 1].dpi != kBaseDpi;
            if (only != 0 && n != only && !twin) continue;
            const Scenario& s = kScenarios[n - 1];
            SimDriver::UseScenario(kScenario);
            profile = WriteProfile(s.logging);
            RefreshFigures refresh;
            if (!MeasureRefreshes(s, refresh)) {
                std::fprintf(stderr, "the main window did not open\n");
                status = 1;
                break;
            }
            refresh.driver = MeasureDriver(s);
            SetReadings(ReadingsAt(s, 0));
            const CpuFigures cpu = MeasureCpu(s, seconds);
            Report(s, refresh, cpu, userCounted);
            const double share = CpuShare(cpu);
            const double cost = refresh.handler + refresh.painting - refresh.driver;
            if (n == kChangingScenario) changingShare = share, changingCost = cost;
            if (s.dpi != kBaseDpi && changingCost > 0) ReportScaled(cost, share, changingCost, changingShare);
            if (s.logging && !ReportLogging(share, changingShare)) {
                std::fprintf(stderr, "the readings log's cost could not be measured\n");
                status = 1;
                break;
            }
        }
        profile = WriteProfile(false);
        if (status == 0 && (only == 0 || only == floorAlone) && !ReportPlatformFloor(seconds)) {
            std::fprintf(stderr, "the bare window for the platform's floor did not open\n");
            status = 1;
        }
        SimDriver::UseScenario(kScenario);
        if (status == 0 && soak > 0 && !Soak(userCounted, soak)) status = 1;
        ::DeleteFileW(profile.c_str());
    }
    Gdiplus::GdiplusShutdown(token);
    return status;
}
