// qsurge-guard.exe: the fan guard, an image of its own so that ending every
// process of the program's name leaves it running.
#include <windows.h>

#include "fan/CFanGuard.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) { return CFanGuard::RunGuard(commandLine); }
