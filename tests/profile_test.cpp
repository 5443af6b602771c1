#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "profile/AutoRun.h"
#include "profile/IniFile.h"
#include "registry_scratch.h"
#include "test_files.h"

namespace {

std::string TempFile(const char* name)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "qsurge_profile_" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

std::string ExePath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

std::string ReadRaw(const std::string& path, const char* key)
{
    char value[64] = {};
    GetPrivateProfileStringA("System", key, "<missing>", value, sizeof(value), path.c_str());
    return value;
}

const char* const kAllKeys[] = {"Initialized", "Launch", "Minisize", "OverClock", "Synchronization"};

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_path = TempFile("profile.ini");
        DeleteFileA(m_path.c_str());
        m_ini.SetPath(Widen(m_path));
    }
    void TearDown() override { DeleteFileA(m_path.c_str()); }

    std::string m_path;
    CIniFile m_ini;
};

TEST_F(ProfileFile, ReadsLeadingDecimalNumberOfEveryKey)
{
    const struct {
        const char* stored;
        int expected;
    } cases[] = {{"2", 1}, {"1abc", 1}, {"1", 1}, {"-1", 1}, {"abc", 0}, {"", 0}, {"0", 0}, {"0x1", 0}};
    for (const auto& c : cases) {
        for (const char* key : kAllKeys)
            ASSERT_TRUE(WritePrivateProfileStringA("System", key, c.stored, m_path.c_str()));
        SystemFlags flags = {7, 7, 7, 7};
        m_ini.ReadSystemFlags(flags);
        EXPECT_EQ(m_ini.ReadInitialized(), c.expected) << '"' << c.stored << '"';
        EXPECT_EQ(flags.launch, c.expected) << '"' << c.stored << '"';
        EXPECT_EQ(flags.minisize, c.expected) << '"' << c.stored << '"';
        EXPECT_EQ(flags.overClock, c.expected) << '"' << c.stored << '"';
        EXPECT_EQ(flags.synchronization, c.expected) << '"' << c.stored << '"';
    }
}

