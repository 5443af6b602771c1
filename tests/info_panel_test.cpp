// The information panel over the simulated driver: its six lines as the
// driver's answers and failures make them, read back with WM_GETTEXT.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "panels/CDlgInfo.h"
#include "res/resource.h"
#include "sim_driver.h"

namespace {

// The lines from top to bottom: name, cores, memory, bus width, driver, BIOS.
using Lines = std::array<std::string, 6>;

struct Card {
    unsigned driverVersion = 30142;
    unsigned memoryKb = 2048 * 1024;
    unsigned memoryType = 8;
    unsigned int fault = 0;  // an interface that fails
};

std::string ScenarioOf(const Card& card)
{
    return "[Simulator]\nGpuCount=2\nDriverVersion=" + std::to_string(card.driverVersion) +
           "\n[Gpu]\nName=NVIDIA GeForce GTX 680\nVbios=80.04.1e.00.ab\nCores=1536\nBusWidth=256\nMemoryKB=" +
           std::to_string(card.memoryKb) + "\nMemoryType=" + std::to_string(card.memoryType) +
           "\n[Gpu1]\nName=NVIDIA GeForce GT 640\nCores=384\nBusWidth=128\n";
}

class InfoPanelTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(SimDriver::Get().load, nullptr) << "simulated driver missing"; }

    Lines Open(const Card& card, int selectedGpu = 0)
    {
        EXPECT_TRUE(SimDriver::UseScenario(ScenarioOf(card)));
        if (card.fault) SimDriver::Get().setFault(card.fault, -1);
        m_gpu = std::make_unique<CGpuControl>();
        EXPECT_EQ(m_gpu->Initialize(), 0);
        m_gpu->m_gpuIndex = selectedGpu;
        m_panel = std::make_unique<CDlgInfo>();
        m_panel->SetGpuControl(m_gpu.get());
        EXPECT_TRUE(m_panel->Create(IDD_INFO));
        return Read();
    }
    Lines Read() const
    {
        Lines lines;
        for (int i = 0; i < 6; ++i) {
            char text[128] = {};
            ::SendMessageA(m_panel->GetDlgItem(IDC_INFO_NAME + i), WM_GETTEXT, sizeof text,
                           reinterpret_cast<LPARAM>(text));
            lines[i] = text;
        }
        return lines;
    }

    std::unique_ptr<CGpuControl> m_gpu;
    std::unique_ptr<CDlgInfo> m_panel;
};

const Lines kFull = {"NVIDIA GeForce GTX 680", "1536", "2048 MB   GDDR5", "256 Bit", "ForceWare 301.42",
                     "80.04.1E.00.AB"};

Lines With(size_t line, const std::string& text)
{
    Lines lines = kFull;
    lines[line] = text;
    return lines;
}

}  // namespace

TEST_F(InfoPanelTest, LinesAreFormattedFromTheDriversAnswers)
{
    struct Case {
        const char* what;
        Card card;
        Lines lines;
    };
    const Case cases[] = {
        {"a full answer", {}, kFull},
        {"a one-digit driver version", {7}, With(4, "ForceWare .7")},
        {"a two-digit driver version", {42}, With(4, "ForceWare .42")},
        {"driver version 0", {0}, With(4, "")},
        {"an unknown memory type code", {30142, 2048 * 1024, 9}, With(2, "2048 MB   ")},
        {"no memory", {30142, 0, 8}, With(2, "")},
        {"less than a megabyte", {30142, 1023, 8}, With(2, "")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Open(c.card), c.lines);
    }
}

TEST_F(InfoPanelTest, AFailedQueryLeavesItsLineEmptyButTheMemoryTypeReadsUnknown)
{
    struct Case {
        unsigned int fault;
        Lines lines;
    };
    const Case cases[] = {
        {NvId::GetFullName, With(0, "")},
        {NvId::GetCoreCount, With(1, "")},
        {NvId::GetFrameBufferSize, With(2, "")},
        {NvId::GetMemoryType, With(2, "2048 MB   UNKNOWN")},
        {NvId::GetMemoryBusWidth, With(3, "")},
        {NvId::GetDisplayDriverVersion, With(4, "")},
        {NvId::GetVbiosVersionString, With(5, "")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        Card card;
        card.fault = c.fault;
        EXPECT_EQ(Open(card), c.lines);
    }
}

TEST_F(InfoPanelTest, LinesAreReadOnceForTheGpuSelectedAtTheFirstOpening)
{
    const Lines second = Open(Card{}, 1);
    EXPECT_EQ(second[0], "NVIDIA GeForce GT 640");
    EXPECT_EQ(second[1], "384");

    EXPECT_EQ(Open(Card{}), kFull);
    m_gpu->m_gpuIndex = 1;
    m_panel->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
    EXPECT_FALSE(m_panel->IsWindowVisible());
    m_panel->ShowWindow(SW_SHOW);
    EXPECT_EQ(Read(), kFull);
}

TEST_F(InfoPanelTest, ALineTheDriverCouldNotTellIsReadAgainWhenThePanelIsShownForTheSameCard)
{
    struct Case {
        unsigned int fault;
        size_t line;
    };
    const Case cases[] = {
        {NvId::GetFullName, 0},         {NvId::GetCoreCount, 1},      {NvId::GetFrameBufferSize, 2},
        {NvId::GetMemoryType, 2},       {NvId::GetMemoryBusWidth, 3}, {NvId::GetDisplayDriverVersion, 4},
        {NvId::GetVbiosVersionString, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        Card card;
        card.fault = c.fault;
        ASSERT_NE(Open(card)[c.line], kFull[c.line]);
        // Still failing: shown again, the line is as it was.
        m_panel->ShowWindow(SW_SHOW);
        EXPECT_NE(Read()[c.line], kFull[c.line]);

        // The driver answers again, and another card is selected meanwhile:
        // the lines keep telling of the card they began with.
        SimDriver::Get().setFault(c.fault, 0);
        m_gpu->m_gpuIndex = 1;
        SimDriver::Get().clearLog();
        m_panel->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
        m_panel->ShowWindow(SW_SHOW);
        EXPECT_EQ(Read(), kFull);
        const std::vector<NvSimCall> calls = SimDriver::Calls();
        EXPECT_TRUE(std::all_of(calls.begin(), calls.end(), [](const NvSimCall& call) { return call.gpu != 1; }));
        EXPECT_LE(calls.size(), 2u) << "only what was missing is read";

        // Once read, nothing is read again.
        SimDriver::Get().clearLog();
        m_panel->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_MINIMIZE, BN_CLICKED), 0);
        m_panel->ShowWindow(SW_RESTORE);
        EXPECT_EQ(SimDriver::Get().callCount(), 0);
    }
}
