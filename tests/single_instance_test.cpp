// One copy per user session, and the command line: the real qsurge.exe run as
// processes over the simulated driver's shared state. A later start hands its
// command line to the copy that runs; a first start carries it out itself.
// Every start's standard output is a pipe the test reads.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/CCommandLine.h"
#include "app/StartUp.h"
#include "gpu/NvApiTypes.h"
#include "program_process.h"
#include "res/resource.h"
#include "test_files.h"

namespace {

// Two cards whose readings hold still: no load, no heat, the driver's fan at
// its minimum below 60 degrees.
const char kScenario[] =
    "[Simulator]\nGpuCount=2\n"
    "[Gpu]\nTemperature=45\nAmbient=45\nHeatRise=0\nLoad=0\nLoadAmplitude=0\nFanCurveLow=60\nCoolerMin=35\n"
    "[Gpu1]\nName=NVIDIA GeForce GTX 1060\nDeviceId=0x1C0310DE\nTemperature=52\nAmbient=52\n";
const char kStatusLines[] = "0\tNVIDIA GeForce RTX 4090\t45\t35\t210\t21002\t35%\r\n"
                            "1\tNVIDIA GeForce GTX 1060\t52\t35\t210\t21002\t35%\r\n";

constexpr int kGraphicsDomain = 0, kMemoryDomain = 4;

// A start of the program: its process and the read end of its output.
struct Launched {
    PROCESS_INFORMATION process{};
    HANDLE output = nullptr;
    DWORD Pid() const { return process.dwProcessId; }
};

// What a start that ended left: its exit code, all it wrote, and its process id.
struct Ran {
    DWORD exitCode;
    std::string output;
    DWORD pid;
};

bool IconShown(HWND owner)
{
    NOTIFYICONDATAA nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = owner;
    nid.uID = 128;
    return Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
}

// Its helpers are public: the cases' checks reach them through the fixture.
class SingleInstanceTest : public ::testing::Test {
public:
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        m_dir = std::string(temp) + "qsurge_single_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(m_dir.c_str(), nullptr);
        m_exe = m_dir + "\\qsurge.exe";
        m_guard = m_dir + "\\qsurge-guard.exe";
        ASSERT_TRUE(CopyFileA(BuiltProgram().c_str(), m_exe.c_str(), FALSE));
        ASSERT_TRUE(CopyFileA(BuiltGuard().c_str(), m_guard.c_str(), FALSE));
        m_profile = m_dir + "\\Quilo_ID2684.ini";
        m_shared = m_dir + "\\driver.state";
        UseScenario(kScenario);
        WriteProfile(0, 1);
        SetEnvironmentVariableA("NVSIM_SHARED", m_shared.c_str());
        SetEnvironmentVariableA("NVSIM_SCENARIO", (m_dir + "\\scenario.ini").c_str());
        EndRunningCopy(m_exe);
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("NVSIM_SHARED", nullptr);
        SetEnvironmentVariableA("NVSIM_SCENARIO", nullptr);
        for (Launched& l : m_launched) {
            if (WaitForSingleObject(l.process.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(l.process.hProcess, 1);
                WaitForSingleObject(l.process.hProcess, 10000);
            }
            CloseHandle(l.process.hProcess);
            CloseHandle(l.process.hThread);
            if (l.output) CloseHandle(l.output);
        }
        // A fan guard may still be finishing; give it time to let the program go.
        for (int i = 0; i < 50 && !DeleteFileA(m_exe.c_str()); ++i) Sleep(100);
        for (int i = 0; i < 50 && !DeleteFileA(m_guard.c_str()); ++i) Sleep(100);
        for (const char* name : {"\\Quilo_ID2684.ini", "\\driver.state", "\\driver.state.log", "\\scenario.ini"})
            DeleteFileA((m_dir + name).c_str());
        RemoveDirectoryA(m_dir.c_str());
    }

