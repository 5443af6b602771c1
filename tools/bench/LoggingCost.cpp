#include "tools/bench/LoggingCost.h"

#include <windows.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "gpu/GpuControl.h"
#include "log/CReadingsLog.h"
#include "log/LogFolder.h"
#include "tests/log_files.h"
#include "tools/bench/ProcessCounters.h"

namespace {
constexpr int kChecks = 10000;

// A clock one second further at each reading, in the system's time zone.
int64_t g_second = 0;
int64_t NextSecond() { return ++g_second; }

// The rows of one second of the GPUs, as the log writes them.
std::string SampleRows(CGpuControl& gpu)
{
    GpuLogReading readings[kNvMaxPhysicalGpus];
    const int count = ReadGpusForLog(gpu, -1, readings, static_cast<int>(kNvMaxPhysicalGpus));
    std::string rows;
    for (int i = 0; i < count; ++i) AppendLogRow(rows, readings[i], "");
    return StampLogRows(rows, LocalTimeOf(LogSecondNow()));
}

void MeasureAppend(const std::wstring& folder, const std::string& rows, int count, LoggingFigures& figures)
{
    HANDLE file = ::CreateFileW((folder + L"\\append.csv").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    double total = 0;
    for (int i = 0; i < count; ++i) {
        const double start = WallSeconds();
        DWORD written = 0;
        ::WriteFile(file, rows.data(), static_cast<DWORD>(rows.size()), &written, nullptr);
        ::FlushFileBuffers(file);
        const double took = WallSeconds() - start;
        total += took;
        figures.appendMax = std::max(figures.appendMax, took);
    }
    figures.appendMean = total / count;
    ::CloseHandle(file);
}

}  // namespace

bool MeasureLoggingCost(int seconds, int idleSeconds, LoggingFigures& figures)
{
    CGpuControl gpu;
    if (gpu.Initialize() != 0) return false;
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"qsurge-bench-logs-" + std::to_wstring(::GetCurrentProcessId());
    if (CreateLogFolder(folder) != ERROR_SUCCESS) return false;

    g_second = LogSecondNow();
    SetLogClock(&NextSecond, std::nullopt);
    {
        CReadingsLog log(folder);
        log.SetEnabled(true);
        GpuLogReading readings[kNvMaxPhysicalGpus];
        std::vector<double> steps(static_cast<size_t>(seconds)), empty(steps.size());
        const double cpuStart = ProcessCpuSeconds();
        for (int i = 0; i < seconds; ++i) {
            const double start = WallSeconds();
            if (log.Due()) {
                const int count = ReadGpusForLog(gpu, -1, readings, static_cast<int>(kNvMaxPhysicalGpus));
                log.Record(readings, count);
                LogNotice notice;
                log.TakeNotice(notice);
                figures.gpus = count;
            }
            steps[static_cast<size_t>(i)] = WallSeconds() - start;
            const double nothing = WallSeconds();
            empty[static_cast<size_t>(i)] = WallSeconds() - nothing;
            // The next second's rows come long after the writer went back to
            // sleep; a short pause stands for the rest of the second.
            log.WaitWritten();
            ::Sleep(1);
        }
        figures.cpuPerSecond = (ProcessCpuSeconds() - cpuStart) / seconds;
        figures.stepMean = std::accumulate(steps.begin(), steps.end(), 0.0) / seconds;
        std::sort(steps.begin(), steps.end());
        figures.stepSlowest = steps[steps.size() - 1 - steps.size() / 1000];
        figures.stepMax = steps.back();
        figures.emptyMax = *std::max_element(empty.begin(), empty.end());

    }
    {
        // Wine counts CPU time in 10 ms steps: the looks are made a thousand
        // times as often to be seen. Each millisecond may pass a little late,
        // so the count is at most this, and the cost of one at least this.
        CLogWriter::SetLookPeriod(1);
        CReadingsLog log(folder);
        log.SetEnabled(true);
        ::Sleep(100);  // the thread running and asleep
        const double idleStart = ProcessCpuSeconds(), idleWall = WallSeconds();
        ::Sleep(static_cast<DWORD>(idleSeconds) * 1000);
        const double looks = (WallSeconds() - idleWall) * 1000;
        figures.lookCpu = (ProcessCpuSeconds() - idleStart) / looks;
        CLogWriter::SetLookPeriod(0);
        figures.seconds = seconds;
    }
    SetLogClock(nullptr, std::nullopt);
    {
        CReadingsLog log(folder);
        log.SetEnabled(true);
        double total = 0;
        for (int i = 0; i < kChecks; ++i) {
            const double start = WallSeconds();
            log.Due();
            const double took = WallSeconds() - start;
            total += took;
            figures.checkMax = std::max(figures.checkMax, took);
        }
        figures.checkMean = total / kChecks;
    }
    MeasureAppend(folder, SampleRows(gpu), seconds, figures);
    RemoveLogFolder(folder);
    return true;
}
