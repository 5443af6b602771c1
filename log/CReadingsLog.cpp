#include "log/CReadingsLog.h"

#include <objbase.h>
#include <shellapi.h>

#include <utility>

#include "log/LogFolder.h"

namespace {
CReadingsLog::OpenFolderHook g_openFolder = nullptr;
// Enough for any second's writes; a runaway writer is cut short.
constexpr size_t kMostWrittenText = 200;

std::string Signed(int32_t kHz) { return (kHz < 0 ? "" : "+") + Thousandths(kHz); }
}  // namespace

void CReadingsLog::SetOpenFolderHook(OpenFolderHook hook) { g_openFolder = hook; }

CReadingsLog::CReadingsLog(std::wstring folder) : m_folder(folder.empty() ? DefaultLogFolder() : std::move(folder)) {}

CReadingsLog::~CReadingsLog() = default;

void CReadingsLog::SetEnabled(bool on)
{
    if (on == Enabled()) return;
    m_hasSecond = false;
    ClearWritten();
    if (!on) {
        m_writer.reset();
        return;
    }
    m_writer = std::make_unique<CLogWriter>(m_folder);
    // No thread to write with: the switch stays off.
    if (!m_writer->Started()) m_writer.reset();
}

bool CReadingsLog::OpenFolder() const
{
    if (CreateLogFolder(m_folder) != ERROR_SUCCESS) return false;
    if (g_openFolder) return g_openFolder(m_folder);
    // The shell may hand the folder to its extensions, which want COM.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const bool opened = reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", m_folder.c_str(), nullptr,
                                                                  nullptr, SW_SHOWNORMAL)) > 32;
    if (SUCCEEDED(com)) ::CoUninitialize();
    return opened;
}

bool CReadingsLog::Due()
{
    if (!m_writer) return false;
    const int64_t now = LogSecondNow();
    if (m_hasSecond && now == m_second) return false;
    m_second = now;
    m_hasSecond = true;
    return true;
}

void CReadingsLog::Record(const GpuLogReading* readings, int count)
{
    if (!m_writer || !m_hasSecond) return;
    std::string rows;
    rows.reserve(static_cast<size_t>(count) * 64);
    for (int i = 0; i < count; ++i) {
        const int gpu = readings[i].gpuIndex;
        AppendLogRow(rows, readings[i], gpu >= 0 && gpu < kMostGpus ? m_written[gpu] : std::string());
    }
    ClearWritten();
    if (!rows.empty()) m_writer->Push(m_second, std::move(rows));
}

bool CReadingsLog::TakeNotice(LogNotice& notice) { return m_writer && m_writer->TakeNotice(notice); }

void CReadingsLog::WaitWritten()
{
    if (m_writer) m_writer->WaitIdle();
}

void CReadingsLog::ClearWritten()
{
    for (std::string& written : m_written) written.clear();
}

void CReadingsLog::Note(int gpuIndex, const std::string& what)
{
    if (!m_writer || gpuIndex < 0 || gpuIndex >= kMostGpus) return;
    std::string& written = m_written[gpuIndex];
    if (written.size() >= kMostWrittenText) return;
    if (!written.empty()) written += "; ";
    written += what;
}

void CReadingsLog::FanLevelWritten(int gpuIndex, uint32_t level, bool manual)
{
    Note(gpuIndex, manual ? "fan " + std::to_string(level) + "%" : "fan auto");
}

void CReadingsLog::ClockOffsetsWritten(int gpuIndex, int32_t gfxOffset, int32_t memOffset)
{
    Note(gpuIndex, "engine " + Signed(gfxOffset) + " MHz memory " + Signed(memOffset) + " MHz");
}

void CReadingsLog::PowerTargetWritten(int gpuIndex, uint32_t powerTarget)
{
    Note(gpuIndex, "power " + Thousandths(powerTarget) + "%");
}

void CReadingsLog::FrameRateTargetWritten(uint32_t value)
{
    const std::string what = value ? "frame rate " + std::to_string(value) : std::string("frame rate off");
    for (int gpu = 0; gpu < kMostGpus; ++gpu) Note(gpu, what);
}
