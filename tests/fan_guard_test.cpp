// The program never leaves a fan at a level of its own once it is gone: run
// as a real process over the simulated driver's shared state, it is ended from
// outside, dies of an error, or closes, and the fan must be the driver's again.
// Nor does an overclock that went out at a start the program did not survive
// go out again at the next one.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gpu/NvApiTypes.h"
#include "program_process.h"
#include "res/resource.h"
#include "test_files.h"

namespace {

// One cooler write in the shared log: who wrote, the level and the policy.
struct CoolerWrite {
    unsigned long pid;
    int gpu, level, policy;
};

std::vector<CoolerWrite> CoolerWrites(const std::string& log)
{
    std::vector<CoolerWrite> writes;
    for (const LoggedCall& call : LoggedCalls(log))
        if (call.id == NvId::SetCoolerLevels && call.status == 0 && call.values.size() >= 3)
            writes.push_back({call.pid, call.gpu, call.values[1], call.values[2]});
    return writes;
}

// Whether the process wrote a clock offset or a power target.
bool OverclockedBy(const std::string& log, unsigned long pid)
{
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        unsigned long caller = 0;
        unsigned id = 0;
        if (std::sscanf(line.c_str(), "%lu %X", &caller, &id) == 2 && caller == pid &&
            (id == NvId::SetPstates20 || id == NvId::SetPowerPolicyStatus))
            return true;
    }
    return false;
}

// The program from its own folder, where its profile says: follow the
// default curve. It runs over the built-in card, with the driver's state
// shared with every process that loads it.
class FanGuardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        m_dir = std::string(temp) + "qsurge_guard_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(m_dir.c_str(), nullptr);
        m_exe = m_dir + "\\qsurge.exe";
        m_guard = m_dir + "\\qsurge-guard.exe";
        for (const std::string& image : {m_exe, m_guard})
            ASSERT_TRUE(CopyFileA((Directory(ThisDirectory()) + "\\app" + image.substr(image.rfind('\\'))).c_str(),
                                  image.c_str(), FALSE));
        const std::string profile = m_dir + "\\Quilo_ID2684.ini";
        for (const char* key : {"Initialized", "Launch", "Minisize", "OverClock", "Synchronization"})
            WritePrivateProfileStringA("System", key, std::string(key) == "Initialized" ? "1" : "0", profile.c_str());
        const char* const points[10] = {"0,0,0", "0,0,0", "0,0,0", "7,4,1", "0,0,0",
                                        "4,6,1", "0,0,0", "3,8,1", "0,0,0", "0,10,1"};
        for (int i = 0; i < 10; ++i)
            WritePrivateProfileStringA("FanCurve", ("Point" + std::to_string(i)).c_str(), points[i], profile.c_str());
        WritePrivateProfileStringA("FanCurve", "Auto", "0", profile.c_str());
        m_shared = m_dir + "\\driver.state";
        EndRunningCopy(m_exe);
    }
    void TearDown() override
    {
        if (m_process.hProcess) {
            TerminateProcess(m_process.hProcess, 1);
            WaitForSingleObject(m_process.hProcess, 10000);
            CloseHandle(m_process.hProcess);
            CloseHandle(m_process.hThread);
        }
        // The guard may still be finishing; give it time to let the files go.
        for (int i = 0; i < 50 && !DeleteFileA(m_exe.c_str()); ++i) Sleep(100);
        for (int i = 0; i < 50 && !DeleteFileA(m_guard.c_str()) && GetFileAttributesA(m_guard.c_str()) != INVALID_FILE_ATTRIBUTES; ++i)
            Sleep(100);
        for (const char* name : {"\\Quilo_ID2684.ini", "\\driver.state", "\\driver.state.log"})
            DeleteFileA((m_dir + name).c_str());
        RemoveDirectoryA(m_dir.c_str());
    }

    void Start()
    {
        SetEnvironmentVariableA("NVSIM_SHARED", m_shared.c_str());
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string commandLine = "\"" + m_exe + "\"";
        const BOOL started = CreateProcessA(m_exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                            m_dir.c_str(), &startup, &m_process);
        SetEnvironmentVariableA("NVSIM_SHARED", nullptr);
        ASSERT_TRUE(started);
    }
    // Starts the program and waits until the curve has taken the fan.
    void StartHoldingTheFan()
    {
        ASSERT_NO_FATAL_FAILURE(Start());
        ASSERT_TRUE(WaitFor([&] { return WrittenBy(m_process.dwProcessId, kNvCoolerPolicyManual); }))
            << "the program never took the fan";
    }
    HWND MainWindow()
    {
        HWND found = nullptr;
        WaitFor([&] { return (found = MainWindowOf(m_process.dwProcessId)) && IsWindowVisible(found); });
        return found;
    }
    void Forget()
    {
        CloseHandle(m_process.hProcess);
        CloseHandle(m_process.hThread);
        m_process = {};
    }
    bool WrittenBy(unsigned long pid, int policy) const
    {
        for (const CoolerWrite& w : CoolerWrites(ReadWholeFile(m_shared + ".log")))
            if (w.pid == pid && w.policy == policy) return true;
        return false;
    }
    // The hand-backs, and by whom: the program itself or another process.
    std::vector<CoolerWrite> HandBacks() const
    {
        std::vector<CoolerWrite> backs;
        for (const CoolerWrite& w : CoolerWrites(ReadWholeFile(m_shared + ".log")))
            if (w.policy == kNvCoolerPolicyAuto) backs.push_back(w);
        return backs;
    }
    bool Ended() { return WaitForSingleObject(m_process.hProcess, 15000) == WAIT_OBJECT_0; }
    std::string CoolerState() const { return ReadWholeFile(m_shared); }

    std::string m_dir, m_exe, m_guard, m_shared;
    PROCESS_INFORMATION m_process{};
};

}  // namespace

