#pragma once
// CCommandLine: what a start of the program is asked to do, read from its
// arguments or from the record a second start hands the running copy, and
// carried out on the running program through CommandTarget.
#include <cstddef>
#include <cstdint>
#include <string>

// Process exit codes.
enum ExitCode { kExitDone = 0, kExitRefused = 1, kExitBadCommandLine = 2 };

// What the command line may ask of the running program.
class CommandTarget {
public:
    // Shows or hides the window, or, when it can only do so later, appends
    // the sentence that says so to text.
    virtual void ShowMainWindow(std::string& text) = 0;
    virtual void HideMainWindow(std::string& text) = 0;
    // As the close key: the fan goes back to the driver and the program ends.
    virtual void ExitProgram() = 0;
    // While it is open no overclock is applied or reset.
    virtual bool OverclockWarningOpen() const = 0;
    // The next three: false when the driver refused or there is no GPU.
    virtual bool ApplyPresetNow(int level) = 0;
    virtual bool ResetOverclock() = 0;
    // why: the sentence to answer when the refusal is not the driver's.
    virtual bool SetFanMode(bool driverControls, std::string& why) = 0;
    // One line per GPU; an exit code.
    virtual int WriteStatus(std::string& text) = 0;
    // False while the program is still starting: until then a later start's
    // command is carried out only when it shows or hides the window.
    virtual bool StartedUp() const = 0;
    // False, with the sentence to answer, when nothing may be written to the
    // cards now (another copy controls them, or the driver is not there yet).
    virtual bool MayWriteCards(std::string& why) = 0;

protected:
    ~CommandTarget() = default;
};

class CCommandLine {
public:
    enum Action : uint32_t {
        kShow = 1,
        kHide = 2,
        kExit = 4,
        kReset = 8,
        kStatus = 16,
        kHelp = 32,
        kLogon = 64,  // started by the start-with-Windows entry
    };
    enum class Fan : int32_t { Unchanged, Auto, Curve };

    // The whole command line, the program's name first. False when it is not
    // understood; Error() then says why and how to ask for help.
    bool Parse(const wchar_t* commandLine);
    const std::string& Error() const { return m_error; }

    bool Has(Action action) const { return (m_actions & action) != 0; }
    int Preset() const { return m_preset; }  // 0: none
    Fan FanMode() const { return m_fan; }
    // Whether the command writes to the cards: a preset, a reset or a fan mode.
    bool WritesCards() const { return m_preset != 0 || Has(kReset) || m_fan != Fan::Unchanged; }
    // Whether it does no more than show or hide the window.
    bool OnlyWindow() const { return !WritesCards() && !Has(kStatus) && !Has(kExit); }

    // What a second start hands the running copy, in WM_COPYDATA with
    // kRecordTag: no options there mean "show the window".
    struct Record {
        uint32_t magic;
        uint32_t size;
        uint32_t actions;
        int32_t preset;
        int32_t fan;
    };
    static constexpr uintptr_t kRecordTag = 0x51534331;  // "QSC1"
    Record ToRecord() const;
    // False, leaving this command as it was, for anything but a whole record
    // of a command that could have been typed.
    bool FromRecord(const void* data, size_t size);

    // Carries the command out on the running program: the overclock first,
    // then the fan, then the window. The exit code; text receives what is to
    // be shown to whoever asked.
    int Run(CommandTarget& target, std::string& text) const;

    static const char* HelpText();

private:
    // Why the options cannot be carried out together; empty when they can.
    std::string Conflict() const;
    bool Fail(const std::string& reason);

    uint32_t m_actions = 0;
    int m_preset = 0;
    Fan m_fan = Fan::Unchanged;
    std::string m_error;
};
