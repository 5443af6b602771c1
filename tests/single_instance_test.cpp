// One copy per user session, and the command line: the real qsurge.exe run as
// processes over the simulated driver's shared state. A later start hands its
// command line to the copy that runs; a first start carries it out itself.
// Every start's standard output is a pipe the test reads.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/CCardOwnership.h"
#include "app/CCommandLine.h"
#include "app/CSingleInstance.h"
#include "app/StartUp.h"
#include "card_holder.h"
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

// A window of this process that sends records to the running copy, as a later
// start's does: the copy tells who sent a command by it.
class SenderWindow {
public:
    SenderWindow() : m_window(CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)) {}
    ~SenderWindow()
    {
        if (m_window) DestroyWindow(m_window);
    }
    SenderWindow(const SenderWindow&) = delete;
    SenderWindow& operator=(const SenderWindow&) = delete;
    HWND Handle() const { return m_window; }

private:
    HWND m_window;
};

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
    const SenderWindow sender;
    const auto send = [&](ULONG_PTR tag, const Record& record, size_t size) {
        std::vector<char> bytes(size + 8, '\0');
        std::memcpy(bytes.data(), &record, sizeof record);
        COPYDATASTRUCT data{tag, static_cast<DWORD>(size), bytes.data()};
        DWORD_PTR answer = 0;
        EXPECT_TRUE(SendMessageTimeoutA(window, WM_COPYDATA, reinterpret_cast<WPARAM>(sender.Handle()),
                                        reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 5000, &answer));
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

namespace {

CCommandLine::Record RecordOf(const wchar_t* commandLine)
{
    CCommandLine command;
    EXPECT_TRUE(command.Parse(commandLine));
    return command.ToRecord();
}

// The running copy's answer to a record sent from sender's window: the exit
// code in the low byte; 0 when it did not answer.
DWORD_PTR SendRecord(HWND window, HWND sender, CCommandLine::Record record)
{
    COPYDATASTRUCT data{CCommandLine::kRecordTag, sizeof record, &record};
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(window, WM_COPYDATA, reinterpret_cast<WPARAM>(sender), reinterpret_cast<LPARAM>(&data),
                        SMTO_ABORTIFHUNG, 5000, &answer);
    return answer;
}

// Every interface that writes to a card or to the driver's settings.
bool IsWrite(unsigned id)
{
    return id == NvId::SetPstates20 || id == NvId::SetPowerPolicyStatus || id == NvId::SetCoolerLevels ||
           id == NvId::ClientFanCoolersSetControl || id == NvId::DrsSetSetting;
}

// A command carried out by a stand-in for the running copy: what it was asked.
class RecordingTarget : public CommandTarget {
public:
    void ShowMainWindow(std::string&) override { asked += "show;"; }
    void HideMainWindow(std::string&) override { asked += "hide;"; }
    void ExitProgram() override { asked += "exit;"; }
    bool ApplyPresetNow(int level) override
    {
        asked += "preset " + std::to_string(level) + ";";
        return true;
    }
    bool ResetOverclock() override
    {
        asked += "reset;";
        return true;
    }
    bool SetFanMode(bool driverControls, std::string&) override
    {
        asked += driverControls ? "fan auto;" : "fan curve;";
        return true;
    }
    int WriteStatus(std::string&) override
    {
        asked += "status;";
        return kExitDone;
    }
    bool StartedUp() const override { return true; }
    bool OverclockWarningOpen() const override { return false; }
    bool MayWriteCards(std::string&) override { return true; }

    std::string asked;
};

// A stand-in for a copy that runs with other rights than the starts of the
// test: its mutex (held) and its mapping (naming its window) are made with the
// given security, so that a later start may do with them only what that grants.
class StandInCopy {
public:
    StandInCopy(const std::wstring& mutexSddl, const std::wstring& mappingSddl)
    {
        m_thread = std::thread([=] { Run(mutexSddl, mappingSddl); });
        WaitForSingleObject(m_ready, INFINITE);
    }
    ~StandInCopy()
    {
        if (m_window) PostMessageW(m_window, WM_QUIT, 0, 0);
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
        m_thread.join();
        CloseHandle(m_ready);
    }
    StandInCopy(const StandInCopy&) = delete;
    StandInCopy& operator=(const StandInCopy&) = delete;
    bool Made() const { return m_made; }
    const std::string& Asked() const { return m_target.asked; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<StandInCopy*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message != WM_COPYDATA || !self) return DefWindowProcW(window, message, wParam, lParam);
        return CSingleInstance::Answer(window, wParam, lParam, self->m_target);
    }
    static HANDLE Made(const std::wstring& sddl, const std::function<HANDLE(SECURITY_ATTRIBUTES*)>& make)
    {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
            return nullptr;
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
        const HANDLE made = make(&attributes);
        LocalFree(descriptor);
        return made;
    }
    void Run(const std::wstring& mutexSddl, const std::wstring& mappingSddl)
    {
        m_threadId = GetCurrentThreadId();
        const HANDLE mutex = Made(mutexSddl, [](SECURITY_ATTRIBUTES* sa) {
            return CreateMutexW(sa, TRUE, CSingleInstance::ObjectName(CSingleInstance::kMutex).c_str());
        });
        const HANDLE mapping = Made(mappingSddl, [](SECURITY_ATTRIBUTES* sa) {
            return CreateFileMappingW(INVALID_HANDLE_VALUE, sa, PAGE_READWRITE, 0, sizeof(CSingleInstance::Published),
                                      CSingleInstance::ObjectName(CSingleInstance::kWindowMapping).c_str());
        });
        auto* published = mapping ? static_cast<CSingleInstance::Published*>(
                                        MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(CSingleInstance::Published)))
                                  : nullptr;
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &Proc;
        windowClass.lpszClassName = L"Q-Surge.StandIn";
        RegisterClassW(&windowClass);
        m_window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                   nullptr);
        SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        if (published) {
            published->process = static_cast<LONG>(GetCurrentProcessId());
            published->window = reinterpret_cast<LONG_PTR>(m_window);
        }
        m_made = mutex && mapping && published && m_window;
        SetEvent(m_ready);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        DestroyWindow(m_window);
        if (published) UnmapViewOfFile(published);
        if (mapping) CloseHandle(mapping);
        if (mutex) {
            ReleaseMutex(mutex);
            CloseHandle(mutex);
        }
    }

    HANDLE m_ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD m_threadId = 0;
    HWND m_window = nullptr;
    bool m_made = false;
    RecordingTarget m_target;
    std::thread m_thread;
};

