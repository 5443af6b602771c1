#include "log/LogRecord.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "gpu/GpuControl.h"

namespace {
constexpr int64_t kTicksPerMinute = 60LL * 10000000;

int64_t Ticks(const SYSTEMTIME& time)
{
    FILETIME file{};
    ::SystemTimeToFileTime(&time, &file);
    return static_cast<int64_t>((static_cast<uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime);
}

void AppendValue(std::string& text, const std::optional<unsigned>& value)
{
    text += ',';
    if (value) text += std::to_string(*value);
}
}  // namespace

const char kLogHeader[] = "time,gpu,temperature_c,fan_percent,engine_mhz,memory_mhz,fan_mode,written\r\n";

LogTime LocalLogTime()
{
    SYSTEMTIME utc{};
    ::GetSystemTime(&utc);
    utc.wMilliseconds = 0;
    LogTime now{};
    // The zone's rule for this very date: summer time included.
    if (!::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &now.local)) {
        now.local = utc;
        return now;
    }
    now.offsetMinutes = static_cast<int>((Ticks(now.local) - Ticks(utc)) / kTicksPerMinute);
    return now;
}

bool SameSecond(const LogTime& a, const LogTime& b)
{
    const SYSTEMTIME &x = a.local, &y = b.local;
    return x.wSecond == y.wSecond && x.wMinute == y.wMinute && x.wHour == y.wHour && x.wDay == y.wDay &&
           x.wMonth == y.wMonth && x.wYear == y.wYear && a.offsetMinutes == b.offsetMinutes;
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

void AppendLogRow(std::string& text, const std::string& isoTime, const GpuLogReading& reading,
                  const std::string& written)
{
    text += isoTime;
    text += ',';
    text += std::to_string(reading.gpuIndex);
    AppendValue(text, reading.temperature);
    AppendValue(text, reading.fanLevel);
    AppendValue(text, reading.engineClock);
    AppendValue(text, reading.memoryClock);
    text += reading.fanCurve ? ",curve," : ",auto,";
    text += written;
    text += "\r\n";
}

int ReadGpusForLog(CGpuControl& gpu, int curveGpu, GpuLogReading* readings, int capacity)
{
    const int count = std::min(static_cast<int>(gpu.m_gpuCount), capacity);
    for (int i = 0; i < count; ++i) {
        GpuLogReading& r = readings[i];
        r = GpuLogReading{};
        r.gpuIndex = i;
        r.fanCurve = i == curveGpu;
        // A driver that reports no sensor leaves the value as it was.
        uint32_t celsius = UINT32_MAX;
        if (gpu.GetTemperature(celsius, i) && celsius != UINT32_MAX) r.temperature = celsius;
        NvCoolerSettings coolers{};
        if (gpu.GetCoolerSettings(coolers, i, 0)) r.fanLevel = coolers.cooler[0].currentLevel;
        GpuClockInfo clocks{};
        if (gpu.GetCurrentClocks(clocks, i)) {
            r.engineClock = clocks.gfxClock / 1000;
            r.memoryClock = clocks.memClock * 2 / 1000;
        }
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
