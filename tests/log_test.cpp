// The readings log in a folder of its own, on a clock the tests set: rows and
// their columns against the simulated driver, what was written, the day
// change, retention (of our files only), the columns a spreadsheet sees in
// any locale, a file renamed or deleted while written, a row cut short by a
// power cut, and the failures that pause it (a folder that cannot be written,
// a file another program holds, a full disk).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "gpu/GpuControl.h"
#include "log/CReadingsLog.h"
#include "log/LogFolder.h"
#include "log_files.h"
#include "sim_driver.h"

namespace {

// Two cards whose clocks follow their load: engine 300 + 15 MHz per per cent,
// memory 5000 MHz (shown doubled).
const char* const kScenario =
    "[Simulator]\nGpuCount=2\n"
    "[Gpu]\nDeviceId=0x2684\nExtDeviceId=0x2684\nGfxMinFreq=300000\nGfxMaxFreq=1800000\n"
    "MemType=single\nMemFreq=5000000\nTemperature=45\nLoad=0\nLoadAmplitude=0\n"
    "[Gpu1]\nDeviceId=0x1C03\nExtDeviceId=0x1C03\nGfxMinFreq=300000\nGfxMaxFreq=1800000\n"
    "MemType=single\nMemFreq=5000000\nTemperature=45\nLoad=0\nLoadAmplitude=0\n";

uint64_t FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// A full disk: writes the first half of what it is given, then fails.
int g_fullWrites = 0;
BOOL WriteHalfThenFail(HANDLE file, const void* data, DWORD size, DWORD* written)
{
    ++g_fullWrites;
    WriteFile(file, data, size / 2, written, nullptr);
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

class ReadingsLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(SimDriver::Get().load, nullptr) << "simulated driver missing";
        ASSERT_TRUE(SimDriver::UseScenario(kScenario));
        ASSERT_EQ(m_gpu.Initialize(), 0);
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"qsurge log " + std::to_wstring(GetCurrentProcessId()) + L"\\logs";
        RemoveFolder();
        SetLogNow(2024, 5, 1, 14, 3, 7);
    }
    void TearDown() override
    {
        m_log.reset();
        CLogWriter::SetWriteHook(nullptr);
        SetLogClock(nullptr, std::nullopt);
        RemoveFolder();
    }
    void RemoveFolder()
    {
        RemoveLogFolder(m_folder);
        RemoveDirectoryW(m_folder.substr(0, m_folder.rfind(L'\\')).c_str());
    }
    CReadingsLog& Log()
    {
        if (!m_log) {
            m_log = std::make_unique<CReadingsLog>(m_folder);
            m_log->SetEnabled(true);
            m_gpu.SetWriteObserver(m_log.get());
        }
        return *m_log;
    }
    // The rows of the clock's second, read from the simulated driver, written
    // through; false when none were due.
    bool RecordSecond(int curveGpu = -1)
    {
        if (!Log().Due()) return false;
        GpuLogReading readings[4];
        Log().Record(readings, ReadGpusForLog(m_gpu, curveGpu, readings, 4));
        Log().WaitWritten();
        return true;
    }
    std::wstring File(const wchar_t* name) const { return m_folder + L"\\" + name; }
    std::vector<std::wstring> Files() const { return FilesIn(m_folder); }
    std::vector<LogNotice> Notices()
    {
        std::vector<LogNotice> notices;
        LogNotice notice;
        while (Log().TakeNotice(notice)) notices.push_back(notice);
        return notices;
    }

    CGpuControl m_gpu;
    std::wstring m_folder;
    std::unique_ptr<CReadingsLog> m_log;
};

const std::string kHeader =
    "sep=,\r\ntime,gpu,temperature_c,fan_percent,engine_mhz,memory_mhz,fan_mode,written,fans\r\n";