    void UseScenario(const std::string& text)
    {
        FILE* file = std::fopen((m_dir + "\\scenario.ini").c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fputs(text.c_str(), file);
        std::fclose(file);
    }
    // A fresh start: the profile with these switches and the default curve, the driver's fans its own.
    void WriteProfile(int minisize, int fanAuto)
    {
        DeleteFileA(m_profile.c_str());
        DeleteFileA(m_shared.c_str());
        for (const char* key : {"Initialized", "Launch", "Minisize", "OverClock", "Synchronization"}) {
            const std::string k = key;
            const char* value = k == "Initialized" ? "1" : k == "Minisize" && minisize ? "1" : "0";
            WritePrivateProfileStringA("System", key, value, m_profile.c_str());
        }
        const char* const points[10] = {"0,0,0", "0,0,0", "0,0,0", "7,4,1", "0,0,0",
                                        "4,6,1", "0,0,0", "3,8,1", "0,0,0", "0,10,1"};
        for (int i = 0; i < 10; ++i)
            WritePrivateProfileStringA("FanCurve", ("Point" + std::to_string(i)).c_str(), points[i], m_profile.c_str());
        WritePrivateProfileStringA("FanCurve", "Auto", fanAuto ? "1" : "0", m_profile.c_str());
    }
    std::string FanMode() const
    {
        char mode[8] = {};
        GetPrivateProfileStringA("FanCurve", "Auto", "", mode, sizeof mode, m_profile.c_str());
        return mode;
    }

    // Starts the program with these arguments, its output and errors into a pipe.
    Launched& Launch(const std::string& arguments)
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE read = nullptr, write = nullptr;
        EXPECT_TRUE(CreatePipe(&read, &write, &inherit, 0));
        SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = write;
        Launched launched;
        std::string commandLine = "\"" + m_exe + "\" " + arguments;
        EXPECT_TRUE(CreateProcessA(m_exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, m_dir.c_str(),
                                   &startup, &launched.process));
        CloseHandle(write);
        launched.output = read;
        m_launched.push_back(launched);
        return m_launched.back();
    }
    // All the start writes, once it has let go of its output (a copy that
    // goes on running does so once it has carried its command out); false
    // when it still holds it after 30 seconds.
    static bool ReadOutput(Launched& launched, std::string& text)
    {
        for (int i = 0; i < 600; ++i) {
            DWORD available = 0;
            if (!PeekNamedPipe(launched.output, nullptr, 0, nullptr, &available, nullptr))
                return GetLastError() == ERROR_BROKEN_PIPE;
            if (available == 0) {
                Sleep(50);
                continue;
            }
            std::string chunk(available, '\0');
            DWORD got = 0;
            if (!ReadFile(launched.output, &chunk[0], available, &got, nullptr)) return false;
            text.append(chunk, 0, got);
        }
        return false;
    }
    // A copy that goes on running, once it takes commands.
    Launched& Start(const std::string& arguments)
    {
        Launched& launched = Launch(arguments);
        std::string text;
        EXPECT_TRUE(ReadOutput(launched, text)) << "a running copy lets go of its output";
        return launched;
    }
    static DWORD ExitCode(const Launched& launched)
    {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(launched.process.hProcess, 30000) == WAIT_OBJECT_0)
            GetExitCodeProcess(launched.process.hProcess, &code);
        return code;
    }
    static bool Running(const Launched& launched)
    {
        return WaitForSingleObject(launched.process.hProcess, 0) == WAIT_TIMEOUT;
    }
    // A start that ends.
    Ran Run(const std::string& arguments)
    {
        Launched& launched = Launch(arguments);
        std::string output;
        EXPECT_TRUE(ReadOutput(launched, output));
        return {ExitCode(launched), output, launched.Pid()};
    }

