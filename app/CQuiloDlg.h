#pragma once
// The main window: the selected card's temperature and fan level as numbers and
// pictures, its clocks on the dial, the fan switch, the overclock presets'
// buttons and the notification-area icon. Closing it ends the program.
#include <string>

#include "app/CCardOwnership.h"
#include "app/CCommandLine.h"
#include "app/CSingleInstance.h"
#include "app/CTrayIcon.h"
#include "controls/CBitButtonNL.h"
#include "controls/CBkDialogST.h"
#include "controls/CStaticFont.h"
#include "controls/CTEMP.h"
#include "controls/ClockPoint.h"
#include "fan/CFanControl.h"
#include "framework/Gdi.h"
#include "gpu/GpuControl.h"
#include "log/CReadingsLog.h"
#include "panels/CDlgFanCurve.h"
#include "panels/CDlgSetting.h"
#include "panels/CDlgHwm.h"
#include "panels/CDlgInfo.h"
#include "overclock/COverclock.h"
#include "overclock/COverclockAtStart.h"
#include "panels/CDlgTurbo.h"
#include "panels/COverclockWarning.h"
#include "profile/IniFile.h"

// A rectangle at 96 DPI: left, top, width, height.
struct Area {
    int left, top, width, height;
};
// Where a readout stands at 96 DPI before its first reading and for readings
// of width class 1 (narrow) and 2 (wide).
struct ReadoutPlaces {
    Area first, narrow, wide;
    constexpr const Area& For(int widthClass) const { return widthClass == 1 ? narrow : widthClass == 2 ? wide : first; }
};

class CQuiloDlg : public CBkDialogST, public CommandTarget {
    DECLARE_MESSAGE_MAP()
public:
    explicit CQuiloDlg(CWnd* parent = nullptr);

    // The command this start was given, carried out once the window is up;
    // then the window takes the commands later starts hand to the instance.
    void SetStart(const CCommandLine& command, CSingleInstance& instance);
    // Writes to the cards only while this copy holds them; without it, always.
    void SetCardOwnership(CCardOwnership& cards) { m_cards = &cards; }
    // The exit code of the start's command.
    int StartResult() const { return m_startResult; }

    // The command line's entry points.
    void ShowMainWindow(std::string& text) override;
    void HideMainWindow(std::string& text) override;
    void ExitProgram() override { EndProgram(IDCANCEL); }
    bool OverclockWarningOpen() const override { return m_warning.IsOpen(); }
    bool ApplyPresetNow(int level) override;
    bool ResetOverclock() override;
    bool SetFanMode(bool driverControls, std::string& why) override;
    int WriteStatus(std::string& text) override;
    bool StartedUp() const override { return m_startedUp || m_waitingForDriver; }
    bool MayWriteCards(std::string& why) override;

    // Hides the window once its icon is in the notification area; until the
    // area takes the icon (early at logon it may not exist) the window stays
    // shown and the icon is tried again every second.
    void MinimizeToTray();
    void RemoveTrayIcon();
    // Broadcast by the shell when it starts again: its icons are to be added anew.
    static const UINT s_taskbarCreated;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    // Enter presses the focused key: the dialog's OK does nothing, so Enter
    // ends the program only on the close key. Esc ends it as "X" does.
    void OnOK() override {}
    void OnCancel() override { EndProgram(IDCANCEL); }
    // The close key, Esc, Alt+F4 and the menu's Exit end the program; an
    // open overclock warning is declined first, so nothing is written.
    void EndProgram(int result);
    void OnCloseKey() { EndProgram(IDCANCEL); }
    LRESULT OnClose(WPARAM, LPARAM);

    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnQueryDragIcon(WPARAM, LPARAM);
    LRESULT OnMove(WPARAM, LPARAM);
    LRESULT OnSize(WPARAM type, LPARAM size);
    void OnDpiChanged() override;
    LRESULT OnTimer(WPARAM, LPARAM);
    LRESULT OnTrayNotify(WPARAM, LPARAM);
    LRESULT OnTaskbarCreated(WPARAM, LPARAM);
    LRESULT OnSettingChange(WPARAM setting, LPARAM text);
    LRESULT OnDisplayChange(WPARAM, LPARAM);
    LRESULT OnEndSession(WPARAM, LPARAM);
    LRESULT OnPowerBroadcast(WPARAM, LPARAM);
    LRESULT OnWindowPosChanging(WPARAM, LPARAM);
    LRESULT OnDestroy(WPARAM, LPARAM);
    LRESULT OnCopyData(WPARAM, LPARAM);
    void OnPreset1() { SelectPreset(1); }
    void OnPreset2() { SelectPreset(2); }
    void OnPreset3() { SelectPreset(3); }
    void OnFanMode();
    void OnApplyPreset();
    void OnResetOverclock();
    void OnTurbo();
    void OnFanCurve();
    void OnSettings();
    void OnMonitor();

