#pragma once
// Test helpers for the readings log: a clock the test sets, the files' text,
// the folder's files, and the folder removed (or a file standing where it
// should be).
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "log/LogRecord.h"
#include "test_files.h"

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

// A file of that many bytes, none of them written (sparse where the file
// system allows) but the last few, which hold `tail`.
inline bool MakeFile(const std::wstring& path, uint64_t size, const std::string& tail = "")
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size - tail.size());
    DWORD written = 0;
    const bool made = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file) &&
                      WriteFile(file, tail.data(), static_cast<DWORD>(tail.size()), &written, nullptr);
    CloseHandle(file);
    return made;
}


// A CSV text's rows as a reader splits them: at any of `separators` outside
// double quotes (two quotes inside stand for one), lines ending in CR LF.
inline std::vector<std::vector<std::string>> SplitCsv(const std::string& text, const std::string& separators)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row(1);
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"') row.back() += c;
            else if (i + 1 < text.size() && text[i + 1] == '"') row.back() += text[++i];
            else quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (separators.find(c) != std::string::npos) {
            row.emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            rows.push_back(row);
            row.assign(1, std::string());
            ++i;
        } else {
            row.back() += c;
        }
    }
    if (row.size() > 1 || !row[0].empty()) rows.push_back(row);
    return rows;
}

// What a spreadsheet shows of a double-clicked CSV file: a first line
// "sep=X" names the separator and is not shown; without it the file is split
// at the list separator of the user's locale.
inline std::vector<std::vector<std::string>> OpenInSpreadsheet(const std::string& text, char listSeparator)
{
    if (text.rfind("sep=", 0) == 0 && text.size() > 6 && text.compare(5, 2, "\r\n") == 0)
        return SplitCsv(text.substr(7), std::string(1, text[4]));
    return SplitCsv(text, std::string(1, listSeparator));
}

inline void RemoveLogFolder(const std::wstring& folder)
{
    for (const std::wstring& name : FilesIn(folder)) DeleteFileW((folder + L"\\" + name).c_str());
    RemoveDirectoryW(folder.c_str());
    DeleteFileW(folder.c_str());
}
