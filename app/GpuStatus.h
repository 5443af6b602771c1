#pragma once
// The readings of every GPU as the command line reports them, and the clock
// figures as the main window shows them.
#include <string>

#include "gpu/GpuControl.h"

inline unsigned EngineClockMHz(const GpuClockInfo& clocks) { return clocks.gfxClock / 1000; }
// The memory's effective (double data rate) clock.
inline unsigned MemoryClockMHz(const GpuClockInfo& clocks) { return clocks.memClock * 2 / 1000; }

// Appends one line per GPU, tab-separated: index, name, temperature in
// degrees C, fan level in per cent, engine and memory clocks in MHz; a reading
// the driver refused is written "-". Without a GPU, a line that says so.
// kExitDone, or kExitRefused when there is no GPU or a reading was refused.
int WriteGpuStatus(CGpuControl& gpu, std::string& text);
// The same from a driver access of its own, for a start with no running copy.
int WriteGpuStatus(std::string& text);
