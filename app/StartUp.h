#pragma once
// What a start does with its command line before it has a window.
#include "app/CCommandLine.h"
#include "app/CSingleInstance.h"

// Reads the command line and settles what needs no window of this process: a
// bad command line, --help, any command while another copy runs (handed to
// it), and --status or --exit when none does. True when this process goes on
// as the one copy, to carry the command out once its window is up; otherwise
// exitCode is the process's.
bool GoesOnRunning(CCommandLine& command, CSingleInstance& instance, int& exitCode);
