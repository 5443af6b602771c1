// CGpuControl: each card's fans over the interface it answers (the client
// interface of cards with several fans, the older cooler interface, or none),
// read and written through the simulated driver.
#include <algorithm>

#include "gpu_sim_fixture.h"

namespace {

// An older card, a card with two client fans that keep 30 % while manual, and
// a laptop's card whose fans the system controls.
const char kThreeKinds[] =
    "[Simulator]\nGpuCount=3\n[Gpu]\nLoad=0\nCoolerMin=30\nCoolerMax=100\nFanRpmPerPercent=20\n"
    "[Gpu1]\nFanInterface=client\nCoolers=2\n"
    "[Gpu2]\nFanInterface=none\n";

std::vector<uint32_t> FanWriteIds() { return {NvId::SetCoolerLevels, NvId::ClientFanCoolersSetControl}; }

// The fan writes of the log: interface and values.
std::vector<std::pair<uint32_t, std::vector<int>>> FanWrites(const std::vector<NvSimCall>& calls)
{
    std::vector<std::pair<uint32_t, std::vector<int>>> writes;
    for (const NvSimCall& call : calls) {
        const std::vector<uint32_t> ids = FanWriteIds();
        if (std::find(ids.begin(), ids.end(), call.interfaceId) != ids.end())
            writes.push_back({call.interfaceId, std::vector<int>(call.values, call.values + call.count)});
    }
    return writes;
}

TEST_F(SimDriverTest, EachCardAnswersItsOwnFanInterfaceAndReadsAllItsFans)
{
    LoadScenario(kThreeKinds);
    ASSERT_EQ(s_sim.setFanLevel(1, 0, 55), 1);
    ASSERT_EQ(s_sim.setFanLevel(1, 1, 57), 1);
    ASSERT_EQ(s_sim.setFanLevel(0, 0, 41), 1);
    struct Case {
        int gpu;
        FanInterface api;
        int fans;
        std::string list;
    } cases[] = {
        {0, FanInterface::Cooler, 1, "41%"},
        {1, FanInterface::Client, 2, "55%/1100rpm 57%/1140rpm"},
        {2, FanInterface::None, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gpu);
        EXPECT_EQ(m_gpu.FansOf(c.gpu), c.api);
        EXPECT_EQ(m_gpu.HasFanControl(c.gpu), c.api != FanInterface::None);
        GpuReading reading;
        EXPECT_EQ(m_gpu.ReadFans(reading, c.gpu), c.fans > 0 ? 1 : 0);
        EXPECT_EQ(reading.fanCount, c.fans);
        EXPECT_EQ(FanListText(reading), c.list);
        EXPECT_EQ(reading.fanLevel.has_value(), c.fans > 0) << "a card without fans reads no level, never 0";
    }
}

// One write for every fan, each within its own limits, and the hand-back in one write too.
TEST_F(SimDriverTest, AClientCardsFansAreWrittenTogetherAndNeverThroughTheOlderInterface)
{
    LoadScenario(kThreeKinds);
    GpuReading reading;
    ASSERT_EQ(m_gpu.ReadFans(reading, 1), 1);
    s_sim.clearLog();
    ASSERT_EQ(m_gpu.SetFansManual(20, 1), 1);
    ASSERT_EQ(m_gpu.SetFansManual(75, 1), 1);
    ASSERT_EQ(m_gpu.SetFansManual(140, 1), 1);
    ASSERT_EQ(m_gpu.ReadFans(reading, 1), 1);
    EXPECT_EQ(FanListText(reading), "100%/2000rpm 100%/2000rpm");
    ASSERT_EQ(m_gpu.SetFansAuto(1), 1);
    // Count, then id, level and mode (1 manual, 0 the driver's) of each fan.
    using Writes = std::vector<std::pair<uint32_t, std::vector<int>>>;
    constexpr uint32_t kSet = NvId::ClientFanCoolersSetControl;
    EXPECT_EQ(FanWrites(Calls()), (Writes{{kSet, {2, 1, 30, 1, 2, 30, 1}},
                                          {kSet, {2, 1, 75, 1, 2, 75, 1}},
                                          {kSet, {2, 1, 100, 1, 2, 100, 1}},
                                          {kSet, {2, 1, 100, 0, 2, 100, 0}}}));
    for (const NvSimCall& call : Calls()) EXPECT_EQ(call.status, 0) << std::hex << call.interfaceId;

    // An older card keeps its one driven fan, cooler 0, within its limits.
    s_sim.clearLog();
    ASSERT_EQ(m_gpu.SetFansManual(10, 0), 1);
    ASSERT_EQ(m_gpu.SetFansAuto(0), 1);
    EXPECT_EQ(FanWrites(Calls()), (Writes{{NvId::SetCoolerLevels, {0, 30, 1}}, {NvId::SetCoolerLevels, {0, 30, 32}}}));
}

TEST_F(SimDriverTest, ACardWithoutFanControlIsNeverWrittenTo)
{
    LoadScenario(kThreeKinds);
    EXPECT_EQ(m_gpu.SetFansManual(60, 2), 0);
    EXPECT_EQ(m_gpu.SetFansAuto(2), 0);
    EXPECT_TRUE(FanWrites(Calls()).empty());
}

// A driver that is reset may come back answering another interface (an
// update); the interface is found again with its handles.
TEST_F(SimDriverTest, TheFanInterfaceIsFoundAgainAfterADriverReset)
{
    LoadScenario(kThreeKinds);
    s_sim.resetDriver(0);
    GpuReading reading;
    EXPECT_EQ(m_gpu.ReadFans(reading, 1), 0) << "the first call meets the reset";
    s_sim.setFault(NvId::ClientFanCoolersGetStatus, kNvNotSupported);
    EXPECT_EQ(m_gpu.ReadFans(reading, 1), 0) << "back, but the client interface now refuses its status";
    EXPECT_EQ(m_gpu.FansOf(1), FanInterface::None);
    EXPECT_EQ(m_gpu.FansOf(0), FanInterface::Cooler);
}

}  // namespace