    std::vector<LoggedCall> Calls() const { return LoggedCalls(ReadWholeFile(m_shared + ".log")); }
    // The calls of a process from the first'th on.
    std::vector<LoggedCall> CallsBy(DWORD pid, size_t first = 0) const
    {
        std::vector<LoggedCall> calls = Calls(), by;
        for (size_t i = first; i < calls.size(); ++i)
            if (calls[i].pid == pid) by.push_back(calls[i]);
        return by;
    }
    bool Wrote(DWORD pid, unsigned id, const std::function<bool(const LoggedCall&)>& matches, size_t first = 0) const
    {
        for (const LoggedCall& call : CallsBy(pid, first))
            if (call.id == id && call.status == 0 && matches(call)) return true;
        return false;
    }
    // P0's offsets and the power target, as written to GPU 0.
    bool WroteOverclock(DWORD pid, int graphics, int memory, int power, size_t first = 0) const
    {
        const bool offsets = Wrote(pid, NvId::SetPstates20, [&](const LoggedCall& c) {
            const std::vector<int> expected = {0, kGraphicsDomain, graphics, kMemoryDomain, memory};
            return c.gpu == 0 && c.values == expected;
        }, first);
        const bool target = Wrote(pid, NvId::SetPowerPolicyStatus, [&](const LoggedCall& c) {
            return c.gpu == 0 && c.values.size() == 3 && c.values[2] == power;
        }, first);
        return offsets && target;
    }
    bool WroteFan(DWORD pid, unsigned policy, size_t first = 0) const
    {
        return Wrote(pid, NvId::SetCoolerLevels, [&](const LoggedCall& c) {
            return c.gpu == 0 && c.values.size() >= 3 && c.values[2] == static_cast<int>(policy);
        }, first);
    }
    void EndStartedCopies()
    {
        bool running = false;
        for (const Launched& l : m_launched) running = running || Running(l);
        if (running) {
            EXPECT_EQ(Run("--exit").exitCode, 0u);
        }
        for (const Launched& l : m_launched) EXPECT_NE(ExitCode(l), STILL_ACTIVE);
    }

    std::string m_dir, m_exe, m_guard, m_profile, m_shared;
    std::deque<Launched> m_launched;  // keeps its elements in place as it grows
};

}  // namespace

TEST_F(SingleInstanceTest, TwoCopiesStartedTogetherEndAsOne)
{
    WriteProfile(0, 0);  // the fan follows the curve: the copy that runs writes it
    Launched& first = Launch("--hide");
    Launched& second = Launch("--hide");
    const HANDLE both[2] = {first.process.hProcess, second.process.hProcess};
    const DWORD woke = WaitForMultipleObjects(2, both, FALSE, 30000);
    ASSERT_LT(woke, WAIT_OBJECT_0 + 2) << "neither start ended";
    Launched& ended = woke == WAIT_OBJECT_0 ? first : second;
    Launched& runs = woke == WAIT_OBJECT_0 ? second : first;
    EXPECT_EQ(ExitCode(ended), 0u);
    std::string output;
    EXPECT_TRUE(ReadOutput(runs, output));
    ASSERT_TRUE(WaitFor([&] { return WroteFan(runs.Pid(), kNvCoolerPolicyManual); }));
    Sleep(500);
    EXPECT_TRUE(Running(runs));
    EXPECT_TRUE(CallsBy(ended.Pid()).empty()) << "the copy that ended never reached the driver";
    for (const LoggedCall& call : Calls())
        if (call.id == NvId::SetCoolerLevels) {
            EXPECT_EQ(call.pid, runs.Pid()) << "one writer of the fan";
        }
    const HWND window = MainWindowOf(runs.Pid());
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(IconShown(window));

    const Ran exit = Run("--exit");
    EXPECT_EQ(exit.exitCode, 0u);
    EXPECT_EQ(ExitCode(runs), 0u);
    EXPECT_TRUE(WroteFan(runs.Pid(), kNvCoolerPolicyAuto)) << "the fan handed back as the close key does";
}

