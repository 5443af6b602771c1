#pragma once
// Closes the overclock warning note from inside its modal loop, the way a
// user would, and remembers what it showed.
#include <windows.h>

#include <string>

enum class NoteClose { Button, Escape };

struct NoteSeen {
    bool shown = false;
    std::string text;
    HWND owner = nullptr;
    LONG exStyle = 0;
};

// Arms a timer of this thread: once the note is up, it is recorded and closed.
void CloseNoteWhenShown(NoteClose how = NoteClose::Button);
// The note the last armed timer closed; shown is false until then.
const NoteSeen& LastNote();
