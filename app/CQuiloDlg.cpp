#include "app/CQuiloDlg.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>

#include "app/GpuStatus.h"
#include "app/StdOutput.h"
#include "framework/Dpi.h"
#include "framework/MessageBox.h"
#include "framework/Resources.h"
#include "profile/AutoRun.h"
#include "res/resource.h"

namespace {
constexpr UINT_PTR kStartTimer = 1;    // once, 10 ms after start, when the window is up
constexpr UINT_PTR kRefreshTimer = 2;  // readings, dial, fan curve
constexpr UINT kRefreshPeriod = 100;
constexpr UINT_PTR kTrayRetryTimer = 3;  // every second while the notification area refuses the icon
// Every second, for at most a minute, while a start with Windows waits for the driver.
constexpr UINT_PTR kDriverWaitTimer = 5;
constexpr UINT kDriverWaitPeriod = 1000;
constexpr int kDriverWaitLimit = 60;
constexpr char kNoFanGuard[] = "The fan guard could not be started: the fans stay with the driver";
// Refreshes after taking the cards before the fan's level is written once more:
// a copy that died holding them leaves its fan guard handing its fans back
// about the time this one first writes.
constexpr int kRewriteAfterTake = 30;
// The warning temperature: its own section of the profile.
constexpr char kWarningSection[] = "Warning";
constexpr char kWarningKey[] = "Temperature";
constexpr int kLowestWarning = 40, kHighestWarning = 125;
// The "Log readings" switch: its own section of the profile, off unless set.
constexpr char kLogSection[] = "Log";
constexpr char kLogKey[] = "Enabled";
// What a copy that waits for the driver answers a command.
constexpr char kWaitingForDriver[] = "Q-Surge is waiting for the display driver";
constexpr wchar_t kCardsTitle[] = L"Q-Surge: cards";
constexpr char kCardsHeldHere[] = ": this one shows the readings and writes nothing to them until that copy ends.";
constexpr char kCardsTaken[] = "This copy of Q-Surge controls the cards now: the other user's copy has ended.";

// A whole number of degrees within the range; anything else gives the default.
int ReadWarningTemperature(const CIniFile& ini)
{
    const std::string text = ini.ReadText(kWarningSection, kWarningKey);
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < kLowestWarning || value > kHighestWarning)
        return CTrayIcon::kDefaultWarning;
    return static_cast<int>(value);
}
constexpr COLORREF kSkinKey = 0x00FF0000;
constexpr int kWidth = 926;
constexpr int kHeight = 451;
constexpr COLORREF kWhite = 0x00FFFFFF;
constexpr COLORREF kBlack = 0x00000000;
// The readouts' places at 96 DPI: until the first reading, then for readings
// of one width class (narrow) and of the other (wide).
constexpr ReadoutPlaces kTemperaturePlaces{{136, 187, 100, 50}, {136, 187, 70, 50}, {110, 187, 100, 50}};
constexpr ReadoutPlaces kFanPlaces{{144, 310, 100, 50}, {144, 310, 50, 32}, {125, 310, 70, 32}};

// Normal, pressed and hover images of the three preset buttons for preset 1..3.
struct PresetImages {
    UINT normal, pressed, hover;
};
constexpr PresetImages kPresetImages[3][3] = {
    {{IDB_PRESET3_SELECTED, IDB_PRESET3_PRESSED, IDB_PRESET3_SELECTED},
     {IDB_PRESET5_UNSELECTED, IDB_PRESET5_PRESSED, IDB_PRESET5_UNSELECTED},
     {IDB_PRESET10_UNSELECTED, IDB_PRESET10_PRESSED, IDB_PRESET10_UNSELECTED}},
    {{IDB_PRESET3_UNSELECTED, IDB_PRESET3_PRESSED, IDB_PRESET3_UNSELECTED},
     {IDB_PRESET5_SELECTED, IDB_PRESET5_PRESSED, IDB_PRESET5_SELECTED},
     {IDB_PRESET10_UNSELECTED, IDB_PRESET10_PRESSED, IDB_PRESET10_UNSELECTED}},
    {{IDB_PRESET3_UNSELECTED, IDB_PRESET3_PRESSED, IDB_PRESET3_UNSELECTED},
     {IDB_PRESET5_UNSELECTED, IDB_PRESET5_PRESSED, IDB_PRESET5_UNSELECTED},
     {IDB_PRESET10_SELECTED, IDB_PRESET10_PRESSED, IDB_PRESET10_SELECTED}},
};

void SetImages(CBitButtonNL& button, UINT normal, UINT pressed, UINT hover)
{
    button.SetKeyImages(normal, pressed, hover, IDCUR_HAND);
}
}  // namespace

const UINT CQuiloDlg::s_taskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");