TEST_F(SingleInstanceTest, SecondStartShowsTheHiddenWindowAndALogonStartDoesNothing)
{
    WriteProfile(1, 1);
    Launched& running = Start("");
    const HWND window = MainWindowOf(running.Pid());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(window) && IconShown(window); }));

    const Ran logon = Run("--logon");
    EXPECT_EQ(logon.exitCode, 0u);
    EXPECT_EQ(logon.output, "");
    Sleep(300);
    EXPECT_FALSE(IsWindowVisible(window)) << "nothing visible at logon";
    EXPECT_TRUE(IconShown(window));

    const Ran plain = Run("");
    EXPECT_EQ(plain.exitCode, 0u);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(IconShown(window));
    EXPECT_TRUE(CallsBy(logon.pid).empty());
    EXPECT_TRUE(CallsBy(plain.pid).empty());
    EXPECT_TRUE(Running(running));
}

// Each option against a copy that runs (acting is that copy) and as a first
// start (acting is the start itself, which goes on running).
TEST_F(SingleInstanceTest, EachOptionAgainstARunningCopyAndAsAFirstStart)
{
    struct Case {
        const char* arguments;
        int minisize, fanAuto;
        std::function<void(SingleInstanceTest&, const Launched& acting, size_t first)> check;
    };
    const Case cases[] = {
        {"--preset 1", 0, 1, [](SingleInstanceTest& t, const Launched& a, size_t first) {
             EXPECT_TRUE(WaitFor([&] { return t.WroteOverclock(a.Pid(), 30000, 50000, 110000, first); }));
         }},
        {"--preset 3", 0, 1, [](SingleInstanceTest& t, const Launched& a, size_t first) {
             EXPECT_TRUE(WaitFor([&] { return t.WroteOverclock(a.Pid(), 80000, 100000, 110000, first); }));
         }},
        {"--reset", 0, 1, [](SingleInstanceTest& t, const Launched& a, size_t first) {
             EXPECT_TRUE(WaitFor([&] { return t.WroteOverclock(a.Pid(), 0, 0, 100000, first); }));
         }},
        {"--fan curve", 0, 1, [](SingleInstanceTest& t, const Launched& a, size_t first) {
             EXPECT_TRUE(WaitFor([&] { return t.WroteFan(a.Pid(), kNvCoolerPolicyManual, first); }));
             EXPECT_EQ(t.FanMode(), "0");
         }},
        {"--fan auto", 0, 0, [](SingleInstanceTest& t, const Launched& a, size_t first) {
             EXPECT_TRUE(WaitFor([&] { return t.WroteFan(a.Pid(), kNvCoolerPolicyAuto, first); }));
             EXPECT_EQ(t.FanMode(), "1");
         }},
        {"--hide", 0, 1, [](SingleInstanceTest&, const Launched& a, size_t) {
             const HWND window = MainWindowOf(a.Pid());
             EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(window) && IconShown(window); }));
         }},
        {"--show", 1, 1, [](SingleInstanceTest&, const Launched& a, size_t) {
             const HWND window = MainWindowOf(a.Pid());
             EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(window) && !IconShown(window); }));
         }},
        {"--exit", 0, 1, [](SingleInstanceTest&, const Launched& a, size_t) { EXPECT_EQ(ExitCode(a), 0u); }},
    };
    for (const Case& c : cases) {
        for (const bool running : {true, false}) {
            SCOPED_TRACE(std::string(c.arguments) + (running ? " to a running copy" : " as a first start"));
            WriteProfile(c.minisize, c.fanAuto);
            if (running) {
                Launched& copy = Start("");
                const size_t first = Calls().size();
                const Ran ran = Run(c.arguments);
                EXPECT_EQ(ran.exitCode, 0u) << ran.output;
                EXPECT_TRUE(CallsBy(ran.pid).empty()) << "handed over, not done by the later start";
                c.check(*this, copy, first);
            } else {
                Launched& start = Start(c.arguments);
                c.check(*this, start, 0);
                if (std::string(c.arguments) == "--exit") {
                    EXPECT_TRUE(CallsBy(start.Pid()).empty());
                }
            }
            EndStartedCopies();
        }
    }
}

