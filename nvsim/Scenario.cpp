#include "nvsim/Scenario.h"

#include "gpu/NvApiTypes.h"
#include "nvsim/IniDocument.h"
#include "nvsim/NvSimControl.h"

#include <algorithm>

namespace {

GpuConfig DefaultGpu()
{
    GpuConfig gpu;
    gpu.name = "NVIDIA GeForce RTX 4090";
    gpu.vbios = "95.02.18.80.87";
    gpu.deviceId = 0x268410DE;       // device << 16 | vendor
    gpu.subSystemId = 0x167010DE;    // subsystem << 16 | subsystem vendor
    gpu.revisionId = 0xA1;
    gpu.extDeviceId = 0x2684;
    gpu.memoryKb = 24u * 1024 * 1024;
    gpu.memoryType = 8;
    gpu.busWidth = 384;
    gpu.cores = 16384;

    ClockConfig& gfx = gpu.clocks[kSlotGraphics];
    gfx.present = true;
    gfx.type = kNvPstateClockRange;
    gfx.minFreq = 210000;
    gfx.maxFreq = 2520000;
    gfx.voltageDomain = kNvVoltageDomainCore;
    gfx.minVoltage = 880000;
    gfx.maxVoltage = 1050000;
    gfx.offsetMin = -1000000;
    gfx.offsetMax = 1000000;
    gfx.editable = true;

    ClockConfig& mem = gpu.clocks[kSlotMemory];
    mem.present = true;
    mem.type = kNvPstateClockSingle;
    mem.freq = 10501000;
    mem.offsetMin = -1000000;
    mem.offsetMax = 1500000;
    mem.editable = true;

    gpu.pstates = {0};
    gpu.powerMin = 50000;
    gpu.powerDefault = 100000;
    gpu.powerMax = 114000;
    gpu.coolerMin = 30;
    gpu.coolerMax = 100;

    gpu.startTemp = 35;
    gpu.ambient = 28;
    gpu.heatRise = 60;
    gpu.thermalTauMs = 8000;
    gpu.fanCurveLow = 40;
    gpu.fanCurveHigh = 85;
    gpu.load = 5;
    return gpu;
}

// Looks a key up in the GPU's own section, then in the [Gpu] section shared by all.
class GpuKeys {
public:
    GpuKeys(const IniDocument& ini, int index) : m_ini(ini), m_own("gpu" + std::to_string(index)) {}

