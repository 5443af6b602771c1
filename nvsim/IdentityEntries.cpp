// Initialisation, enumeration and the identity queries.
#include "nvsim/Entries.h"
#include "nvsim/Simulator.h"

#include <cstring>

namespace nvsim {

namespace {
void CopyShortString(char* out, const std::string& text)
{
    size_t length = text.size() < kNvShortStringSize - 1 ? text.size() : kNvShortStringSize - 1;
    std::memcpy(out, text.data(), length);
    out[length] = '\0';
}

// The shared shape of the one-word GPU queries.
template <typename Read> NvStatus GpuWord(uint32_t id, NvGpuHandle handle, uint32_t* out, Read read)
{
    DriverCall call(id, handle);
    if (NvStatus status = call.Begin({out})) return status;
    *out = read(call.Gpu().Config());
    return call.Done(kNvOk);
}
} // namespace

NvStatus Initialize()
{
    DriverCall call(NvId::Initialize);
    if (NvStatus status = call.Begin({}, false)) return status;
    ++call.Sim().initCount;
    return call.Done(kNvOk);
}

NvStatus EnumPhysicalGpus(NvGpuHandle handles[kNvMaxPhysicalGpus], uint32_t* count)
{
    DriverCall call(NvId::EnumPhysicalGpus);
    if (NvStatus status = call.Begin({handles, count})) return status;
    size_t gpus = call.Sim().gpus.size();
    for (size_t i = 0; i < gpus; ++i) handles[i] = call.Sim().GpuHandle(static_cast<int>(i));
    *count = static_cast<uint32_t>(gpus);
    return call.Done(kNvOk);
}

NvStatus EnumDisplayHandle(uint32_t index, NvDisplayHandle* display)
{
    DriverCall call(NvId::EnumDisplayHandle);
    call.Value(index);
    if (NvStatus status = call.Begin({display})) return status;
    if (index >= call.Sim().scenario.displays) return call.Done(kNvEndEnumeration);
    *display = call.Sim().DisplayHandle(static_cast<int>(index));
    return call.Done(kNvOk);
}

NvStatus GetPciIdentifiers(NvGpuHandle handle, uint32_t* deviceId, uint32_t* subSystemId, uint32_t* revisionId,
                           uint32_t* extDeviceId)
{
    DriverCall call(NvId::GetPciIdentifiers, handle);
    if (NvStatus status = call.Begin({deviceId, subSystemId, revisionId, extDeviceId})) return status;
    const GpuConfig& gpu = call.Gpu().Config();
    *deviceId = gpu.deviceId;
    *subSystemId = gpu.subSystemId;
    *revisionId = gpu.revisionId;
    *extDeviceId = gpu.extDeviceId;
    return call.Done(kNvOk);
}

NvStatus GetFullName(NvGpuHandle handle, char* name)
{
    DriverCall call(NvId::GetFullName, handle);
    if (NvStatus status = call.Begin({name})) return status;
    CopyShortString(name, call.Gpu().Config().name);
    return call.Done(kNvOk);
}

NvStatus GetVbiosVersionString(NvGpuHandle handle, char* text)
{
    DriverCall call(NvId::GetVbiosVersionString, handle);
    if (NvStatus status = call.Begin({text})) return status;
    CopyShortString(text, call.Gpu().Config().vbios);
    return call.Done(kNvOk);
}

NvStatus GetFrameBufferSize(NvGpuHandle handle, uint32_t* kb)
{
    return GpuWord(NvId::GetFrameBufferSize, handle, kb, [](const GpuConfig& gpu) { return gpu.memoryKb; });
}

NvStatus GetCoreCount(NvGpuHandle handle, uint32_t* count)
{
    return GpuWord(NvId::GetCoreCount, handle, count, [](const GpuConfig& gpu) { return gpu.cores; });
}

NvStatus GetMemoryType(NvGpuHandle handle, uint32_t* type)
{
    return GpuWord(NvId::GetMemoryType, handle, type, [](const GpuConfig& gpu) { return gpu.memoryType; });
}

NvStatus GetMemoryBusWidth(NvGpuHandle handle, uint32_t* width, uint32_t* location)
{
    DriverCall call(NvId::GetMemoryBusWidth, handle);
    if (NvStatus status = call.Begin({width, location})) return status;
    *width = call.Gpu().Config().busWidth;
    *location = call.Gpu().Config().busLocation;
    return call.Done(kNvOk);
}

NvStatus GetDisplayDriverVersion(NvDisplayHandle display, NvDriverVersion* record)
{
    DriverCall call(NvId::GetDisplayDriverVersion);
    if (NvStatus status = call.BeginRecord(record, {NvVer::DriverVersion})) return status;
    Simulator& sim = call.Sim();
    // The null handle means the default display, as in the real driver.
    if (display ? sim.DisplayIndex(display) < 0 : sim.scenario.displays == 0) return call.Done(kNvInvalidHandle);
    ClearBody(record);
    record->driverVersion = sim.scenario.driverVersion;
    record->changeList = sim.scenario.changeList;
    CopyShortString(record->branch, sim.scenario.branch);
    CopyShortString(record->adapter, sim.gpus.front().Config().name);
    return call.Done(kNvOk);
}

} // namespace nvsim