TEST_F(SingleInstanceTest, BadCommandLinesChangeNothingAndExitTwo)
{
    const char* const bad[] = {
        "--bogus",       "stray",
        "--preset",      "--preset 4",
        "--preset x",    "--preset --hide",
        "--fan",         "--fan fast",
        "--show --hide", "--preset 1 --reset",
        "--exit --show", "--status --preset 2",
        "--help --exit", "--logon --show",
        "--reset --reset", "--fan auto --fan curve",
    };
    for (const bool running : {true, false}) {
        WriteProfile(0, 1);
        const std::string profile = ReadWholeFile(m_profile);
        Launched* copy = running ? &Start("") : nullptr;
        const size_t first = Calls().size();
        for (const char* arguments : bad) {
            SCOPED_TRACE(std::string(arguments) + (running ? " to a running copy" : " with none"));
            const Ran ran = Run(arguments);
            EXPECT_EQ(ran.exitCode, 2u);
            EXPECT_NE(ran.output.find("--help"), std::string::npos) << ran.output;
            EXPECT_TRUE(CallsBy(ran.pid).empty());
        }
        if (copy) {
            for (const LoggedCall& call : CallsBy(copy->Pid(), first))
                EXPECT_TRUE(call.id != NvId::SetPstates20 && call.id != NvId::SetPowerPolicyStatus &&
                            call.id != NvId::SetCoolerLevels)
                    << std::hex << call.id;
            EXPECT_TRUE(IsWindowVisible(MainWindowOf(copy->Pid())));
            EXPECT_EQ(Run("--exit").exitCode, 0u);
        }
        EXPECT_EQ(ReadWholeFile(m_profile), profile);
    }
}

TEST_F(SingleInstanceTest, StatusAndHelpAreReadFromAPipe)
{
    const Ran alone = Run("--status");
    EXPECT_EQ(alone.exitCode, 0u);
    EXPECT_EQ(alone.output, kStatusLines);

    Launched& copy = Start("");
    const Ran asked = Run("--status");
    EXPECT_EQ(asked.exitCode, 0u);
    EXPECT_EQ(asked.output, kStatusLines);
    EXPECT_TRUE(CallsBy(asked.pid).empty()) << "read by the running copy";
    EXPECT_TRUE(Running(copy));

    const Ran help = Run("--help");
    EXPECT_EQ(help.exitCode, 0u);
    for (const char* option : {"--show", "--hide", "--exit", "--preset", "--reset", "--fan", "--status", "--help"})
        EXPECT_NE(help.output.find(option), std::string::npos) << option;
}

// The exit code tells what the driver did, also when the running copy did it.
TEST_F(SingleInstanceTest, RefusalsExitOne)
{
    UseScenario(std::string(kScenario) + "[Faults]\n0x0F4DAE6B=-1\n0xE3640A56=-1\n");
    Launched& copy = Start("");
    for (const char* arguments : {"--preset 2", "--reset", "--status"}) {
        SCOPED_TRACE(arguments);
        const Ran ran = Run(arguments);
        EXPECT_EQ(ran.exitCode, 1u) << ran.output;
        EXPECT_FALSE(ran.output.empty());
    }
    EXPECT_EQ(Run("--exit").exitCode, 0u);
    EXPECT_EQ(ExitCode(copy), 0u);

    UseScenario(std::string(kScenario) + "[Faults]\n0xE5AC921F=-1\n");
    const Ran none = Run("--status");
    EXPECT_EQ(none.exitCode, 1u);
    EXPECT_NE(none.output.find("No NVIDIA GPU"), std::string::npos) << none.output;
}

