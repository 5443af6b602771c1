#pragma once
// What a control tells assistive technology (a screen reader) about itself
// through the platform's accessibility interface. The control answers
// WM_GETOBJECT with an IAccessible object of its own, which asks the control
// afresh at every call; the object outlives neither the window nor its object
// in any way that matters: once they are gone it answers that it is cut off.
#include <windows.h>

#include <string>
#include <type_traits>

#include "framework/MessageMap.h"

// One answer of a control. The window itself adds the states every window has:
// focusable (a tab stop), focused, unavailable (disabled) and invisible.
struct AccessibleFacts {
    std::string name;           // code page 936 text, as all the program's strings
    long role = 0;              // ROLE_SYSTEM_*
    long states = 0;            // STATE_SYSTEM_* of the control's own
    std::string value;          // none when empty
    std::string description;    // none when empty
    std::string defaultAction;  // none when empty
};

// A control that describes itself; mixed into the control's class.
class AccessibleControl {
public:
    virtual void Describe(AccessibleFacts& facts) const = 0;
    // The default action's work, asked for by assistive technology; false
    // when there is none.
    virtual bool DoDefaultAction() { return false; }
    // The name the control's window gives it; the control's own default otherwise.
    void SetAccessibleName(const std::string& name) { m_accessibleName = name; }
    // Why the control is as it is, where that is not plain; none when empty.
    void SetAccessibleDescription(const std::string& text) { m_accessibleDescription = text; }

protected:
    ~AccessibleControl() = default;
    const std::string& AccessibleName() const { return m_accessibleName; }
    const std::string& AccessibleDescription() const { return m_accessibleDescription; }

private:
    std::string m_accessibleName;
    std::string m_accessibleDescription;
};

// The answer to WM_GETOBJECT for a window whose object is an AccessibleControl;
// other requests go on to the window's previous procedure.
LRESULT AnswerGetObject(CWnd& window, WPARAM flags, LPARAM objectId);
// Tells assistive technology that the control's value, or its state, changed.
void NotifyValueChange(HWND window);
void NotifyStateChange(HWND window);

namespace msgmap {
template <class Control> constexpr MessageEntry AccessibleObject()
{
    static_assert(std::is_base_of_v<AccessibleControl, Control>, "the control describes itself");
    return {MessageEntry::Kind::Message, WM_GETOBJECT, 0, 0,
            [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT { return AnswerGetObject(w, wp, lp); }};
}
}  // namespace msgmap

// In a control's message table: it answers for itself.
#define ON_WM_GETOBJECT_ACCESSIBLE() msgmap::AccessibleObject<ThisClass>(),