TEST_F(ProfileFile, MissingFileSectionOrKeyReadsZero)
{
    SystemFlags flags = {1, 1, 1, 1};
    m_ini.ReadSystemFlags(flags);
    EXPECT_EQ(m_ini.ReadInitialized(), 0);
    EXPECT_EQ(flags.launch + flags.minisize + flags.overClock + flags.synchronization, 0);

    ASSERT_TRUE(WritePrivateProfileStringA("Other", "Launch", "1", m_path.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("System", "Minisize", "1", m_path.c_str()));
    m_ini.ReadSystemFlags(flags);
    EXPECT_EQ(flags.launch, 0);
    EXPECT_EQ(flags.minisize, 1);
    EXPECT_EQ(flags.overClock, 0);
}

TEST_F(ProfileFile, WritesOneOrZeroInKeyOrder)
{
    ASSERT_EQ(m_ini.WriteInitialized(5), 1);
    EXPECT_EQ(ReadRaw(m_path, "Initialized"), "1");
    ASSERT_EQ(m_ini.WriteInitialized(0), 1);
    EXPECT_EQ(ReadRaw(m_path, "Initialized"), "0");

    DeleteFileA(m_path.c_str());
    ASSERT_EQ(m_ini.WriteSystemFlags({3, 0, 1, -1}), 1);
    EXPECT_EQ(ReadRaw(m_path, "Launch"), "1");
    EXPECT_EQ(ReadRaw(m_path, "Minisize"), "0");
    EXPECT_EQ(ReadRaw(m_path, "OverClock"), "1");
    EXPECT_EQ(ReadRaw(m_path, "Synchronization"), "1");

    std::ifstream file(m_path);
    std::stringstream text;
    text << file.rdbuf();
    const std::string content = text.str();
    const size_t launch = content.find("Launch=");
    const size_t minisize = content.find("Minisize=");
    const size_t overClock = content.find("OverClock=");
    const size_t sync = content.find("Synchronization=");
    ASSERT_NE(content.find("[System]"), std::string::npos) << content;
    ASSERT_NE(sync, std::string::npos) << content;
    EXPECT_LT(launch, minisize);
    EXPECT_LT(minisize, overClock);
    EXPECT_LT(overClock, sync);
}

TEST_F(ProfileFile, SecondAccessorSeesWritesAtOnce)
{
    CIniFile other;
    other.SetPath(Widen(m_path));
    ASSERT_EQ(m_ini.WriteSystemFlags({0, 1, 0, 1}), 1);
    SystemFlags flags = {};
    other.ReadSystemFlags(flags);
    EXPECT_EQ(flags.minisize, 1);
    EXPECT_EQ(flags.synchronization, 1);
    ASSERT_EQ(other.WriteSystemFlags({1, 0, 1, 0}), 1);
    m_ini.ReadSystemFlags(flags);
    EXPECT_EQ(flags.launch, 1);
    EXPECT_EQ(flags.minisize, 0);
    EXPECT_EQ(flags.overClock, 1);
    EXPECT_EQ(flags.synchronization, 0);
}

namespace {
std::string ReadRaw(const std::string& path, const char* section, const char* key)
{
    char value[64] = {};
    GetPrivateProfileStringA(section, key, "<missing>", value, sizeof(value), path.c_str());
    return value;
}
}  // namespace

TEST_F(ProfileFile, AProfileThatLostItsStateGetsBackAllItsAccessorsKnewAtTheNextWrite)
{
    const struct {
        const char *section, *key, *value;
    } stored[] = {{"System", "Initialized", "1"}, {"System", "Launch", "0"},    {"System", "Minisize", "1"},
                  {"System", "OverClock", "1"},   {"System", "Synchronization", "0"}, {"Warning", "Temperature", "70"},
                  {"FanCurve", "Auto", "0"},      {"FanCurve", "Point3", "6,4,1"}};
    for (const auto& s : stored) ASSERT_TRUE(WritePrivateProfileStringA(s.section, s.key, s.value, m_path.c_str()));
    // Two accessors of the file, each reading its part.
    CIniFile other;
    other.SetPath(Widen(m_path));
    SystemFlags flags{};
    ASSERT_EQ(m_ini.ReadInitialized(), 1);
    m_ini.ReadSystemFlags(flags);
    ASSERT_EQ(other.ReadText("Warning", "Temperature"), "70");
    ASSERT_EQ(other.ReadText("FanCurve", "Auto"), "0");
    ASSERT_EQ(other.ReadText("FanCurve", "Point3"), "6,4,1");

    ASSERT_TRUE(DeleteFileA(m_path.c_str()));
    // Until written, the missing profile reads as the program knew it.
    SystemFlags meanwhile{};
    other.ReadSystemFlags(meanwhile);
    EXPECT_EQ(meanwhile.minisize, 1);
    EXPECT_EQ(meanwhile.overClock, 1);
    EXPECT_EQ(m_ini.ReadText("FanCurve", "Point3"), "6,4,1");
    EXPECT_EQ(ReadRaw(m_path, "System", "Initialized"), "<missing>") << "reading writes nothing";

    ASSERT_EQ(other.WriteText("FanCurve", "Auto", "1"), 1);
    for (const auto& s : stored) {
        SCOPED_TRACE(s.key);
        EXPECT_EQ(ReadRaw(m_path, s.section, s.key), std::string(s.key) == "Auto" ? "1" : s.value);
    }

    // Emptied rather than deleted: the same, and what the file holds again is kept.
    { std::ofstream empty(m_path, std::ios::trunc); }
    ASSERT_TRUE(WritePrivateProfileStringA("Warning", "Temperature", "80", m_path.c_str()));
    ASSERT_EQ(m_ini.WriteSystemFlags({1, 0, 1, 0}), 1);
    EXPECT_EQ(ReadRaw(m_path, "System", "Initialized"), "1");
    EXPECT_EQ(ReadRaw(m_path, "System", "Launch"), "1");
    EXPECT_EQ(ReadRaw(m_path, "System", "Minisize"), "0");
    EXPECT_EQ(ReadRaw(m_path, "FanCurve", "Auto"), "1");
    EXPECT_EQ(ReadRaw(m_path, "Warning", "Temperature"), "80");
}

TEST_F(ProfileFile, AProfileNotYetSetUpOrOpenedAfreshGetsOnlyWhatIsWritten)
{
    // A first start writes its switches before its marker.
    ASSERT_EQ(m_ini.WriteSystemFlags({0, 0, 0, 1}), 1);
    DeleteFileA(m_path.c_str());
    ASSERT_EQ(m_ini.WriteText("Warning", "Temperature", "90"), 1);
    EXPECT_EQ(ReadRaw(m_path, "System", "Launch"), "<missing>");
    EXPECT_EQ(ReadRaw(m_path, "System", "Initialized"), "<missing>");

    // What a program that has ended knew is gone with it.
    const std::string path = TempFile("afresh.ini");
    ASSERT_TRUE(WritePrivateProfileStringA("System", "Initialized", "1", path.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("System", "Minisize", "1", path.c_str()));
    {
        CIniFile ended;
        ended.SetPath(Widen(path));
        ASSERT_EQ(ended.ReadInitialized(), 1);
        ASSERT_EQ(ended.ReadText("System", "Minisize"), "1");
    }
    DeleteFileA(path.c_str());
    CIniFile started;
    started.SetPath(Widen(path));
    EXPECT_EQ(started.ReadInitialized(), 0);
    ASSERT_EQ(started.WriteText("Warning", "Temperature", "90"), 1);
    EXPECT_EQ(ReadRaw(path, "System", "Initialized"), "<missing>");
    EXPECT_EQ(ReadRaw(path, "System", "Minisize"), "<missing>");
    DeleteFileA(path.c_str());
}

TEST(ProfileFileUnset, UnsetPathNeitherReadsNorWrites)
{
    CIniFile ini;
    EXPECT_EQ(ini.WriteInitialized(1), 0);
    EXPECT_EQ(ini.WriteSystemFlags({1, 1, 1, 1}), 0);
    EXPECT_EQ(ini.ReadInitialized(), 0);
}

TEST(ProfileName, UpperCaseFourHexDigits)
{
    const struct {
        uint16_t device;
        const char* name;
    } cases[] = {{0x00AF, "Quilo_ID00AF.ini"}, {0x0000, "Quilo_ID0000.ini"}, {0x1b80, "Quilo_ID1B80.ini"},
                 {0xFFFF, "Quilo_IDFFFF.ini"}};
    for (const auto& c : cases)
        EXPECT_EQ(BuildProfilePath(L"C:\\Apps\\Q Surge", c.device), L"C:\\Apps\\Q Surge\\" + Widen(c.name));
}

// A program in a folder nobody may write to keeps its profile under the
// user's own application data; anywhere else beside itself.
TEST(ProfilePlace, BesideTheProgramUnlessNothingCanBeWrittenThere)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string writable(temp);
    writable.pop_back();  // no trailing backslash, as the program's folder comes
    EXPECT_EQ(ChooseProfilePath(Widen(writable), 0x2684), Widen(writable + "\\Quilo_ID2684.ini"));

    // The process information folder takes no files, whoever asks.
    const std::string locked = "Z:\\proc";
    ASSERT_EQ(CreateFileA((locked + "\\probe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
              INVALID_HANDLE_VALUE);
    char local[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local)));
    const std::wstring moved = ChooseProfilePath(Widen(locked), 0x00AF);
    EXPECT_EQ(moved, Widen(std::string(local) + "\\Q-Surge\\Quilo_ID00AF.ini"));
    EXPECT_TRUE(GetFileAttributesA((std::string(local) + "\\Q-Surge").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    CIniFile ini;
    ini.SetPath(moved);
    ASSERT_EQ(ini.WriteInitialized(1), 1) << "the profile there can be written";
    EXPECT_EQ(ini.ReadInitialized(), 1);
    DeleteFileW(moved.c_str());
}

// A folder named in characters outside the system's code page (a user's
// name, say): the profile there is written and read back, and chosen beside
// the program.
TEST(ProfilePlace, AFolderNamedOutsideTheCodePage)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"Q \u5F20\u4E09 Zo\u00EB \u0416";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = ChooseProfilePath(folder, 0x2684);
    EXPECT_EQ(path, folder + L"\\Quilo_ID2684.ini");
    {
        CIniFile ini;
        ini.SetPath(path);
        ASSERT_EQ(ini.WriteInitialized(1), 1);
        ASSERT_EQ(ini.WriteText("FanCurve", "Auto", "0"), 1);
    }
    EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << "written under its own name";
    CIniFile again;
    again.SetPath(path);
    EXPECT_EQ(again.ReadInitialized(), 1) << "a second start is not a first start";
    EXPECT_EQ(again.ReadText("FanCurve", "Auto"), "0");
    DeleteFileW(path.c_str());
    RemoveDirectoryW(folder.c_str());
}

// The profile files of one test, in a folder named outside the system's code page.
class ProfileSaving : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"Q \u5F20\u4E09 Zo\u00EB \u0416 " + std::to_wstring(GetCurrentProcessId());
        RemoveFolder();
        ASSERT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr));
        m_path = m_folder + L"\\Quilo_ID2684.ini";
    }
    void TearDown() override { RemoveFolder(); }

    void RemoveFolder()
    {
        for (const std::wstring& name : Files()) DeleteFileW((m_folder + L"\\" + name).c_str());
        RemoveDirectoryW(m_folder.c_str());
    }
    std::vector<std::wstring> Files() const { return FilesIn(m_folder); }
    static void WriteBytes(const std::wstring& path, const std::string& bytes)
    {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        CloseHandle(file);
    }
    static std::string ReadBytes(const std::wstring& path)
    {
        std::string bytes;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return "<missing>";
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n) bytes.append(buffer, n);
        CloseHandle(file);
        return bytes;
    }

    static FILETIME LastWritten(const std::wstring& path)
    {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
        return data.ftLastWriteTime;
    }

    std::wstring m_folder, m_path;
};

