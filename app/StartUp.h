#pragma once
// What a start does with its command line before it has a window.
#include <windows.h>

#include "app/CCommandLine.h"
#include "app/CSingleInstance.h"

// Reads the command line and settles what needs no window of this process: a
// bad command line, --help, any command while another copy runs (handed to
// it), and --status or --exit when none does. True when this process goes on
// as the one copy, to carry the command out once its window is up; otherwise
// exitCode is the process's.
bool GoesOnRunning(CCommandLine& command, CSingleInstance& instance, int& exitCode);

// The arguments Windows starts the program with again after an installer or
// update closed it: none, so it starts as the user starts it, and its own
// settings say whether the window shows.
constexpr const wchar_t* kRestartArguments = L"";
// When Windows starts the program again: after an installer or update that
// closed it (through the Restart Manager), never after a crash or a hang, so a
// fault cannot bring it back again and again, nor at the sign-in after an
// update's reboot, where the start-with-Windows entry, if the user wants one,
// starts it with the patient wait for the driver.
constexpr DWORD kRestartFlags = RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT;
// Asks Windows to start the program again; true when it took the request.
// Windows honours it only once the program has run for a minute.
bool RegisterForRestart();
