#pragma once
// The overclock's writes in the simulated driver's log: clock offsets, power
// targets and the frame-rate target, in the order written.
#include <ostream>
#include <vector>

#include "gpu/NvApiTypes.h"
#include "sim_driver.h"

struct DriverWrite {
    int gpu;
    unsigned interfaceId;
    std::vector<int> values;
    bool operator==(const DriverWrite& o) const
    {
        return gpu == o.gpu && interfaceId == o.interfaceId && values == o.values;
    }
};

inline void PrintTo(const DriverWrite& w, std::ostream* os)
{
    *os << "{gpu " << w.gpu << ", 0x" << std::hex << w.interfaceId << std::dec << ":";
    for (int v : w.values) *os << " " << v;
    *os << "}";
}

// takenOnly: the writes the driver took, else every one asked for.
inline std::vector<DriverWrite> OverclockWrites(bool takenOnly)
{
    std::vector<DriverWrite> writes;
    for (const NvSimCall& call : SimDriver::Calls()) {
        const bool write = call.interfaceId == NvId::SetPstates20 || call.interfaceId == NvId::SetPowerPolicyStatus ||
                           call.interfaceId == NvId::DrsSetSetting;
        if (write && (!takenOnly || call.status == 0))
            writes.push_back({call.gpu, call.interfaceId, std::vector<int>(call.values, call.values + call.count)});
    }
    return writes;
}
