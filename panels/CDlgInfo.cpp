#include "panels/CDlgInfo.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "res/resource.h"

namespace {
const PanelFrame kPanelFrame{"Information", true, IDB_INFO_SKIN, 412, 364, {IDB_PANEL_MINIMIZE, 358, 5},
                        {IDB_PANEL_CLOSE, 382, 5}};
constexpr COLORREF kWhite = 0x00FFFFFF;
constexpr int kLinePitch = 42;
constexpr size_t kShortText = 64;

// The driver's text up to its end or the buffer's.
std::string Text(const char (&buffer)[kShortText]) { return std::string(buffer, strnlen(buffer, kShortText)); }

// Latin letters to upper case, stepping over the two bytes of a code page 936
// character, whose second byte may look like a letter.
std::string UpperCase(std::string text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x81 && c <= 0xFE)
            ++i;
        else if (c >= 'a' && c <= 'z')
            text[i] = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// "ForceWare 301.42" for 30142, "ForceWare .7" for 7; empty for 0.
std::string DriverText(uint32_t version)
{
    if (version == 0) return {};
    std::string digits = std::to_string(version);
    digits.insert(digits.size() < 2 ? 0 : digits.size() - 2, ".");
    return "ForceWare " + digits;
}

// "2048 MB", three spaces, the type; empty for 0 MB.
std::string MemoryText(uint32_t megabytes, const std::string& type)
{
    if (megabytes == 0) return {};
    return std::to_string(megabytes) + " MB" + "   " + type;
}
}  // namespace

CDlgInfo::CDlgInfo(CWnd* parent) : CSkinPanel(IDD_INFO, parent) {}

void CDlgInfo::DoDataExchange(CDataExchange* pDX)
{
    CSkinPanel::DoDataExchange(pDX);
    for (int i = 0; i < kLineCount; ++i) DDX_Control(pDX, IDC_INFO_NAME + i, m_lines[i]);
}

BOOL CDlgInfo::OnInitDialog()
{
    CSkinPanel::OnInitDialog();
    SetUpFrame(kPanelFrame);
    for (int i = 0; i < kLineCount; ++i) {
        CLabel& line = m_lines[i];
        line.MoveWindow(128, 60 + kLinePitch * i, 233, 24);
        line.SetLabelFontName("微软雅黑");
        line.SetLabelFontSize(15);
        line.SetLabelTextColour(kWhite);
    }
    FillLines();
    return TRUE;
}

// Each query for the selected GPU as it is now; a failed one leaves its line empty.
void CDlgInfo::FillLines()
{
    char name[kShortText] = {};
    m_lines[kName].SetLabelText(m_gpu && m_gpu->GetFullName(name, -1) ? Text(name) : "");

    NvDriverVersion driver{};
    const uint32_t version = m_gpu && m_gpu->GetDriverVersion(driver, 0) ? driver.driverVersion : 0;
    m_lines[kDriver].SetLabelText(DriverText(version));

    char bios[kShortText] = {};
    m_lines[kBios].SetLabelText(m_gpu && m_gpu->GetBiosVersion(bios, -1) ? UpperCase(Text(bios)) : "");

    uint32_t cores = 0;
    m_lines[kCores].SetLabelText(m_gpu && m_gpu->GetCoreCount(cores, -1) ? std::to_string(cores) : "");

    uint32_t megabytes = 0;
    std::string type;
    if (m_gpu) {
        if (!m_gpu->GetMemorySize(megabytes, -1)) megabytes = 0;
        m_gpu->GetMemoryType(type, -1);
    }
    m_lines[kMemory].SetLabelText(MemoryText(megabytes, type));

    uint32_t width = 0, location = 0;
    m_lines[kBusWidth].SetLabelText(
        m_gpu && m_gpu->GetMemoryBusWidth(width, location, -1) ? std::to_string(width) + " Bit" : "");
}
