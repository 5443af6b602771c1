#include "profile/IniFile.h"

#include <psapi.h>
#include <shlobj.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

const char kSection[] = "System";
const char kInitializedKey[] = "Initialized";
constexpr DWORD kFlagLength = 10;
constexpr DWORD kTextLength = 64;

// Only the leading decimal number counts: "1abc" is 1, "abc" is 0.
int FlagOf(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10) != 0 ? 1 : 0; }

// Sections, keys and values are the system's code page's text, as the profile
// functions store them in a file without a byte-order mark; only the path
// needs the wide functions.
std::wstring Wide(const char* text)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 1) return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

std::string Narrow(const std::wstring& text)
{
    if (text.empty()) return {};
    const int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &narrow[0], length, nullptr, nullptr);
    return narrow;
}

bool WriteToFile(const std::wstring& path, const char* section, const char* key, const char* value)
{
    return WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(value).c_str(), path.c_str()) !=
           FALSE;
}

// The key's text, or nothing when the file, section or key is missing; at
// most length - 1 characters.
std::optional<std::string> ReadFromFile(const std::wstring& path, const char* section, const char* key, DWORD length)
{
    const std::wstring wideSection = Wide(section), wideKey = Wide(key);
    // Two defaults tell a missing key from one that holds a default's text.
    for (const wchar_t* absent : {L"?", L"!"}) {
        std::wstring value(length, L'\0');
        value.resize(GetPrivateProfileStringW(wideSection.c_str(), wideKey.c_str(), absent, &value[0], length,
                                              path.c_str()));
        if (value != absent) return Narrow(value);
    }
    return std::nullopt;
}

// Owns a kernel handle; null and INVALID_HANDLE_VALUE both stand for none.
class KernelHandle {
public:
    explicit KernelHandle(HANDLE handle) : m_handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~KernelHandle() { if (m_handle) CloseHandle(m_handle); }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

bool WriteAllTo(const std::wstring& path, const std::vector<KeyText>& keys)
{
    for (const KeyText& k : keys)
        if (!WriteToFile(path, k.section.c_str(), k.key.c_str(), k.value.c_str())) return false;
    return true;
}

// The profile functions may keep the file they used last in memory; told to
// let it go, they read the file as it is on the disk next time.
void ForgetCached(const std::wstring& path) { WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str()); }

// The new version of a profile is written beside it, under a name of this
// process (two copies of the program never write into one file), and keeps
// the profile's extension so that it counts among the profile files.
std::wstring SavingPath(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) dot = path.size();
    return path.substr(0, dot) + L".saving-" + std::to_wstring(GetCurrentProcessId()) + path.substr(dot);
}

enum class Replaced {
    Done,
    NotThere,  // no copy could be made beside the profile (a folder that takes no new files), or it
               // could not take the profile's place (a program holding the profile open)
    Failed,    // the copy could not be written: nor could the profile be
};

