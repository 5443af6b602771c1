#include "overclock/COverclock.h"

#include <algorithm>

namespace {
// Driver figures are thousandths of the rows' units (kHz, thousandths of a
// per cent). Offsets are signed and truncate toward zero.
int FromDriver(int32_t offset) { return offset / 1000; }
int FromDriver(uint32_t power) { return static_cast<int>(power / 1000); }

int Within(int value, const OverclockRow& row) { return std::max(row.minimum, std::min(value, row.maximum)); }
}  // namespace

COverclock::COverclock(CGpuControl& gpu, const CIniFile& ini) : m_gpu(gpu), m_ini(ini)
{
    m_gpu.AddSelectionListener(this);
}

COverclock::~COverclock() { m_gpu.RemoveSelectionListener(this); }

int COverclock::SelectedIndex() const
{
    const int index = m_gpu.m_gpuIndex;
    return index >= 0 && index < static_cast<int>(kNvMaxPhysicalGpus) ? index : 0;
}

COverclock::Card& COverclock::CardAt(int index)
{
    return m_cards[index >= 0 && index < static_cast<int>(kNvMaxPhysicalGpus) ? index : 0];
}

const COverclock::Card& COverclock::Selected() const { return m_cards[SelectedIndex()]; }

OverclockRow& COverclock::RowOf(Card& card, Row row)
{
    switch (row) {
    case kPower:
        return card.power;
    case kGpuOffset:
        return card.gpuOffset;
    default:
        return card.memOffset;
    }
}

const OverclockRow& COverclock::Value(Row row) const
{
    const Card& card = Selected();
    return row == kFrame ? m_frame : row == kPower ? card.power : row == kGpuOffset ? card.gpuOffset : card.memOffset;
}

bool COverclock::SyncAllGpus() const
{
    SystemFlags flags{};
    m_ini.ReadSystemFlags(flags);
    return flags.synchronization != 0;
}

void COverclock::SetValue(Row row, int value)
{
    OverclockRow& r = row == kFrame ? m_frame : RowOf(Selected(), row);
    if (r.enabled) r.value = Within(value, r);
}

void COverclock::ReadClocks(int index)
{
    Card& card = CardAt(index);
    GpuClockInfo info{};
    const bool known = m_gpu.GetPstateClocks(info, index, 0) != 0;
    if (known) {
        card.gpuOffset.value = FromDriver(info.gfxOffset);
        card.gpuOffset.minimum = FromDriver(info.gfxOffsetMin);
        card.gpuOffset.maximum = FromDriver(info.gfxOffsetMax);
        card.memOffset.value = FromDriver(info.memOffset);
        card.memOffset.minimum = FromDriver(info.memOffsetMin);
        card.memOffset.maximum = FromDriver(info.memOffsetMax);
    }
    card.gpuOffset.known = card.memOffset.known = known;
    card.gpuOffset.enabled = known && info.gfxOffsetEditable;
    card.memOffset.enabled = known && info.memOffsetEditable;
}

void COverclock::ReadPower(int index)
{
    Card& card = CardAt(index);
    GpuClockInfo info{};
    const bool known = m_gpu.GetPowerTarget(info, index) != 0;
    if (known) {
        card.power.value = FromDriver(info.powerTarget);
        card.power.minimum = FromDriver(info.powerMin);
        card.power.maximum = FromDriver(info.powerMax);
        card.powerDefault = FromDriver(info.powerDefault);
    }
    card.power.known = known;
    // Without a default the driver offers no power target to set.
    card.power.enabled = known && card.powerDefault != 0;
}

void COverclock::ReadCard(int index)
{
    ReadClocks(index);
    ReadPower(index);
}

void COverclock::ReadAll()
{
    ReadCard(SelectedIndex());
    Changed();
}