// Only a whole record of a command that could have been typed is carried out;
// anything else is answered 0 and changes nothing.
TEST_F(SingleInstanceTest, TheRunningCopyIgnoresMalformedRecords)
{
    WriteProfile(1, 1);
    Launched& copy = Start("");
    const HWND window = MainWindowOf(copy.Pid());
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(window); }));
    CCommandLine show;
    ASSERT_TRUE(show.Parse(L"qsurge.exe --show"));
    using Record = CCommandLine::Record;
    const Record good = show.ToRecord();
    struct Case {
        const char* what;
        ULONG_PTR tag;
        std::function<void(Record&)> change;
        size_t size;
    };
    const auto keep = [](Record&) {};
    const Case cases[] = {
        {"another tag", CCommandLine::kRecordTag + 1, keep, sizeof good},
        {"one byte short", CCommandLine::kRecordTag, keep, sizeof good - 1},
        {"four bytes long", CCommandLine::kRecordTag, keep, sizeof good + 4},
        {"another magic", CCommandLine::kRecordTag, [](Record& r) { r.magic ^= 1; }, sizeof good},
        {"another size", CCommandLine::kRecordTag, [](Record& r) { r.size += 4; }, sizeof good},
        {"an unknown action", CCommandLine::kRecordTag, [](Record& r) { r.actions |= 0x100; }, sizeof good},
        {"--help", CCommandLine::kRecordTag, [](Record& r) { r.actions = CCommandLine::kHelp; }, sizeof good},
        {"--logon", CCommandLine::kRecordTag, [](Record& r) { r.actions = CCommandLine::kLogon; }, sizeof good},
        {"preset 4", CCommandLine::kRecordTag, [](Record& r) { r.actions = 0, r.preset = 4; }, sizeof good},
        {"fan 3", CCommandLine::kRecordTag, [](Record& r) { r.actions = 0, r.fan = 3; }, sizeof good},
        {"show and hide", CCommandLine::kRecordTag,
         [](Record& r) { r.actions = CCommandLine::kShow | CCommandLine::kHide; }, sizeof good},
        {"exit and show", CCommandLine::kRecordTag,
         [](Record& r) { r.actions = CCommandLine::kShow | CCommandLine::kExit; }, sizeof good},
    };
    const size_t first = Calls().size();
    const auto send = [&](ULONG_PTR tag, const Record& record, size_t size) {
        std::vector<char> bytes(size + 8, '\0');
        std::memcpy(bytes.data(), &record, sizeof record);
        COPYDATASTRUCT data{tag, static_cast<DWORD>(size), bytes.data()};
        DWORD_PTR answer = 0;
        EXPECT_TRUE(SendMessageTimeoutA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                                        5000, &answer));
        return answer;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Record record = good;
        c.change(record);
        EXPECT_EQ(send(c.tag, record, c.size), 0u);
        EXPECT_FALSE(IsWindowVisible(window));
    }
    EXPECT_TRUE(Running(copy));
    for (const LoggedCall& call : CallsBy(copy.Pid(), first))
        EXPECT_TRUE(call.id != NvId::SetPstates20 && call.id != NvId::SetPowerPolicyStatus &&
                    call.id != NvId::SetCoolerLevels)
            << std::hex << call.id;

    EXPECT_NE(send(CCommandLine::kRecordTag, good, sizeof good), 0u);
    EXPECT_TRUE(IsWindowVisible(window));
}