// The rights a DACL allows a SID.
DWORD AllowedTo(PACL dacl, PSID sid)
{
    DWORD mask = 0;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) continue;
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
            EqualSid(const_cast<DWORD*>(&allowed->SidStart), sid))
            mask |= allowed->Mask;
    }
    return mask;
}

// A SID from its text; freed by LocalFree.
struct Sid {
    explicit Sid(const std::wstring& text) { ConvertStringSidToSidW(text.c_str(), &sid); }
    ~Sid() { LocalFree(sid); }
    Sid(const Sid&) = delete;
    Sid& operator=(const Sid&) = delete;
    PSID sid = nullptr;
};

}  // namespace

// A command is carried out only for a window of the user's own programs: one
// from a sender whose process cannot be told (no window, or one that is gone)
// is answered with exit code 1 and nothing of it happens.
TEST_F(SingleInstanceTest, ACommandFromASenderThatCannotBeToldIsRefused)
{
    WriteProfile(1, 1);
    Launched& copy = Start("");
    const HWND window = MainWindowOf(copy.Pid());
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(window); }));
    const SenderWindow own;
    HWND gone = nullptr;
    {
        const SenderWindow ended;
        gone = ended.Handle();
    }
    const size_t first = Calls().size();
    for (const HWND sender : {HWND{}, gone}) {
        for (const wchar_t* command : {L"qsurge.exe --show", L"qsurge.exe --preset 3", L"qsurge.exe --exit"}) {
            SCOPED_TRACE(std::string(sender ? "a window that is gone: " : "no window: ") +
                         std::string(command, command + wcslen(command)));
            const DWORD_PTR answer = SendRecord(window, sender, RecordOf(command));
            EXPECT_NE(answer, 0u) << "answered";
            EXPECT_EQ(answer & 0xFF, 1u);
        }
    }
    Sleep(300);
    EXPECT_TRUE(Running(copy));
    EXPECT_FALSE(IsWindowVisible(window));
    for (const LoggedCall& call : CallsBy(copy.Pid(), first)) EXPECT_FALSE(IsWrite(call.id)) << std::hex << call.id;

    // The same from a window of a process of this user.
    EXPECT_EQ(SendRecord(window, own.Handle(), RecordOf(L"qsurge.exe --preset 3")) & 0xFF, 0u);
    EXPECT_TRUE(WroteOverclock(copy.Pid(), 80000, 100000, 110000, first));
    EXPECT_EQ(SendRecord(window, own.Handle(), RecordOf(L"qsurge.exe --show")) & 0xFF, 0u);
    EXPECT_TRUE(IsWindowVisible(window));
}