BEGIN_MESSAGE_MAP(CQuiloDlg, CBkDialogST)
    ON_REGISTERED_MESSAGE(s_taskbarCreated, OnTaskbarCreated)
    ON_MESSAGE(WM_PAINT, OnPaint)
    ON_MESSAGE(WM_QUERYDRAGICON, OnQueryDragIcon)
    ON_MESSAGE(WM_MOVE, OnMove)
    ON_MESSAGE(WM_SIZE, OnSize)
    ON_MESSAGE(WM_TIMER, OnTimer)
    ON_MESSAGE(CTrayIcon::kCallbackMessage, OnTrayNotify)
    ON_MESSAGE(WM_ENDSESSION, OnEndSession)
    ON_MESSAGE(WM_POWERBROADCAST, OnPowerBroadcast)
    ON_MESSAGE(WM_SETTINGCHANGE, OnSettingChange)
    ON_MESSAGE(WM_DISPLAYCHANGE, OnDisplayChange)
    ON_MESSAGE(WM_WINDOWPOSCHANGING, OnWindowPosChanging)
    ON_MESSAGE(WM_CLOSE, OnClose)
    ON_MESSAGE(WM_DESTROY, OnDestroy)
    ON_MESSAGE(WM_COPYDATA, OnCopyData)
    ON_BN_CLICKED(IDC_MINIMIZE, MinimizeToTray)
    ON_BN_CLICKED(IDC_CLOSE, OnCloseKey)
    ON_BN_CLICKED(IDC_PRESET_3, OnPreset1)
    ON_BN_CLICKED(IDC_PRESET_5, OnPreset2)
    ON_BN_CLICKED(IDC_PRESET_10, OnPreset3)
    ON_BN_CLICKED(IDC_FAN_MODE, OnFanMode)
    ON_BN_CLICKED(IDC_APPLY, OnApplyPreset)
    ON_BN_CLICKED(IDC_RESET, OnResetOverclock)
    ON_BN_CLICKED(IDC_TURBO, OnTurbo)
    ON_BN_CLICKED(IDC_FANCURVE, OnFanCurve)
    ON_BN_CLICKED(IDC_SETTINGS, OnSettings)
    ON_BN_CLICKED(IDC_HWM, OnMonitor)
END_MESSAGE_MAP()

CQuiloDlg::CQuiloDlg(CWnd* parent) : CBkDialogST(IDD_MAIN, parent), m_fanCurvePanel(m_fan)
{
    m_turboPanel.SetOverclock(&m_overclock, &m_warning);
}

void CQuiloDlg::DoDataExchange(CDataExchange* pDX)
{
    CBkDialogST::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_MINIMIZE, m_minimizeButton);
    DDX_Control(pDX, IDC_CLOSE, m_closeButton);
    DDX_Control(pDX, IDC_PRESET_3, m_preset1Button);
    DDX_Control(pDX, IDC_PRESET_10, m_preset3Button);
    DDX_Control(pDX, IDC_PRESET_5, m_preset2Button);
    DDX_Control(pDX, IDC_APPLY, m_applyButton);
    DDX_Control(pDX, IDC_RESET, m_resetButton);
    DDX_Control(pDX, IDC_HWM, m_monitorButton);
    DDX_Control(pDX, IDC_TURBO, m_turboButton);
    DDX_Control(pDX, IDC_FANCURVE, m_fanCurveButton);
    DDX_Control(pDX, IDC_FAN_MODE, m_fanModeButton);
    DDX_Control(pDX, IDC_SETTINGS, m_settingsButton);
    DDX_Control(pDX, IDC_TEMP_READOUT, m_temperatureText);
    DDX_Control(pDX, IDC_FAN_READOUT, m_fanText);
    DDX_Control(pDX, IDC_ENGINE_READOUT, m_engineText);
    DDX_Control(pDX, IDC_MEMORY_READOUT, m_memoryText);
    DDX_Control(pDX, IDC_FAN_PICTURE, m_fanPicture);
    DDX_Control(pDX, IDC_TEMP_PICTURE, m_temperaturePicture);
    DDX_Control(pDX, IDC_GAUGE, m_gauge);
    DDX_Text(pDX, IDC_TEMP_READOUT, m_temperature);
    DDX_Text(pDX, IDC_FAN_READOUT, m_fanShown);
    DDX_Text(pDX, IDC_ENGINE_READOUT, m_engineClock);
    DDX_Text(pDX, IDC_MEMORY_READOUT, m_memoryClock);
}

