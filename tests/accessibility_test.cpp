// What a screen reader finds in every window: each control's accessible name,
// role, state and value read through the platform's accessibility interface,
// from another process, and the value-change event of a slider that moves.
#include <oleacc.h>

#include <cstdio>
#include <string>
#include <vector>

#include "key_input.h"
#include "main_window_fixture.h"

using namespace mwtest;

namespace {

struct Seen {
    std::string name;
    long role = -1;
    long state = -1;
    std::string value;
    std::string description;
};

std::string Directory()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.rfind('\\'));
}

// Reads the control's object as a screen reader in another process does; this
// thread serves the reader's calls meanwhile, as the program's loop would.
bool ReadFromAnotherProcess(HWND control, Seen& seen)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    char command[MAX_PATH + 32];
    std::snprintf(command, sizeof command, "\"%s\\acc_reader.exe\" %llx", Directory().c_str(),
                  static_cast<unsigned long long>(reinterpret_cast<INT_PTR>(control)));
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi{};
    const bool started = CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return false;
    }
    std::string output;
    for (;;) {
        const DWORD woke = MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 20000, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0 + 1) {
            keys::RunMessages(1);
            continue;
        }
        break;
    }
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got) output.append(buffer, got);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(readEnd);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();  // the reader's text-mode output
        lines.push_back(line);
    }
    if (code != 0 || lines.size() < 5) {
        ADD_FAILURE() << "reader: " << output;
        return false;
    }
    seen = {lines[0], std::stol(lines[1]), std::stol(lines[2]), lines[3], lines[4]};
    return true;
}

Seen Read(HWND control)
{
    Seen seen;
    EXPECT_TRUE(ReadFromAnotherProcess(control, seen));
    return seen;
}

HWND Panel(HWND main, const char* title)
{
    for (HWND h = FindWindowExA(nullptr, nullptr, "#32770", title); h; h = FindWindowExA(nullptr, h, "#32770", title))
        if (GetWindow(h, GW_OWNER) == main) return h;
    return nullptr;
}

struct Expected {
    int id;
    const char* name;
    long role;
    long states;  // that must be set
    const char* value;  // nullptr: not checked
};

void ExpectAll(HWND window, const std::vector<Expected>& controls)
{
    for (const Expected& e : controls) {
        SCOPED_TRACE(e.name);
        const Seen seen = Read(GetDlgItem(window, e.id));
        EXPECT_EQ(seen.name, e.name);
        EXPECT_EQ(seen.role, e.role);
        EXPECT_EQ(seen.state & e.states, e.states) << std::hex << seen.state;
        if (e.value) {
            EXPECT_EQ(seen.value, e.value);
        }
    }
}

class AccessibilityTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        m_com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }
    void TearDown() override
    {
        MainWindowTest::TearDown();
        if (SUCCEEDED(m_com)) CoUninitialize();
    }
    HRESULT m_com = E_FAIL;
};

std::vector<HWND> g_changed;
void CALLBACK OnValueChange(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD, DWORD)
{
    if (object == OBJID_CLIENT && child == CHILDID_SELF) g_changed.push_back(window);
}

}  // namespace