    const std::string* Text(const std::string& key) const
    {
        const std::string* text = m_ini.Find(m_own, key);
        return text ? text : m_ini.Find("gpu", key);
    }
    template <typename T> void Number(const std::string& key, T& value, long long low, long long high) const
    {
        long long parsed;
        const std::string* text = Text(key);
        if (text && IniDocument::ParseNumber(*text, parsed)) value = static_cast<T>(std::clamp(parsed, low, high));
    }
    void Word(const std::string& key, uint32_t& value) const { Number(key, value, 0, 0xFFFFFFFFll); }
    void Signed(const std::string& key, int32_t& value) const { Number(key, value, INT32_MIN, INT32_MAX); }
    void Real(const std::string& key, double& value, long long low, long long high) const
    {
        long long number = static_cast<long long>(value);
        Number(key, number, low, high);
        if (Text(key)) value = static_cast<double>(number);
    }
    void String(const std::string& key, std::string& value) const
    {
        if (const std::string* text = Text(key)) value = text->substr(0, kNvShortStringSize - 1);
    }

private:
    const IniDocument& m_ini;
    std::string m_own;
};

void ReadClock(const GpuKeys& keys, const std::string& prefix, ClockConfig& clock)
{
    if (const std::string* type = keys.Text(prefix + "Type")) {
        std::string kind = IniDocument::Lower(*type);
        if (kind == "single" || kind == "range") {
            clock.present = true;
            clock.type = kind == "range" ? kNvPstateClockRange : kNvPstateClockSingle;
        } else if (kind == "none") {
            clock.present = false;
        }
    }
    keys.Word(prefix + "Freq", clock.freq);
    keys.Word(prefix + "MinFreq", clock.minFreq);
    keys.Word(prefix + "MaxFreq", clock.maxFreq);
    keys.Number(prefix + "VoltageDomain", clock.voltageDomain, 0, kNvVoltageDomainUndefined);
    keys.Word(prefix + "MinVoltage", clock.minVoltage);
    keys.Word(prefix + "MaxVoltage", clock.maxVoltage);
    keys.Signed(prefix + "OffsetMin", clock.offsetMin);
    keys.Signed(prefix + "OffsetMax", clock.offsetMax);
    keys.Number(prefix + "Editable", clock.editable, 0, 1);
    if (clock.minFreq > clock.maxFreq) std::swap(clock.minFreq, clock.maxFreq);
    if (clock.offsetMin > clock.offsetMax) std::swap(clock.offsetMin, clock.offsetMax);
}

// "0,8": P-state numbers 0..15, at most 16; anything unreadable keeps the previous list.
void ReadPstates(const GpuKeys& keys, std::vector<int32_t>& pstates)
{
    const std::string* text = keys.Text("Pstates");
    if (!text) return;
    std::vector<int32_t> parsed;
    size_t start = 0;
    while (start <= text->size()) {
        size_t comma = std::min(text->find(',', start), text->size());
        std::string item = text->substr(start, comma - start);
        item.erase(0, item.find_first_not_of(' '));
        item.erase(item.find_last_not_of(' ') + 1);
        long long number;
        if (!IniDocument::ParseNumber(item, number) || number < 0 || number > 15) return;
        if (parsed.size() == kNvMaxPstates20) break;
        parsed.push_back(static_cast<int32_t>(number));
        start = comma + 1;
    }
    if (!parsed.empty()) pstates = parsed;
}

GpuConfig ReadGpu(const IniDocument& ini, int index)
{
    GpuKeys keys(ini, index);
    GpuConfig gpu = DefaultGpu();
    keys.String("Name", gpu.name);
    keys.String("Vbios", gpu.vbios);
    keys.Word("DeviceId", gpu.deviceId);
    keys.Word("SubSystemId", gpu.subSystemId);
    keys.Word("RevisionId", gpu.revisionId);
    keys.Word("ExtDeviceId", gpu.extDeviceId);
    keys.Word("MemoryKB", gpu.memoryKb);
    keys.Word("MemoryType", gpu.memoryType);
    keys.Word("BusWidth", gpu.busWidth);
    keys.Word("BusLocation", gpu.busLocation);
    keys.Word("Cores", gpu.cores);
    ReadClock(keys, "Gfx", gpu.clocks[kSlotGraphics]);
    ReadClock(keys, "Mem", gpu.clocks[kSlotMemory]);
    ReadClock(keys, "Proc", gpu.clocks[kSlotProcessor]);
    ReadPstates(keys, gpu.pstates);
    keys.Number("CurrentPstate", gpu.currentPstate, 0, kNvPstateUndefined);
    keys.Number("PowerValid", gpu.powerValid, 0, 1);
    keys.Number("PowerPolicies", gpu.powerPolicies, 0, kNvMaxPowerPolicies);
    keys.Word("PowerMin", gpu.powerMin);
    keys.Word("PowerDefault", gpu.powerDefault);
    keys.Word("PowerMax", gpu.powerMax);
    keys.Number("Sensors", gpu.sensors, 0, kNvMaxThermalSensors);
    keys.Number("Coolers", gpu.coolers, 0, kNvMaxCoolers);
    keys.Number("CoolerMin", gpu.coolerMin, 0, 100);
    keys.Number("CoolerMax", gpu.coolerMax, 0, 100);
    if (const std::string* fans = keys.Text("FanInterface")) {
        const std::string kind = IniDocument::Lower(*fans);
        if (kind == "cooler") gpu.fanInterface = GpuConfig::FanInterface::Cooler;
        if (kind == "client") gpu.fanInterface = GpuConfig::FanInterface::Client;
        if (kind == "none") gpu.fanInterface = GpuConfig::FanInterface::None;
    }
    keys.Number("FanRpmPerPercent", gpu.fanRpmPerPercent, 0, 1000);
    keys.Real("Temperature", gpu.startTemp, -40, 150);
    keys.Real("Ambient", gpu.ambient, -40, 80);
    keys.Real("HeatRise", gpu.heatRise, 0, 200);
    keys.Real("ThermalTauMs", gpu.thermalTauMs, 1, 3600000);
    keys.Real("FanCurveLow", gpu.fanCurveLow, 0, 150);
    keys.Real("FanCurveHigh", gpu.fanCurveHigh, 0, 150);
    keys.Real("Load", gpu.load, 0, 100);
    keys.Real("LoadAmplitude", gpu.loadAmplitude, 0, 100);
    keys.Number("LoadPeriodMs", gpu.loadPeriodMs, 0, 86400000);
    keys.Number("LoadPhaseMs", gpu.loadPhaseMs, 0, 86400000);
    if (gpu.powerMin > gpu.powerMax) std::swap(gpu.powerMin, gpu.powerMax);
    gpu.powerDefault = std::clamp(gpu.powerDefault, gpu.powerMin, gpu.powerMax);
    if (gpu.coolerMin > gpu.coolerMax) std::swap(gpu.coolerMin, gpu.coolerMax);
    if (gpu.fanCurveHigh <= gpu.fanCurveLow) gpu.fanCurveHigh = gpu.fanCurveLow + 1;
    return gpu;
}

} // namespace

Scenario DefaultScenario()
{
    Scenario scenario;
    scenario.gpus.push_back(DefaultGpu());
    scenario.driverVersion = 55123;
    scenario.changeList = 33801125;
    scenario.branch = "r550_00";
    return scenario;
}

bool LoadScenarioFile(const std::string& path, Scenario& scenario)
{
    scenario = DefaultScenario();
    scenario.path = path;
    IniDocument ini;
    if (!ini.Load(path)) return false;

    long long number;
    long long gpuCount = 1;
    if (ini.FindNumber("Simulator", "GpuCount", number)) gpuCount = std::clamp(number, 1ll, 64ll);
    if (ini.FindNumber("Simulator", "DriverVersion", number)) scenario.driverVersion = static_cast<uint32_t>(number);
    if (ini.FindNumber("Simulator", "DriverChangeList", number)) scenario.changeList = static_cast<uint32_t>(number);
    if (ini.FindNumber("Simulator", "Displays", number))
        scenario.displays = static_cast<uint32_t>(std::clamp(number, 0ll, static_cast<long long>(kNvMaxDisplays)));
    if (const std::string* branch = ini.Find("Simulator", "DriverBranch"))
        scenario.branch = branch->substr(0, kNvShortStringSize - 1);

    scenario.gpus.clear();
    for (int i = 0; i < gpuCount; ++i) scenario.gpus.push_back(ReadGpu(ini, i));

    if (const auto* faults = ini.Section("Faults")) {
        for (const auto& [key, value] : *faults) {
            long long id, status;
            if (!IniDocument::ParseNumber(key, id) || id < 0 || id > 0xFFFFFFFFll) continue;
            if (IniDocument::Lower(value) == "missing") status = NVSIM_FAULT_MISSING;
            else if (!IniDocument::ParseNumber(value, status) || status < INT32_MIN || status > INT32_MAX) continue;
            scenario.faults[static_cast<uint32_t>(id)] = static_cast<int32_t>(status);
        }
    }
    return true;
}
