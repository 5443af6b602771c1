// Every interface of the driver failing, with an error or by being missing,
// at start-up and while the program runs with every panel open: the program
// carries on, shows no message but the start-up ones, and writes to no GPU
// but the selected one.
#include <algorithm>
#include <string>
#include <vector>

#include "main_window_fixture.h"
#include "note_closer.h"

using namespace mwtest;

namespace {

// Two cards; the program works on the second one.
const char* const kTwoCards =
    "[Simulator]\nGpuCount=2\n"
    "[Gpu]\nDeviceId=0x2684\nExtDeviceId=0x2684\nCoolerMin=35\nCoolerMax=90\nTemperature=45\nLoad=0\nLoadAmplitude=0\n";

class DriverSweepTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        ASSERT_TRUE(SimDriver::UseScenario(kTwoCards));
    }
    // Settings go to the selected card only, also in the profile of a card
    // whose identity could not be read.
    void WriteProfiles()
    {
        for (const char* name : {"Quilo_ID2684.ini", "Quilo_ID0000.ini"}) {
            const std::string file = Profile(name);
            WritePrivateProfileStringA("System", "Initialized", "1", file.c_str());
            WritePrivateProfileStringA("System", "Synchronization", "0", file.c_str());
        }
    }
    void Press(TestableQuiloDlg& dlg, int id) { dlg.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    // What a user does with everything open: readings, samples, the fan on
    // the curve, a preset, a reset.
    void Work(TestableQuiloDlg& dlg)
    {
        for (int id : {IDC_TURBO, IDC_FANCURVE, IDC_SETTINGS, IDC_HWM}) Press(dlg, id);
        HWND monitor = ::FindWindowA(nullptr, "HWM");
        for (int temperature : {50, 70, 85}) {
            SimDriver::Get().setTemperature(1, temperature);
            dlg.Tick();
            if (monitor) ::SendMessageA(monitor, WM_TIMER, 10, 0);
        }
        Press(dlg, IDC_FAN_MODE);
        dlg.Tick();
        CloseNoteWhenShown();
        Press(dlg, IDC_APPLY);
        Press(dlg, IDC_RESET);
        Press(dlg, IDC_FAN_MODE);
    }
    // Writes that reached a GPU other than the selected one.
    static std::vector<std::string> StrayWrites()
    {
        std::vector<std::string> stray;
        for (const NvSimCall& call : SimDriver::Calls()) {
            const bool write = call.interfaceId == NvId::SetPstates20 || call.interfaceId == NvId::SetPowerPolicyStatus ||
                               call.interfaceId == NvId::SetCoolerLevels;
            if (write && call.gpu != 1 && call.gpu != -1) stray.push_back(std::to_string(call.interfaceId));
        }
        return stray;
    }
};

}  // namespace

TEST_F(DriverSweepTest, EveryInterfaceFailingAtStartOrWhileRunningIsSurvived)
{
    for (uint32_t id : NvId::kAll) {
        for (int fault : {-1, static_cast<int>(NVSIM_FAULT_MISSING)}) {
            for (bool atStart : {true, false}) {
                SCOPED_TRACE(testing::Message() << std::hex << id << std::dec << (fault == -1 ? " error" : " missing")
                                                << (atStart ? " at start" : " while running"));
                ASSERT_TRUE(SimDriver::UseScenario(kTwoCards));
                WriteProfiles();
                g_boxes.clear();
                if (atStart) SimDriver::Get().setFault(id, fault);
                TestableQuiloDlg& dlg = Open();
                // The settings panel's list selects the second card.
                Press(dlg, IDC_SETTINGS);
                HWND list = ::GetDlgItem(::FindWindowA(nullptr, "Setting"), IDC_GPU_LIST);
                if (list && ::SendMessageA(list, CB_SETCURSEL, 1, 0) == 1)
                    ::SendMessageA(::GetParent(list), WM_COMMAND, MAKEWPARAM(IDC_GPU_LIST, CBN_SELCHANGE),
                                   reinterpret_cast<LPARAM>(list));
                if (!atStart) SimDriver::Get().setFault(id, fault);
                Work(dlg);

                // Only the start-up messages, and only for a driver that does not start.
                const bool startFails = atStart && (id == NvId::Initialize || id == NvId::EnumPhysicalGpus);
                EXPECT_EQ(g_boxes.size(), startFails ? 2u : 0u);
                EXPECT_TRUE(StrayWrites().empty());
                // Everything keeps running: the window and its panels are still there.
                EXPECT_TRUE(::IsWindow(dlg));
                EXPECT_NE(::FindWindowA(nullptr, "HWM"), nullptr);
                SimDriver::Get().setFault(id, 0);
                m_dlg.reset();
            }
        }
    }
}
