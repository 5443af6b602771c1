#pragma once
// Start-with-Windows entry: value "QuiloStartUpAutoRun" under the machine's Run key.
#include <windows.h>

// 0 the value was read into the 256-byte buffer, 1 the Run key could not be
// opened, 2 the key opened but the value could not be read. Only presence is
// tested: any string data counts.
int QueryAutoRun(char* buffer);

// Writes the running executable's quoted full path; the registry status, 0 on success.
LONG SetAutoRun();

// Deletes the value; the registry status, 0 on success.
LONG RemoveAutoRun();
