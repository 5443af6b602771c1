#include "log/CLogWriter.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <utility>

#include "log/LogFolder.h"

namespace {
std::atomic<CLogWriter::WriteHook> g_writeHook{nullptr};
constexpr size_t kMostWaiting = 60;  // seconds of rows
constexpr int kMostSuffixes = 9;     // files a day, when others hold them
// How often the thread looks for rows: they reach the disk this much after
// they were made, at most, and so well within a second of their time.
constexpr DWORD kLookMs = 500;
std::atomic<DWORD> g_lookMs{kLookMs};
constexpr wchar_t kPaused[] = L"Q-Surge: logging paused";

bool WriteToFile(HANDLE file, const std::string& text, DWORD& written)
{
    const CLogWriter::WriteHook hook = g_writeHook.load();
    const DWORD size = static_cast<DWORD>(text.size());
    return (hook ? hook(file, text.data(), size, &written) : ::WriteFile(file, text.data(), size, &written, nullptr)) &&
           written == size;
}

// Holds a slim lock exclusively for its scope.
class Locked {
public:
    explicit Locked(SRWLOCK& lock) : m_lock(lock) { ::AcquireSRWLockExclusive(&m_lock); }
    ~Locked() { ::ReleaseSRWLockExclusive(&m_lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    SRWLOCK& m_lock;
};

bool SetFileEnd(HANDLE file, uint64_t size)
{
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
}

bool ReadAt(HANDLE file, uint64_t offset, char* buffer, DWORD size)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    return ::ReadFile(file, buffer, size, &read, &at) && read == size;
}

// Where the file's last complete row ends. A power cut or a hard end can
// leave a row cut short, or zeros where the disk had not yet written it; the
// next row must not follow it on the same line. What is left of a cut
// header goes too, so that the file gets a whole one. The size as it is when
// the file cannot be read.
uint64_t CompleteRowsEnd(HANDLE file, uint64_t size)
{
    char chunk[4096];
    uint64_t end = size;
    for (bool found = false; end > 0 && !found;) {
        const DWORD count = static_cast<DWORD>(std::min<uint64_t>(sizeof chunk, end));
        if (!ReadAt(file, end - count, chunk, count)) return size;
        DWORD kept = count;
        while (kept > 0 && chunk[kept - 1] != '\n') --kept;
        found = kept > 0;
        end -= count - kept;
    }
    const size_t headerSize = std::strlen(kLogHeader);
    if (end > 0 && end < headerSize) {
        if (!ReadAt(file, 0, chunk, static_cast<DWORD>(end))) return size;
        if (std::memcmp(chunk, kLogHeader, static_cast<size_t>(end)) == 0) end = 0;
    }
    return end;
}

// Whether the file still stands at that path: false once it was renamed or
// deleted while written (a delete waiting for the last handle included).
bool StillAt(HANDLE file, const std::wstring& path)
{
    FILE_STANDARD_INFO standard{};
    if (::GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) && standard.DeletePending)
        return false;
    HANDLE named = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
    if (named == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    }
    BY_HANDLE_FILE_INFORMATION ours{}, there{};
    const bool known = ::GetFileInformationByHandle(file, &ours) && ::GetFileInformationByHandle(named, &there);
    ::CloseHandle(named);
    // When either cannot be asked, the file is taken to be where it was.
    return !known || (ours.dwVolumeSerialNumber == there.dwVolumeSerialNumber &&
                      ours.nFileIndexHigh == there.nFileIndexHigh && ours.nFileIndexLow == there.nFileIndexLow);
}
}  // namespace

void CLogWriter::SetWriteHook(WriteHook hook) { g_writeHook = hook; }

void CLogWriter::SetLookPeriod(DWORD ms) { g_lookMs = ms ? ms : kLookMs; }

CLogWriter::CLogWriter(std::wstring folder) : m_folder(std::move(folder))
{
    m_thread = ::CreateThread(nullptr, 0, &CLogWriter::ThreadMain, this, 0, nullptr);
}

CLogWriter::~CLogWriter()
{
    if (m_thread) {
        {
            Locked locked(m_lock);
            m_stop = true;
        }
        ::WakeConditionVariable(&m_wake);
        ::WaitForSingleObject(m_thread, INFINITE);
        ::CloseHandle(m_thread);
    }
    Close();
}

void CLogWriter::Push(int64_t utcSecond, std::string rows)
{
    {
        Locked locked(m_lock);
        if (m_queue.size() >= kMostWaiting) return;
        m_queue.push_back({utcSecond, std::move(rows)});
    }
    // Not woken: the thread looks by itself (see Run), so the window never
    // waits for the system to wake it, nor gives way to it.
}

void CLogWriter::WaitIdle()
{
    ::WakeConditionVariable(&m_wake);
    Locked locked(m_lock);
    while (!m_queue.empty() || m_busy) ::SleepConditionVariableSRW(&m_idle, &m_lock, INFINITE, 0);
}

bool CLogWriter::TakeNotice(LogNotice& notice)
{
    if (!m_hasNotice.load()) return false;
    Locked locked(m_lock);
    notice = std::move(m_notice);
    m_hasNotice = false;
    return true;
}

void CLogWriter::Tell(LogNotice notice)
{
    Locked locked(m_lock);
    m_notice = std::move(notice);
    m_hasNotice = true;
}

