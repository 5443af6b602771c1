#include "log/CLogWriter.h"

#include <cwchar>
#include <utility>

#include "log/LogFolder.h"

namespace {
std::atomic<CLogWriter::WriteHook> g_writeHook{nullptr};
constexpr size_t kMostWaiting = 60;  // seconds of rows
constexpr int kMostSuffixes = 9;     // files a day, when others hold them
constexpr wchar_t kPaused[] = L"Q-Surge: logging paused";

bool WriteToFile(HANDLE file, const std::string& text, DWORD& written)
{
    const CLogWriter::WriteHook hook = g_writeHook.load();
    const DWORD size = static_cast<DWORD>(text.size());
    return (hook ? hook(file, text.data(), size, &written) : ::WriteFile(file, text.data(), size, &written, nullptr)) &&
           written == size;
}

bool SetFileEnd(HANDLE file, uint64_t size)
{
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
}
}  // namespace

void CLogWriter::SetWriteHook(WriteHook hook) { g_writeHook = hook; }

CLogWriter::CLogWriter(std::wstring folder) : m_folder(std::move(folder)), m_thread(&CLogWriter::Run, this) {}

CLogWriter::~CLogWriter()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
    Close();
}

void CLogWriter::Push(const LogDate& date, std::string rows)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_queue.size() >= kMostWaiting) return;
        m_queue.push_back({date, std::move(rows)});
    }
    m_wake.notify_one();
}

void CLogWriter::WaitIdle()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_queue.empty() && !m_busy; });
}

bool CLogWriter::TakeNotice(LogNotice& notice)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_hasNotice) return false;
    notice = std::move(m_notice);
    m_hasNotice = false;
    return true;
}

void CLogWriter::Tell(LogNotice notice)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_notice = std::move(notice);
    m_hasNotice = true;
}

void CLogWriter::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty()) return;  // stopping, with everything written
        const Batch batch = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        Write(batch);
        lock.lock();
        m_busy = false;
        m_idle.notify_all();
    }
}

void CLogWriter::Write(const Batch& batch)
{
    if (m_file == INVALID_HANDLE_VALUE || batch.date != m_date) {
        if (!Open(batch.date)) return;
    }
    // A new file starts with the header, in the same write as its first rows.
    const std::string text = m_fileBytes == 0 ? kLogHeader + batch.rows : std::string();
    const std::string& rows = m_fileBytes == 0 ? text : batch.rows;
    if (m_folderBytes + rows.size() > kLogFolderLimit) {
        m_folderBytes = PruneLogFolder(m_folder, batch.date, m_fileName, kLogFolderLimit - rows.size());
        if (m_folderBytes + rows.size() > kLogFolderLimit) {
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
    m_folderBytes += rows.size();
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
        // Others may read the file while it is written, but not write it.
        HANDLE file = ::CreateFileW((m_folder + L"\\" + name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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
        m_fileBytes = static_cast<uint64_t>(size.QuadPart);
        m_folderBytes = PruneLogFolder(m_folder, date, name, kLogFolderLimit);
        if (suffix > 1 && date != m_toldLocked) {
            m_toldLocked = date;
            Tell({L"Q-Surge: log file in use", LogFileName(date, 1) + L" is open in another program; the readings go on in " +
                                                   name + L"."});
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
