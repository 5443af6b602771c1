#include "app/CCommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <cwchar>

#include "profile/AutoRun.h"

namespace {
constexpr uint32_t kRecordMagic = 0x4C435351;  // "QSCL"
constexpr uint32_t kForwardedActions = CCommandLine::kShow | CCommandLine::kHide | CCommandLine::kExit |
                                       CCommandLine::kReset | CCommandLine::kStatus;

// Options that take no value.
struct Flag {
    const char* name;
    CCommandLine::Action action;
};
constexpr Flag kFlags[] = {
    {"--show", CCommandLine::kShow},     {"--hide", CCommandLine::kHide},
    {"--exit", CCommandLine::kExit},     {"--reset", CCommandLine::kReset},
    {"--status", CCommandLine::kStatus}, {"--help", CCommandLine::kHelp},
    {kLogonArgument, CCommandLine::kLogon},
};

// An argument as it may be echoed in a message: characters outside ASCII
// would need a code page the reader may not have.
std::string Printable(const wchar_t* argument)
{
    std::string text;
    for (const wchar_t* p = argument; *p; ++p) text += *p >= 0x20 && *p < 0x7F ? static_cast<char>(*p) : '?';
    return text;
}

bool IsOption(const std::string& argument, const char* option) { return argument == option; }

// Owns the array CommandLineToArgvW returns.
class ArgumentList {
public:
    explicit ArgumentList(const wchar_t* commandLine) : m_args(::CommandLineToArgvW(commandLine, &m_count)) {}
    ~ArgumentList() { if (m_args) ::LocalFree(m_args); }
    ArgumentList(const ArgumentList&) = delete;
    ArgumentList& operator=(const ArgumentList&) = delete;
    int Count() const { return m_args ? m_count : 0; }
    const wchar_t* operator[](int i) const { return m_args[i]; }

private:
    int m_count = 0;
    wchar_t** m_args;
};
}  // namespace

bool CCommandLine::Fail(const std::string& reason)
{
    m_actions = 0;
    m_preset = 0;
    m_fan = Fan::Unchanged;
    m_error = reason + "\r\nRun \"qsurge.exe --help\" for the options.\r\n";
    return false;
}

bool CCommandLine::Parse(const wchar_t* commandLine)
{
    *this = CCommandLine();
    const ArgumentList args(commandLine);
    bool presetGiven = false, fanGiven = false;
    for (int i = 1; i < args.Count(); ++i) {
        const std::string argument = Printable(args[i]);
        const bool takesValue = IsOption(argument, "--preset") || IsOption(argument, "--fan");
        // A missing value is not taken from the option that follows.
        const bool valueFollows = takesValue && i + 1 < args.Count() && std::wcsncmp(args[i + 1], L"--", 2) != 0;
        const std::string value = valueFollows ? Printable(args[++i]) : std::string();
        bool repeated = false;
        if (IsOption(argument, "--preset")) {
            if (value.empty()) return Fail("--preset needs a value: 1, 2 or 3.");
            if (value != "1" && value != "2" && value != "3")
                return Fail("--preset takes 1, 2 or 3, not \"" + value + "\".");
            repeated = presetGiven;
            presetGiven = true;
            m_preset = value[0] - '0';
        } else if (IsOption(argument, "--fan")) {
            if (value.empty()) return Fail("--fan needs a value: auto or curve.");
            if (value != "auto" && value != "curve") return Fail("--fan takes auto or curve, not \"" + value + "\".");
            repeated = fanGiven;
            fanGiven = true;
            m_fan = value == "auto" ? Fan::Auto : Fan::Curve;
        } else {
            const Flag* flag = nullptr;
            for (const Flag& f : kFlags)
                if (IsOption(argument, f.name)) flag = &f;
            if (!flag) return Fail("Unknown option: \"" + argument + "\".");
            repeated = Has(flag->action);
            m_actions |= flag->action;
        }
        if (repeated) return Fail(argument + " is given twice.");
    }
    const std::string conflict = Conflict();
    return conflict.empty() || Fail(conflict);
}

