#pragma once
// COverclock: the overclock of the cards. For each card it holds the four
// values the user sets (power target, frame-rate target, graphics and memory
// clock offsets of P0), their limits, whether the driver told them and whether
// it lets them change; it reads what is missing, writes offsets then power to
// the selected card or to every card, the frame-rate target once, reads back
// what the driver took, runs the presets and Reset, and keeps the overclock in
// the profile for the next start. The overclock panel is a view of it; the main
// window, the command line and the overclock at start use it without any window.
//
// The frame-rate target is driver-wide, and the driver's own is never read: it
// is the same for every card.
#include <cstdint>
#include <functional>
#include <string>

#include "gpu/GpuControl.h"
#include "overclock/StoredOverclock.h"
#include "profile/IniFile.h"

// One value the user sets.
struct OverclockRow {
    int value = 0, minimum = 0, maximum = 0;
    bool known = false;    // the driver told it (the frame-rate target is always known)
    bool enabled = false;  // it may be changed: told, and the driver lets it change
};

// How an overclock kept in the profile is to go out at start.
struct OverclockPlan {
    enum class Problem { None, NoCard, NoLimits } problem = Problem::None;
    OverclockSettings settings;  // within the limits reported now
    int target = -1;             // a GPU's index, or every GPU
};

class COverclock : public GpuSelectionListener {
public:
    enum Row { kPower, kFrame, kGpuOffset, kMemOffset, kRowCount };
    static constexpr int kEveryGpu = -1;
    static constexpr int kFrameTargetUnknown = -1;
    static constexpr int kFrameRateAtReset = 40;
    // Preset offsets in MHz, the main window's "3", "5" and "10", and the power
    // target's raise above the driver's default.
    struct Preset {
        int gpuOffset, memOffset;
    };
    static constexpr Preset kPresets[3] = {{30, 50}, {50, 80}, {80, 100}};
    static constexpr int kPresetPowerRaise = 10;

    // Both outlive this object; the profile's path may be set later.
    COverclock(CGpuControl& gpu, const CIniFile& ini);
    ~COverclock();
    COverclock(const COverclock&) = delete;
    COverclock& operator=(const COverclock&) = delete;

    // Run whenever what the overclock holds changed: values, limits or the
    // line; its view shows it again. Empty: nothing.
    void SetOnChange(std::function<void()> onChange) { m_onChange = std::move(onChange); }

    // The selected card's row.
    const OverclockRow& Value(Row row) const;
    int PowerDefault() const { return Selected().powerDefault; }
    int FrameTargetSent() const { return m_frameSent; }
    // The settings' "Sync all GPUs" as stored now: it governs every write.
    bool SyncAllGpus() const;

    // A value moved by a key or a slider, within the row's limits; nothing is
    // written. A row that may not change keeps its value.
    void SetValue(Row row, int value);
    // The selected card read afresh.
    void ReadAll();
    // Reads again what is not known; true when something was.
    bool ReadMissing();

    // "Apply": the values as they stand; kept for the next start when the
    // driver took every write. True then.
    bool Apply();
    // level 1, 2 or 3; kept as "Apply" keeps it. A value the driver did not
    // tell is left out. True when the driver took every write.
    bool ApplyPreset(int level);
    // The default power target and no offsets; the frame-rate target shows 40
    // and is written by the next "Apply". Forgets the kept overclock. True
    // when the driver took every write.
    bool Reset();

    // The kept overclock brought within the limits the driver reports now:
    // each value, a value the driver does not let change left out; to the
    // card it went to, which must be present. Reads, writes nothing.
    OverclockPlan Plan(const OverclockSettings& kept);
    // Writes what Plan gave, as "Apply" writes, and keeps nothing. True when
    // the driver took every write; else the rows show what it holds.
    bool ApplyPlan(const OverclockPlan& plan);

    // The line under the panel's title: why the kept overclock was not
    // applied at start; "" for the usual hint. Kept until an overclock is
    // applied or reset.
    const std::string& Note() const { return m_note; }
    void SetNote(const std::string& text);

    // The selected card read, and shown.
    void SelectedGpuChanged(int gpuIndex) override;

private:
    struct Card {
        OverclockRow power, gpuOffset, memOffset;
        int powerDefault = 0;
    };

    int SelectedIndex() const;
    Card& CardAt(int index);
    const Card& Selected() const;
    Card& Selected() { return CardAt(SelectedIndex()); }
    static OverclockRow& RowOf(Card& card, Row row);
    void ReadClocks(int index);
    void ReadPower(int index);
    void ReadCard(int index);
    // The card's identity for the profile; empty ids when they cannot be read.
    OverclockCard Identity(int index);
    // Where a write goes: every GPU with the switch on, else the selected one.
    int Target() const;
    // Offsets then power target, as far as asked for, from the card's values
    // (the selected card's for every GPU); true when every write made succeeded.
    bool WriteToGpus(bool offsets, bool power, int target);
    // The values given taken into the card's rows, written, the frame-rate
    // target once, then read back; true when something was written and every
    // write succeeded.
    bool Write(const OverclockSettings& settings, int target);
    void ReadBack(int target);
    // What was just applied becomes the one kept for the next start.
    void Keep(OverclockSettings applied, int target);
    void Changed();

    CGpuControl& m_gpu;
    const CIniFile& m_ini;
    Card m_cards[kNvMaxPhysicalGpus];
    OverclockRow m_frame{kFrameRateAtReset, 40, 255, true, true};
    // Until one is written, the driver's is not known to be the one shown.
    int m_frameSent = kFrameTargetUnknown;
    std::string m_note;
    std::function<void()> m_onChange;
};