// The same writes through the accessor and, in place, through the profile
// functions into a twin: the two files stay byte for byte the same, the
// user's own lines and spacing kept, and no other file is left beside them.
TEST_F(ProfileSaving, EveryWriteLeavesTheFileAsTheProfileFunctionsWriteIt)
{
    const std::wstring twin = m_folder + L"\\twin.ini";
    const std::string start = "; my notes on this card\r\n[System]\r\nInitialized=1\r\nLaunch = 0\r\n\r\n"
                              "[Mine]\r\nkey=value ; kept\r\n";
    const struct {
        const char* what;
        std::string before;  // the file before the writes; "<none>": no file
    } cases[] = {{"a profile edited by hand", start}, {"no profile yet", "<none>"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileW(m_path.c_str());
        DeleteFileW(twin.c_str());
        if (c.before != "<none>") {
            WriteBytes(m_path, c.before);
            WriteBytes(twin, c.before);
        }
        CIniFile ini;
        ini.SetPath(m_path);
        const auto same = [&](const char* step) {
            EXPECT_EQ(ReadBytes(m_path), ReadBytes(twin)) << step;
            EXPECT_EQ(Files(), (std::vector<std::wstring>{L"Quilo_ID2684.ini", L"twin.ini"})) << step;
        };
        const auto inPlace = [&](const char* section, const char* key, const char* value) {
            ASSERT_TRUE(WritePrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), Widen(value).c_str(),
                                                   twin.c_str()));
        };
        ASSERT_EQ(ini.WriteSystemFlags({1, 0, 1, 0}), 1);
        for (const auto& k : {std::pair<const char*, const char*>{"Launch", "1"}, {"Minisize", "0"},
                              {"OverClock", "1"}, {"Synchronization", "0"}})
            inPlace("System", k.first, k.second);
        same("the switches");
        ASSERT_EQ(ini.WriteText("FanCurve", "Point3", "6,4,1"), 1);
        inPlace("FanCurve", "Point3", "6,4,1");
        same("a new section");
        ASSERT_EQ(ini.WriteText("Mine", "key", "other"), 1);
        inPlace("Mine", "key", "other");
        same("a key of the user's");
        ASSERT_EQ(ini.WriteInitialized(1), 1);
        inPlace("System", "Initialized", "1");
        same("the first-run mark");
        SystemFlags flags{};
        ini.ReadSystemFlags(flags);
        EXPECT_EQ(flags.launch + flags.minisize * 2 + flags.overClock * 4 + flags.synchronization * 8, 5);
        EXPECT_EQ(ini.ReadText("FanCurve", "Point3"), "6,4,1");
    }
}

