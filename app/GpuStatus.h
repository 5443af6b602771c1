#pragma once
// The readings of every GPU as the command line reports them, and the clock
// figures as the main window shows them.
#include <string>

#include "gpu/GpuControl.h"


// Appends one line per GPU, tab-separated: index, name, temperature in
// degrees C, the first fan's level in per cent, engine and memory clocks in
// MHz, then every fan (see FanListText); a reading the driver refused, and
// the fans of a card whose fans the system controls, are written "-". Without a GPU, a line that says so.
// kExitDone, or kExitRefused when there is no GPU or a reading was refused.
int WriteGpuStatus(CGpuControl& gpu, std::string& text);
// The same from a driver access of its own, for a start with no running copy.
int WriteGpuStatus(std::string& text);