// A copy that runs with other rights (as administrator, say) may leave a later
// start of the user no more than waiting on its mutex and reading its mapping:
// the start asks no more, finds the copy and hands it the command. Where even
// that is refused, the start says so and never runs beside the copy.
TEST_F(SingleInstanceTest, AStartReachesACopyWhoseObjectsItMayOnlyWaitOnAndRead)
{
    const std::wstring user = UserSidText();
    ASSERT_FALSE(user.empty());
    {
        const StandInCopy copy(L"D:(A;;0x100001;;;" + user + L")", L"D:(A;;0x5;;;" + user + L")");
        ASSERT_TRUE(copy.Made());
        const Ran ran = Run("--preset 2");
        EXPECT_EQ(ran.exitCode, 0u) << ran.output;
        EXPECT_EQ(copy.Asked(), "preset 2;");
        EXPECT_TRUE(CallsBy(ran.pid).empty()) << "not a second copy";
    }
    {
        const StandInCopy copy(L"D:(A;;GA;;;SY)", L"D:(A;;GA;;;SY)");
        ASSERT_TRUE(copy.Made());
        const Ran ran = Run("--preset 2");
        EXPECT_EQ(ran.exitCode, 1u);
        EXPECT_NE(ran.output.find("cannot be reached"), std::string::npos) << ran.output;
        EXPECT_EQ(copy.Asked(), "");
        EXPECT_TRUE(CallsBy(ran.pid).empty()) << "not a second copy";
    }
}