// A profile another program holds open is written all the same.
TEST_F(ProfileSaving, AProfileHeldOpenByAReaderIsStillWritten)
{
    WriteBytes(m_path, "[System]\r\nInitialized=1\r\n");
    CIniFile ini;
    ini.SetPath(m_path);
    HANDLE reader = CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ini.WriteText("FanCurve", "Auto", "0"), 1);
    CloseHandle(reader);
    EXPECT_EQ(ReadBytes(m_path), "[System]\r\nInitialized=1\r\n[FanCurve]\r\nAuto=0\r\n");
    EXPECT_EQ(Files(), std::vector<std::wstring>{L"Quilo_ID2684.ini"});
}

constexpr wchar_t kWriterVariable[] = L"QSURGE_PROFILE_WRITER";

// The second process of the test below: writes the switches on and on, all
// four to 1, then all four to 0, until it is ended.
TEST(ProfileWriterProcess, WritesUntilEnded)
{
    wchar_t path[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(kWriterVariable, path, MAX_PATH))
        GTEST_SKIP() << "runs only as the second process of the hard-end test";
    CIniFile ini;
    ini.SetPath(path);
    for (int32_t on = 1;; on = 1 - on) ASSERT_EQ(ini.WriteSystemFlags({on, on, on, on}), 1);
}

