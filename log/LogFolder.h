#pragma once
// The log folder: one file a day, "Q-Surge-YYYY-MM-DD.csv", or
// "Q-Surge-YYYY-MM-DD (N).csv" when that day's file was held by another
// program; files older than 30 days go, and so do the oldest while these
// files would hold more than 100 MB together. Files of other names are never
// touched, nor counted.
#include <cstdint>
#include <string>

#include "log/LogRecord.h"

constexpr int kLogKeepDays = 30;
constexpr uint64_t kLogFolderLimit = 100000000;  // bytes

// %LOCALAPPDATA%\Q-Surge\logs; empty when the system does not say where that is.
std::wstring DefaultLogFolder();
// Creates the folder and those above it: ERROR_SUCCESS once it is there, else
// why not.
unsigned long CreateLogFolder(const std::wstring& folder);

// suffix 1 is the day's own file; 2 and up stand in for it.
std::wstring LogFileName(const LogDate& date, int suffix);
// Whether the name is one of ours, and for which day.
bool ParseLogFileName(const std::wstring& name, LogDate& date, int& suffix);

// Days since 1970-01-01 (proleptic Gregorian).
int64_t DayNumber(const LogDate& date);

// Removes our files dated more than kLogKeepDays before today, and then the
// oldest others, never `current`, while our files hold more than `limit`
// bytes. Returns the bytes our files hold afterwards.
uint64_t PruneLogFolder(const std::wstring& folder, const LogDate& today, const std::wstring& current, uint64_t limit);
