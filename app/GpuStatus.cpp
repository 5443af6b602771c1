#include "app/GpuStatus.h"

#include <optional>

#include "app/CCommandLine.h"

namespace {
std::string Field(const std::optional<unsigned>& value) { return value ? std::to_string(*value) : "-"; }

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
        GpuReading reading;
        gpu.Read(reading, index);
        // A card whose fans the system controls has no fan reading to miss.
        const bool fansRead = reading.fanLevel || !gpu.HasFanControl(index);
        allRead = allRead && named && reading.temperature && fansRead && reading.engineClock;
        const std::string fans = FanListText(reading);
        text += std::to_string(index) + "\t" + NameField(named, name) + "\t" + Field(reading.temperature) + "\t" +
                Field(reading.fanLevel) + "\t" + Field(reading.engineClock) + "\t" + Field(reading.memoryClock) +
                "\t" + (fans.empty() ? "-" : fans) + "\r\n";
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