    // Places the controls and gives them their art, names and fonts.
    void SetUpControls();
    // Sizes and places the window and its controls at its DPI.
    void LayOut();
    void FirstRunDefaults();
    void LoadStartupSettings();
    void SelectPreset(int preset);
    void ShowPresetButtons();
    void ShowFanModeButton();
    void Refresh();
    // Moves a readout to its narrow (class 1) or wide (class 2) place when its class changed.
    void PlaceReadout(CStaticFont& readout, int widthClass, int& lastWidthClass, const ReadoutPlaces& places);
    // Creates a panel's window, owned by this one, unless it has one; false when it cannot.
    bool CreatePanel(CDialog& panel);
    // Creates a panel placed at (left + dx, bottom + dy) of this window (dx and
    // dy at 96 DPI, scaled to this window's) on first
    // opening, then shows it, restored if it was minimised.
    void OpenPanel(CDialog& panel, int dx, int dy);
    // Every fan of ours back to the driver, so no card is left at a fixed
    // level once the program has gone.
    void ReleaseFan();
    void RunStartCommand();
    bool HoldsCards() const { return !m_cards || m_cards->Held(); }
    // Each refresh: the cards, once their holder has let them go.
    void FollowCardOwnership();
    // Whether the keys that write say that another copy holds the cards.
    void ShowCardOwnership();
    // A balloon about who controls the cards.
    void TellCards(const std::string& text);
    void TellCardsHeldElsewhere();
    void ShowStartFailures(int init);
    bool IsLogonStart() const;
    void StartWithProfile();
    void WaitForDriver();
    // Once a second while logging: every GPU's readings to the log (the
    // selected one's as the refresh read it), and a balloon when the log has
    // something to tell.
    void LogReadings(const GpuReading& selected);
    // The "Log readings" switch, kept in the profile.
    void SetLogging(bool on);
    // The stored overclock, when the "OC" switch asks for it; a balloon when
    // the crash guard held it back.
    void ApplyOverclockAtStart();

    CIcon m_hIcon;
    std::wstring m_iniPath;
    CBitButtonNL m_minimizeButton, m_closeButton, m_preset1Button, m_preset3Button, m_preset2Button,
        m_applyButton, m_resetButton, m_monitorButton, m_turboButton, m_fanCurveButton, m_fanModeButton,
        m_settingsButton;
    int m_initialized = 0;
    int m_startMinimized = 0;
    bool m_keepHidden = false;  // started hidden: not shown until asked to
    bool m_waitingForDriver = false;  // a start with Windows before the driver
    int m_driverWaits = 0;            // seconds waited
    // Asked while the driver is awaited: the window as it is once the wait ends.
    enum class AfterWait { AsStarted, Shown, Hidden } m_afterWait = AfterWait::AsStarted;
    CIniFile m_ini;
    CReadingsLog m_readingsLog;  // told of the driver's writes: outlives m_gpu
    CGpuControl m_gpu;
    CFanControl m_fan{m_gpu, m_ini};
    int m_shownFanAuto = 1;  // what the fan switch shows
    bool m_shownCanDrive = true;  // and whether it can be switched
    COverclockWarning m_warning;
    COverclock m_overclock{m_gpu, m_ini};  // follows the selected GPU: outlived by m_gpu
    CDlgTurbo m_turboPanel;                // a view of m_overclock
    COverclockAtStart m_overclockAtStart;
    CDlgFanCurve m_fanCurvePanel;
    CDlgSetting m_settingsPanel;
    CDlgHwm m_monitorPanel;
    // The monitor samples every 100 ms as the refresh runs; in step, the
    // program wakes once for both. Both periods are restarted at the start of
    // the first refresh that finds the panel already there, since the panel
    // may have been opened in the middle of a refresh.
    enum class MonitorStep { Apart, Due, InStep } m_monitorStep = MonitorStep::Apart;
    CDlgInfo m_infoPanel;
    CStaticFont m_temperatureText, m_fanText, m_engineText, m_memoryText;
    int m_preset = 1;
    unsigned m_temperature = 0, m_engineClock = 0, m_memoryClock = 0;
    std::string m_fanShown = "0";  // the fan readout: a dash for a level that cannot be read
    unsigned m_lastTemperature = 0;  // shown by the readouts, which start at 0
    std::string m_lastFanShown = "0";
    unsigned m_lastEngineClock = 0, m_lastMemoryClock = 0;
    int m_temperatureWidth = 0, m_lastTemperatureWidth = 0, m_fanWidth = 0, m_lastFanWidth = 0;
    CTEMP m_fanPicture, m_temperaturePicture;
    CRect m_windowRect;
    ClockPoint m_gauge;
    CTrayIcon m_trayIcon;
    const CCommandLine* m_startCommand = nullptr;
    CSingleInstance* m_instance = nullptr;
    int m_startResult = kExitDone;
    bool m_startedUp = false;  // the start's own command has been carried out
    CCardOwnership* m_cards = nullptr;
    bool m_cardsAwaited = false;  // started without the cards: the stored overclock waits for them
    int m_rewriteCountdown = 0;   // refreshes until the fan's level is written once more after taking the cards
};