// A program ended at any moment while it writes the profile, as by a power
// cut, leaves the profile whole: every key there, the switches of one write,
// and the file still taken as a profile, so that settings are saved again.
TEST_F(ProfileSaving, AProgramEndedAtAnyMomentWhileWritingLeavesAWholeProfile)
{
    const std::string start = "[System]\r\nInitialized=1\r\nLaunch=0\r\nMinisize=0\r\nOverClock=0\r\n"
                              "Synchronization=0\r\n; a note of the user's\r\n[Warning]\r\nTemperature=70\r\n";
    WriteBytes(m_path, start);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = std::wstring(L"\"") + self + L"\" --gtest_filter=ProfileWriterProcess.WritesUntilEnded";
    for (int run = 0; run < 12; ++run) {
        SCOPED_TRACE(run);
        const FILETIME before = LastWritten(m_path);
        SetEnvironmentVariableW(kWriterVariable, m_path.c_str());
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child{};
        const BOOL started = CreateProcessW(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                            &startup, &child);
        SetEnvironmentVariableW(kWriterVariable, nullptr);
        ASSERT_TRUE(started);
        // Once it writes, ended a little later each time. Watched without
        // opening the file, which would keep it from being replaced.
        bool wrote = false;
        for (int waited = 0; !wrote && waited < 2000 && WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT;
             ++waited) {
            const FILETIME now = LastWritten(m_path);
            wrote = CompareFileTime(&now, &before) != 0;
            if (!wrote) Sleep(5);
        }
        Sleep(static_cast<DWORD>(run * 3));
        TerminateProcess(child.hProcess, 9);
        WaitForSingleObject(child.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(child.hProcess, &code);
        CloseHandle(child.hProcess);
        CloseHandle(child.hThread);
        ASSERT_EQ(code, 9u) << "the writer stopped by itself";
        ASSERT_TRUE(wrote) << "the writer wrote nothing";

        const std::string text = ReadBytes(m_path);
        EXPECT_NE(text.find("; a note of the user's\r\n"), std::string::npos) << text;
        EXPECT_NE(text.find("[System]\r\nInitialized=1\r\n"), std::string::npos) << text;
        EXPECT_NE(text.find("[Warning]\r\nTemperature=70\r\n"), std::string::npos) << text;
        const std::string on = text.find("Launch=1") != std::string::npos ? "1" : "0";
        for (const char* key : {"Launch", "Minisize", "OverClock", "Synchronization"})
            EXPECT_NE(text.find(std::string("\r\n") + key + "=" + on + "\r\n"), std::string::npos) << key << '\n' << text;
    }
    CIniFile ini;
    ini.SetPath(m_path);
    EXPECT_TRUE(ini.IsWritableProfile());
    EXPECT_EQ(ini.WriteText("Warning", "Temperature", "75"), 1);
    EXPECT_EQ(ini.ReadText("Warning", "Temperature"), "75");
}

TEST(ExeDirectory, DirectoryOfTheWindowsModule)
{
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    const std::wstring directory = GetExeDirectory(window);
    DestroyWindow(window);
    const std::string exe = ExePath();
    EXPECT_EQ(directory, Widen(exe.substr(0, exe.rfind('\\'))));
    EXPECT_EQ(GetExeDirectory(nullptr), L"");
}

// The Run value is machine-wide state: each test restores what was there before.
class AutoRunEntry : public ::testing::Test {
protected:
    static constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr const char* kValue = "QuiloStartUpAutoRun";

    void SetUp() override
    {
        DWORD size = sizeof(m_saved);
        m_hadValue = RegGetValueA(HKEY_LOCAL_MACHINE, kRunKey, kValue, RRF_RT_REG_SZ, nullptr, m_saved, &size) ==
                     ERROR_SUCCESS;
        RemoveAutoRun();
    }
    void TearDown() override
    {
        RemoveAutoRun();
        if (m_hadValue)
            SetRaw(m_saved);
    }
    static void SetRaw(const std::string& data)
    {
        ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, kRunKey, kValue, REG_SZ, data.c_str(),
                                  static_cast<DWORD>(data.size() + 1)),
                  ERROR_SUCCESS);
    }

    bool m_hadValue = false;
    char m_saved[1024] = {};
};