namespace {
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunValue[] = L"QuiloStartUpAutoRun";

// The start-with-Windows value under one root, given back as it was when the
// test ends.
class SavedRunValue {
public:
    explicit SavedRunValue(HKEY root) : m_root(root) { m_had = Read(m_saved); }
    ~SavedRunValue()
    {
        if (m_had)
            Set(m_saved);
        else
            RegDeleteKeyValueW(m_root, kRunKey, kRunValue);
    }
    SavedRunValue(const SavedRunValue&) = delete;
    SavedRunValue& operator=(const SavedRunValue&) = delete;
    bool Set(const std::wstring& data) const
    {
        return RegSetKeyValueW(m_root, kRunKey, kRunValue, REG_SZ, data.c_str(),
                               static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    bool Read(std::wstring& data) const
    {
        wchar_t text[1024] = {};
        DWORD size = sizeof text;
        if (RegGetValueW(m_root, kRunKey, kRunValue, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) return false;
        data = text;
        return true;
    }
    std::wstring Value() const
    {
        std::wstring data;
        return Read(data) ? data : L"<none>";
    }

private:
    HKEY m_root;
    bool m_had = false;
    std::wstring m_saved;
};
}  // namespace

// Users who turned on the start with Windows with an earlier version have a
// value without the logon mark: the copy that starts gives it the mark under
// the key that holds it, and leaves another program's value alone.
TEST_F(SingleInstanceTest, AStartGivesAnEarlierVersionsValueTheLogonMark)
{
    const SavedRunValue user(HKEY_CURRENT_USER), machine(HKEY_LOCAL_MACHINE);
    const std::wstring exe = Widen(m_exe), other = L"\"C:\\Other\\other.exe\"";
    ASSERT_TRUE(user.Set(exe));
    ASSERT_TRUE(machine.Set(other));
    Launched& copy = Start("--hide");
    EXPECT_EQ(user.Value(), L"\"" + exe + L"\" --logon");
    EXPECT_EQ(machine.Value(), other);
    EXPECT_TRUE(Running(copy));
    EndStartedCopies();
}

// Windows under Wine keeps no restart registration to read back; where it
// does, it holds what the program asked for.
TEST(RestartAfterUpdate, TheProgramIsStartedAgainAsTheUserStartsIt)
{
    EXPECT_TRUE(RegisterForRestart());
    CCommandLine restart;
    ASSERT_TRUE(restart.Parse((L"qsurge.exe " + std::wstring(kRestartArguments)).c_str())) << restart.Error();
    EXPECT_FALSE(restart.Has(CCommandLine::kLogon)) << "a start by hand, not the patient one at logon";
    EXPECT_FALSE(restart.Has(CCommandLine::kExit) || restart.Has(CCommandLine::kStatus) ||
                 restart.Has(CCommandLine::kHelp))
        << "the restarted program goes on running";
    wchar_t arguments[RESTART_MAX_CMD_LINE] = {};
    DWORD size = RESTART_MAX_CMD_LINE, flags = 0;
    if (GetApplicationRestartSettings(GetCurrentProcess(), arguments, &size, &flags) != E_NOTIMPL) {
        EXPECT_STREQ(arguments, kRestartArguments);
        EXPECT_EQ(flags, kRestartFlags);
        EXPECT_EQ(flags & RESTART_NO_PATCH, 0u) << "an installer or update brings it back";
        EXPECT_EQ(flags & RESTART_NO_CRASH, static_cast<DWORD>(RESTART_NO_CRASH)) << "no crash loop";
    }
}

namespace {
// A top-level window of the process with this title and the dialogs' class;
// visibleOnly: shown ones alone.
struct FindDialog {
    DWORD pid;
    const char* title;
    bool visibleOnly;
    std::vector<HWND> found;
};
BOOL CALLBACK CollectDialog(HWND h, LPARAM param)
{
    auto* find = reinterpret_cast<FindDialog*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    char title[64] = {}, className[16] = {};
    GetWindowTextA(h, title, sizeof title);
    GetClassNameA(h, className, sizeof className);
    if (pid == find->pid && std::string(title) == find->title && std::string(className) == "#32770" &&
        (!find->visibleOnly || IsWindowVisible(h)))
        find->found.push_back(h);
    return TRUE;
}
std::vector<HWND> DialogsOf(DWORD pid, const char* title, bool visibleOnly)
{
    FindDialog find{pid, title, visibleOnly, {}};
    EnumWindows(&CollectDialog, reinterpret_cast<LPARAM>(&find));
    return find.found;
}
}  // namespace

TEST_F(SingleInstanceTest, APresetToARunningCopyWithEveryGpuSynchronisedGoesToEveryCardWithoutThePanel)
{
    WritePrivateProfileStringA("System", "Synchronization", "1", m_profile.c_str());
    Launched& copy = Start("");
    const size_t first = Calls().size();
    const Ran ran = Run("--preset 2");
    EXPECT_EQ(ran.exitCode, 0u) << ran.output;
    for (int gpu : {0, 1}) {
        SCOPED_TRACE(gpu);
        EXPECT_TRUE(Wrote(copy.Pid(), NvId::SetPstates20, [&](const LoggedCall& c) {
            return c.gpu == gpu && c.values == std::vector<int>{0, kGraphicsDomain, 50000, kMemoryDomain, 80000};
        }, first));
        EXPECT_TRUE(Wrote(copy.Pid(), NvId::SetPowerPolicyStatus, [&](const LoggedCall& c) {
            return c.gpu == gpu && c.values.size() == 3 && c.values[2] == 110000;  // the default 100 % + 10
        }, first));
    }
    // The main window is the one window of that title: no overclock panel, not even hidden.
    EXPECT_EQ(DialogsOf(copy.Pid(), "Q-Surge", false).size(), 1u);
    EndStartedCopies();
}

// While the overclock warning waits for the user, a command to end the program
// declines it and ends the program with nothing written; an overclock asked
// for meanwhile is refused with a reason and changes nothing, so the one the
// user is asked about is the one written once the warning is closed.
TEST_F(SingleInstanceTest, ACommandWhileTheOverclockWarningIsOpen)
{
    enum class Then { Preset, Reset, Exit, InstallerClose };
    for (Then then : {Then::Preset, Then::Reset, Then::Exit, Then::InstallerClose}) {
        SCOPED_TRACE(static_cast<int>(then));
        WriteProfile(0, 1);
        Launched& copy = Start("");
        const HWND main = MainWindowOf(copy.Pid());
        ASSERT_NE(main, nullptr);
        // The main window's "Apply" for its preset "3", as a click would.
        PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_APPLY, BN_CLICKED), 0);
        ASSERT_TRUE(WaitFor([&] { return DialogsOf(copy.Pid(), "Setting", true).size() == 1; })) << "the warning";
        const HWND note = DialogsOf(copy.Pid(), "Setting", true).front();
        const size_t first = Calls().size();
        const auto overclocked = [&] {
            for (const LoggedCall& call : CallsBy(copy.Pid(), first))
                if (call.id == NvId::SetPstates20 || call.id == NvId::SetPowerPolicyStatus) return true;
            return false;
        };
        if (then == Then::Preset || then == Then::Reset) {
            const Ran ran = Run(then == Then::Preset ? "--preset 3" : "--reset");
            EXPECT_EQ(ran.exitCode, 1u);
            EXPECT_NE(ran.output.find("warning is open"), std::string::npos) << ran.output;
            EXPECT_EQ(ran.output.find("driver refused"), std::string::npos) << ran.output;
            EXPECT_FALSE(overclocked());
            EXPECT_TRUE(Running(copy));
            // The user closes the warning: the preset it was about goes out.
            PostMessageA(note, WM_COMMAND, IDCANCEL, 0);
            EXPECT_TRUE(WaitFor([&] { return WroteOverclock(copy.Pid(), 30000, 50000, 110000, first); }));
            EXPECT_FALSE(WroteOverclock(copy.Pid(), 80000, 100000, 110000, first)) << "the choice did not move";
            EndStartedCopies();
            continue;
        }
        if (then == Then::Exit) {
            EXPECT_EQ(Run("--exit").exitCode, 0u);
        } else {
            PostMessageA(main, WM_CLOSE, 0, 0);  // as the installer asks
        }
        EXPECT_EQ(ExitCode(copy), 0u) << "ended, not waiting for the warning";
        EXPECT_FALSE(overclocked()) << "nothing written on the way out";
        EndStartedCopies();
    }
}