TEST_F(ReadingsLogTest, EachSecondGivesARowPerGpuWithFailedReadsLeftEmpty)
{
    struct Case {
        int temperature[2], fan[2], load[2];
        unsigned int failing;  // the driver interface that fails, 0 none
        int curveGpu;
        const char* rows;      // after the time
    };
    const Case cases[] = {
        {{45, 71}, {30, 55}, {0, 100}, 0, -1, ",0,45,30,300,10000,auto,,30%\r\n|,1,71,55,1800,10000,auto,,55%\r\n"},
        {{100, 0}, {100, 0}, {50, 20}, 0, 0, ",0,100,100,1050,10000,curve,,100%\r\n|,1,0,0,600,10000,auto,,0%\r\n"},
        {{60, 61}, {40, 41}, {0, 0}, NvId::GetThermalSettings, 1,
         ",0,,40,300,10000,auto,,40%\r\n|,1,,41,300,10000,curve,,41%\r\n"},
        {{60, 61}, {40, 41}, {0, 0}, NvId::GetCoolerSettings, -1, ",0,60,,300,10000,auto,,\r\n|,1,61,,300,10000,auto,,\r\n"},
        {{60, 61}, {40, 41}, {0, 0}, NvId::GetAllClockFrequencies, -1,
         ",0,60,40,,,auto,,40%\r\n|,1,61,41,,,auto,,41%\r\n"},
    };
    std::string expected = kHeader;
    int second = 0;
    for (const Case& c : cases) {
        for (int gpu = 0; gpu < 2; ++gpu) {
            SimDriver::Get().setTemperature(gpu, c.temperature[gpu]);
            SimDriver::Get().setFanLevel(gpu, 0, c.fan[gpu]);
            SimDriver::Get().setLoad(gpu, c.load[gpu]);
        }
        SimDriver::Get().setFault(NvId::GetThermalSettings, 0);
        SimDriver::Get().setFault(NvId::GetCoolerSettings, 0);
        SimDriver::Get().setFault(NvId::GetAllClockFrequencies, 0);
        if (c.failing) SimDriver::Get().setFault(c.failing, -1);
        SetLogNow(2024, 5, 1, 23, 59, 50 + second++);
        ASSERT_TRUE(RecordSecond(c.curveGpu));
        EXPECT_FALSE(Log().Due()) << "one row a second";
        const std::string time = IsoTime(g_logNow);
        const std::string rows = c.rows;
        const size_t bar = rows.find('|');
        expected += time + rows.substr(0, bar) + time + rows.substr(bar + 1);
    }
    EXPECT_EQ(ReadText(File(L"Q-Surge-2024-05-01.csv")), expected);
    EXPECT_TRUE(Notices().empty());
}

TEST_F(ReadingsLogTest, TimesCarryTheirOffsetFromUtc)
{
    SetLogNow(2024, 1, 2, 3, 4, 5, -330);
    EXPECT_EQ(IsoTime(g_logNow), "2024-01-02T03:04:05-05:30");
    SetLogNow(2024, 12, 31, 23, 59, 59, 0);
    EXPECT_EQ(IsoTime(g_logNow), "2024-12-31T23:59:59+00:00");
    // The system's own clock, with the zone's offset as it stands.
    TIME_ZONE_INFORMATION zone{};
    const DWORD kind = GetTimeZoneInformation(&zone);
    const LONG bias = zone.Bias + (kind == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias
                                   : kind == TIME_ZONE_ID_STANDARD ? zone.StandardBias : 0);
    SetLogClock(nullptr, std::nullopt);
    SYSTEMTIME before;
    GetLocalTime(&before);
    const LogTime now = LocalTimeOf(LogSecondNow());
    EXPECT_EQ(now.offsetMinutes, -bias);
    EXPECT_EQ(now.local.wYear, before.wYear);
    EXPECT_EQ(now.local.wHour * 60 + now.local.wMinute, before.wHour * 60 + before.wMinute)
        << "may fail only when run across a minute's end";
}

