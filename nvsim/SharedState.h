// What a simulated driver shares with the other processes that load it, as a
// real driver keeps one state for the machine: when NVSIM_SHARED names a file,
// the coolers' policies and levels live in it, and every call is appended to
// "<file>.log" (one line a call: the calling process id, the interface id in
// hex, GPU index, status, then the logged values, separated by spaces).
#pragma once

#include "nvsim/GpuModel.h"
#include "nvsim/NvSimControl.h"

#include <string>
#include <vector>

class SharedState {
public:
    // The file NVSIM_SHARED names (a Unix path is reached through Z:), or none.
    void Open();
    bool Enabled() const { return !m_path.empty(); }
    void AppendCall(const NvSimCall& call) const;
    // Cooler policies and levels as the last writer left them.
    void LoadCoolers(std::vector<GpuModel>& gpus) const;
    void SaveCoolers(const std::vector<GpuModel>& gpus) const;

private:
    std::string m_path;
};
