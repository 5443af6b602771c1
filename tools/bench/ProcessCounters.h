#pragma once
// What the process holds, read the same way before and after a run: its
// private memory and its GDI and USER objects; and the CPU and wall time of a run.
#include <cstddef>

struct ProcessCounters {
    size_t privateBytes = 0;  // committed private memory
    size_t touchedBytes = 0;  // private pages written so far, where only those can be read (Wine); else 0
    int gdiObjects = 0;
    int userObjects = 0;
};

ProcessCounters ReadProcessCounters();
// Where the memory and USER figures come from, for the report.
const char* PrivateMemorySource();
const char* UserObjectsSource();
// Whether the USER count follows objects made and destroyed in front of it.
bool UserCountWorks();

// Seconds of CPU, kernel and user, used by all the process's threads so far.
double ProcessCpuSeconds();
// Seconds on the performance counter, for the wall time of a run.
double WallSeconds();