DWORD WINAPI CLogWriter::ThreadMain(void* writer)
{
    static_cast<CLogWriter*>(writer)->Run();
    return 0;
}

void CLogWriter::Run()
{
    // Woken while the window works, the thread gives way to it (on Windows;
    // Wine keeps one priority for all). Its disk priority stays as it is, so
    // that the rows are not held back by others' reads.
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    Locked locked(m_lock);
    for (;;) {
        while (!m_stop && m_queue.empty()) ::SleepConditionVariableSRW(&m_wake, &m_lock, g_lookMs.load(), 0);
        if (m_queue.empty()) return;  // stopping, with everything written
        const Batch batch = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        ::ReleaseSRWLockExclusive(&m_lock);
        Write(batch);
        ::AcquireSRWLockExclusive(&m_lock);
        m_busy = false;
        ::WakeAllConditionVariable(&m_idle);
    }
}

// The zone's rules are looked up here, off the window's thread.
void CLogWriter::Write(const Batch& batch)
{
    const LogTime time = LocalTimeOf(batch.utcSecond);
    Append(DateOf(time), StampLogRows(batch.rows, time));
}

void CLogWriter::Append(const LogDate& date, const std::string& stamped)
{
    // Renamed or deleted by the user while written: the rows go on in a new
    // file of the day's name.
    if (m_file == INVALID_HANDLE_VALUE || date != m_date || !StillAt(m_file, m_folder + L"\\" + m_fileName)) {
        if (!Open(date)) return;
    }
    // A new file starts with the header, in the same write as its first rows.
    const std::string text = m_fileBytes == 0 ? kLogHeader + stamped : std::string();
    const std::string& rows = m_fileBytes == 0 ? text : stamped;
    if (m_logBytes + rows.size() > kLogFolderLimit) {
        m_logBytes = PruneLogFolder(m_folder, date, m_fileName, kLogFolderLimit - rows.size());
        if (m_logBytes + rows.size() > kLogFolderLimit) {
            Fail(Failure::FolderFull, 0);
            return;
        }
    }
    DWORD written = 0;
    if (!SetFileEnd(m_file, m_fileBytes) || !WriteToFile(m_file, rows, written)) {
        const DWORD error = ::GetLastError();
        // Whatever part of the rows reached the file goes: never half a row.
        SetFileEnd(m_file, m_fileBytes);
        const bool full = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
        // A full disk keeps the file; anything else opens it afresh next time.
        if (!full) Close();
        Fail(full ? Failure::DiskFull : Failure::Write, error);
        return;
    }
    m_fileBytes += rows.size();
    m_logBytes += rows.size();
    // The rows on the disk now: a power cut loses at most this second.
    ::FlushFileBuffers(m_file);
    m_failure = Failure::None;
}

bool CLogWriter::Open(const LogDate& date)
{
    Close();
    if (const DWORD error = CreateLogFolder(m_folder)) {
        Fail(Failure::Folder, error);
        return false;
    }
    for (int suffix = 1; suffix <= kMostSuffixes; ++suffix) {
        const std::wstring name = LogFileName(date, suffix);
        // Others may read, rename or delete the file while it is written, but
        // not write it.
        HANDLE file = ::CreateFileW((m_folder + L"\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) continue;
            Fail(Failure::Folder, error);
            return false;
        }
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(file, &size)) {
            ::CloseHandle(file);
            Fail(Failure::Write, ::GetLastError());
            return false;
        }
        m_file = file;
        m_fileName = name;
        m_date = date;
        m_fileBytes = CompleteRowsEnd(file, static_cast<uint64_t>(size.QuadPart));
        if (m_fileBytes != static_cast<uint64_t>(size.QuadPart)) SetFileEnd(file, m_fileBytes);
        m_logBytes = PruneLogFolder(m_folder, date, name, kLogFolderLimit);
        if (suffix > 1 && date != m_toldLocked) {
            m_toldLocked = date;
            Tell({L"Q-Surge: log file in use",
                  LogFileName(date, 1) + L" is open in another program; the readings go on in " + name + L"."});
        }
        return true;
    }
    Fail(Failure::Locked, ERROR_SHARING_VIOLATION);
    return false;
}

void CLogWriter::Close()
{
    if (m_file == INVALID_HANDLE_VALUE) return;
    ::CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
}

void CLogWriter::Fail(Failure failure, DWORD error)
{
    if (m_failure != Failure::None) return;
    m_failure = failure;
    wchar_t text[256];
    switch (failure) {
    case Failure::Folder:
        std::swprintf(text, std::size(text),
                      L"The log folder cannot be written (error %lu). Logging resumes by itself when it can.", error);
        break;
    case Failure::DiskFull:
        std::swprintf(text, std::size(text), L"The disk is full. Logging resumes by itself once there is room.");
        break;
    case Failure::Write:
        std::swprintf(text, std::size(text),
                      L"The log file cannot be written (error %lu). Logging resumes by itself when it can.", error);
        break;
    case Failure::FolderFull:
        std::swprintf(text, std::size(text),
                      L"Today's log fills the log folder's 100 MB. Logging resumes with tomorrow's file.");
        break;
    case Failure::Locked:
        std::swprintf(text, std::size(text),
                      L"Today's log files are open in another program. Logging resumes by itself once one is closed.");
        break;
    case Failure::None:
        return;
    }
    Tell({kPaused, text});
}
