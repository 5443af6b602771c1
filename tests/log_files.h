#pragma once
// Test helpers for the readings log: a clock the test sets, the files' text,
// the folder's files, and the folder removed (or a file standing where it
// should be).
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "log/LogRecord.h"

// The time SetLogNow set, as the log should write it.
inline LogTime g_logNow;
inline int64_t g_logSecond = 0;
inline int64_t LogNow() { return g_logSecond; }

// The log's clock at that local time, in a zone that far from UTC.
inline void SetLogNow(int year, int month, int day, int hour, int minute, int second, int offsetMinutes = 120)
{
    g_logNow = LogTime{};
    g_logNow.local.wYear = static_cast<WORD>(year);
    g_logNow.local.wMonth = static_cast<WORD>(month);
    g_logNow.local.wDay = static_cast<WORD>(day);
    g_logNow.local.wHour = static_cast<WORD>(hour);
    g_logNow.local.wMinute = static_cast<WORD>(minute);
    g_logNow.local.wSecond = static_cast<WORD>(second);
    g_logNow.offsetMinutes = offsetMinutes;
    FILETIME local{};
    SystemTimeToFileTime(&g_logNow.local, &local);
    const int64_t ticks =
        static_cast<int64_t>((static_cast<uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime);
    g_logSecond = ticks / 10000000 - offsetMinutes * 60LL;
    SetLogClock(&LogNow, offsetMinutes);
}

inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The whole file, read while others may write it; "<missing>" when it cannot be opened.
inline std::string ReadText(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[4096];
    DWORD n = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n) bytes.append(buffer, n);
    CloseHandle(file);
    return bytes;
}

// The names of the folder's files, sorted.
inline std::vector<std::wstring> FilesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

inline void RemoveLogFolder(const std::wstring& folder)
{
    for (const std::wstring& name : FilesIn(folder)) DeleteFileW((folder + L"\\" + name).c_str());
    RemoveDirectoryW(folder.c_str());
    DeleteFileW(folder.c_str());
}
