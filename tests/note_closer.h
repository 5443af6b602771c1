#pragma once
// Closes the overclock warning note from inside its modal loop, the way a
// user would, and remembers what it showed.
#include <windows.h>

#include <functional>
#include <string>

enum class NoteClose { Button, Escape };

struct NoteSeen {
    bool shown = false;
    std::string text;
    HWND owner = nullptr;
    LONG exStyle = 0;
    int stacked = 0;  // notes that came up over it while it was open
};

// Arms a timer of this thread: once the note is up, it is recorded, whileUp
// runs with it, and it is closed. A note stacked over it meanwhile is closed
// with its key and counted.
void CloseNoteWhenShown(NoteClose how = NoteClose::Button, std::function<void(HWND note)> whileUp = {});
// The note the last armed timer closed; shown is false until then.
const NoteSeen& LastNote();
// Disarms the timer when no note came.
void StopClosingNotes();
// The notes shown now.
int NotesUp();