BOOL CQuiloDlg::OnInitDialog()
{
    CBkDialogST::OnInitDialog();
    m_hIcon = LoadIconResource(IDI_APP);
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon.get()));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon.get()));
    SetWindowText("Q-Surge");

    SetBackgroundBitmap(IDB_MAIN_SKIN);
    ApplyRegionFromBitmap(IDB_MAIN_SKIN, kSkinKey);
    SetDragByBackground(TRUE);

    SetUpControls();

    m_gauge.AttachWindowDC();
    m_gauge.LoadEngineNeedle(IDP_ENGINE_NEEDLE, "PNG");
    m_gauge.LoadMemoryNeedle(IDP_MEMORY_NEEDLE, "PNG");
    m_gauge.SetMemoryNeedlePivot(14, 26);
    m_gauge.SetEngineNeedlePivot(11, 34);

    m_trayIcon.Attach(m_hWnd, m_hIcon);
    m_trayIcon.FollowTaskbar();
    // The shell's broadcast must reach this window also when it runs with
    // higher rights than the shell.
    ::ChangeWindowMessageFilterEx(m_hWnd, s_taskbarCreated, MSGFLT_ALLOW, nullptr);
    // Later starts hand their command lines over the same way.
    ::ChangeWindowMessageFilterEx(m_hWnd, WM_COPYDATA, MSGFLT_ALLOW, nullptr);
    m_gpu.SetWriteGate(m_cards);
    // Later starts are answered from now on, also while this one shows its
    // start-up messages or waits for the driver: it is never taken for a copy
    // that does not answer.
    if (m_instance) m_instance->Publish(m_hWnd);

    const int init = m_gpu.Initialize();
    if ((init == 1 || init == 2) && IsLogonStart()) {
        // Started with Windows before the display driver: it is waited for
        // silently, out of sight, before anything is said.
        m_keepHidden = true;
        m_waitingForDriver = true;
        SetTimer(kDriverWaitTimer, kDriverWaitPeriod);
        if (m_instance) m_instance->ListenForClose(m_hWnd);
    } else {
        if (init == 1 || init == 2) ShowStartFailures(init);
        StartWithProfile();
    }
    SetTimer(kRefreshTimer, kRefreshPeriod);
    // The window's first move came before this object was attached; panels
    // are placed from this rectangle.
    m_windowRect = GetWindowRect();
    return TRUE;
}

void CQuiloDlg::ShowStartFailures(int init)
{
    AppMessageBox(m_hWnd, init == 1 ? "Initial nvapi fail!" : "NvAPI_EnumPhysicalGPUs failed", "Info",
                  MB_ICONINFORMATION);
    AppMessageBox(m_hWnd, "Application will not work normally!", "Info", MB_ICONINFORMATION);
}

bool CQuiloDlg::IsLogonStart() const { return m_startCommand && m_startCommand->Has(CCommandLine::kLogon); }

// The profile is named after the card: all that comes from it waits for the driver.
void CQuiloDlg::StartWithProfile()
{
    m_iniPath = ChooseProfilePath(GetExeDirectory(m_hWnd), m_gpu.m_pciIds[1]);
    m_ini.SetPath(m_iniPath);

    m_gpu.SetWriteObserver(&m_readingsLog);
    m_initialized = m_ini.ReadInitialized();
    if (!m_initialized) {
        FirstRunDefaults();
        m_ini.WriteInitialized(1);
    }
    LoadStartupSettings();

    m_infoPanel.SetGpuControl(&m_gpu);
    m_monitorPanel.SetGpuControl(&m_gpu);
    m_settingsPanel.SetProfilePath(m_iniPath);
    m_settingsPanel.SetGpuControl(&m_gpu);

    // A start in curve mode takes the fan at the first tick, as a toggle does.
    m_fan.Load();
    m_fanCurvePanel.SetCurve(m_fan.Curve());
    ShowFanModeButton();

    // Started hidden, the window is never shown: once its icon is in the
    // notification area, the showing that creating it brings is refused.
    if (m_startMinimized) {
        m_keepHidden = m_trayIcon.Add();
        if (!m_keepHidden) SetTimer(kTrayRetryTimer, 1000);
    }
    SetTimer(kStartTimer, 10);
}

// Once a second while a start with Windows waits for the driver: it goes on
// once the driver is up, or after a minute with the start-up messages.
void CQuiloDlg::WaitForDriver()
{
    // A tick already queued when the timer was killed still arrives.
    if (!m_waitingForDriver) return;
    const int init = m_gpu.Initialize();
    if (init != 0 && ++m_driverWaits < kDriverWaitLimit) return;
    m_waitingForDriver = false;
    KillTimer(kDriverWaitTimer);
    m_keepHidden = false;
    if (init != 0) ShowStartFailures(init);
    StartWithProfile();
    if (m_afterWait == AfterWait::Hidden) {
        MinimizeToTray();
    } else if (m_afterWait == AfterWait::Shown) {
        std::string text;
        ShowMainWindow(text);
    } else if (!m_startMinimized) {
        ShowWindow(SW_SHOW);
    }
}

