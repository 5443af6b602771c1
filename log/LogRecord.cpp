#include "log/LogRecord.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "gpu/GpuControl.h"

namespace {
std::atomic<LogClock> g_clock{nullptr};
std::atomic<bool> g_fixedZone{false};
std::atomic<int> g_fixedOffset{0};
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksPerMinute = 60 * kTicksPerSecond;

int64_t Ticks(const FILETIME& file)
{
    return static_cast<int64_t>((static_cast<uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime);
}

int64_t Ticks(const SYSTEMTIME& time)
{
    FILETIME file{};
    ::SystemTimeToFileTime(&time, &file);
    return Ticks(file);
}

SYSTEMTIME SystemTimeOf(int64_t second)
{
    const uint64_t ticks = static_cast<uint64_t>(second * kTicksPerSecond);
    const FILETIME file{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME time{};
    ::FileTimeToSystemTime(&file, &time);
    return time;
}

void AppendValue(std::string& text, const std::optional<unsigned>& value)
{
    text += ',';
    if (value) text += std::to_string(*value);
}

// A cell as CSV has it: in double quotes, its own doubled, when it holds a
// comma, a semicolon (the other list separator a reader may split at), a
// quote or a line end.
void AppendCell(std::string& text, const std::string& cell)
{
    if (cell.find_first_of(",;\"\r\n") == std::string::npos) {
        text += cell;
        return;
    }
    text += '"';
    for (const char c : cell) {
        if (c == '"') text += '"';
        text += c;
    }
    text += '"';
}
}  // namespace

const char kLogHeader[] =
    "sep=,\r\ntime,gpu,temperature_c,fan_percent,engine_mhz,memory_mhz,fan_mode,written,fans\r\n";

void SetLogClock(LogClock now, std::optional<int> fixedOffsetMinutes)
{
    g_clock = now;
    g_fixedZone = fixedOffsetMinutes.has_value();
    g_fixedOffset = fixedOffsetMinutes.value_or(0);
}

int64_t LogSecondNow()
{
    if (const LogClock clock = g_clock.load()) return clock();
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return Ticks(now) / kTicksPerSecond;
}

LogTime LocalTimeOf(int64_t utcSecond)
{
    LogTime time{};
    if (g_fixedZone.load()) {
        time.offsetMinutes = g_fixedOffset.load();
        time.local = SystemTimeOf(utcSecond + time.offsetMinutes * 60LL);
        return time;
    }
    const SYSTEMTIME utc = SystemTimeOf(utcSecond);
    // The zone's rule for this very date: summer time included.
    if (::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &time.local))
        time.offsetMinutes = static_cast<int>((Ticks(time.local) - Ticks(utc)) / kTicksPerMinute);
    else
        time.local = utc;
    return time;
}

LogDate DateOf(const LogTime& time) { return {time.local.wYear, time.local.wMonth, time.local.wDay}; }

std::string IsoTime(const LogTime& time)
{
    const SYSTEMTIME& t = time.local;
    const int offset = std::abs(time.offsetMinutes);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u%c%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, time.offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return text;
}

void AppendLogRow(std::string& text, const GpuLogReading& reading, const std::string& written)
{
    text += std::to_string(reading.gpuIndex);
    AppendValue(text, reading.temperature);
    AppendValue(text, reading.fanLevel);
    AppendValue(text, reading.engineClock);
    AppendValue(text, reading.memoryClock);
    text += reading.fanCurve ? ",curve," : ",auto,";
    AppendCell(text, written);
    text += ',';
    text += FanListText(reading);
    text += "\r\n";
}

std::string StampLogRows(const std::string& rows, const LogTime& time)
{
    const std::string stamp = IsoTime(time) + ',';
    std::string stamped;
    stamped.reserve(rows.size() + 8 * stamp.size());
    for (size_t start = 0; start < rows.size();) {
        const size_t end = std::min(rows.find('\n', start), rows.size() - 1) + 1;
        stamped += stamp;
        stamped.append(rows, start, end - start);
        start = end;
    }
    return stamped;
}

int ReadGpusForLog(CGpuControl& gpu, int curveGpu, GpuLogReading* readings, int capacity,
                   const GpuReading* selected)
{
    const int count = std::min(static_cast<int>(gpu.m_gpuCount), capacity);
    for (int i = 0; i < count; ++i) {
        GpuLogReading& r = readings[i];
        if (selected && i == gpu.m_gpuIndex)
            static_cast<GpuReading&>(r) = *selected;
        else
            gpu.Read(r, i);
        r.gpuIndex = i;
        r.fanCurve = i == curveGpu;
    }
    return count;
}

std::string Thousandths(int64_t value)
{
    const char* sign = value < 0 ? "-" : "";
    const uint64_t magnitude = static_cast<uint64_t>(value < 0 ? -value : value);
    char text[32];
    int length = std::snprintf(text, sizeof text, "%s%llu.%03llu", sign,
                               static_cast<unsigned long long>(magnitude / 1000),
                               static_cast<unsigned long long>(magnitude % 1000));
    while (text[length - 1] == '0') --length;
    if (text[length - 1] == '.') --length;
    return std::string(text, static_cast<size_t>(length));
}
