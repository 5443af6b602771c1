#pragma once
// CLogWriter: appends the rows of each second to the day's file on a thread of
// its own, so that a slow disk never holds up the window. Each second's rows
// go in one write and reach the disk before the next second's; a write that
// fails leaves no part of them behind. When the file cannot be written (the
// disk full, the folder unwritable, the file held by another program) that
// second's rows are dropped, the user is told once, and every later second
// tries again, so logging resumes by itself.
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "log/LogRecord.h"

// What the user is told, once, when logging pauses or moves to another file.
struct LogNotice {
    std::wstring title, text;
};

class CLogWriter {
public:
    // Starts the thread; throws std::system_error when it cannot.
    explicit CLogWriter(std::wstring folder);
    // Writes what is queued, then stops.
    ~CLogWriter();
    CLogWriter(const CLogWriter&) = delete;
    CLogWriter& operator=(const CLogWriter&) = delete;

    // One second's rows, for the day's file. Dropped when a minute's rows are
    // already waiting (the disk does not answer).
    void Push(const LogDate& date, std::string rows);
    // Waits until every row pushed so far has been handled.
    void WaitIdle();
    // The notice not yet shown, if any.
    bool TakeNotice(LogNotice& notice);

    // Every write to a log file goes through here; tests fail it (null: WriteFile).
    using WriteHook = BOOL (*)(HANDLE file, const void* data, DWORD size, DWORD* written);
    static void SetWriteHook(WriteHook hook);

private:
    struct Batch {
        LogDate date;
        std::string rows;
    };
    enum class Failure { None, Folder, DiskFull, Write, FolderFull, Locked };

    void Run();
    void Write(const Batch& batch);
    bool Open(const LogDate& date);
    void Close();
    // A failure told once until a write succeeds again.
    void Fail(Failure failure, DWORD error);
    void Tell(LogNotice notice);

    const std::wstring m_folder;
    // The writer thread's own.
    HANDLE m_file = INVALID_HANDLE_VALUE;
    std::wstring m_fileName;
    LogDate m_date{};
    uint64_t m_fileBytes = 0;
    uint64_t m_folderBytes = 0;
    Failure m_failure = Failure::None;
    LogDate m_toldLocked{};  // the day whose held file the user was told of

    std::mutex m_mutex;
    std::condition_variable m_wake, m_idle;
    std::deque<Batch> m_queue;
    bool m_busy = false, m_stop = false;
    LogNotice m_notice;
    bool m_hasNotice = false;
    std::thread m_thread;  // last: it starts once the rest is there
};