TEST_F(ReadingsLogTest, WhatTheProgramWroteShowsInTheRowsOfThatSecondOnly)
{
    ASSERT_TRUE(RecordSecond());
    ASSERT_TRUE(m_gpu.SetCoolerLevel(60, kNvCoolerPolicyManual, 1, 0));
    GpuClockInfo overclock{};
    overclock.gfxOffset = 80000;
    overclock.memOffset = -500;
    overclock.powerTarget = 110500;
    ASSERT_TRUE(m_gpu.SetClockOffsets(overclock, 0));
    ASSERT_TRUE(m_gpu.SetPowerTarget(overclock, 0));
    ASSERT_TRUE(m_gpu.SetDriverSetting(60));
    ASSERT_TRUE(m_gpu.SetCoolerLevel(60, kNvCoolerPolicyAuto, 1, 0));
    SimDriver::Get().setFault(NvId::SetCoolerLevels, -1);
    EXPECT_FALSE(m_gpu.SetCoolerLevel(70, kNvCoolerPolicyManual, 0, 0)) << "refused: not written";
    SetLogNow(2024, 5, 1, 14, 3, 8);
    ASSERT_TRUE(RecordSecond());
    SetLogNow(2024, 5, 1, 14, 3, 9);
    ASSERT_TRUE(RecordSecond());

    const auto rows = OpenInSpreadsheet(ReadText(File(L"Q-Surge-2024-05-01.csv")), ',');
    std::vector<std::string> written;
    // The written column, before every fan's level.
    for (size_t row = 1; row < rows.size(); ++row) written.push_back(rows[row].at(7));
    const std::vector<std::string> expected = {
        "", "",
        "engine +80 MHz memory -0.5 MHz; power 110.5%; frame rate 60", "fan 60%; frame rate 60; fan auto",
        "", "",
    };
    EXPECT_EQ(written, expected);
}

TEST_F(ReadingsLogTest, ANewDayStartsItsOwnFileAndRemovesTheOnesTooOld)
{
    CreateLogFolder(m_folder);
    for (const wchar_t* name : {L"Q-Surge-2024-03-31.csv", L"Q-Surge-2024-04-01.csv", L"Q-Surge-2024-04-01 (2).csv",
                                L"Q-Surge-2024-04-02.csv", L"notes.txt", L"Q-Surge-2024-03-01 copy.csv"})
        ASSERT_TRUE(MakeFile(File(name), 10));
    SetLogNow(2024, 5, 1, 23, 59, 59);
    ASSERT_TRUE(RecordSecond());
    // Thirty days back is kept until the day is over.
    EXPECT_EQ(Files(), (std::vector<std::wstring>{L"Q-Surge-2024-03-01 copy.csv", L"Q-Surge-2024-04-01 (2).csv",
                                                  L"Q-Surge-2024-04-01.csv", L"Q-Surge-2024-04-02.csv",
                                                  L"Q-Surge-2024-05-01.csv", L"notes.txt"}));
    SetLogNow(2024, 5, 2, 0, 0, 0);
    ASSERT_TRUE(RecordSecond());
    EXPECT_EQ(Files(), (std::vector<std::wstring>{L"Q-Surge-2024-03-01 copy.csv", L"Q-Surge-2024-04-02.csv",
                                                  L"Q-Surge-2024-05-01.csv", L"Q-Surge-2024-05-02.csv",
                                                  L"notes.txt"}));
    for (const wchar_t* name : {L"Q-Surge-2024-05-01.csv", L"Q-Surge-2024-05-02.csv"}) {
        const std::string text = ReadText(File(name));
        EXPECT_EQ(text.rfind(kHeader, 0), 0u) << "each file starts with the header";
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4) << "the header's two lines and two GPUs";
    }
    EXPECT_NE(ReadText(File(L"Q-Surge-2024-05-02.csv")).find("2024-05-02T00:00:00+02:00,1,"), std::string::npos);
}

TEST_F(ReadingsLogTest, OthersFilesInTheFolderNeitherCountNorGoNorStopTheLog)
{
    // A spreadsheet larger than the whole limit saved beside three recent logs.
    CreateLogFolder(m_folder);
    const std::vector<std::wstring> before = {L"Q-Surge-2024-04-28.csv", L"Q-Surge-2024-04-29.csv",
                                              L"Q-Surge-2024-04-30.csv", L"budget.xlsx"};
    for (const std::wstring& name : before)
        ASSERT_TRUE(MakeFile(File(name.c_str()), name == L"budget.xlsx" ? kLogFolderLimit + 1 : 1000));
    for (int second = 7; second < 10; ++second) {
        SetLogNow(2024, 5, 1, 14, 3, second);
        ASSERT_TRUE(RecordSecond());
    }
    std::vector<std::wstring> after = before;
    after.insert(after.begin() + 3, L"Q-Surge-2024-05-01.csv");
    EXPECT_EQ(Files(), after);
    const auto rows = OpenInSpreadsheet(ReadText(File(L"Q-Surge-2024-05-01.csv")), ',');
    EXPECT_EQ(rows.size(), 7u) << "the header and three seconds of two GPUs";
    EXPECT_TRUE(Notices().empty());
}

