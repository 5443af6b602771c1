#pragma once
// Start-with-Windows entry: value "QuiloStartUpAutoRun" under the machine's Run
// key, or under the user's Run key when the machine's refuses the write (the
// program runs with the invoking user's rights). A program inside the user's
// own folder (a per-user install) starts for that user only: its value goes
// under the user's key.
#include <windows.h>

#include <string>

// 0 the value was found under either key, 1 the machine's Run key could not be
// opened, 2 it opened but held no value. Only presence is tested: data of any
// type counts. A string value is copied into the 256-byte buffer as UTF-8;
// other data, or a string too long for it, leaves it empty.
int QueryAutoRun(char* buffer);

// The argument the entry starts the program with, so that a start at logon
// is told apart from the user's.
constexpr const char* kLogonArgument = "--logon";

// Writes the running executable's quoted full path and kLogonArgument under
// the machine's key, else under the user's; the status of the write that
// decided, 0 on success.
LONG SetAutoRun();
// The same for that executable.
LONG SetAutoRun(const std::wstring& executable);

// Whether the path lies inside the current user's profile folder.
bool IsInsideUserProfile(const std::wstring& path);

// Rewrites a value of this executable (under either key) that starts it
// without kLogonArgument, as earlier versions wrote it, under the same key
// with it. Values of other programs, of other data types and ones that have
// the mark are left as they are, and so is a key that refuses the change.
void AddLogonMarkToAutoRun();
// The same for that executable.
void AddLogonMarkToAutoRun(const std::wstring& executable);

// Deletes the value from both keys, each whatever became of the other: 0 when
// one was deleted and none is left, ERROR_FILE_NOT_FOUND when there was none,
// else the status of the delete that left one in place.
LONG RemoveAutoRun();
