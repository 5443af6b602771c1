#include "app/GpuStatus.h"

#include "app/CCommandLine.h"

namespace {
std::string Field(bool read, unsigned value) { return read ? std::to_string(value) : "-"; }

// A name never breaks the line or its fields.
std::string NameField(bool read, const char* name)
{
    if (!read) return "-";
    std::string field = name;
    for (char& c : field)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return field;
}
}  // namespace

int WriteGpuStatus(CGpuControl& gpu, std::string& text)
{
    if (gpu.m_gpuCount == 0) {
        text += "No NVIDIA GPU was found.\r\n";
        return kExitRefused;
    }
    bool allRead = true;
    for (int index = 0; index < static_cast<int>(gpu.m_gpuCount); ++index) {
        char name[64] = {};
        const bool named = gpu.GetFullName(name, index) != 0;
        uint32_t temperature = 0;
        const bool hot = gpu.GetTemperature(temperature, index) != 0;
        NvCoolerSettings cooler{};
        const bool fan = gpu.GetCoolerSettings(cooler, index, 0) != 0;
        GpuClockInfo clocks{};
        const bool clocked = gpu.GetCurrentClocks(clocks, index) != 0;
        allRead = allRead && named && hot && fan && clocked;
        text += std::to_string(index) + "\t" + NameField(named, name) + "\t" + Field(hot, temperature) + "\t" +
                Field(fan, cooler.cooler[0].currentLevel) + "\t" + Field(clocked, EngineClockMHz(clocks)) + "\t" +
                Field(clocked, MemoryClockMHz(clocks)) + "\r\n";
    }
    return allRead ? kExitDone : kExitRefused;
}

int WriteGpuStatus(std::string& text)
{
    CGpuControl gpu;
    if (gpu.Initialize() == 1) {
        text += "The NVIDIA driver could not be started.\r\n";
        return kExitRefused;
    }
    return WriteGpuStatus(gpu, text);
}
