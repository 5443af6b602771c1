#pragma once
// Loads the driver's NVAPI library from the system directory and resolves its
// one export, nvapi_QueryInterface, through which every entry point is found.
#include <cstdint>

#include "gpu/NvApiTypes.h"

class CNvApiLoader {
public:
    static constexpr const char* kDriverFile = "nvapi64.dll";

    // Loads "<system directory>\<fileName>"; a name holding a path or drive is
    // refused. False when the library or its export is missing.
    bool Load(const char* fileName = kDriverFile);
    bool IsLoaded() const { return m_query != nullptr; }
    // Address of the entry point for the interface id, or null.
    void* Query(uint32_t interfaceId) const;

private:
    NvQueryInterfaceFn m_query = nullptr;
};
