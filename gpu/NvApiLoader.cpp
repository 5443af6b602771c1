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
    char directory[MAX_PATH];
    const UINT length = GetSystemDirectoryA(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    const std::string path = std::string(directory, length) + "\\" + fileName;
    // The driver stays loaded for the life of the process.
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
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