TEST_F(ReadingsLogTest, OurFilesNeverHoldMoreThan100MB)
{
    CreateLogFolder(m_folder);
    for (const wchar_t* name : {L"Q-Surge-2024-04-28.csv", L"Q-Surge-2024-04-29.csv", L"Q-Surge-2024-04-30.csv"})
        ASSERT_TRUE(MakeFile(File(name), 30000000));
    // 250 bytes short of the limit: room for the new file's header and first rows.
    ASSERT_TRUE(MakeFile(File(L"Q-Surge-2024-04-30 (2).csv"), 9999750));
    ASSERT_TRUE(MakeFile(File(L"someone else's.bin"), 50000000));
    ASSERT_TRUE(RecordSecond());
    EXPECT_EQ(Files().size(), 6u);
    // The day's file grows past the limit: our oldest goes, everything else stays.
    SetLogNow(2024, 5, 1, 14, 3, 8);
    ASSERT_TRUE(RecordSecond());
    EXPECT_EQ(Files(), (std::vector<std::wstring>{L"Q-Surge-2024-04-29.csv", L"Q-Surge-2024-04-30 (2).csv",
                                                  L"Q-Surge-2024-04-30.csv", L"Q-Surge-2024-05-01.csv",
                                                  L"someone else's.bin"}));
    EXPECT_TRUE(Notices().empty());

    // Nothing of ours left to remove: the day's rows stop rather than pass the limit.
    m_log.reset();
    for (const wchar_t* name : {L"Q-Surge-2024-04-29.csv", L"Q-Surge-2024-04-30 (2).csv", L"Q-Surge-2024-04-30.csv"})
        DeleteFileW(File(name).c_str());
    const uint64_t full = kLogFolderLimit - 50;
    ASSERT_TRUE(MakeFile(File(L"Q-Surge-2024-05-01.csv"), full, "\r\n"));
    for (int second = 9; second < 12; ++second) {
        SetLogNow(2024, 5, 1, 14, 3, second);
        ASSERT_TRUE(RecordSecond());
    }
    EXPECT_EQ(FileSize(File(L"Q-Surge-2024-05-01.csv")), full);
    const std::vector<LogNotice> notices = Notices();
    ASSERT_EQ(notices.size(), 1u) << "told once";
    EXPECT_EQ(notices[0].text, L"Today's log fills the log folder's 100 MB. Logging resumes with tomorrow's file.");
    SetLogNow(2024, 5, 2, 0, 0, 0);
    ASSERT_TRUE(RecordSecond());
    EXPECT_EQ(OpenInSpreadsheet(ReadText(File(L"Q-Surge-2024-05-02.csv")), ',').size(), 3u) << "as it said";
}

TEST_F(ReadingsLogTest, AFolderThatCannotBeWrittenPausesLoggingTellsOnceAndResumes)
{
    // A file where the folder should be: nothing can be made in it.
    CreateLogFolder(m_folder.substr(0, m_folder.rfind(L'\\')));
    ASSERT_TRUE(MakeFile(m_folder, 1));
    for (int second = 7; second < 10; ++second) {
        SetLogNow(2024, 5, 1, 14, 3, second);
        ASSERT_TRUE(RecordSecond());
    }
    const std::vector<LogNotice> notices = Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].title, L"Q-Surge: logging paused");
    EXPECT_NE(notices[0].text.find(L"log folder cannot be written"), std::wstring::npos);

    DeleteFileW(m_folder.c_str());
    SetLogNow(2024, 5, 1, 14, 3, 10);
    ASSERT_TRUE(RecordSecond());
    const std::string text = ReadText(File(L"Q-Surge-2024-05-01.csv"));
    EXPECT_EQ(text.rfind(kHeader, 0), 0u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
    EXPECT_NE(text.find("14:03:10"), std::string::npos);
    EXPECT_TRUE(Notices().empty());
}

