#pragma once
// CDlgTurbo: the overclock panel. Four rows (power target, frame-rate target,
// graphics and memory clock offsets of P0), each moved by its "-" and "+"
// keys or its slider within the limits the driver reported. "Apply" shows the
// warning note and writes the values, "Reset" writes the driver's default
// power target and zero offsets; after every write the panel shows what the
// driver holds. The main window runs its presets and its Reset through it.
// A value the driver could not tell is never written: its row stays blank and
// disabled until a later reading succeeds. Every overclock that succeeds is
// stored in the profile, to be applied again at start; "Reset" forgets it.
#include <initializer_list>
#include <string>

#include "controls/CBitButtonNL.h"
#include "controls/CBitmapSlider.h"
#include "controls/CLabel.h"
#include "controls/CStaticFont.h"
#include "gpu/GpuControl.h"
#include "panels/CDlgNote.h"
#include "panels/CSkinPanel.h"
#include "profile/IniFile.h"
#include "profile/StoredOverclock.h"

class CDlgTurbo : public CSkinPanel {
    DECLARE_MESSAGE_MAP()
public:
    explicit CDlgTurbo(CWnd* parent = nullptr);

    void SetGpuControl(CGpuControl* gpu) { m_gpu = gpu; }
    void SetProfilePath(const std::wstring& path) { m_ini.SetPath(path); }

    // These two need the panel's window. While a warning is open, a second
    // request brings it forward and is dropped. Both true when the driver
    // took every write.
    bool OnReset();
    // level 1, 2 or 3: the main window's "3", "5" and "10"; showNote false
    // skips the warning for a preset asked for by name.
    bool ApplyPreset(int level, bool showNote = true);
    // An overclock given whole, without the warning: each value is brought
    // within the limits the driver reports now and one it does not let change
    // is left out; then it is written as "Apply" writes and the read-back
    // shown. True when every write succeeded. This one stores nothing.
    bool ApplyOverclock(const OverclockSettings& settings);
    // The same, and what was applied is stored as "Apply" stores it.
    bool ApplyAndStore(const OverclockSettings& settings);

    // The panel's line under its title: why the overclock was not applied at
    // start; "" for the usual hint. Kept until the user applies or resets.
    void SetStartNote(const std::string& text);

    static constexpr const char* kOverclockWarning =
        "Warning:Excessive Overclocking May Caused GPU Damage,Please Reset Q-SURGE If GPU Fail After Overclocking.";

protected:
    enum Row { kPower, kFrame, kGpuOffset, kMemOffset, kRowCount };
    // One row's value, limits, flag and controls.
    struct RowParts {
        int& value;
        int& minimum;
        int& maximum;
        int& enabled;
        CBitmapSlider& slider;
        CStaticFont& readout;
    };

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnShown() override;

    void OnStepButton(UINT id);
    void OnApply();
    LRESULT OnSliderChanged(WPARAM sliderId, LPARAM);

    // Runs the warning note modally; the caller goes on however it was
    // closed. False when a note is open already.
    bool ShowOverclockNote();
    // Whether the warning is up; if so it comes forward.
    bool NoteIsOpen();

    RowParts Parts(Row row);
    // Whether the row's value came from the driver.
    bool Known(Row row) const;
    void LoadDriverValues();
    // Values, limits and enable flags from the driver; a failed read leaves
    // the rows unknown and disabled.
    void ReadClocks();
    void ReadPower();
    // Reads again what is not known; true when something was.
    bool ReadMissing();
    // The keys' art and every row's names.
    void SetUpControls();
    void LayOut() override;
    void SetupSliders();
    // The readout: the value, or nothing when it is not known.
    void ShowValue(Row row);
    // Sliders (limits, position, enabling) and readouts of the rows, from
    // their members, in the order given.
    void ShowRows(std::initializer_list<Row> rows);
    // Offsets then power target, as far as asked for, to the selected GPU or
    // to every GPU in turn; true when every write made succeeded.
    bool WriteToGpus(bool offsets, bool power, bool allGpus);
    void ReadBack();
    // The rows' values taken from what is given, written as "Apply" writes
    // them, then the read-back shown in the rows given; true when something
    // was written and every write succeeded.
    bool Write(const OverclockSettings& settings, std::initializer_list<Row> shown);
    // Within the driver's limits as it reports them now.
    OverclockSettings WithinLimits(const OverclockSettings& settings);
    // What was just applied, with the frame-rate target known to be in the
    // driver, becomes the one applied at start.
    void Store(OverclockSettings applied);
    void ShowStartNote();

    CBitButtonNL m_stepButtons[8];  // "P-", "P+", "F-", "F+", "G-", "G+", "M-", "M+"
    CBitButtonNL m_applyButton, m_resetButton;
    CBitmapSlider m_sliders[kRowCount];
    int m_powerTarget = 0, m_powerMin = 0, m_powerMax = 0, m_powerDefault = 0;
    // The driver's frame-rate target is never read: until the panel has
    // written one, it is not known to be the one shown.
    static constexpr int kFrameTargetUnknown = -1;
    int m_frameTarget = 40, m_frameTargetMin = 40, m_frameTargetMax = 255, m_frameTargetSent = kFrameTargetUnknown;
    int m_gpuOffset = 0, m_gpuOffsetMin = 0, m_gpuOffsetMax = 0;
    int m_memOffset = 0, m_memOffsetMin = 0, m_memOffsetMax = 0;
    CStaticFont m_gpuOffsetText, m_memOffsetText, m_powerText, m_frameText;
    CLabel m_noteLine;
    std::string m_startNote;
    int m_powerEnabled = 1, m_frameEnabled = 1, m_gpuOffsetEnabled = 1, m_memOffsetEnabled = 1;
    bool m_clocksKnown = false, m_powerKnown = false;  // the last reading succeeded
    int m_syncAllGpus = 1;
    CGpuControl* m_gpu = nullptr;
    CIniFile m_ini;
    CDlgNote* m_openNote = nullptr;  // while the warning is up
};
