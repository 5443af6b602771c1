#pragma once
// One row of the readings log: the time, a GPU's four readings, its fan mode
// and what the program wrote to it. The window makes the rows of a second;
// the writer, off the window's thread, finds their local time and puts it in
// front. Rows are plain ASCII (and so UTF-8), comma-separated, with whole
// numbers only: nothing depends on the locale. A file starts with a line
// "sep=,": a spreadsheet opened on the file splits it at commas even where
// the list separator is ';', as in comma-decimal locales.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "gpu/GpuReading.h"

class CGpuControl;

// A moment in local time, to the second.
struct LogTime {
    SYSTEMTIME local;
    int offsetMinutes;  // local time minus UTC
};

// The calendar day a log file holds.
struct LogDate {
    int year, month, day;
    bool operator==(const LogDate& other) const
    {
        return year == other.year && month == other.month && day == other.day;
    }
    bool operator!=(const LogDate& other) const { return !(*this == other); }
};

// The clock and the zone rows are stamped by: whole seconds since
// 1601-01-01 UTC (the system's file time), and the local time of such a
// second with its offset from UTC.
using LogClock = int64_t (*)();
// Tests give their clock and a zone of a fixed offset; null: the system's
// clock, and its zone's rules for each date (summer time included).
void SetLogClock(LogClock now, std::optional<int> fixedOffsetMinutes);
int64_t LogSecondNow();
LogTime LocalTimeOf(int64_t utcSecond);
LogDate DateOf(const LogTime& time);
// "2024-05-01T14:03:07+02:00"
std::string IsoTime(const LogTime& time);

// One GPU's readings; an empty one could not be read.
struct GpuLogReading : GpuReading {
    int gpuIndex = 0;
    bool fanCurve = false;  // the program's curve drives the fans, else the driver does
};

// The lines a file starts with, each with its line end: the separator line,
// then the column names.
extern const char kLogHeader[];

// Appends the GPU's row, all but its time, with its line end. `written` is
// quoted when it holds a separator (its parts are joined by "; "), so that
// no reader splits it.
void AppendLogRow(std::string& text, const GpuLogReading& reading, const std::string& written);
// The rows each given the time, in front.
std::string StampLogRows(const std::string& rows, const LogTime& time);

// Reads every GPU the driver reports, at most `capacity`; curveGpu is the GPU
// whose fans follow the curve, -1 for none. The selected GPU's reading, when
// given, is taken as it is. Returns how many were read.
int ReadGpusForLog(CGpuControl& gpu, int curveGpu, GpuLogReading* readings, int capacity,
                   const GpuReading* selected = nullptr);

// A value in thousandths as a decimal with a dot: 110000 -> "110", 80500 -> "80.5".
std::string Thousandths(int64_t value);
