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
        line.SetLabelFontName("微软雅黑");
        line.SetLabelFontSize(15);
        line.SetLabelTextColour(kWhite);
    }
    LayOut();
    if (m_gpu) m_card = m_gpu->m_gpuIndex;
    FillLines();
    return TRUE;
}

void CDlgInfo::LayOut()
{
    CSkinPanel::LayOut();
    for (int i = 0; i < kLineCount; ++i) PlaceControl(m_lines[i], 128, 60 + kLinePitch * i, 233, 24);
}

void CDlgInfo::OnShown() { FillLines(); }

void CDlgInfo::FillLines()
{
    for (Line line : {kName, kDriver, kBios, kCores, kMemory, kBusWidth}) {
        if (m_read[line]) continue;
        std::string text;
        m_read[line] = ReadLine(line, text);
        m_lines[line].SetLabelText(text);
    }
}

bool CDlgInfo::ReadLine(Line line, std::string& text)
{
    if (!m_gpu) return false;
    switch (line) {
    case kName: {
        char name[kShortText] = {};
        if (!m_gpu->GetFullName(name, m_card)) return false;
        text = Text(name);
        return true;
    }
    case kDriver: {
        NvDriverVersion driver{};
        if (!m_gpu->GetDriverVersion(driver, 0)) return false;
        text = DriverText(driver.driverVersion);
        return true;
    }
    case kBios: {
        char bios[kShortText] = {};
        if (!m_gpu->GetBiosVersion(bios, m_card)) return false;
        text = UpperCase(Text(bios));
        return true;
    }
    case kCores: {
        uint32_t cores = 0;
        if (!m_gpu->GetCoreCount(cores, m_card)) return false;
        text = std::to_string(cores);
        return true;
    }
    case kMemory: {
        // A type the driver could not tell reads "UNKNOWN" until it can.
        uint32_t megabytes = 0;
        std::string type;
        const bool size = m_gpu->GetMemorySize(megabytes, m_card) != 0;
        const bool typeRead = m_gpu->GetMemoryType(type, m_card) != 0;
        text = MemoryText(size ? megabytes : 0, type);
        return size && typeRead;
    }
    default: {
        uint32_t width = 0, location = 0;
        if (!m_gpu->GetMemoryBusWidth(width, location, m_card)) return false;
        text = std::to_string(width) + " Bit";
        return true;
    }
    }
}