// Writes the keys into a copy of the profile, sends the copy to the disk and
// puts it in the profile's place in one step: a power cut at any moment
// leaves the old profile or the new one, never a part-written file. The
// profile functions write the copy, so the file keeps their format; the copy
// keeps the profile's attributes, and its security comes from the folder as
// a new profile's does.
Replaced ReplaceWithKeys(const std::wstring& path, const std::vector<KeyText>& keys)
{
    const std::wstring saving = SavingPath(path);
    // A missing profile starts as an empty copy; one a write of this process
    // cut short left behind is not the profile.
    const bool made = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES
                          ? CopyFileW(path.c_str(), saving.c_str(), FALSE) != FALSE
                          : KernelHandle(CreateFileW(saving.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                     FILE_ATTRIBUTE_NORMAL, nullptr))
                                .Get() != nullptr;
    if (!made) return Replaced::NotThere;
    bool written = WriteAllTo(saving, keys);
    ForgetCached(saving);
    if (written) {
        const KernelHandle copy(CreateFileW(saving.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        written = copy.Get() && FlushFileBuffers(copy.Get());
    }
    if (!written) {
        DeleteFileW(saving.c_str());
        return Replaced::Failed;
    }
    // Windows refuses to replace a file another program holds open, as a
    // virus scanner does for a moment: a few tries, well under a tenth of a second.
    constexpr int kMoveTries = 5;
    for (int tried = 1; !MoveFileExW(saving.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
         ++tried) {
        if (tried == kMoveTries) {
            DeleteFileW(saving.c_str());
            return Replaced::NotThere;
        }
        Sleep(15);
    }
    ForgetCached(path);
    return Replaced::Done;
}

}  // namespace

// Keys in the order first met, so a profile given back keeps its usual order.
struct CIniFile::Held {
    struct Entry {
        std::string section, key, value;
        bool Is(const char* s, const char* k) const
        {
            return _stricmp(section.c_str(), s) == 0 && _stricmp(key.c_str(), k) == 0;
        }
    };
    std::vector<Entry> entries;

    const std::string* Find(const char* section, const char* key) const
    {
        for (const Entry& e : entries)
            if (e.Is(section, key)) return &e.value;
        return nullptr;
    }
    void Set(const char* section, const char* key, const std::string& value)
    {
        for (Entry& e : entries)
            if (e.Is(section, key)) {
                e.value = value;
                return;
            }
        entries.push_back({section, key, value});
    }
};

// Lives as long as an accessor of the path does: a profile opened afresh
// (the program started again) knows only what it reads.
std::shared_ptr<CIniFile::Held> CIniFile::HeldFor(const std::wstring& path)
{
    static std::mutex lock;
    static std::map<std::wstring, std::weak_ptr<Held>> byPath;
    std::lock_guard<std::mutex> guard(lock);
    for (auto it = byPath.begin(); it != byPath.end();) it = it->second.expired() ? byPath.erase(it) : std::next(it);
    std::weak_ptr<Held>& slot = byPath[path];
    std::shared_ptr<Held> held = slot.lock();
    if (!held) {
        held = std::make_shared<Held>();
        slot = held;
    }
    return held;
}

void CIniFile::SetPath(const std::wstring& path)
{
    m_path = path;
    m_held = path.empty() ? nullptr : HeldFor(path);
}

int CIniFile::ReadInitialized() const
{
    return ReadFlag(kInitializedKey);
}

int CIniFile::WriteInitialized(int flag) const
{
    return WriteFlag(kInitializedKey, flag);
}

void CIniFile::ReadSystemFlags(SystemFlags& flags) const
{
    flags.launch = ReadFlag("Launch");
    flags.minisize = ReadFlag("Minisize");
    flags.overClock = ReadFlag("OverClock");
    flags.synchronization = ReadFlag("Synchronization");
}

int CIniFile::WriteSystemFlags(SystemFlags flags) const
{
    const auto flag = [](int32_t value) { return std::string(value ? "1" : "0"); };
    return WriteKeys({{kSection, "Launch", flag(flags.launch)},
                      {kSection, "Minisize", flag(flags.minisize)},
                      {kSection, "OverClock", flag(flags.overClock)},
                      {kSection, "Synchronization", flag(flags.synchronization)}});
}

std::string CIniFile::ReadText(const char* section, const char* key) const
{
    // An unset path would make the profile functions fall back to win.ini.
    if (m_path.empty())
        return "";
    return ReadStored(section, key, kTextLength).value_or("");
}

int CIniFile::WriteText(const char* section, const char* key, const char* value) const
{
    return WriteKeys({{section, key, value}});
}

int CIniFile::WriteKeys(const std::vector<KeyText>& keys) const
{
    // An unset path would make the profile functions fall back to win.ini.
    if (m_path.empty() || !IsWritableProfile())
        return 0;
    std::vector<KeyText> written;
    if (LostState()) written = HeldMissing();
    written.insert(written.end(), keys.begin(), keys.end());
    // Where no copy can take the profile's place, it is written as it stands.
    const Replaced replaced = ReplaceWithKeys(m_path, written);
    if (replaced == Replaced::Failed || (replaced == Replaced::NotThere && !WriteAllTo(m_path, written))) return 0;
    for (const KeyText& k : keys) m_held->Set(k.section.c_str(), k.key.c_str(), k.value);
    return 1;
}

int CIniFile::Flush() const
{
    if (m_path.empty()) return 0;
    const KernelHandle file(CreateFileW(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Get() && FlushFileBuffers(file.Get()) ? 1 : 0;
}

std::optional<std::string> CIniFile::ReadStored(const char* section, const char* key, DWORD size) const
{
    if (std::optional<std::string> stored = ReadFromFile(m_path, section, key, size)) {
        m_held->Set(section, key, *stored);
        return stored;
    }
    const std::string* held = m_held->Find(section, key);
    if (held && LostState()) return held->substr(0, size - 1);
    return std::nullopt;
}

bool CIniFile::LostState() const
{
    const std::string* held = m_held->Find(kSection, kInitializedKey);
    if (!held || !FlagOf(*held)) return false;
    const std::optional<std::string> stored = ReadFromFile(m_path, kSection, kInitializedKey, kFlagLength);
    return !stored || !FlagOf(*stored);
}

std::vector<KeyText> CIniFile::HeldMissing() const
{
    std::vector<KeyText> missing;
    for (const Held::Entry& e : m_held->entries) {
        if (!e.Is(kSection, kInitializedKey) && !ReadFromFile(m_path, e.section.c_str(), e.key.c_str(), kTextLength))
            missing.push_back({e.section, e.key, e.value});
    }
    missing.push_back({kSection, kInitializedKey, *m_held->Find(kSection, kInitializedKey)});
    return missing;
}

bool CIniFile::IsWritableProfile() const
{
    constexpr DWORD kLargestProfile = 64 * 1024;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(m_path.c_str(), GetFileExInfoStandard, &data))
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    // A read-only file is refused as Windows refuses to open it for writing
    // (Wine lets a root user write it all the same).
    if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) || data.nFileSizeHigh ||
        data.nFileSizeLow > kLargestProfile)
        return false;
    std::string text;
    if (FILE* file = _wfopen(m_path.c_str(), L"rb")) {
        text.resize(data.nFileSizeLow);
        text.resize(std::fread(&text[0], 1, text.size(), file));
        std::fclose(file);
    } else {
        return false;
    }
    // A byte-order mark makes the profile functions read the file as another
    // encoding; a NUL has no place in a text file.
    if (text.find('\0') != std::string::npos || text.rfind("\xEF\xBB\xBF", 0) == 0 || text.rfind("\xFF\xFE", 0) == 0 ||
        text.rfind("\xFE\xFF", 0) == 0)
        return false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) continue;
        line.erase(0, first);
        line.erase(line.find_last_not_of(" \t\r") + 1);
        const bool section = line.front() == '[' && line.back() == ']';
        const bool comment = line.front() == ';' || line.front() == '#';
        const bool key = line.find('=') != std::string::npos && line.front() != '=';
        if (!section && !comment && !key) return false;
    }
    return true;
}