std::string CCommandLine::Conflict() const
{
    const bool overclock = m_preset != 0 || Has(kReset);
    const bool anyOther = overclock || m_fan != Fan::Unchanged || Has(kShow) || Has(kHide);
    for (const Flag& f : kFlags) {
        const bool alone = f.action == kExit || f.action == kStatus || f.action == kHelp || f.action == kLogon;
        if (alone && Has(f.action) && (anyOther || (m_actions & ~static_cast<uint32_t>(f.action)) != 0))
            return std::string(f.name) + " cannot be combined with other options.";
    }
    if (Has(kShow) && Has(kHide)) return "--show and --hide contradict each other.";
    if (m_preset != 0 && Has(kReset)) return "--preset and --reset contradict each other.";
    return {};
}

CCommandLine::Record CCommandLine::ToRecord() const
{
    Record record{kRecordMagic, sizeof(Record), m_actions, m_preset, static_cast<int32_t>(m_fan)};
    const bool none = m_actions == 0 && m_preset == 0 && m_fan == Fan::Unchanged;
    if (none) record.actions = kShow;
    return record;
}

bool CCommandLine::FromRecord(const void* data, size_t size)
{
    Record record;
    if (!data || size != sizeof record) return false;
    std::memcpy(&record, data, sizeof record);
    if (record.magic != kRecordMagic || record.size != sizeof record || (record.actions & ~kForwardedActions) != 0 ||
        record.preset < 0 || record.preset > 3 || record.fan < static_cast<int32_t>(Fan::Unchanged) ||
        record.fan > static_cast<int32_t>(Fan::Curve))
        return false;
    CCommandLine command;
    command.m_actions = record.actions;
    command.m_preset = record.preset;
    command.m_fan = static_cast<Fan>(record.fan);
    if (!command.Conflict().empty()) return false;
    *this = command;
    return true;
}

int CCommandLine::Run(CommandTarget& target, std::string& text) const
{
    int code = kExitDone;
    const auto refused = [&](const char* what) {
        text += std::string("The driver refused ") + what + ", or there is no GPU.\r\n";
        code = kExitRefused;
    };
    std::string why;
    // Nothing of a command that may not write goes to the cards.
    const bool writes = WritesCards() && target.MayWriteCards(why);
    if (WritesCards() && !writes) {
        text += why + ".\r\n";
        code = kExitRefused;
    }
    if (writes && (m_preset != 0 || Has(kReset)) && target.OverclockWarningOpen()) {
        // The user has yet to answer a warning for another overclock: nothing changes.
        text += "The overclock warning is open in Q-Surge: answer it, then try again.\r\n";
        code = kExitRefused;
    } else if (writes) {
        if (m_preset != 0 && !target.ApplyPresetNow(m_preset)) refused("the preset");
        if (Has(kReset) && !target.ResetOverclock()) refused("the reset");
    }
    if (writes && m_fan != Fan::Unchanged && !target.SetFanMode(m_fan == Fan::Auto, why)) {
        if (why.empty()) refused("the fan mode");
        else text += why + ".\r\n";
        code = kExitRefused;
    }
    if (Has(kStatus)) code = target.WriteStatus(text);
    if (Has(kShow)) target.ShowMainWindow(text);
    if (Has(kHide)) target.HideMainWindow(text);
    if (Has(kExit)) target.ExitProgram();
    return code;
}

const char* CCommandLine::HelpText()
{
    return "Usage: qsurge.exe [options]\r\n"
           "  --show            show the window\r\n"
           "  --hide            hide the window in the notification area\r\n"
           "  --exit            end the program (the fan goes back to the driver)\r\n"
           "  --preset 1|2|3    apply the overclock preset \"3\", \"5\" or \"10\"\r\n"
           "  --reset           put the overclock back to the card's defaults\r\n"
           "  --fan auto|curve  hand the fan to the driver, or let it follow the fan curve\r\n"
           "  --status          one line per GPU, tab-separated: index, name, temperature (C),\r\n"
           "                    fan (%), engine clock (MHz), memory clock (MHz), every fan\r\n"
           "                    (60%/1800rpm 58%/1750rpm: each fan's level, with its speed\r\n"
           "                    where the card reports it)\r\n"
           "  --help            this text\r\n"
           "A running copy carries the options out; without one the program starts and\r\n"
           "carries them out (--status and --help only write, and end).\r\n"
           "Exit codes: 0 done, 1 not done (the driver refused, there is no GPU, another user's\r\n"
           "copy controls the cards, the driver is still awaited, or the overclock warning is\r\n"
           "open), 2 a bad command line.\r\n";
}
