#include "framework/Accessible.h"

#include <oleacc.h>

#include "framework/Resources.h"
#include "framework/Wnd.h"

namespace {

// __uuidof rather than IID_IAccessible: MinGW's import library takes oleacc's
// exported IID for a function and hands out the address of a jump.

// The object assistive technology holds for one control. It keeps only the
// window handle and finds the control again at every call.
class ControlObject final : public IAccessible {
public:
    explicit ControlObject(HWND window) : m_window(window) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = ::InterlockedDecrement(&m_refs);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch: assistive technology calls the interface directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override
    {
        if (!parent) return E_POINTER;
        *parent = nullptr;
        if (!::IsWindow(m_window)) return RPC_E_DISCONNECTED;
        // The window object around this client area, where the system has one.
        if (FAILED(::AccessibleObjectFromWindow(m_window, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                                reinterpret_cast<void**>(parent))))
            *parent = nullptr;
        return *parent ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override
    {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** child) override
    {
        if (child) *child = nullptr;
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        return Text(child, name, [](const AccessibleFacts& f) { return f.name; });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        return Text(child, value, [](const AccessibleFacts& f) { return f.value; });
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override
    {
        return Text(child, description, [](const AccessibleFacts& f) { return f.description; });
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        return Text(child, action, [](const AccessibleFacts& f) { return f.defaultAction; });
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        AccessibleFacts facts;
        const HRESULT hr = Facts(child, role, facts);
        if (hr != S_OK) return hr;
        role->vt = VT_I4;
        role->lVal = facts.role;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        AccessibleFacts facts;
        const HRESULT hr = Facts(child, state, facts);
        if (hr != S_OK) return hr;
        long states = facts.states;
        if (!::IsWindowVisible(m_window)) states |= STATE_SYSTEM_INVISIBLE;
        if (!::IsWindowEnabled(m_window)) states |= STATE_SYSTEM_UNAVAILABLE;
        if ((::GetWindowLongPtrA(m_window, GWL_STYLE) & WS_TABSTOP) && !(states & STATE_SYSTEM_UNAVAILABLE))
            states |= STATE_SYSTEM_FOCUSABLE;
        if (::GetFocus() == m_window) states |= STATE_SYSTEM_FOCUSED;
        state->vt = VT_I4;
        state->lVal = states;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* help) override { return Nothing(help); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override
    {
        if (topic) *topic = 0;
        return Nothing(file);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* shortcut) override { return Nothing(shortcut); }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override
    {
        if (!focus) return E_POINTER;
        ::VariantInit(focus);
        if (::GetFocus() != m_window) return S_FALSE;
        focus->vt = VT_I4;
        focus->lVal = CHILDID_SELF;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override
    {
        if (!selection) return E_POINTER;
        ::VariantInit(selection);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override
    {
        if (!IsSelf(child)) return E_INVALIDARG;
        if (!(flags & SELFLAG_TAKEFOCUS)) return DISP_E_MEMBERNOTFOUND;
        return ::SetFocus(m_window) || ::GetFocus() == m_window ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override
    {
        if (!left || !top || !width || !height) return E_POINTER;
        if (!IsSelf(child)) return E_INVALIDARG;
        RECT r{};
        if (!::GetWindowRect(m_window, &r)) return RPC_E_DISCONNECTED;
        *left = r.left;
        *top = r.top;
        *width = r.right - r.left;
        *height = r.bottom - r.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long, VARIANT, VARIANT* end) override
    {
        // Siblings are the parent's to find.
        if (end) ::VariantInit(end);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override
    {
        if (!child) return E_POINTER;
        ::VariantInit(child);
        RECT r{};
        if (!::GetWindowRect(m_window, &r)) return RPC_E_DISCONNECTED;
        if (!::PtInRect(&r, POINT{x, y})) return S_FALSE;
        child->vt = VT_I4;
        child->lVal = CHILDID_SELF;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        if (!IsSelf(child)) return E_INVALIDARG;
        AccessibleControl* control = Control();
        if (!control) return RPC_E_DISCONNECTED;
        return control->DoDefaultAction() ? S_OK : DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    static bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

    AccessibleControl* Control() const
    {
        return ::IsWindow(m_window) ? dynamic_cast<AccessibleControl*>(CWnd::FromHandle(m_window)) : nullptr;
    }

    template <class Out>
    HRESULT Facts(const VARIANT& child, Out* out, AccessibleFacts& facts) const
    {
        if (!out) return E_POINTER;
        if (!IsSelf(child)) return E_INVALIDARG;
        const AccessibleControl* control = Control();
        if (!control) return RPC_E_DISCONNECTED;
        control->Describe(facts);
        return S_OK;
    }

    template <class Pick>
    HRESULT Text(const VARIANT& child, BSTR* out, Pick pick) const
    {
        AccessibleFacts facts;
        const HRESULT hr = Facts(child, out, facts);
        if (hr != S_OK) return hr;
        *out = nullptr;
        const std::string text = pick(facts);
        if (text.empty()) return S_FALSE;
        *out = ::SysAllocString(WideFromCp936(text.c_str()).c_str());
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    static HRESULT Nothing(BSTR* out)
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        return S_FALSE;
    }

    HWND m_window;
    LONG m_refs = 1;
};

}  // namespace

LRESULT AnswerGetObject(CWnd& window, WPARAM flags, LPARAM objectId)
{
    if (static_cast<LONG>(objectId) != OBJID_CLIENT || !dynamic_cast<AccessibleControl*>(&window))
        return window.Default();
    ControlObject* object = new ControlObject(window.m_hWnd);
    // The result holds its own reference to the object.
    const LRESULT result = ::LresultFromObject(__uuidof(IAccessible), flags, object);
    object->Release();
    return result;
}

void NotifyValueChange(HWND window)
{
    if (window) ::NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, window, OBJID_CLIENT, CHILDID_SELF);
}

void NotifyStateChange(HWND window)
{
    if (window) ::NotifyWinEvent(EVENT_OBJECT_STATECHANGE, window, OBJID_CLIENT, CHILDID_SELF);
}