TEST_F(AccessibilityTest, TheMainWindowsControlsSayWhatTheyAreAndHold)
{
    TestableQuiloDlg& dlg = Open();
    dlg.Tick();
    constexpr long kFocusable = STATE_SYSTEM_FOCUSABLE;
    ExpectAll(dlg, {
        {IDC_MINIMIZE, "Minimise", ROLE_SYSTEM_PUSHBUTTON, kFocusable, nullptr},
        {IDC_CLOSE, "Close", ROLE_SYSTEM_PUSHBUTTON, kFocusable, nullptr},
        {IDC_SETTINGS, "Settings", ROLE_SYSTEM_PUSHBUTTON, kFocusable, nullptr},
        {IDC_PRESET_3, "Preset +30/+50 MHz", ROLE_SYSTEM_RADIOBUTTON, kFocusable | STATE_SYSTEM_CHECKED, nullptr},
        {IDC_PRESET_5, "Preset +50/+80 MHz", ROLE_SYSTEM_RADIOBUTTON, kFocusable, nullptr},
        {IDC_PRESET_10, "Preset +80/+100 MHz", ROLE_SYSTEM_RADIOBUTTON, kFocusable, nullptr},
        {IDC_APPLY, "Apply preset", ROLE_SYSTEM_PUSHBUTTON, kFocusable, nullptr},
        {IDC_RESET, "Reset overclock", ROLE_SYSTEM_PUSHBUTTON, kFocusable, nullptr},
        {IDC_HWM, "Monitor", ROLE_SYSTEM_PUSHBUTTON, kFocusable, nullptr},
        {IDC_TURBO, "Overclock", ROLE_SYSTEM_PUSHBUTTON, kFocusable, nullptr},
        {IDC_FANCURVE, "Fan curve", ROLE_SYSTEM_PUSHBUTTON, kFocusable, nullptr},
        {IDC_FAN_MODE, "Fan: automatic", ROLE_SYSTEM_CHECKBUTTON, kFocusable | STATE_SYSTEM_CHECKED, nullptr},
        {IDC_TEMP_READOUT, "GPU temperature", ROLE_SYSTEM_STATICTEXT, STATE_SYSTEM_READONLY, u8"45 °C"},
        {IDC_FAN_PICTURE, "", ROLE_SYSTEM_GRAPHIC, STATE_SYSTEM_INVISIBLE, ""},
        {IDC_TEMP_PICTURE, "", ROLE_SYSTEM_GRAPHIC, STATE_SYSTEM_INVISIBLE, ""},
    });
    const Seen fan = Read(dlg.GetDlgItem(IDC_FAN_READOUT));
    EXPECT_EQ(fan.value, dlg.Text(IDC_FAN_READOUT) + " %");
    const Seen gauge = Read(dlg.GetDlgItem(IDC_GAUGE));
    EXPECT_EQ(gauge.role, ROLE_SYSTEM_DIAL);
    EXPECT_EQ(gauge.value, "GPU " + dlg.Text(IDC_ENGINE_READOUT) + " MHz, memory " + dlg.Text(IDC_MEMORY_READOUT) + " MHz");

    // States follow the window: the switch off, the second preset chosen, the focus.
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PRESET_5, BN_CLICKED), 0);
    ::SetFocus(dlg.GetDlgItem(IDC_PRESET_5));
    EXPECT_EQ(Read(dlg.GetDlgItem(IDC_FAN_MODE)).state & STATE_SYSTEM_CHECKED, 0);
    EXPECT_EQ(Read(dlg.GetDlgItem(IDC_PRESET_3)).state & STATE_SYSTEM_CHECKED, 0);
    EXPECT_EQ(Read(dlg.GetDlgItem(IDC_PRESET_5)).state & (STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSED),
              STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSED);
}