TEST_F(AutoRunEntry, WritesQuotedExecutablePathWithLogonArgumentAndRemovesIt)
{
    char buffer[256] = {};
    EXPECT_EQ(QueryAutoRun(buffer), 2);

    ASSERT_EQ(SetAutoRun(), ERROR_SUCCESS);
    char raw[1024] = {};
    DWORD type = 0;
    DWORD size = sizeof(raw);
    ASSERT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, kRunKey, kValue, RRF_RT_ANY, &type, raw, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(raw), "\"" + ExePath() + "\" --logon");
    EXPECT_EQ(QueryAutoRun(buffer), 0);
    EXPECT_STREQ(buffer, raw);

    EXPECT_EQ(RemoveAutoRun(), ERROR_SUCCESS);
    EXPECT_EQ(QueryAutoRun(buffer), 2);
    EXPECT_EQ(RemoveAutoRun(), ERROR_FILE_NOT_FOUND);
}

TEST_F(AutoRunEntry, AnyDataCountsAsPresent)
{
    const std::string cases[] = {"C:\\Other\\other.exe", "", std::string(300, 'x')};
    for (const auto& data : cases) {
        SetRaw(data);
        char buffer[256];
        std::memset(buffer, '#', sizeof(buffer));
        EXPECT_EQ(QueryAutoRun(buffer), 0) << data.size();
        EXPECT_NE(std::memchr(buffer, '\0', sizeof(buffer)), nullptr) << data.size();
        if (data.size() < sizeof(buffer)) {
            EXPECT_EQ(std::string(buffer), data);
        }
    }
    // Windows runs an expandable string as well; a number is still a value
    // someone put there. Neither may leave the buffer unterminated.
    const char expandable[] = "%SystemRoot%\\other.exe";
    ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, kRunKey, kValue, REG_EXPAND_SZ, expandable, sizeof(expandable)),
              ERROR_SUCCESS);
    char buffer[256];
    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(QueryAutoRun(buffer), 0);
    EXPECT_STREQ(buffer, expandable);
    const DWORD number = 0x23232323;
    ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, kRunKey, kValue, REG_DWORD, &number, sizeof(number)),
              ERROR_SUCCESS);
    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(QueryAutoRun(buffer), 0);
    EXPECT_STREQ(buffer, "");
}

// Both roots point at scratch keys; the machine's refuses changes, as it does
// for a user who is not an administrator.
TEST(AutoRunFallback, RefusedMachineKeyFallsBackToTheUsersKey)
{
    ScratchRunRoot machine(HKEY_LOCAL_MACHINE, "Machine");
    ScratchRunRoot user(HKEY_CURRENT_USER, "User");
    ASSERT_TRUE(machine.Ready() && user.Ready());
    ASSERT_TRUE(machine.Lock());
    const std::string quoted = "\"" + ExePath() + "\" --logon";

    EXPECT_EQ(SetAutoRun(), ERROR_SUCCESS);
    EXPECT_EQ(machine.Value(), "<none>");
    EXPECT_EQ(user.Value(), quoted);
    char buffer[256] = {};
    EXPECT_EQ(QueryAutoRun(buffer), 0);
    EXPECT_EQ(std::string(buffer), quoted);

    // The machine's key holds nothing to remove, whatever it refuses.
    EXPECT_EQ(RemoveAutoRun(), ERROR_SUCCESS);
    EXPECT_EQ(user.Value(), "<none>");
    EXPECT_EQ(QueryAutoRun(buffer), 2);
    EXPECT_EQ(RemoveAutoRun(), ERROR_FILE_NOT_FOUND);

    ASSERT_TRUE(user.Lock());
    EXPECT_EQ(SetAutoRun(), ERROR_ACCESS_DENIED);
    EXPECT_NE(QueryAutoRun(buffer), 0);
}