TEST_F(FanGuardTest, ProgramEndedFromOutsideHasItsFanHandedBackByTheGuard)
{
    StartHoldingTheFan();
    ASSERT_TRUE(TerminateProcess(m_process.hProcess, 1));
    ASSERT_TRUE(Ended());
    ASSERT_TRUE(WaitFor([&] { return !HandBacks().empty(); })) << ReadWholeFile(m_shared + ".log");
    const std::vector<CoolerWrite> backs = HandBacks();
    ASSERT_EQ(backs.size(), 1u);
    EXPECT_NE(backs[0].pid, m_process.dwProcessId) << "the program ran no code of its own";
    EXPECT_EQ(CoolerState().substr(0, 9), "0 0 32 30") << "cooler 0 follows the driver again";
}

TEST_F(FanGuardTest, ProgramDyingOfAnErrorHandsItsFanBackItself)
{
    StartHoldingTheFan();
    // A thread of the program's that faults at once, with nothing to catch it.
    HANDLE thread = CreateRemoteThread(m_process.hProcess, nullptr, 0, nullptr, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    CloseHandle(thread);
    ASSERT_TRUE(Ended());
    ASSERT_TRUE(WaitFor([&] { return !HandBacks().empty(); }));
    Sleep(1000);  // a guard that wrongly acted as well would have written by now
    const std::vector<CoolerWrite> backs = HandBacks();
    ASSERT_EQ(backs.size(), 1u) << ReadWholeFile(m_shared + ".log");
    EXPECT_EQ(backs[0].pid, m_process.dwProcessId);
}

TEST_F(FanGuardTest, ProgramClosingHandsItsFanBackAndTheGuardEndsQuietly)
{
    StartHoldingTheFan();
    const HWND main = MainWindow();
    ASSERT_NE(main, nullptr);
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
    ASSERT_TRUE(Ended());
    Sleep(1000);
    const std::vector<CoolerWrite> backs = HandBacks();
    ASSERT_EQ(backs.size(), 1u) << ReadWholeFile(m_shared + ".log");
    EXPECT_EQ(backs[0].pid, m_process.dwProcessId);
}

// The switch put to the curve before any curve was applied: however the
// program ends, the next start drives the fan again from its first refresh.
TEST_F(FanGuardTest, CurveModeWithNoCurveAppliedSurvivesEveryWayOfEnding)
{
    const std::string profile = m_dir + "\\Quilo_ID2684.ini";
    enum class End { Close, Kill, Crash };
    for (End end : {End::Close, End::Kill, End::Crash}) {
        SCOPED_TRACE(static_cast<int>(end));
        WritePrivateProfileStringA("FanCurve", nullptr, nullptr, profile.c_str());
        ASSERT_NO_FATAL_FAILURE(Start());
        const HWND main = MainWindow();
        ASSERT_NE(main, nullptr);
        PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
        ASSERT_TRUE(WaitFor([&] { return WrittenBy(m_process.dwProcessId, kNvCoolerPolicyManual); }));
        if (end == End::Close) {
            PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
        } else if (end == End::Kill) {
            ASSERT_TRUE(TerminateProcess(m_process.hProcess, 1));
        } else {
            HANDLE thread = CreateRemoteThread(m_process.hProcess, nullptr, 0, nullptr, nullptr, 0, nullptr);
            ASSERT_NE(thread, nullptr);
            CloseHandle(thread);
        }
        ASSERT_TRUE(Ended());
        ASSERT_TRUE(WaitFor([&] { return CoolerState().substr(0, 6) == "0 0 32"; })) << "handed back";
        Forget();

        ASSERT_NO_FATAL_FAILURE(StartHoldingTheFan());
        char mode[8] = {}, point[16] = {};
        GetPrivateProfileStringA("FanCurve", "Auto", "", mode, sizeof mode, profile.c_str());
        GetPrivateProfileStringA("FanCurve", "Point3", "<none>", point, sizeof point, profile.c_str());
        EXPECT_STREQ(mode, "0");
        EXPECT_STREQ(point, "<none>") << "no curve written that nobody applied";
        PostMessageA(MainWindow(), WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
        ASSERT_TRUE(Ended());
        Forget();
    }
}

// The guard's side for fans of two GPUs: once the holder has gone, both are
// the driver's again, handed back by the guard.
TEST_F(FanGuardTest, TheGuardHandsBackEveryGpuItHolds)
{
    const std::string scenario = m_dir + "\\two.ini";
    WritePrivateProfileStringA("Simulator", "GpuCount", "2", scenario.c_str());
    // A holder that runs no code: this test program, started suspended.
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION holder{};
    std::string holderLine = "\"" + std::string(self) + "\" --gtest_list_tests";
    ASSERT_TRUE(CreateProcessA(self, &holderLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                               &startup, &holder));
    FILETIME created{}, unused{};
    GetProcessTimes(holder.hProcess, &created, &unused, &unused, &unused);
    const std::string name = "Local\\qsurge-guard-test-" + std::to_string(GetCurrentProcessId());
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    std::string guardLine = "\"" + m_guard + "\" " + std::to_string(holder.dwProcessId) + " " +
                            std::to_string((uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime) + " " +
                            name + " 3";
    SetEnvironmentVariableA("NVSIM_SHARED", m_shared.c_str());
    SetEnvironmentVariableA("NVSIM_SCENARIO", scenario.c_str());
    PROCESS_INFORMATION guard{};
    const BOOL started = CreateProcessA(m_guard.c_str(), &guardLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                        nullptr, m_dir.c_str(), &startup, &guard);
    SetEnvironmentVariableA("NVSIM_SHARED", nullptr);
    SetEnvironmentVariableA("NVSIM_SCENARIO", nullptr);
    ASSERT_TRUE(started);
    Sleep(500);
    EXPECT_EQ(WaitForSingleObject(guard.hProcess, 0), WAIT_TIMEOUT) << "the guard waits while the holder lives";
    EXPECT_TRUE(HandBacks().empty());
    TerminateProcess(holder.hProcess, 1);
    CloseHandle(holder.hProcess);
    CloseHandle(holder.hThread);
    EXPECT_EQ(WaitForSingleObject(guard.hProcess, 15000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(guard.hProcess, &code);
    EXPECT_EQ(code, 0u);
    std::vector<int> gpus;
    for (const CoolerWrite& w : CoolerWrites(ReadWholeFile(m_shared + ".log")))
        if (w.policy == kNvCoolerPolicyAuto && w.pid == guard.dwProcessId) gpus.push_back(w.gpu);
    EXPECT_EQ(gpus, (std::vector<int>{0, 1}));
    CloseHandle(guard.hProcess);
    CloseHandle(guard.hThread);
    CloseHandle(release);
    for (const char* name : {"\\two-fans.ini", "\\two-fans-drs.ini"}) DeleteFileA((m_dir + name).c_str());
}

// The overclock applied at start by a program ended from outside before it
// ran three minutes: the next start leaves the card alone.
TEST_F(FanGuardTest, AnOverclockAppliedByAStartThatWasKilledIsNotAppliedAtTheNextStart)
{
    const std::string profile = m_dir + "\\Quilo_ID2684.ini";
    WritePrivateProfileStringA("System", "OverClock", "1", profile.c_str());
    WritePrivateProfileStringA("FanCurve", "Auto", "1", profile.c_str());
    const std::pair<const char*, const char*> stored[] = {
        {"PowerTarget", "105"}, {"GpuOffset", "120"}, {"MemOffset", "-300"}, {"AllGpus", "1"}};
    for (const auto& [key, value] : stored) WritePrivateProfileStringA("Overclock", key, value, profile.c_str());
    const auto guard = [&] {
        char value[16] = {};
        GetPrivateProfileStringA("Overclock", "StartGuard", "", value, sizeof value, profile.c_str());
        return std::string(value);
    };
    const auto log = [&] { return ReadWholeFile(m_shared + ".log"); };

    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(WaitFor([&] { return OverclockedBy(log(), m_process.dwProcessId); })) << log();
    EXPECT_EQ(guard(), "running");
    ASSERT_TRUE(TerminateProcess(m_process.hProcess, 1));
    ASSERT_TRUE(Ended());
    Forget();
    EXPECT_EQ(guard(), "running");

    ASSERT_NO_FATAL_FAILURE(Start());
    const DWORD second = m_process.dwProcessId;
    ASSERT_TRUE(WaitFor([&] { return guard() == "tripped"; }));
    const HWND main = MainWindow();
    ASSERT_NE(main, nullptr);
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
    ASSERT_TRUE(Ended());
    EXPECT_FALSE(OverclockedBy(log(), second)) << log();
    EXPECT_EQ(guard(), "tripped");
}

namespace {
std::vector<DWORD> ByImageName(DWORD, const wchar_t* image) { return ProcessesNamed(image); }

// The process and all its descendants by parent ids (as taskkill /F /T does).
std::vector<DWORD> Tree(DWORD root, const wchar_t*)
{
    const std::vector<PROCESSENTRY32W> all = Processes();
    std::vector<DWORD> tree{root};
    for (size_t i = 0; i < tree.size(); ++i)
        for (const PROCESSENTRY32W& p : all)
            if (p.th32ParentProcessID == tree[i] && p.th32ProcessID != root) tree.push_back(p.th32ProcessID);
    return tree;
}
}  // namespace

// The guard survives what ends the program from outside: every process of
// its image name, or its whole process tree.
TEST_F(FanGuardTest, TheGuardOutlivesEndingEveryProcessOfTheNameAndTheWholeTree)
{
    struct Case {
        const char* name;
        std::vector<DWORD> (*targets)(DWORD, const wchar_t*);
    };
    for (const Case& c : {Case{"image name", &ByImageName}, Case{"tree", &Tree}}) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(StartHoldingTheFan());
        Sleep(300);  // the guard is up before the fan is written; give it its wait
        for (DWORD pid : c.targets(m_process.dwProcessId, L"qsurge.exe")) {
            if (HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, pid)) {
                TerminateProcess(h, 1);
                CloseHandle(h);
            }
        }
        ASSERT_TRUE(Ended());
        ASSERT_TRUE(WaitFor([&] { return !HandBacks().empty(); }, 3)) << "handed back within 3 seconds";
        EXPECT_NE(HandBacks().back().pid, m_process.dwProcessId);
        EXPECT_EQ(CoolerState().substr(0, 6), "0 0 32");
        Forget();
        DeleteFileA((m_shared + ".log").c_str());
    }
}

// A program whose guard cannot start (its image is gone from the program's
// folder) leaves the fan with the driver rather than take it unguarded.
TEST_F(FanGuardTest, WithoutItsGuardTheProgramNeverTakesTheFan)
{
    ASSERT_TRUE(DeleteFileA(m_guard.c_str()));
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NE(MainWindow(), nullptr);
    Sleep(1500);
    EXPECT_FALSE(WrittenBy(m_process.dwProcessId, kNvCoolerPolicyManual)) << ReadWholeFile(m_shared + ".log");
}

// A card with two client fans: the guard hands both back in one write when
// the program is ended from outside, also after the guard it started first was
// ended from outside itself (the program starts another); a new start takes
// them again. The older interface is never written on that card.
TEST_F(FanGuardTest, ATwoFanCardsFansGoBackTogetherEvenAfterItsFirstGuardWasEnded)
{
    const std::string scenario = m_dir + "\\two-fans.ini";
    ASSERT_TRUE(WritePrivateProfileStringA("Simulator", "GpuCount", "1", scenario.c_str()));
    for (const auto& [key, value] : {std::pair{"FanInterface", "client"}, {"Coolers", "2"}, {"CoolerMin", "30"},
                                     {"Temperature", "50"}, {"Load", "0"}, {"LoadAmplitude", "0"}})
        ASSERT_TRUE(WritePrivateProfileStringA("Gpu", key, value, scenario.c_str()));
    SetEnvironmentVariableA("NVSIM_SCENARIO", scenario.c_str());
    const auto clientWrites = [&](int mode) {
        std::vector<LoggedCall> writes;
        for (const LoggedCall& call : LoggedCalls(ReadWholeFile(m_shared + ".log")))
            if (call.id == NvId::ClientFanCoolersSetControl && call.status == 0 && call.values.size() == 7 &&
                call.values[3] == mode && call.values[6] == mode)
                writes.push_back(call);
        return writes;
    };
    const auto takenBy = [&](unsigned long pid) {
        for (const LoggedCall& w : clientWrites(1))
            if (w.pid == pid) return true;
        return false;
    };

    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(WaitFor([&] { return takenBy(m_process.dwProcessId); })) << "the program never took the fans";
    std::vector<DWORD> ended;
    ASSERT_TRUE(WaitFor([&] { return !(ended = ProcessesNamed(L"qsurge-guard.exe")).empty(); }));
    EndProcesses(ended);
    ASSERT_TRUE(WaitFor([&] {
        for (DWORD pid : ProcessesNamed(L"qsurge-guard.exe"))
            if (std::find(ended.begin(), ended.end(), pid) == ended.end()) return true;
        return false;
    })) << "a new guard in place of the one ended";
    EXPECT_TRUE(clientWrites(0).empty()) << "the fans stay on the curve meanwhile";

    TerminateProcess(m_process.hProcess, 1);
    ASSERT_TRUE(Ended());
    ASSERT_TRUE(WaitFor([&] { return !clientWrites(0).empty(); }, 5)) << "handed back by the new guard";
    const LoggedCall back = clientWrites(0).back();
    EXPECT_NE(back.pid, m_process.dwProcessId);
    EXPECT_EQ(back.values[0], 2) << "both fans in one write";
    EXPECT_EQ(CoolerState().substr(0, 6), "0 0 32");
    EXPECT_NE(CoolerState().find("0 1 32"), std::string::npos);
    Forget();

    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_TRUE(WaitFor([&] { return takenBy(m_process.dwProcessId); })) << "a restart takes them again";
    const HWND main = MainWindow();
    ASSERT_NE(main, nullptr);
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
    ASSERT_TRUE(Ended());
    SetEnvironmentVariableA("NVSIM_SCENARIO", nullptr);
    for (const LoggedCall& call : LoggedCalls(ReadWholeFile(m_shared + ".log")))
        EXPECT_NE(call.id, NvId::SetCoolerLevels) << "no older-interface write on this card";
    for (const char* name : {"\\two-fans.ini", "\\two-fans-drs.ini"}) DeleteFileA((m_dir + name).c_str());
}