TEST_F(ReadingsLogTest, AFileHeldWithoutSharingMovesTheRowsToAnotherFile)
{
    CreateLogFolder(m_folder);
    HANDLE held = CreateFileW(File(L"Q-Surge-2024-05-01.csv").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(RecordSecond());
    SetLogNow(2024, 5, 1, 14, 3, 8);
    ASSERT_TRUE(RecordSecond());
    CloseHandle(held);
    SetLogNow(2024, 5, 1, 14, 3, 9);
    ASSERT_TRUE(RecordSecond());

    EXPECT_EQ(ReadText(File(L"Q-Surge-2024-05-01.csv")), "");
    const std::string text = ReadText(File(L"Q-Surge-2024-05-01 (2).csv"));
    EXPECT_EQ(text.rfind(kHeader, 0), 0u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8) << "the header's two lines and three seconds of two GPUs";
    const std::vector<LogNotice> notices = Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].text, L"Q-Surge-2024-05-01.csv is open in another program; the readings go on in "
                               L"Q-Surge-2024-05-01 (2).csv.");
}

TEST_F(ReadingsLogTest, AFullDiskLeavesNoHalfRowTellsOnceAndResumes)
{
    ASSERT_TRUE(RecordSecond());
    const std::string before = ReadText(File(L"Q-Surge-2024-05-01.csv"));
    g_fullWrites = 0;
    CLogWriter::SetWriteHook(&WriteHalfThenFail);
    for (int second = 8; second < 11; ++second) {
        SetLogNow(2024, 5, 1, 14, 3, second);
        ASSERT_TRUE(RecordSecond());
    }
    EXPECT_EQ(g_fullWrites, 3) << "every second tries again";
    EXPECT_EQ(ReadText(File(L"Q-Surge-2024-05-01.csv")), before);
    const std::vector<LogNotice> notices = Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].text.find(L"disk is full"), std::wstring::npos);

    CLogWriter::SetWriteHook(nullptr);
    SetLogNow(2024, 5, 1, 14, 3, 11);
    ASSERT_TRUE(RecordSecond());
    const std::string after = ReadText(File(L"Q-Surge-2024-05-01.csv"));
    ASSERT_EQ(after.rfind(before, 0), 0u);
    const std::string added = after.substr(before.size());
    EXPECT_EQ(added.rfind(IsoTime(g_logNow) + ",0,", 0), 0u) << added;
    EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 2);

    // Paused again later: told again.
    CLogWriter::SetWriteHook(&WriteHalfThenFail);
    SetLogNow(2024, 5, 1, 14, 3, 12);
    ASSERT_TRUE(RecordSecond());
    EXPECT_EQ(Notices().size(), 1u);
}

const std::vector<std::string> kColumns = {"time",       "gpu",        "temperature_c", "fan_percent", "engine_mhz",
                                           "memory_mhz", "fan_mode",   "written",       "fans"};