// The copy's objects grant its user what any later start needs, whatever the
// token it runs with, and no one else more than waiting for the cards; a
// medium label keeps starts at low integrity from writing to them. Setting
// the close event, as the installer does, ends the copy as its close key.
TEST_F(SingleInstanceTest, TheCopysObjectsLetItsUserInAndItsCloseEventEndsIt)
{
    WriteProfile(0, 0);
    Launched& copy = Start("");
    ASSERT_TRUE(WaitFor([&] { return WroteFan(copy.Pid(), kNvCoolerPolicyManual); }));
    const Sid user(UserSidText()), everyone(L"WD"), signedIn(L"AU"), medium(L"ME");
    ASSERT_NE(user.sid, nullptr);
    const auto mutex = [](const std::wstring& name) { return OpenMutexW(READ_CONTROL, FALSE, name.c_str()); };
    const struct {
        std::wstring name;
        std::function<HANDLE(const std::wstring&)> open;
        DWORD userNeeds, othersGet;
    } objects[] = {
        {CSingleInstance::ObjectName(CSingleInstance::kMutex), mutex, SYNCHRONIZE | MUTEX_MODIFY_STATE, 0},
        {CSingleInstance::ObjectName(CSingleInstance::kWindowMapping),
         [](const std::wstring& name) { return OpenFileMappingW(READ_CONTROL, FALSE, name.c_str()); },
         FILE_MAP_READ | FILE_MAP_WRITE, 0},
        {CSingleInstance::ObjectName(CSingleInstance::kCloseEvent),
         [](const std::wstring& name) { return OpenEventW(READ_CONTROL, FALSE, name.c_str()); },
         SYNCHRONIZE | EVENT_MODIFY_STATE, 0},
        {CCardOwnership::kName, mutex, SYNCHRONIZE | MUTEX_MODIFY_STATE, SYNCHRONIZE | MUTEX_MODIFY_STATE},
    };
    for (const auto& object : objects) {
        SCOPED_TRACE(std::string(object.name.begin(), object.name.end()));
        const HANDLE handle = object.open(object.name);
        ASSERT_NE(handle, nullptr) << GetLastError();
        PACL dacl = nullptr, sacl = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_EQ(GetSecurityInfo(handle, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION,
                                  nullptr, nullptr, &dacl, &sacl, &descriptor),
                  static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(AllowedTo(dacl, user.sid) & object.userNeeds, object.userNeeds);
        EXPECT_EQ(AllowedTo(dacl, signedIn.sid), object.othersGet);
        EXPECT_EQ(AllowedTo(dacl, everyone.sid), 0u);
        void* ace = nullptr;
        ASSERT_TRUE(sacl && sacl->AceCount == 1 && GetAce(sacl, 0, &ace));
        const auto* label = static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(ace);
        EXPECT_EQ(label->Header.AceType, SYSTEM_MANDATORY_LABEL_ACE_TYPE);
        EXPECT_TRUE(EqualSid(const_cast<DWORD*>(&label->SidStart), medium.sid));
        EXPECT_EQ(label->Mask, static_cast<DWORD>(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP));
        LocalFree(descriptor);
        CloseHandle(handle);
    }

    const HANDLE close =
        OpenEventW(EVENT_MODIFY_STATE, FALSE, CSingleInstance::ObjectName(CSingleInstance::kCloseEvent).c_str());
    ASSERT_NE(close, nullptr);
    const size_t first = Calls().size();
    EXPECT_TRUE(SetEvent(close));
    CloseHandle(close);
    EXPECT_EQ(ExitCode(copy), 0u);
    EXPECT_TRUE(WroteFan(copy.Pid(), kNvCoolerPolicyAuto, first)) << "the fan handed back as the close key does";
}

// Another user's copy holds the cards (a stand-in here): this copy shows the
// readings but writes nothing, its write commands answer 1 and say why, and
// once the holder lets go, or dies, the copy takes the cards and the fan.
TEST_F(SingleInstanceTest, ACopyWithoutTheCardsWritesNothingUntilTheirHolderEnds)
{
    for (const bool release : {true, false}) {
        SCOPED_TRACE(release ? "the holder lets go" : "the holder dies");
        WriteProfile(0, 0);  // the fan follows the curve
        CardHolder holder;
        ASSERT_TRUE(holder.Holds());
        Launched& copy = Launch("--preset 1");
        std::string started;
        ASSERT_TRUE(ReadOutput(copy, started));
        EXPECT_NE(started.find(CCardOwnership::kHeldElsewhere), std::string::npos) << started;
        for (const char* arguments : {"--preset 3", "--reset", "--fan auto"}) {
            SCOPED_TRACE(arguments);
            const Ran ran = Run(arguments);
            EXPECT_EQ(ran.exitCode, 1u);
            EXPECT_NE(ran.output.find(CCardOwnership::kHeldElsewhere), std::string::npos) << ran.output;
        }
        const Ran status = Run("--status");
        EXPECT_EQ(status.exitCode, 0u);
        EXPECT_EQ(status.output, kStatusLines);
        Sleep(500);
        for (const LoggedCall& call : CallsBy(copy.Pid())) EXPECT_FALSE(IsWrite(call.id)) << std::hex << call.id;
        EXPECT_EQ(FanMode(), "0") << "the switch as it was";

        holder.End(release);
        EXPECT_TRUE(WaitFor([&] { return WroteFan(copy.Pid(), kNvCoolerPolicyManual); }));
        const size_t first = Calls().size();
        EXPECT_EQ(Run("--preset 3").exitCode, 0u);
        EXPECT_TRUE(WroteOverclock(copy.Pid(), 80000, 100000, 110000, first));
        EXPECT_EQ(Run("--exit").exitCode, 0u);
        EXPECT_EQ(ExitCode(copy), 1u) << "its own start's command was refused";
    }
}

// Started with Windows before the driver, a copy waits for it out of sight;
// meanwhile later starts are answered at once: the window is promised for
// after the wait, what needs the driver is refused, and --exit ends the copy.
TEST_F(SingleInstanceTest, ACopyWaitingForTheDriverAnswersAtOnce)
{
    UseScenario(std::string(kScenario) + "[Faults]\n0x0150E828=-1\n");
    Launched& waiting = Launch("--logon");
    ASSERT_TRUE(WaitFor([&] { return MainWindowOf(waiting.Pid()) != nullptr; }));
    const HWND window = MainWindowOf(waiting.Pid());
    const struct {
        const char* arguments;
        DWORD code;
        const char* says;
    } cases[] = {
        {"", 0, "its window comes once the driver is there"},
        {"--show", 0, "its window comes once the driver is there"},
        {"--preset 1", 1, "waiting for the display driver"},
        {"--fan curve", 1, "waiting for the display driver"},
        {"--status", 1, "waiting for the display driver"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Ran ran = Run(c.arguments);
        EXPECT_EQ(ran.exitCode, c.code);
        EXPECT_NE(ran.output.find(c.says), std::string::npos) << ran.output;
        EXPECT_FALSE(IsWindowVisible(window));
    }
    EXPECT_TRUE(Running(waiting));
    EXPECT_EQ(Run("--exit").exitCode, 0u);
    EXPECT_EQ(ExitCode(waiting), 0u);
}

// A copy held in its start by its start-up messages (no driver) has not
// carried out its own start's command yet: a later start by hand still brings
// its window, and a command for the cards is tried again while the copy
// starts, then answered that it is still starting, never that it does not
// answer.
TEST_F(SingleInstanceTest, ACopyStillStartingShowsItsWindowAndAsksForPatience)
{
    UseScenario(std::string(kScenario) + "[Faults]\n0x0150E828=-1\n");
    Launched& starting = Launch("");
    ASSERT_TRUE(WaitFor([&] { return MainWindowOf(starting.Pid()) != nullptr; }));
    const HWND window = MainWindowOf(starting.Pid());
    const Ran shown = Run("--show");
    EXPECT_EQ(shown.exitCode, 0u) << shown.output;
    EXPECT_TRUE(IsWindowVisible(window));
    const Ran preset = Run("--preset 1");
    EXPECT_EQ(preset.exitCode, 1u);
    EXPECT_NE(preset.output.find("still starting"), std::string::npos) << preset.output;
    EXPECT_TRUE(CallsBy(preset.pid).empty());
    for (const LoggedCall& call : CallsBy(starting.Pid())) EXPECT_FALSE(IsWrite(call.id)) << std::hex << call.id;
    EXPECT_TRUE(Running(starting));
}
