// Driver-settings sessions on the base profile. A session works on its own
// copy of the saved settings; only SaveSettings commits it to the store beside
// the scenario.
#include "nvsim/Entries.h"
#include "nvsim/Simulator.h"

namespace nvsim {

namespace {
constexpr size_t kMaxSessions = 32;
}

NvStatus DrsCreateSession(NvDrsSession* session)
{
    DriverCall call(NvId::DrsCreateSession);
    if (NvStatus status = call.Begin({session})) return status;
    if (call.Sim().sessions.size() >= kMaxSessions) return call.Done(kNvError);
    *session = call.Sim().NewSession();
    return call.Done(kNvOk);
}

NvStatus DrsLoadSettings(NvDrsSession session)
{
    DriverCall call(NvId::DrsLoadSettings);
    if (NvStatus status = call.Begin({})) return status;
    DrsSessionState* state = call.Sim().Session(session);
    if (!state) return call.Done(kNvInvalidHandle);
    state->settings = call.Sim().saved;
    state->loaded = true;
    return call.Done(kNvOk);
}

NvStatus DrsGetBaseProfile(NvDrsSession session, NvDrsProfile* profile)
{
    DriverCall call(NvId::DrsGetBaseProfile);
    if (NvStatus status = call.Begin({profile})) return status;
    DrsSessionState* state = call.Sim().Session(session);
    if (!state) return call.Done(kNvInvalidHandle);
    if (!state->loaded) return call.Done(kNvError);
    *profile = Simulator::BaseProfile(session);
    return call.Done(kNvOk);
}

NvStatus DrsSetSetting(NvDrsSession session, NvDrsProfile profile, NvDrsSetting* setting)
{
    DriverCall call(NvId::DrsSetSetting);
    if (NvStatus status = call.BeginRecord(setting, {NvVer::DrsSetting})) return status;
    DrsSessionState* state = call.Sim().Session(session);
    if (!state || profile != Simulator::BaseProfile(session)) return call.Done(kNvInvalidHandle);
    call.Value(setting->settingId);
    call.Value(setting->settingType);
    call.Value(setting->currentValue.dword);
    if (!state->loaded) return call.Done(kNvError);
    if (setting->settingType != kNvDrsTypeDword) return call.Done(kNvInvalidArgument);
    state->settings[setting->settingId] = setting->currentValue.dword;
    return call.Done(kNvOk);
}

NvStatus DrsSaveSettings(NvDrsSession session)
{
    DriverCall call(NvId::DrsSaveSettings);
    if (NvStatus status = call.Begin({})) return status;
    DrsSessionState* state = call.Sim().Session(session);
    if (!state) return call.Done(kNvInvalidHandle);
    if (!state->loaded || !call.Sim().SaveSettings(state->settings)) return call.Done(kNvError);
    return call.Done(kNvOk);
}

NvStatus DrsDestroySession(NvDrsSession session)
{
    DriverCall call(NvId::DrsDestroySession);
    if (NvStatus status = call.Begin({})) return status;
    if (!call.Sim().EndSession(session)) return call.Done(kNvInvalidHandle);
    return call.Done(kNvOk);
}

} // namespace nvsim
