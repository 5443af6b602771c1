#pragma once
// Where the command line's answers go: the standard output the program was
// given (a redirect or a pipe), else the console it was started from, else a
// message box captioned "Info".
#include <string>

// text: the program's own narrow text, lines ending in "\r\n".
void WriteOutput(const std::string& text);
// A program that goes on running lets go of the handles it was started with,
// so that a script reading its output from a pipe sees the end of it.
void ReleaseStandardHandles();