void CQuiloDlg::SetUpControls()
{
    LayOut();
    m_engineText.ShowWindow(SW_HIDE);
    m_memoryText.ShowWindow(SW_HIDE);

    SetImages(m_minimizeButton, IDB_MAIN_MINIMIZE, IDB_MAIN_MINIMIZE, IDB_MAIN_MINIMIZE);
    SetImages(m_closeButton, IDB_MAIN_CLOSE, IDB_MAIN_CLOSE, IDB_MAIN_CLOSE);
    SetImages(m_settingsButton, IDB_MAIN_SETTINGS, IDB_MAIN_SETTINGS, IDB_MAIN_SETTINGS);
    ShowPresetButtons();
    SetImages(m_applyButton, IDB_MAIN_APPLY, IDB_MAIN_APPLY_PRESSED, IDB_MAIN_APPLY_HOVER);
    SetImages(m_resetButton, IDB_MAIN_RESET, IDB_MAIN_RESET_PRESSED, IDB_MAIN_RESET_HOVER);
    SetImages(m_monitorButton, IDB_HWM, IDB_HWM_PRESSED, IDB_HWM_HOVER);
    SetImages(m_turboButton, IDB_TURBO, IDB_TURBO_PRESSED, IDB_TURBO_HOVER);
    SetImages(m_fanCurveButton, IDB_FANCURVE_KEY, IDB_FANCURVE_KEY_ACTIVE, IDB_FANCURVE_KEY_ACTIVE);
    ShowFanModeButton();

    // What assistive technology calls the keys whose captions say too little.
    const std::pair<CBitButtonNL*, const char*> names[] = {
        {&m_minimizeButton, "Minimise"},      {&m_closeButton, "Close"},
        {&m_settingsButton, "Settings"},      {&m_preset1Button, "Preset +30/+50 MHz"},
        {&m_preset2Button, "Preset +50/+80 MHz"}, {&m_preset3Button, "Preset +80/+100 MHz"},
        {&m_applyButton, "Apply preset"},     {&m_resetButton, "Reset overclock"},
        {&m_monitorButton, "Monitor"},        {&m_turboButton, "Overclock"},
        {&m_fanCurveButton, "Fan curve"},
    };
    for (const auto& [button, name] : names) button->SetAccessibleName(name);
    for (CBitButtonNL* preset : {&m_preset1Button, &m_preset2Button, &m_preset3Button})
        preset->SetKind(CBitButtonNL::Kind::Choice);
    m_fanModeButton.SetKind(CBitButtonNL::Kind::Switch);
    const std::tuple<CStaticFont*, const char*, const char*> readouts[] = {
        {&m_temperatureText, "GPU temperature", "°C"},
        {&m_fanText, "Fan speed", "%"},
        {&m_engineText, "GPU clock", "MHz"},
        {&m_memoryText, "Memory clock", "MHz"},
    };
    for (const auto& [readout, name, unit] : readouts) {
        readout->SetAccessibleName(name);
        readout->SetAccessibleUnit(unit);
    }

    m_temperatureText.SetReadoutFont(300, "DigifaceWide");
    m_temperatureText.SetReadoutColour(kWhite);
    m_fanText.SetReadoutFont(200, "DigifaceWide");
    m_fanText.SetReadoutColour(kWhite);
    m_engineText.SetReadoutFont(200, "DigifaceWide");
    m_engineText.SetReadoutColour(kBlack);
    m_memoryText.SetReadoutFont(140, "DigifaceWide");
    m_memoryText.SetReadoutColour(kWhite);
}