bool COverclock::ReadMissing()
{
    const Card& card = Selected();
    const bool clocks = !card.gpuOffset.known, power = !card.power.known;
    if (clocks) ReadClocks(SelectedIndex());
    if (power) ReadPower(SelectedIndex());
    const bool read = (clocks && card.gpuOffset.known) || (power && card.power.known);
    if (read) Changed();
    return read;
}

void COverclock::SelectedGpuChanged(int)
{
    ReadAll();
}

OverclockCard COverclock::Identity(int index)
{
    OverclockCard card;
    card.place = index;
    m_gpu.GetPCIIdentifiers(card.ids[0], card.ids[1], card.ids[2], card.ids[3], index);
    return card;
}

int COverclock::Target() const { return SyncAllGpus() ? kEveryGpu : SelectedIndex(); }

bool COverclock::WriteToGpus(bool offsets, bool power, int target)
{
    const Card& card = target == kEveryGpu ? Selected() : CardAt(target);
    GpuClockInfo record{};
    record.gfxOffset = card.gpuOffset.value * 1000;
    record.memOffset = card.memOffset.value * 1000;
    record.powerTarget = static_cast<uint32_t>(card.power.value) * 1000;
    bool ok = true;
    const auto write = [&](int gpu) {
        if (offsets) ok &= m_gpu.SetClockOffsets(record, gpu) != 0;
        if (power) ok &= m_gpu.SetPowerTarget(record, gpu) != 0;
    };
    if (target == kEveryGpu) {
        for (uint32_t i = 0; i < m_gpu.m_gpuCount; ++i) write(static_cast<int>(i));
        return ok && m_gpu.m_gpuCount > 0;
    }
    write(target);
    return ok;
}

// Always the selected card, which the panel shows, and the card written to.
// A failed read leaves the rows unknown: what the driver took is not known.
void COverclock::ReadBack(int target)
{
    ReadCard(SelectedIndex());
    if (target != kEveryGpu && target != SelectedIndex()) ReadCard(target);
}

bool COverclock::Write(const OverclockSettings& settings, int target)
{
    Card& card = target == kEveryGpu ? Selected() : CardAt(target);
    const bool offsets = settings.gpuOffset || settings.memOffset, power = settings.powerTarget.has_value();
    // The offsets go in one record: one left out keeps the value the card holds.
    card.gpuOffset.value = settings.gpuOffset.value_or(card.gpuOffset.value);
    card.memOffset.value = settings.memOffset.value_or(card.memOffset.value);
    card.power.value = settings.powerTarget.value_or(card.power.value);
    m_frame.value = settings.frameTarget.value_or(m_frame.value);
    bool wrote = offsets || power;
    bool ok = !wrote || WriteToGpus(offsets, power, target);
    // Writing the frame-rate target costs a whole settings session: only a
    // value not known to be there is written, once.
    if (settings.frameTarget && m_frame.value != m_frameSent) {
        wrote = true;
        if (m_gpu.SetDriverSetting(static_cast<uint32_t>(m_frame.value)))
            m_frameSent = m_frame.value;
        else
            ok = false;
    }
    ReadBack(target);
    Changed();
    return wrote && ok;
}

void COverclock::Keep(OverclockSettings applied, int target)
{
    applied.frameTarget.reset();
    if (m_frameSent != kFrameTargetUnknown) applied.frameTarget = m_frameSent;
    applied.card.reset();
    if (target != kEveryGpu) applied.card = Identity(target);
    StoreOverclock(m_ini, applied);
    SetNote("");
}

bool COverclock::Apply()
{
    const Card& card = Selected();
    OverclockSettings settings;
    const int target = Target();
    settings.allGpus = target == kEveryGpu;
    // A value the driver did not tell is left out.
    if (card.gpuOffset.known) {
        settings.gpuOffset = card.gpuOffset.value;
        settings.memOffset = card.memOffset.value;
    }
    if (card.power.known) settings.powerTarget = card.power.value;
    settings.frameTarget = m_frame.value;
    if (!Write(settings, target)) return false;
    Keep(settings, target);
    return true;
}