TEST(AutoRunFallback, RemovalReachesBothKeysWhateverOneRefuses)
{
    ScratchRunRoot machine(HKEY_LOCAL_MACHINE, "Machine");
    ScratchRunRoot user(HKEY_CURRENT_USER, "User");
    ASSERT_TRUE(machine.Ready() && user.Ready());
    ASSERT_TRUE(machine.SetValue("machine") && user.SetValue("user"));
    ASSERT_TRUE(machine.Lock());
    EXPECT_EQ(RemoveAutoRun(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(user.Value(), "<none>");
    EXPECT_EQ(machine.Value(), "machine");
    char buffer[256] = {};
    EXPECT_EQ(QueryAutoRun(buffer), 0);
}

TEST(AutoRunFallback, AMachineWideEntryReplacesTheUsersOne)
{
    ScratchRunRoot machine(HKEY_LOCAL_MACHINE, "Machine");
    ScratchRunRoot user(HKEY_CURRENT_USER, "User");
    ASSERT_TRUE(machine.Ready() && user.Ready());
    ASSERT_TRUE(user.SetValue("earlier fallback"));
    EXPECT_EQ(SetAutoRun(), ERROR_SUCCESS);
    EXPECT_EQ(machine.Value(), "\"" + ExePath() + "\" --logon");
    EXPECT_EQ(user.Value(), "<none>") << "Windows would start the program twice";
}

// An earlier version wrote the path alone (unquoted, or quoted with no
// argument): such a value of this program gets the logon mark at the next
// start, under the key that holds it. Values of other programs, values that
// have the mark and data that is no command are left exactly as they are.
TEST(AutoRunLogonMark, AValueOfThisProgramWithoutTheMarkIsRewrittenWithIt)
{
    const std::string exe = ExePath();
    const std::string marked = "\"" + exe + "\" --logon";
    std::string upper = exe;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string folder = exe.substr(0, exe.rfind('\\'));
    const std::string name = exe.substr(exe.rfind('\\') + 1);
    SetEnvironmentVariableA("QSURGE_TEST_FOLDER", folder.c_str());
    char shortName[MAX_PATH] = {};
    GetShortPathNameA(exe.c_str(), shortName, MAX_PATH);
    const struct {
        bool inUserKey;
        std::string stored;
        DWORD type;
        std::string after;  // empty: as stored
    } cases[] = {
        {false, exe, REG_SZ, marked},
        {false, "  \"" + exe + "\"", REG_SZ, marked},
        {false, upper, REG_SZ, marked},
        {false, std::string(shortName), REG_SZ, marked},
        {false, "%QSURGE_TEST_FOLDER%\\" + name, REG_EXPAND_SZ, marked},
        {false, "\"" + exe + "\" --hide", REG_SZ, marked},
        {true, exe, REG_SZ, marked},
        {true, "\"" + exe + "\"", REG_SZ, marked},
        {false, "\"" + upper + "\"   --logon", REG_SZ, ""},
        {true, exe + " --logon", REG_SZ, ""},
        {false, "C:\\Other\\other.exe", REG_SZ, ""},
        {false, exe + ".old", REG_SZ, ""},
        {false, "\"" + exe + ".old\"", REG_SZ, ""},
        {true, "", REG_SZ, ""},
        {false, "%QSURGE_TEST_FOLDER%\\other.exe", REG_EXPAND_SZ, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.inUserKey ? "user's key: " : "machine's key: ") + c.stored);
        ScratchRunRoot machine(HKEY_LOCAL_MACHINE, "Machine");
        ScratchRunRoot user(HKEY_CURRENT_USER, "User");
        ASSERT_TRUE(machine.Ready() && user.Ready());
        ScratchRunRoot& holder = c.inUserKey ? user : machine;
        ScratchRunRoot& other = c.inUserKey ? machine : user;
        ASSERT_TRUE(holder.SetWideValue(Widen(c.stored), c.type));

        AddLogonMarkToAutoRun();
        if (c.after.empty()) {
            EXPECT_EQ(holder.Type(), c.type);
            EXPECT_EQ(holder.Value(), c.stored);
        } else {
            EXPECT_EQ(holder.Type(), static_cast<DWORD>(REG_SZ));
            EXPECT_EQ(holder.Value(), c.after);
        }
        EXPECT_EQ(other.Value(), "<none>") << "the value stays under its own key";
        // Once marked it stays as it is.
        const std::string once = holder.Value();
        AddLogonMarkToAutoRun();
        EXPECT_EQ(holder.Value(), once);
    }
    SetEnvironmentVariableA("QSURGE_TEST_FOLDER", nullptr);
}

// Every value of this program is seen to, whichever key holds it, and a key
// that refuses the change keeps its value: no second value appears elsewhere.
TEST(AutoRunLogonMark, BothKeysAreSeenToAndARefusingKeyKeepsItsValue)
{
    const std::string exe = ExePath();
    {
        ScratchRunRoot machine(HKEY_LOCAL_MACHINE, "Machine");
        ScratchRunRoot user(HKEY_CURRENT_USER, "User");
        ASSERT_TRUE(machine.Ready() && user.Ready());
        ASSERT_TRUE(machine.SetValue(exe) && user.SetValue("\"" + exe + "\""));
        AddLogonMarkToAutoRun();
        EXPECT_EQ(machine.Value(), "\"" + exe + "\" --logon");
        EXPECT_EQ(user.Value(), "\"" + exe + "\" --logon");
    }
    ScratchRunRoot machine(HKEY_LOCAL_MACHINE, "Machine");
    ScratchRunRoot user(HKEY_CURRENT_USER, "User");
    ASSERT_TRUE(machine.Ready() && user.Ready());
    ASSERT_TRUE(machine.SetValue(exe));
    ASSERT_TRUE(machine.Lock());
    AddLogonMarkToAutoRun();
    EXPECT_EQ(machine.Value(), exe);
    EXPECT_EQ(user.Value(), "<none>");
}

// A path in any language and with spaces, as a per-user install has it.
TEST(AutoRunLogonMark, AnUnquotedPathWithSpacesInAnyLanguage)
{
    ScratchRunRoot machine(HKEY_LOCAL_MACHINE, "Machine");
    ScratchRunRoot user(HKEY_CURRENT_USER, "User");
    ASSERT_TRUE(machine.Ready() && user.Ready());
    const std::wstring program = L"C:\\Users\\Zo\u00EB \u5F20\\AppData\\Local\\Programs\\Q-Surge\\qsurge.exe";
    ASSERT_TRUE(user.SetWideValue(program));
    AddLogonMarkToAutoRun(program);
    EXPECT_EQ(user.WideValue(), L"\"" + program + L"\" --logon");
    ASSERT_TRUE(user.SetWideValue(L"C:\\Users\\Zo\u00EB \u5F20\\other.exe"));
    AddLogonMarkToAutoRun(program);
    EXPECT_EQ(user.WideValue(), L"C:\\Users\\Zo\u00EB \u5F20\\other.exe");
}

// A program in the user's own folder (the per-user installer's place) starts
// for that user only, and a machine-wide value of it goes; elsewhere the
// machine's key comes first. Either way the value holds the exact path, in any
// language.
TEST(AutoRunFallback, APerUserInstallStartsForItsUserOnly)
{
    ScratchRunRoot machine(HKEY_LOCAL_MACHINE, "Machine");
    ScratchRunRoot user(HKEY_CURRENT_USER, "User");
    ASSERT_TRUE(machine.Ready() && user.Ready());
    wchar_t* home = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Profile, 0, nullptr, &home)));
    const std::wstring profile = home;
    CoTaskMemFree(home);

    const std::wstring perUser = profile + L"\\AppData\\Local\\Programs\\Q \u5F20\u4E09 Zo\u00EB\\qsurge.exe";
    ASSERT_TRUE(machine.SetValue("an earlier machine-wide start"));
    EXPECT_EQ(SetAutoRun(perUser), ERROR_SUCCESS);
    EXPECT_EQ(machine.Value(), "<none>");
    EXPECT_EQ(user.WideValue(), L"\"" + perUser + L"\" --logon");

    const std::wstring elsewhere = L"C:\\Q \u5F20\u4E09 Zo\u00EB\\qsurge.exe";
    EXPECT_EQ(SetAutoRun(elsewhere), ERROR_SUCCESS);
    EXPECT_EQ(machine.WideValue(), L"\"" + elsewhere + L"\" --logon");
    EXPECT_EQ(user.Value(), "<none>");

    EXPECT_TRUE(IsInsideUserProfile(perUser));
    for (const std::wstring& outside : {elsewhere, profile, profile + L"2\\qsurge.exe"})
        EXPECT_FALSE(IsInsideUserProfile(outside));
}

TEST_F(AutoRunEntry, AbsentRunKeyAnswersOne)
{
    // Redirects this process's HKEY_LOCAL_MACHINE to an empty scratch key.
    const char scratch[] = "Software\\QSurgeTest\\EmptyMachine";
    HKEY empty = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, scratch, &empty), ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, empty), ERROR_SUCCESS);
    char buffer[256] = {};
    const int result = QueryAutoRun(buffer);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(empty);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\QSurgeTest");
    EXPECT_EQ(result, 1);
}

}  // namespace
