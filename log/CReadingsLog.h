#pragma once
// CReadingsLog: while switched on, one row a second for every GPU in a CSV
// file a day (see LogFolder.h), with what the program wrote to each GPU in
// that second. The main window asks at each refresh whether a row is due and
// hands over the readings; stamping them with the local time and writing
// happen on CLogWriter's thread. The clock is LogRecord.h's. The GPU
// control object tells it of every setting the driver took.
#include <memory>
#include <string>

#include "gpu/GpuControl.h"
#include "log/CLogWriter.h"
#include "log/LogRecord.h"

class CReadingsLog : public GpuWriteObserver {
public:
    // folder: where the files go; empty: %LOCALAPPDATA%\Q-Surge\logs.
    explicit CReadingsLog(std::wstring folder = {});
    ~CReadingsLog();
    CReadingsLog(const CReadingsLog&) = delete;
    CReadingsLog& operator=(const CReadingsLog&) = delete;

    void SetEnabled(bool on);
    bool Enabled() const { return m_writer != nullptr; }
    const std::wstring& Folder() const { return m_folder; }
    // Creates the folder when missing and opens it in the shell.
    bool OpenFolder() const;

    // Each refresh: true when a new second has begun and its rows are due.
    bool Due();
    // The rows of the second Due found, each with what was written to its GPU
    // since the rows before.
    void Record(const GpuLogReading* readings, int count);
    // What the user is to be told, once.
    bool TakeNotice(LogNotice& notice);
    // Until every row recorded so far is handled.
    void WaitWritten();

    // How the folder is opened; tests record it (null: the shell).
    using OpenFolderHook = bool (*)(const std::wstring& folder);
    static void SetOpenFolderHook(OpenFolderHook hook);

    void FanLevelWritten(int gpuIndex, uint32_t level, bool manual) override;
    void ClockOffsetsWritten(int gpuIndex, int32_t gfxOffset, int32_t memOffset) override;
    void PowerTargetWritten(int gpuIndex, uint32_t powerTarget) override;
    void FrameRateTargetWritten(uint32_t value) override;

private:
    static constexpr int kMostGpus = static_cast<int>(kNvMaxPhysicalGpus);

    void Note(int gpuIndex, const std::string& what);
    void ClearWritten();

    std::wstring m_folder;
    std::unique_ptr<CLogWriter> m_writer;  // while on
    int64_t m_second = 0;  // UTC, of the rows last made
    bool m_hasSecond = false;
    // What was written to each GPU since the last rows.
    std::string m_written[kMostGpus];
};