TEST_F(ReadingsLogTest, ADoubleClickedLogOpensInColumnsWhateverTheLocalesListSeparator)
{
    ASSERT_TRUE(RecordSecond());
    GpuClockInfo overclock{};
    overclock.gfxOffset = 80000;
    overclock.memOffset = 100000;
    overclock.powerTarget = 110000;
    ASSERT_TRUE(m_gpu.SetClockOffsets(overclock, 0));
    ASSERT_TRUE(m_gpu.SetPowerTarget(overclock, 0));
    SetLogNow(2024, 5, 1, 14, 3, 8);
    ASSERT_TRUE(RecordSecond());
    const std::string text = ReadText(File(L"Q-Surge-2024-05-01.csv"));

    const auto expectColumns = [](const std::vector<std::vector<std::string>>& rows) {
        ASSERT_EQ(rows.size(), 5u);
        EXPECT_EQ(rows[0], kColumns);
        for (size_t row = 1; row < rows.size(); ++row) {
            SCOPED_TRACE(row);
            ASSERT_EQ(rows[row].size(), kColumns.size());
            EXPECT_EQ(rows[row][1], std::to_string((row - 1) % 2));
        }
        EXPECT_EQ(rows[3][7], "engine +80 MHz memory +100 MHz; power 110%") << "one cell, as in earlier files";
        EXPECT_EQ(rows[4][7], "");
    };
    // Point- and comma-decimal locales, with the list separators the system gives them.
    const struct {
        const wchar_t* locale;
        wchar_t listSeparator;
    } locales[] = {{L"en-US", L','}, {L"de-DE", L';'}, {L"fr-FR", L';'}, {L"ru-RU", L';'}, {L"pt-BR", L';'}};
    for (const auto& l : locales) {
        SCOPED_TRACE(testing::PrintToString(std::string(l.locale, l.locale + wcslen(l.locale))));
        wchar_t list[8] = {};
        ASSERT_GT(GetLocaleInfoEx(l.locale, LOCALE_SLIST, list, 8), 0);
        ASSERT_EQ(list[0], l.listSeparator);
        expectColumns(OpenInSpreadsheet(text, static_cast<char>(list[0])));
    }
    // A script's reader told the comma, and an import that splits at either
    // separator, each past the separator line.
    ASSERT_EQ(text.rfind("sep=,\r\n", 0), 0u);
    for (const char* separators : {",", ",;"}) {
        SCOPED_TRACE(separators);
        expectColumns(SplitCsv(text.substr(7), separators));
    }
}

TEST_F(ReadingsLogTest, TodaysFileRenamedWhileWrittenTheRowsGoOnInANewFile)
{
    const std::wstring today = File(L"Q-Surge-2024-05-01.csv");
    CreateLogFolder(m_folder + L"\\kept");
    for (const wchar_t* kept : {L"kept.csv", L"kept\\moved into a folder.csv"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(kept, kept + wcslen(kept))));
        m_log.reset();
        DeleteFileW(today.c_str());
        SetLogNow(2024, 5, 1, 14, 3, 7);
        ASSERT_TRUE(RecordSecond());
        ASSERT_TRUE(MoveFileW(today.c_str(), File(kept).c_str())) << GetLastError();
        SetLogNow(2024, 5, 1, 14, 3, 8);
        ASSERT_TRUE(RecordSecond());
        SetLogNow(2024, 5, 1, 14, 3, 9);
        ASSERT_TRUE(RecordSecond());

        const auto rows = OpenInSpreadsheet(ReadText(today), ',');
        ASSERT_EQ(rows.size(), 5u) << "a new file: the header and the two seconds after";
        EXPECT_EQ(rows[0], kColumns);
        EXPECT_EQ(rows[1][0], "2024-05-01T14:03:08+02:00");
        EXPECT_EQ(rows[4][0], "2024-05-01T14:03:09+02:00");
        const auto before = OpenInSpreadsheet(ReadText(File(kept)), ',');
        ASSERT_EQ(before.size(), 3u) << "the renamed file keeps what it had and gets nothing more";
        EXPECT_EQ(before[2][0], "2024-05-01T14:03:07+02:00");
        EXPECT_TRUE(Notices().empty());
    }
    DeleteFileW(File(L"kept\\moved into a folder.csv").c_str());
    EXPECT_TRUE(RemoveDirectoryW(File(L"kept").c_str()));
}

TEST_F(ReadingsLogTest, TodaysFileCanBeDeletedWhileWritten)
{
    ASSERT_TRUE(RecordSecond());
    EXPECT_TRUE(DeleteFileW(File(L"Q-Surge-2024-05-01.csv").c_str())) << GetLastError();
    for (int second = 8; second < 10; ++second) {
        SetLogNow(2024, 5, 1, 14, 3, second);
        ASSERT_TRUE(RecordSecond());
    }
    EXPECT_TRUE(Notices().empty()) << "logging goes on";
}

