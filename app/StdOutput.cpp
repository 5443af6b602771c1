#include "app/StdOutput.h"

#include <windows.h>

#include "framework/MessageBox.h"
#include "framework/Resources.h"

namespace {
// Owns a handle that INVALID_HANDLE_VALUE marks as none.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    ~FileHandle() { if (m_handle != INVALID_HANDLE_VALUE) ::CloseHandle(m_handle); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

bool IsConsole(HANDLE handle)
{
    DWORD mode = 0;
    return ::GetConsoleMode(handle, &mode) != FALSE;
}

bool WriteToConsole(HANDLE console, const std::wstring& text)
{
    DWORD written = 0;
    return ::WriteConsoleW(console, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE;
}

// A file or a pipe gets UTF-8, which keeps plain ASCII as it is.
bool WriteToFile(HANDLE file, const std::wstring& text)
{
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                             nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], length, nullptr,
                          nullptr);
    DWORD written = 0;
    return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
}

// The handle the program was given, when it names something. (Under Wine a
// program started from a Unix shell is given the shell's own output.)
HANDLE GivenOutput()
{
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE || ::GetFileType(out) == FILE_TYPE_UNKNOWN) return nullptr;
    return out;
}
}  // namespace

void WriteOutput(const std::string& text)
{
    const std::wstring wide = WideFromCp936(text.c_str());
    if (const HANDLE out = GivenOutput()) {
        if (IsConsole(out) ? WriteToConsole(out, wide) : WriteToFile(out, wide)) return;
    } else if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
        // The console's shell does not wait for a windowed program: the text
        // follows its prompt, on a line of its own.
        const FileHandle console(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        const bool written = console.Get() != INVALID_HANDLE_VALUE && WriteToConsole(console.Get(), L"\r\n" + wide);
        ::FreeConsole();
        if (written) return;
    }
    AppMessageBox(nullptr, text.c_str(), "Info", MB_ICONINFORMATION);
}

void ReleaseStandardHandles()
{
    HANDLE closed[3] = {};
    int count = 0;
    for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE handle = ::GetStdHandle(which);
        ::SetStdHandle(which, nullptr);
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE) continue;
        // Output and errors are often one handle.
        bool seen = false;
        for (int i = 0; i < count; ++i) seen = seen || closed[i] == handle;
        if (!seen) ::CloseHandle(closed[count++] = handle);
    }
}
