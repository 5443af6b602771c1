#include "gpu/NvApiLoader.h"

#include <windows.h>

#include <cstring>
#include <string>

bool CNvApiLoader::Load(const char* fileName)
{
    m_query = nullptr;
    if (!fileName || !*fileName || std::strpbrk(fileName, "\\/:"))
        return false;
    // Only the system directory: a bare name would be looked for in the
    // executable's folder first, where any dropped DLL could take over.
    wchar_t directory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    // The file's name is the driver's own, in plain ASCII.
    const std::wstring path = std::wstring(directory, length) + L"\\" +
                              std::wstring(fileName, fileName + std::strlen(fileName));
    // The driver stays loaded for the life of the process.
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module)
        return false;
    m_query = reinterpret_cast<NvQueryInterfaceFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "nvapi_QueryInterface")));
    if (!m_query) {
        FreeLibrary(module);
        return false;
    }
    return true;
}

void* CNvApiLoader::Query(uint32_t interfaceId) const
{
    return m_query ? m_query(interfaceId) : nullptr;
}
