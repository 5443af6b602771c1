#pragma once
// Per-card profile file: the first-run marker and four switches, section "System".
#include <windows.h>
#include <cstdint>
#include <string>

// The four switches, each 0 or 1.
struct SystemFlags {
    int32_t launch;
    int32_t minisize;
    int32_t overClock;
    int32_t synchronization;
};

// Reads and writes one key per call, straight to the file, so every owner of a
// CIniFile on the same path sees the others' writes at once.
class CIniFile {
public:
    void SetPath(const std::string& path);

    int ReadInitialized() const;
    int WriteInitialized(int flag) const;
    void ReadSystemFlags(SystemFlags& flags) const;
    // 1 when all four keys were written.
    int WriteSystemFlags(SystemFlags flags) const;

    // A key of any section as text; "" when it is missing or the path is unset.
    std::string ReadText(const char* section, const char* key) const;
    // 1 when the key was written.
    int WriteText(const char* section, const char* key, const char* value) const;

private:
    int ReadFlag(const char* key) const;
    int WriteFlag(const char* key, int flag) const;

    std::string m_path;
};

// "<directory>\Quilo_ID%04X.ini" for the card's 16-bit PCI device word.
std::string BuildProfilePath(const std::string& directory, uint16_t deviceId);

// Directory of the module that created the window, without the trailing
// backslash; an empty string when it cannot be found.
void GetExeDirectory(HWND window, char* buffer, DWORD size);
