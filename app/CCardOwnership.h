#pragma once
// CCardOwnership: the cards are one per machine, but every signed-in user
// (fast user switching, remote desktop) may run a copy of the program. Only
// the copy that holds a machine-wide mutex writes to the cards; the others
// show the readings and write nothing, and take the mutex over when its holder
// ends (or dies: an abandoned mutex is taken as well). The mutex belongs to
// the thread that takes it: the user-interface thread asks and lets go.
#include <string>

#include "access/ObjectSecurity.h"
#include "gpu/GpuControl.h"

class CCardOwnership : public GpuWriteGate {
public:
    static constexpr wchar_t kName[] = L"Global\\Q-Surge.Cards";
    // What a copy without the cards says, in its window and its command answers.
    static constexpr char kHeldElsewhere[] = "Another user's copy of Q-Surge controls the cards";

    // Takes the cards when no other copy holds them.
    CCardOwnership();
    ~CCardOwnership();
    CCardOwnership(const CCardOwnership&) = delete;
    CCardOwnership& operator=(const CCardOwnership&) = delete;

    // Takes the cards when their holder has let them go; true once this copy holds them.
    bool Take();
    bool Held() const { return m_held; }
    bool MayWrite() const override { return m_held; }

private:
    CKernelHandle m_mutex;
    bool m_held = false;
};
