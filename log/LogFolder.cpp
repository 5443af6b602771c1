#include "log/LogFolder.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <vector>

namespace {
constexpr wchar_t kPrefix[] = L"Q-Surge-";

// Closes a search handle.
class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : m_handle(handle) {}
    ~FindHandle()
    {
        if (m_handle != INVALID_HANDLE_VALUE) ::FindClose(m_handle);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    explicit operator bool() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

bool ParseNumber(const wchar_t*& p, int digits, int& value)
{
    value = 0;
    for (int i = 0; i < digits; ++i, ++p) {
        if (*p < L'0' || *p > L'9') return false;
        value = value * 10 + (*p - L'0');
    }
    return true;
}

bool Expect(const wchar_t*& p, wchar_t c)
{
    if (*p != c) return false;
    ++p;
    return true;
}

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace

std::wstring DefaultLogFolder()
{
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path)))
        folder = std::wstring(path) + L"\\Q-Surge\\logs";
    ::CoTaskMemFree(path);
    return folder;
}

unsigned long CreateLogFolder(const std::wstring& folder)
{
    if (folder.empty()) return ERROR_PATH_NOT_FOUND;
    // Each folder on the way, from the top; those already there refuse quietly.
    for (size_t end = folder.find(L'\\', 3); end != std::wstring::npos; end = folder.find(L'\\', end + 1))
        ::CreateDirectoryW(folder.substr(0, end).c_str(), nullptr);
    if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        return ::GetLastError();
    return IsFolder(folder) ? ERROR_SUCCESS : ERROR_DIRECTORY;
}

std::wstring LogFileName(const LogDate& date, int suffix)
{
    wchar_t name[48];
    if (suffix > 1)
        std::swprintf(name, std::size(name), L"%ls%04d-%02d-%02d (%d).csv", kPrefix, date.year, date.month, date.day,
                      suffix);
    else
        std::swprintf(name, std::size(name), L"%ls%04d-%02d-%02d.csv", kPrefix, date.year, date.month, date.day);
    return name;
}

bool ParseLogFileName(const std::wstring& name, LogDate& date, int& suffix)
{
    if (name.compare(0, std::size(kPrefix) - 1, kPrefix) != 0) return false;
    const wchar_t* p = name.c_str() + std::size(kPrefix) - 1;
    if (!ParseNumber(p, 4, date.year) || !Expect(p, L'-') || !ParseNumber(p, 2, date.month) || !Expect(p, L'-') ||
        !ParseNumber(p, 2, date.day))
        return false;
    if (date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31) return false;
    suffix = 1;
    if (Expect(p, L' ')) {
        if (!Expect(p, L'(')) return false;
        suffix = 0;
        int digits = 0;
        for (; *p >= L'0' && *p <= L'9' && digits < 4; ++p, ++digits) suffix = suffix * 10 + (*p - L'0');
        if (digits == 0 || suffix < 2 || !Expect(p, L')')) return false;
    }
    return std::wcscmp(p, L".csv") == 0;
}

int64_t DayNumber(const LogDate& date)
{
    // Howard Hinnant's days_from_civil.
    const int64_t y = date.month <= 2 ? date.year - 1 : date.year;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (date.month + (date.month > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

uint64_t PruneLogFolder(const std::wstring& folder, const LogDate& today, const std::wstring& current, uint64_t limit)
{
    struct OurFile {
        int64_t day;
        int suffix;
        std::wstring name;
        uint64_t size;
    };
    std::vector<OurFile> ours;
    uint64_t total = 0;
    WIN32_FIND_DATAW found{};
    FindHandle search(::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                         nullptr, 0));
    if (!search) return 0;
    do {
        LogDate date{};
        int suffix = 0;
        // Others' files, a spreadsheet saved here say, neither count nor go.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !ParseLogFileName(found.cFileName, date, suffix))
            continue;
        const uint64_t size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        total += size;
        if (found.cFileName != current) ours.push_back({DayNumber(date), suffix, found.cFileName, size});
    } while (::FindNextFileW(search.Get(), &found));
    std::sort(ours.begin(), ours.end(), [](const OurFile& a, const OurFile& b) {
        return a.day != b.day ? a.day < b.day : a.suffix < b.suffix;
    });
    const int64_t todayNumber = DayNumber(today);
    for (const OurFile& file : ours) {
        const bool old = todayNumber - file.day > kLogKeepDays;
        // Oldest first: once one is young enough and the folder fits, so are the rest.
        if (!old && total <= limit) break;
        if (::DeleteFileW((folder + L"\\" + file.name).c_str())) total -= file.size;
    }
    return total;
}