bool COverclock::ApplyPreset(int level)
{
    if (level < 1 || level > 3) return false;
    // The raise is on the driver's default: without one, no power target.
    ReadMissing();
    const Card& card = Selected();
    OverclockSettings settings;
    const int target = Target();
    settings.allGpus = target == kEveryGpu;
    if (card.gpuOffset.known) {
        settings.gpuOffset = kPresets[level - 1].gpuOffset;
        settings.memOffset = kPresets[level - 1].memOffset;
    }
    if (card.power.enabled) settings.powerTarget = card.powerDefault + kPresetPowerRaise;
    if (!Write(settings, target)) return false;
    Keep(settings, target);
    return true;
}

// Writes nothing for the frame-rate target, so the driver may hold another one
// than the 40 shown.
bool COverclock::Reset()
{
    ReadMissing();
    Card& card = Selected();
    card.power.value = card.powerDefault;
    card.gpuOffset.value = 0;
    card.memOffset.value = 0;
    m_frameSent = kFrameTargetUnknown;
    m_frame.value = kFrameRateAtReset;
    const int target = Target();
    // The power row is enabled exactly when the driver gave a default.
    const bool taken = WriteToGpus(card.gpuOffset.known, card.power.enabled, target);
    ReadBack(target);
    ClearStoredOverclock(m_ini);
    m_note.clear();
    Changed();
    return taken;
}

OverclockPlan COverclock::Plan(const OverclockSettings& kept)
{
    OverclockPlan plan;
    plan.settings.allGpus = kept.allGpus;
    if (kept.allGpus) {
        plan.target = kEveryGpu;
    } else {
        // The card it went to, at the same place with the same identifiers; a
        // profile that does not say is taken for the only card there is.
        plan.target = kEveryGpu;
        if (kept.card) {
            const int place = kept.card->place;
            if (place >= 0 && static_cast<uint32_t>(place) < m_gpu.m_gpuCount && Identity(place) == *kept.card)
                plan.target = place;
        } else if (m_gpu.m_gpuCount == 1) {
            plan.target = 0;
        }
        if (plan.target == kEveryGpu) {
            plan.problem = OverclockPlan::Problem::NoCard;
            return plan;
        }
        plan.settings.card = kept.card;
    }
    const int limitsFrom = plan.target == kEveryGpu ? SelectedIndex() : plan.target;
    ReadCard(limitsFrom);
    Changed();
    Card& card = CardAt(limitsFrom);
    if (((kept.gpuOffset || kept.memOffset) && !card.gpuOffset.known) || (kept.powerTarget && !card.power.known)) {
        plan.problem = OverclockPlan::Problem::NoLimits;
        return plan;
    }
    if (kept.gpuOffset && card.gpuOffset.enabled) plan.settings.gpuOffset = Within(*kept.gpuOffset, card.gpuOffset);
    if (kept.memOffset && card.memOffset.enabled) plan.settings.memOffset = Within(*kept.memOffset, card.memOffset);
    if (kept.powerTarget && card.power.enabled) plan.settings.powerTarget = Within(*kept.powerTarget, card.power);
    if (kept.frameTarget) plan.settings.frameTarget = Within(*kept.frameTarget, m_frame);
    return plan;
}

bool COverclock::ApplyPlan(const OverclockPlan& plan)
{
    if (plan.problem != OverclockPlan::Problem::None) return false;
    const int frameBefore = m_frame.value;
    if (Write(plan.settings, plan.target)) return true;
    // The driver's frame-rate target is what it was: the row shows the one before.
    if (m_frameSent != m_frame.value) {
        m_frame.value = frameBefore;
        Changed();
    }
    return false;
}

void COverclock::SetNote(const std::string& text)
{
    m_note = text;
    Changed();
}

void COverclock::Changed()
{
    if (m_onChange) m_onChange();
}
