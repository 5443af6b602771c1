#pragma once
// CLogWriter: appends the rows of each second to the day's file on a thread of
// its own, so that a slow disk never holds up the window. The thread looks
// for rows twice a second; each second's rows go in one write and are on the
// disk less than a second after their time; a write that fails leaves no part
// of them behind. When the file cannot be written (the disk full, the folder
// unwritable, the file held by another program) that second's rows are
// dropped, the user is told once, and every later second tries again, so
// logging resumes by itself. The file may be renamed or deleted while it is
// written; the rows then go on in a new one. A file opened to be continued is
// first cut back to its last complete row.
#include <windows.h>

#include <atomic>
#include <deque>
#include <string>

#include "log/LogRecord.h"

// What the user is told, once, when logging pauses or moves to another file.
struct LogNotice {
    std::wstring title, text;
};

class CLogWriter {
public:
    // Starts the thread; see Started.
    explicit CLogWriter(std::wstring folder);
    // Writes what is queued, then stops.
    ~CLogWriter();
    CLogWriter(const CLogWriter&) = delete;
    CLogWriter& operator=(const CLogWriter&) = delete;
    // False when the system gave no thread: nothing is written.
    bool Started() const { return m_thread != nullptr; }

    // One second's rows (see AppendLogRow), to be stamped with its local
    // time and written to that day's file. Dropped when a minute's rows are
    // already waiting (the disk does not answer).
    void Push(int64_t utcSecond, std::string rows);
    // Wakes the thread and waits until every row pushed so far has been handled.
    void WaitIdle();
    // The notice not yet shown, if any.
    bool TakeNotice(LogNotice& notice);

    // Every write to a log file goes through here; tests fail it (null: WriteFile).
    using WriteHook = BOOL (*)(HANDLE file, const void* data, DWORD size, DWORD* written);
    static void SetWriteHook(WriteHook hook);
    // How often the thread looks for rows, in milliseconds; the benchmark
    // shortens it to measure one look (0: twice a second).
    static void SetLookPeriod(DWORD ms);

private:
    struct Batch {
        int64_t utcSecond;
        std::string rows;
    };
    enum class Failure { None, Folder, DiskFull, Write, FolderFull, Locked };

    static DWORD WINAPI ThreadMain(void* writer);
    void Run();
    void Write(const Batch& batch);
    void Append(const LogDate& date, const std::string& stamped);
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
    uint64_t m_logBytes = 0;  // what our files in the folder hold
    Failure m_failure = Failure::None;
    LogDate m_toldLocked{};  // the day whose held file the user was told of

    // The queue and the notice, shared with the thread. Slim locks and
    // condition variables: waking the thread costs the window no call into
    // the system's kernel objects.
    SRWLOCK m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_wake = CONDITION_VARIABLE_INIT, m_idle = CONDITION_VARIABLE_INIT;
    std::deque<Batch> m_queue;
    bool m_busy = false, m_stop = false;
    LogNotice m_notice;
    std::atomic<bool> m_hasNotice{false};  // read without the lock at every logged second
    HANDLE m_thread = nullptr;             // last: it starts once the rest is there
};