TEST_F(ReadingsLogTest, ARowCutShortIsEndedAtTheLastCompleteRowByTheNextStart)
{
    const std::string row = "2024-05-01T14:03:05+02:00,0,45,0,300,10000,auto,\r\n";
    const std::string earlierHeader = kHeader.substr(7);  // files of earlier versions start with it
    const struct {
        const char* what;
        std::string found, kept;
    } cases[] = {
        {"whole", kHeader + row, kHeader + row},
        {"a row cut short", kHeader + row + "2024-05-01T14:03:06+02:00,1,4", kHeader + row},
        {"cut between its line end's two characters", kHeader + row + row.substr(0, row.size() - 1), kHeader + row},
        {"zeros the disk never wrote", kHeader + row + std::string(5000, '\0'), kHeader + row},
        {"an earlier version's file", earlierHeader + row + "2024-05", earlierHeader + row},
        {"the separator line alone", kHeader.substr(0, 7), ""},
        {"a header cut short", kHeader.substr(0, 20), ""},
        {"part of a first line", "sep", ""},
    };
    const std::wstring today = File(L"Q-Surge-2024-05-01.csv");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_log.reset();
        RemoveFolder();
        ASSERT_EQ(CreateLogFolder(m_folder), static_cast<unsigned long>(ERROR_SUCCESS));
        HANDLE file = CreateFileW(today.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file, c.found.data(), static_cast<DWORD>(c.found.size()), &written, nullptr));
        CloseHandle(file);

        ASSERT_TRUE(RecordSecond());
        const std::string text = ReadText(today);
        const std::string kept = c.kept.empty() ? kHeader : c.kept;
        ASSERT_EQ(text.substr(0, kept.size()), kept);
        const auto added = SplitCsv(text.substr(kept.size()), ",");
        ASSERT_EQ(added.size(), 2u) << text.substr(kept.size());
        for (size_t gpu = 0; gpu < added.size(); ++gpu) {
            EXPECT_EQ(added[gpu].size(), kColumns.size());
            EXPECT_EQ(added[gpu][0], IsoTime(g_logNow));
            EXPECT_EQ(added[gpu][1], std::to_string(gpu));
        }
    }
}

TEST_F(ReadingsLogTest, SwitchedOffItRecordsNothing)
{
    Log().SetEnabled(false);
    EXPECT_FALSE(Log().Due());
    GpuLogReading reading;
    Log().Record(&reading, 1);
    EXPECT_FALSE(Exists(m_folder));
    Log().SetEnabled(true);
    EXPECT_TRUE(RecordSecond());
    EXPECT_TRUE(Exists(File(L"Q-Surge-2024-05-01.csv")));
}

TEST(LogFolder, NamesOfOurFilesAreKnownAndOthersAreNot)
{
    struct Case {
        const wchar_t* name;
        bool ours;
        LogDate date;
        int suffix;
    };
    const Case cases[] = {
        {L"Q-Surge-2024-05-01.csv", true, {2024, 5, 1}, 1},
        {L"Q-Surge-2024-12-31 (12).csv", true, {2024, 12, 31}, 12},
        {L"Q-Surge-2024-05-01 (1).csv", false, {}, 0},
        {L"Q-Surge-2024-13-01.csv", false, {}, 0},
        {L"Q-Surge-2024-05-01.csv.bak", false, {}, 0},
        {L"Q-Surge-2024-5-01.csv", false, {}, 0},
        {L"q-surge-2024-05-01.txt", false, {}, 0},
    };
    for (const Case& c : cases) {
        LogDate date{};
        int suffix = 0;
        EXPECT_EQ(ParseLogFileName(c.name, date, suffix), c.ours) << c.name;
        if (!c.ours) continue;
        EXPECT_EQ(date, c.date);
        EXPECT_EQ(suffix, c.suffix);
        EXPECT_EQ(LogFileName(date, suffix), c.name);
    }
    EXPECT_EQ(DayNumber({1970, 1, 1}), 0);
    EXPECT_EQ(DayNumber({2024, 3, 1}) - DayNumber({2024, 2, 28}), 2) << "a leap year";
    EXPECT_EQ(DayNumber({2024, 5, 1}) - DayNumber({2024, 3, 31}), 31);
}

}  // namespace