// Everything at the window's DPI from its 96-DPI places: at start and on
// every change of DPI, when the controls have taken their art for it.
void CQuiloDlg::LayOut()
{
    const CScale scale(Dpi());
    SetWindowPos(nullptr, 0, 0, scale(kWidth), scale(kHeight), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The keys take their size from their art.
    const std::pair<CWnd&, POINT> keys[] = {
        {m_minimizeButton, {616, 76}}, {m_closeButton, {638, 76}},   {m_settingsButton, {594, 76}},
        {m_preset1Button, {639, 120}}, {m_preset2Button, {657, 169}}, {m_preset3Button, {657, 218}},
        {m_applyButton, {655, 275}},   {m_resetButton, {765, 275}},   {m_monitorButton, {652, 338}},
        {m_turboButton, {725, 338}},   {m_fanCurveButton, {123, 381}}, {m_fanModeButton, {134, 358}},
    };
    for (const auto& [key, place] : keys) PlaceControlAt(key, place.x, place.y);
    const std::pair<CWnd&, Area> areas[] = {
        {m_temperaturePicture, {220, 150, 78, 117}}, {m_fanPicture, {230, 291, 122, 91}},
        {m_engineText, {520, 233, 80, 30}},          {m_memoryText, {527, 285, 65, 26}},
        {m_gauge, {318, 67, 298, 298}},
        // A readout already placed for its reading keeps that place.
        {m_temperatureText, kTemperaturePlaces.For(m_lastTemperatureWidth)},
        {m_fanText, kFanPlaces.For(m_lastFanWidth)},
    };
    for (const auto& [control, a] : areas) PlaceControl(control, a.left, a.top, a.width, a.height);
}

void CQuiloDlg::OnDpiChanged()
{
    CBkDialogST::OnDpiChanged();
    LayOut();
    m_trayIcon.FollowTaskbar();
}

void CQuiloDlg::ShowPresetButtons()
{
    const PresetImages(&images)[3] = kPresetImages[m_preset - 1];
    CBitButtonNL* buttons[3] = {&m_preset1Button, &m_preset2Button, &m_preset3Button};
    for (int i = 0; i < 3; ++i) {
        SetImages(*buttons[i], images[i].normal, images[i].pressed, images[i].hover);
        buttons[i]->SetChecked(i == m_preset - 1);
    }
}

// A card whose fans the system controls keeps the switch on, and says why;
// so does a copy whose cards another user's copy controls.
void CQuiloDlg::ShowFanModeButton()
{
    m_shownFanAuto = m_fan.FanAuto();
    m_shownCanDrive = m_fan.CanDrive();
    const UINT image = m_shownFanAuto ? IDB_SWITCH_ON : IDB_SWITCH_OFF;
    SetImages(m_fanModeButton, image, image, image);
    m_fanModeButton.SetChecked(m_shownFanAuto != 0);
    m_fanModeButton.SetAccessibleName(m_shownFanAuto ? "Fan: automatic" : "Fan: follows the curve");
    m_fanModeButton.SetTip(!HoldsCards()       ? CCardOwnership::kHeldElsewhere
                           : !m_shownCanDrive ? CFanControl::kNoFanControl
                                              : "");
}

void CQuiloDlg::SelectPreset(int preset)
{
    m_preset = preset;
    ShowPresetButtons();
}

void CQuiloDlg::FirstRunDefaults()
{
    const LONG registered = SetAutoRun();
    m_ini.WriteSystemFlags(SystemFlags{registered == ERROR_SUCCESS ? 1 : 0, 0, 0, 1});
    m_ini.WriteText(kWarningSection, kWarningKey, std::to_string(CTrayIcon::kDefaultWarning).c_str());
}

void CQuiloDlg::LoadStartupSettings()
{
    SystemFlags flags{};
    m_ini.ReadSystemFlags(flags);
    m_startMinimized = flags.minisize;
    m_trayIcon.SetWarningTemperature(ReadWarningTemperature(m_ini));
    m_readingsLog.SetEnabled(std::strtol(m_ini.ReadText(kLogSection, kLogKey).c_str(), nullptr, 10) != 0);
}

LRESULT CQuiloDlg::OnTimer(WPARAM id, LPARAM)
{
    if (id == kStartTimer) {
        m_keepHidden = false;
        m_startMinimized = 0;
        KillTimer(kStartTimer);
        // The stored overclock first: what this start was told to do comes
        // after it. A copy without the cards applies it once it has them.
        m_cardsAwaited = !HoldsCards();
        if (m_cardsAwaited) {
            ShowCardOwnership();
            TellCardsHeldElsewhere();
        } else {
            ApplyOverclockAtStart();
        }
        RunStartCommand();
    } else if (id == kRefreshTimer) {
        Refresh();
    } else if (id == kTrayRetryTimer) {
        MinimizeToTray();
    } else if (id == kDriverWaitTimer) {
        WaitForDriver();
    }
    return Default();
}

void CQuiloDlg::Refresh()
{
    if (m_monitorStep == MonitorStep::Due) {
        // The panel's period restarted first and the window's a moment after:
        // the sample, always drawn, is then taken as the refresh falls due.
        m_monitorPanel.RestartSampling();
        SetTimer(kRefreshTimer, kRefreshPeriod);
        m_monitorStep = MonitorStep::InStep;
    }
    FollowCardOwnership();
    GpuReading reading;
    m_gpu.Read(reading, -1);
    // A temperature that cannot be read leaves the last one shown.
    if (reading.temperature) m_temperature = *reading.temperature;
    m_temperatureWidth = m_temperature >= 100 ? 2 : 1;
    PlaceReadout(m_temperatureText, m_temperatureWidth, m_lastTemperatureWidth, kTemperaturePlaces);
    // The series ends at 120 to 129 degrees; hotter readings keep its last picture.
    m_temperaturePicture.ShowBitmap(std::min<unsigned>(IDB_TEMP_FIRST + m_temperature / 10, IDB_TEMP_LAST));

    m_engineClock = reading.engineClock.value_or(0);
    m_memoryClock = reading.memoryClock.value_or(0);
    m_gauge.DrawGauge(static_cast<int>(m_memoryClock), static_cast<int>(m_engineClock));

    if (m_rewriteCountdown > 0 && --m_rewriteCountdown == 0) m_fan.WriteAgain();
    // A copy without the cards neither drives nor guards a fan.
    if (HoldsCards()) m_fan.Tick(reading);
    if (m_fan.FanAuto() != m_shownFanAuto || m_fan.CanDrive() != m_shownCanDrive) ShowFanModeButton();
    std::string notice;
    if (m_fan.TakeNotice(notice)) m_trayIcon.ShowBalloon(L"Q-Surge: fan", WideFromCp936(notice.c_str()), NIIF_WARNING);
    const unsigned fanLevel = reading.fanLevel.value_or(0);
    m_fanShown = reading.fanLevel ? std::to_string(fanLevel) : "-";
    m_fanWidth = fanLevel == 100 ? 2 : 1;
    PlaceReadout(m_fanText, m_fanWidth, m_lastFanWidth, kFanPlaces);
    m_fanPicture.ShowBitmap(IDB_FAN_FIRST + std::min(fanLevel, 100u) / 10);

    // The readouts already show unchanged readings; pushing them again would
    // only read their texts back. A readout given a new text paints it over
    // the skin at once, so nothing here needs repainting.
    if (m_temperature != m_lastTemperature || m_fanShown != m_lastFanShown || m_engineClock != m_lastEngineClock ||
        m_memoryClock != m_lastMemoryClock)
        UpdateData(FALSE);
    m_lastTemperature = m_temperature;
    m_lastFanShown = m_fanShown;
    m_lastEngineClock = m_engineClock;
    m_lastMemoryClock = m_memoryClock;
    m_trayIcon.ShowReadings(reading);
    if (m_monitorPanel.m_hWnd) m_monitorPanel.TakeReading(reading);
    if (m_monitorStep == MonitorStep::Apart && m_monitorPanel.m_hWnd) m_monitorStep = MonitorStep::Due;
    if (m_readingsLog.Due()) LogReadings(reading);
}

void CQuiloDlg::LogReadings(const GpuReading& selected)
{
    GpuLogReading readings[kNvMaxPhysicalGpus];
    const int count = ReadGpusForLog(m_gpu, m_fan.FanAuto() ? -1 : m_gpu.m_gpuIndex, readings,
                                     static_cast<int>(std::size(readings)), &selected);
    m_readingsLog.Record(readings, count);
    LogNotice notice;
    if (m_readingsLog.TakeNotice(notice)) m_trayIcon.ShowBalloon(notice.title, notice.text, NIIF_WARNING);
}

void CQuiloDlg::SetLogging(bool on)
{
    m_readingsLog.SetEnabled(on);
    m_ini.WriteText(kLogSection, kLogKey, m_readingsLog.Enabled() ? "1" : "0");
}

void CQuiloDlg::PlaceReadout(CStaticFont& readout, int widthClass, int& lastWidthClass, const ReadoutPlaces& places)
{
    if (widthClass == lastWidthClass) return;
    lastWidthClass = widthClass;
    const Area& a = places.For(widthClass);
    const CRect r = CScale(Dpi()).Rect(a.left, a.top, a.width, a.height);
    readout.MoveTo(r.left, r.top, r.Width(), r.Height());
}

// The refreshes take the fans, and a balloon tells if no guard can be had.
void CQuiloDlg::OnFanMode()
{
    if (!HoldsCards()) return TellCardsHeldElsewhere();
    m_fan.SetFanAuto(m_fan.FanAuto() ? 0 : 1);
    ShowFanModeButton();
}

// A command that asks for the curve is answered once the fans are guarded or
// cannot be, the window answering meanwhile.
bool CQuiloDlg::SetFanMode(bool driverControls, std::string& why)
{
    if (!m_fan.SetFanAuto(driverControls ? 1 : 0)) {
        why = CFanControl::kNoFanControl;
        return false;
    }
    if (!driverControls) {
        CFanGuard::Guarding taking = m_fan.TakeFans();
        CDialog::RunMessagesWhile([&] { return (taking = m_fan.TakeFans()) == CFanGuard::Guarding::Starting; },
                                  static_cast<DWORD>(CFanGuard::kReadyLimitMs + 1000));
        if (taking != CFanGuard::Guarding::Ready) {
            ShowFanModeButton();
            why = kNoFanGuard;
            return false;
        }
    }
    ShowFanModeButton();
    // A fan the driver would not take back stays held, and is asked for again.
    return m_gpu.m_gpuCount > 0 && !(driverControls && m_fan.Held() != 0);
}

void CQuiloDlg::ReleaseFan() { m_fan.Release(); }

void CQuiloDlg::ApplyOverclockAtStart()
{
    if (m_overclockAtStart.Run(m_ini, m_overclock))
        m_trayIcon.ShowBalloon(L"Q-Surge: overclock not applied", WideFromCp936(COverclockAtStart::kHeldBack), NIIF_WARNING);
}

bool CQuiloDlg::CreatePanel(CDialog& panel)
{
    return panel.m_hWnd || panel.Create(panel.TemplateId(), this);
}

void CQuiloDlg::OpenPanel(CDialog& panel, int dx, int dy)
{
    if (!panel.m_hWnd) {
        if (!CreatePanel(panel)) return;
        const CScale scale(Dpi());
        panel.SetWindowPos(nullptr, m_windowRect.left + scale(dx), m_windowRect.bottom + scale(dy), 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (::IsIconic(panel)) panel.ShowWindow(SW_RESTORE);
    panel.ShowWindow(SW_SHOW);
}

void CQuiloDlg::OnTurbo() { OpenPanel(m_turboPanel, 256, -40); }

void CQuiloDlg::OnFanCurve() { OpenPanel(m_fanCurvePanel, 256, -40); }

void CQuiloDlg::OnSettings() { OpenPanel(m_settingsPanel, 310, -40); }
void CQuiloDlg::OnMonitor()
{
    OpenPanel(m_monitorPanel, 52, -30);
    OpenPanel(m_infoPanel, 464, -30);
}

void CQuiloDlg::OnApplyPreset()
{
    if (!HoldsCards()) return TellCardsHeldElsewhere();
    if (m_warning.Confirm()) m_overclock.ApplyPreset(m_preset);
}

void CQuiloDlg::OnResetOverclock()
{
    if (!HoldsCards()) return TellCardsHeldElsewhere();
    ResetOverclock();
}

// Whoever typed the preset has chosen it: no warning.
bool CQuiloDlg::ApplyPresetNow(int level)
{
    if (m_warning.Pending()) return false;
    SelectPreset(level);
    return m_overclock.ApplyPreset(level);
}

bool CQuiloDlg::ResetOverclock() { return !m_warning.Pending() && m_overclock.Reset(); }

// Until the driver is there the window has nothing to show: it comes after the wait.
void CQuiloDlg::ShowMainWindow(std::string& text)
{
    if (m_waitingForDriver) {
        m_afterWait = AfterWait::Shown;
        text += std::string(kWaitingForDriver) + "; its window comes once the driver is there, within a minute.\r\n";
        return;
    }
    m_startMinimized = 0;
    m_keepHidden = false;
    if (::IsIconic(m_hWnd)) ShowWindow(SW_RESTORE);
    ShowWindow(SW_SHOW);
    RemoveTrayIcon();
    // The start that asked for it let this process take the foreground.
    ::SetForegroundWindow(m_hWnd);
}

void CQuiloDlg::HideMainWindow(std::string&)
{
    if (m_waitingForDriver)
        m_afterWait = AfterWait::Hidden;  // hidden while it waits
    else
        MinimizeToTray();
}

int CQuiloDlg::WriteStatus(std::string& text)
{
    if (!m_waitingForDriver) return WriteGpuStatus(m_gpu, text);
    text += std::string(kWaitingForDriver) + ".\r\n";
    return kExitRefused;
}

bool CQuiloDlg::MayWriteCards(std::string& why)
{
    if (m_waitingForDriver) {
        why = kWaitingForDriver;
        return false;
    }
    if (!HoldsCards()) {
        why = CCardOwnership::kHeldElsewhere;
        return false;
    }
    return true;
}

void CQuiloDlg::FollowCardOwnership()
{
    if (!m_cards || m_cards->Held() || !m_cards->Take()) return;
    m_rewriteCountdown = kRewriteAfterTake;
    ShowCardOwnership();
    if (!m_cardsAwaited) return;
    m_cardsAwaited = false;
    TellCards(kCardsTaken);
    ApplyOverclockAtStart();
}

void CQuiloDlg::ShowCardOwnership()
{
    const char* why = HoldsCards() ? "" : CCardOwnership::kHeldElsewhere;
    for (CBitButtonNL* key : {&m_applyButton, &m_resetButton, &m_turboButton}) key->SetAccessibleDescription(why);
    ShowFanModeButton();
}

void CQuiloDlg::TellCards(const std::string& text)
{
    m_trayIcon.ShowBalloon(kCardsTitle, WideFromCp936(text.c_str()), NIIF_INFO);
}

void CQuiloDlg::TellCardsHeldElsewhere() { TellCards(std::string(CCardOwnership::kHeldElsewhere) + kCardsHeldHere); }

void CQuiloDlg::SetStart(const CCommandLine& command, CSingleInstance& instance)
{
    m_startCommand = &command;
    m_instance = &instance;
}

// After the start-up hiding: the command may show the window again. Only
// then are later starts' commands carried out (until then they are answered
// "busy", unless they only show or hide the window), so they follow this one;
// and only then is a request to close taken, the window's modal loop running.
void CQuiloDlg::RunStartCommand()
{
    std::string text;
    if (m_startCommand) m_startResult = m_startCommand->Run(*this, text);
    m_startedUp = true;
    if (!m_startCommand) return;
    if (!text.empty()) WriteOutput(text);
    ReleaseStandardHandles();
    m_instance->ListenForClose(m_hWnd);
}

LRESULT CQuiloDlg::OnCopyData(WPARAM sender, LPARAM data)
{
    return CSingleInstance::Answer(m_hWnd, sender, data, *this);
}

void CQuiloDlg::MinimizeToTray()
{
    if (!m_trayIcon.Add()) {
        SetTimer(kTrayRetryTimer, 1000);
        return;
    }
    KillTimer(kTrayRetryTimer);
    ShowWindow(SW_HIDE);
}

void CQuiloDlg::RemoveTrayIcon()
{
    KillTimer(kTrayRetryTimer);
    m_trayIcon.Remove();
}

LRESULT CQuiloDlg::OnTaskbarCreated(WPARAM, LPARAM)
{
    m_trayIcon.FollowTaskbar();
    m_trayIcon.Restore();
    return 0;
}

// The taskbar moved (its work area changed), a monitor's scale changed or the
// monitors did: the notification area may now be at another scale.
LRESULT CQuiloDlg::OnSettingChange(WPARAM setting, LPARAM text)
{
    m_trayIcon.FollowTaskbar();
    return CBkDialogST::OnSettingChange(setting, text);
}

LRESULT CQuiloDlg::OnDisplayChange(WPARAM, LPARAM)
{
    m_trayIcon.FollowTaskbar();
    return Default();
}

LRESULT CQuiloDlg::OnTrayNotify(WPARAM iconId, LPARAM mouseMessage)
{
    if (iconId != CTrayIcon::kIconId) return 1;
    if (mouseMessage == WM_LBUTTONDBLCLK) {
        ShowWindow(SW_SHOW);
        RemoveTrayIcon();
    } else if (mouseMessage == WM_RBUTTONUP) {
        POINT pt{};
        ::GetCursorPos(&pt);
        ::SetForegroundWindow(m_hWnd);
        CMenu menu(::LoadMenuA(ResourceInstance(), MAKEINTRESOURCEA(IDR_TRAY_MENU)));
        HMENU popup = menu ? ::GetSubMenu(menu, 0) : nullptr;
        if (popup)
            ::CheckMenuItem(popup, ID_TRAY_LOG, MF_BYCOMMAND | (m_readingsLog.Enabled() ? MF_CHECKED : MF_UNCHECKED));
        const UINT command = popup ? static_cast<UINT>(::TrackPopupMenu(popup, TPM_RIGHTBUTTON | TPM_RETURNCMD, pt.x,
                                                                           pt.y, 0, m_hWnd, nullptr))
                                   : 0;
        // Lets the menu close when the user clicks elsewhere, as the menu's documentation asks.
        PostMessage(WM_NULL);
        if (command == ID_TRAY_OPEN) {
            ShowWindow(SW_SHOWNORMAL);
            RemoveTrayIcon();
        } else if (command == ID_TRAY_LOG) {
            SetLogging(!m_readingsLog.Enabled());
        } else if (command == ID_TRAY_LOG_FOLDER) {
            m_readingsLog.OpenFolder();
        } else if (command == ID_TRAY_EXIT) {
            EndProgram(IDOK);
        }
    }
    return 0;
}

LRESULT CQuiloDlg::OnPaint(WPARAM, LPARAM)
{
    if (!::IsIconic(m_hWnd)) return Default();
    CPaintDC dc(m_hWnd);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    const CRect client = GetClientRect();
    const int x = (client.Width() - SystemMetricForDpi(SM_CXICON, Dpi()) + 1) / 2;
    const int y = (client.Height() - SystemMetricForDpi(SM_CYICON, Dpi()) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    return 0;
}

LRESULT CQuiloDlg::OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_hIcon.get()); }

LRESULT CQuiloDlg::OnMove(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    m_windowRect = GetWindowRect();
    return result;
}

// A new scale may change the size alone; panels open below the window's bottom.
LRESULT CQuiloDlg::OnSize(WPARAM type, LPARAM size)
{
    const LRESULT result = CBkDialogST::OnSize(type, size);
    if (type != SIZE_MINIMIZED) m_windowRect = GetWindowRect();
    return result;
}

void CQuiloDlg::EndProgram(int result)
{
    m_warning.Decline();
    ReleaseFan();
    EndDialog(result);
}

LRESULT CQuiloDlg::OnClose(WPARAM, LPARAM)
{
    EndProgram(IDCANCEL);
    return 0;
}

// An installer or an update closing running programs (ENDSESSION_CLOSEAPP)
// expects them to end, not to run on with the fan handed back.
LRESULT CQuiloDlg::OnEndSession(WPARAM ending, LPARAM flags)
{
    if (ending) {
        ReleaseFan();
        RemoveTrayIcon();
        m_overclockAtStart.OnCleanExit();
        if (flags & ENDSESSION_CLOSEAPP) {
            EndProgram(IDCANCEL);
            // A box's own loop ends at WM_QUIT and hands it on, so the program's loop ends too.
            if (MessageBoxOpen()) ::PostQuitMessage(0);
        }
    }
    return 0;
}

// A card back from sleep may have lost the level the curve wrote, as after a driver reset.
LRESULT CQuiloDlg::OnPowerBroadcast(WPARAM event, LPARAM)
{
    if (event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND) m_fan.WriteAgain();
    return TRUE;
}

LRESULT CQuiloDlg::OnWindowPosChanging(WPARAM, LPARAM lParam)
{
    auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
    if (m_keepHidden && pos) pos->flags &= ~SWP_SHOWWINDOW;
    return Default();
}

LRESULT CQuiloDlg::OnDestroy(WPARAM, LPARAM)
{
    ReleaseFan();
    RemoveTrayIcon();
    m_overclockAtStart.OnCleanExit();
    return Default();
}