TEST_F(AccessibilityTest, PanelsNameTheirControlsAndASliderAnnouncesItsMoves)
{
    TestableQuiloDlg& dlg = Open();
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_TURBO, BN_CLICKED), 0);
    HWND turbo = Panel(dlg, "Q-Surge");
    ASSERT_NE(turbo, nullptr);
    // One card: power 50..114 %, at 100.
    ExpectAll(turbo, {
        {IDC_MINIMIZE, "Minimise", ROLE_SYSTEM_PUSHBUTTON, 0, nullptr},
        {IDC_POWER_MINUS, "Power target down", ROLE_SYSTEM_PUSHBUTTON, 0, nullptr},
        {IDC_POWER_PLUS, "Power target up", ROLE_SYSTEM_PUSHBUTTON, 0, nullptr},
        {IDC_POWER_SLIDER, "Power target (%)", ROLE_SYSTEM_SLIDER, STATE_SYSTEM_FOCUSABLE, "100"},
        {IDC_FRAME_SLIDER, "Frame-rate target (FPS)", ROLE_SYSTEM_SLIDER, 0, "40"},
        {IDC_POWER_READOUT, "Power target", ROLE_SYSTEM_STATICTEXT, 0, "100 %"},
        {IDC_MEM_OFFSET_READOUT, "Memory clock offset", ROLE_SYSTEM_STATICTEXT, 0, "0 MHz"},
    });
    const HWND slider = GetDlgItem(turbo, IDC_POWER_SLIDER);
    EXPECT_EQ(Read(slider).description, "From 50 to 114");

    g_changed.clear();
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr, &OnValueChange,
                                         GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    keys::BringToFront(turbo);
    ::SetFocus(slider);
    keys::Press(VK_RIGHT);
    keys::Press(VK_END);  // at the end already after this: no change, no event
    keys::Press(VK_END);
    ::SendMessageA(turbo, WM_COMMAND, MAKEWPARAM(IDC_POWER_MINUS, BN_CLICKED), 0);
    keys::RunMessages();
    UnhookWinEvent(hook);
    // Each move changes the slider's value and that of the readout showing it.
    const HWND readout = GetDlgItem(turbo, IDC_POWER_READOUT);
    EXPECT_EQ(g_changed, (std::vector<HWND>{slider, readout, slider, readout, slider, readout}));
    EXPECT_EQ(Read(slider).value, "113");
    EXPECT_EQ(Read(readout).value, "113 %");

    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SETTINGS, BN_CLICKED), 0);
    HWND settings = Panel(dlg, "Setting");
    ASSERT_NE(settings, nullptr);
    ExpectAll(settings, {
        {IDC_SWITCH_MINISIZE, "Start hidden", ROLE_SYSTEM_CHECKBUTTON, 0, nullptr},
        {IDC_SWITCH_ALL, "Sync all GPUs", ROLE_SYSTEM_CHECKBUTTON, STATE_SYSTEM_CHECKED, nullptr},
        {IDC_GPU_LIST, "GPU", ROLE_SYSTEM_COMBOBOX, STATE_SYSTEM_COLLAPSED, "GPU 1"},
    });

    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FANCURVE, BN_CLICKED), 0);
    HWND curve = Panel(dlg, "Fan Curve");
    ASSERT_NE(curve, nullptr);
    ExpectAll(curve, {{IDC_CURVE, "Fan curve", ROLE_SYSTEM_CHART, STATE_SYSTEM_FOCUSABLE,
                       "Steps: 30% to 40C, 60% to 60C, 70% to 80C, 100% to 100C"}});
    ::SetFocus(GetDlgItem(curve, IDC_CURVE));
    EXPECT_EQ(Read(GetDlgItem(curve, IDC_CURVE)).value,
              "Cursor: 30 to 40C at 30%. Steps: 30% to 40C, 60% to 60C, 70% to 80C, 100% to 100C");

    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_HWM, BN_CLICKED), 0);
    HWND info = Panel(dlg, "Information");
    ASSERT_NE(info, nullptr);
    const Seen name = Read(GetDlgItem(info, IDC_INFO_NAME));
    EXPECT_EQ(name.role, ROLE_SYSTEM_STATICTEXT);
    char shown[64] = {};
    GetDlgItemTextA(info, IDC_INFO_NAME, shown, sizeof shown);
    EXPECT_EQ(name.name, shown);
}

TEST_F(AccessibilityTest, AnObjectKeptAfterItsWindowWentAnswersThatItIsCutOff)
{
    TestableQuiloDlg& dlg = Open();
    IAccessible* object = nullptr;
    ASSERT_EQ(AccessibleObjectFromWindow(dlg.GetDlgItem(IDC_CLOSE), static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                         reinterpret_cast<void**>(&object)),
              S_OK);
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    ASSERT_EQ(object->get_accName(self, &name), S_OK);
    EXPECT_STREQ(name, L"Close");
    SysFreeString(name);
    m_dlg.reset();
    name = nullptr;
    EXPECT_EQ(object->get_accName(self, &name), RPC_E_DISCONNECTED);
    EXPECT_EQ(name, nullptr);
    object->Release();
}
