#include "note_closer.h"

#include "res/resource.h"

namespace {
NoteClose g_how = NoteClose::Button;
NoteSeen g_note;

BOOL CALLBACK FindNote(HWND h, LPARAM found)
{
    char title[32] = {};
    GetWindowTextA(h, title, sizeof title);
    if (!IsWindowVisible(h) || std::string(title) != "Setting") return TRUE;
    *reinterpret_cast<HWND*>(found) = h;
    return FALSE;
}

void CALLBACK CloseNote(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND note = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindNote, reinterpret_cast<LPARAM>(&note));
    if (!note) return;  // not up yet: again at the next tick
    KillTimer(nullptr, id);
    char text[256] = {};
    GetWindowTextA(GetDlgItem(note, IDC_NOTE_TEXT), text, sizeof text);
    g_note = {true, text, GetWindow(note, GW_OWNER), GetWindowLongA(note, GWL_EXSTYLE)};
    if (g_how == NoteClose::Button)
        SendMessageA(note, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(note, IDC_CLOSE)));
    else
        PostMessageA(note, WM_KEYDOWN, VK_ESCAPE, 0);
}
}  // namespace

void CloseNoteWhenShown(NoteClose how)
{
    g_how = how;
    g_note = {};
    SetTimer(nullptr, 0, 10, &CloseNote);
}

const NoteSeen& LastNote() { return g_note; }