int CIniFile::ReadFlag(const char* key) const
{
    // An unset path would make the profile functions fall back to win.ini.
    if (m_path.empty())
        return 0;
    return FlagOf(ReadStored(kSection, key, kFlagLength).value_or("0"));
}

int CIniFile::WriteFlag(const char* key, int flag) const
{
    return WriteText(kSection, key, flag ? "1" : "0");
}

std::wstring BuildProfilePath(const std::wstring& directory, uint16_t deviceId)
{
    wchar_t name[32];
    std::swprintf(name, sizeof name / sizeof name[0], L"Quilo_ID%04X.ini", static_cast<unsigned>(deviceId));
    return directory + L"\\" + name;
}

namespace {
// Whether a file can be made in the folder: tried with one that goes when closed.
bool CanCreateIn(const std::wstring& directory)
{
    const std::wstring probe = directory + L"\\qsurge-write-probe.tmp";
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

bool CanWriteFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}
}  // namespace

std::wstring ChooseProfilePath(const std::wstring& exeDirectory, uint16_t deviceId)
{
    const std::wstring beside = BuildProfilePath(exeDirectory, deviceId);
    if (CanWriteFile(beside) || CanCreateIn(exeDirectory))
        return beside;
    wchar_t local[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, local)))
        return beside;
    const std::wstring folder = std::wstring(local) + L"\\Q-Surge";
    CreateDirectoryW(folder.c_str(), nullptr);
    return BuildProfilePath(folder, deviceId);
}

std::wstring ProgramPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        // A name that filled the buffer may have been cut: never hand on a truncated path.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring GetExeDirectory(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const auto module = reinterpret_cast<HMODULE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process.Get())
        return {};
    // Paths beyond MAX_PATH are possible: the buffer grows until the name fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameExW(process.Get(), module, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size() - 1) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}
