#pragma once
// Per-card profile file: the first-run marker and four switches, section "System".
#include <windows.h>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One key of a section and the text it is to hold.
struct KeyText {
    std::string section, key, value;
};

// The four switches, each 0 or 1.
struct SystemFlags {
    int32_t launch;
    int32_t minisize;
    int32_t overClock;
    int32_t synchronization;
};

// Reads one key per call straight from the file, and each write goes to the
// file at once, so every owner of a CIniFile on the same path sees the
// others' writes at once. A write makes the new version of the file beside
// it and puts it in the file's place in one step, so that a power cut leaves
// the old profile or the new one, never a damaged one. Nothing is
// written into a file that is not a plain INI file (a folder, a binary or
// oversized file, lines that are neither sections, keys nor comments): the
// user's own lines there are never at risk, and settings then stay in memory.
//
// Every accessor of one path shares what the program last read from or wrote
// to that file. A profile that lost its first-run marker while the program
// runs (deleted, or emptied) is first given back all of that on the next
// write, so the next start is not a first start; until then its missing keys
// read as the program last knew them.
class CIniFile {
public:
    void SetPath(const std::wstring& path);

    int ReadInitialized() const;
    int WriteInitialized(int flag) const;
    void ReadSystemFlags(SystemFlags& flags) const;
    // 1 when all four keys were written.
    int WriteSystemFlags(SystemFlags flags) const;

    // A key of any section as text; "" when it is missing or the path is unset.
    std::string ReadText(const char* section, const char* key) const;
    // 1 when the key was written.
    int WriteText(const char* section, const char* key, const char* value) const;

    // Sends what was written to the disk, so a machine that goes down at once
    // still finds it; 1 when done.
    int Flush() const;

    // Whether writes may go to the file: it does not exist yet, or it is ours.
    bool IsWritableProfile() const;

private:
    struct Held;

    int ReadFlag(const char* key) const;
    int WriteFlag(const char* key, int flag) const;
    // The key's text as stored, or as the program holds it where the file lost it.
    std::optional<std::string> ReadStored(const char* section, const char* key, DWORD size) const;
    // The program knows the profile as set up, and the file no longer says so.
    bool LostState() const;
    // The keys the file lacks, the first-run marker last.
    std::vector<KeyText> HeldMissing() const;
    // The keys in one write: all of them, or none when it fails.
    int WriteKeys(const std::vector<KeyText>& keys) const;
    static std::shared_ptr<Held> HeldFor(const std::wstring& path);

    std::wstring m_path;
    std::shared_ptr<Held> m_held;  // null while the path is unset
};

// "<directory>\Quilo_ID%04X.ini" for the card's 16-bit PCI device word.
std::wstring BuildProfilePath(const std::wstring& directory, uint16_t deviceId);

// Where the card's profile lives: beside the program, unless nothing can be
// written there (a protected folder) and no writable profile is there already;
// then under the user's local application data, in a "Q-Surge" folder.
std::wstring ChooseProfilePath(const std::wstring& exeDirectory, uint16_t deviceId);

// Directory of the module that created the window, without the trailing
// backslash; an empty string when it cannot be found. Paths are wide text
// throughout: a user's folder name need not fit the system's code page.
std::wstring GetExeDirectory(HWND window);

// The running program's full path, however long; empty when it cannot be found.
std::wstring ProgramPath();
