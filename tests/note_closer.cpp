#include "note_closer.h"

#include <vector>

#include "res/resource.h"

namespace {
NoteClose g_how = NoteClose::Button;
std::function<void(HWND)> g_whileUp;
HWND g_first = nullptr;  // set while whileUp runs
NoteSeen g_note;
UINT_PTR g_timer = 0;

// The visible notes of this thread: titled "Setting" like the settings panel,
// but carrying the note's text.
BOOL CALLBACK AddNote(HWND h, LPARAM notes)
{
    char title[32] = {};
    GetWindowTextA(h, title, sizeof title);
    if (IsWindowVisible(h) && std::string(title) == "Setting" && GetDlgItem(h, IDC_NOTE_TEXT))
        reinterpret_cast<std::vector<HWND>*>(notes)->push_back(h);
    return TRUE;
}

std::vector<HWND> Notes()
{
    std::vector<HWND> notes;
    EnumThreadWindows(GetCurrentThreadId(), &AddNote, reinterpret_cast<LPARAM>(&notes));
    return notes;
}

void Close(HWND note, NoteClose how)
{
    if (how == NoteClose::Button)
        SendMessageA(note, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(note, IDC_CLOSE)));
    else
        PostMessageA(note, WM_KEYDOWN, VK_ESCAPE, 0);
}

void CALLBACK CloseNote(HWND, UINT, UINT_PTR id, DWORD)
{
    const std::vector<HWND> notes = Notes();
    if (g_first) {  // a tick in a note's loop while whileUp runs: one stacked over the first
        for (HWND note : notes) {
            if (note == g_first) continue;
            ++g_note.stacked;
            Close(note, NoteClose::Button);
        }
        return;
    }
    if (notes.empty()) return;  // not up yet: again at the next tick
    HWND note = notes.front();
    char text[256] = {};
    GetWindowTextA(GetDlgItem(note, IDC_NOTE_TEXT), text, sizeof text);
    g_note = {true, text, GetWindow(note, GW_OWNER), GetWindowLongA(note, GWL_EXSTYLE), 0};
    if (g_whileUp) {
        g_first = note;
        g_whileUp(note);
        g_first = nullptr;
    }
    KillTimer(nullptr, id);
    if (id == g_timer) g_timer = 0;
    Close(note, g_how);
}
}  // namespace

void CloseNoteWhenShown(NoteClose how, std::function<void(HWND)> whileUp)
{
    g_how = how;
    g_whileUp = std::move(whileUp);
    g_note = {};
    g_timer = SetTimer(nullptr, 0, 10, &CloseNote);
}

void StopClosingNotes()
{
    if (g_timer) KillTimer(nullptr, g_timer);
    g_timer = 0;
}

const NoteSeen& LastNote() { return g_note; }

int NotesUp() { return static_cast<int>(Notes().size()); }
