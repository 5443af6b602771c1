#pragma once
// Message tables: each window class lists the messages, commands and reflected
// notifications it reacts to; CWnd::WindowProc (Wnd.cpp) walks the table of the
// object's class, then its base classes', and falls back to Default().
#include <windows.h>

#include <iterator>

class CWnd;

struct MessageEntry {
    enum class Kind {
        Message,          // a window message sent to this window
        Command,          // WM_COMMAND from a control or menu: notification code + identifier
        Reflected,        // a child notification the parent handed back to this control
        ReflectedCommand  // WM_COMMAND reflected to the control; a non-zero result keeps it from the parent
    };
    Kind kind;
    UINT message;  // the message, or the notification code for the command kinds
    UINT id;       // control identifier for Command: the first of the range
    UINT lastId;   // the last identifier of the range (id for a single control)
    LRESULT (*call)(CWnd& self, WPARAM wParam, LPARAM lParam);
    const UINT* registered = nullptr;  // a message registered at run time: its number, in place of message
};

struct MessageMap {
    const MessageMap* base;
    const MessageEntry* first;
    const MessageEntry* last;
};

// Pseudo message under which all WM_CTLCOLOR* messages are listed.
constexpr UINT kCtlColorMessage = 0x0019;

namespace msgmap {

UINT CurrentCtlType(const CWnd& w);

template <class F> struct ClassOf;
template <class C, class R, class... A> struct ClassOf<R (C::*)(A...)> { using type = C; };
template <auto F> using Owner = typename ClassOf<decltype(F)>::type;

// LRESULT F(WPARAM, LPARAM)
template <UINT Msg, auto F> constexpr MessageEntry Message()
{
    return {MessageEntry::Kind::Message, Msg, 0, 0,
            [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT { return (static_cast<Owner<F>&>(w).*F)(wp, lp); }};
}

// LRESULT F(WPARAM, LPARAM), for the message whose number Msg holds once registered
template <const UINT* Msg, auto F> constexpr MessageEntry RegisteredMessage()
{
    return {MessageEntry::Kind::Message, 0, 0, 0,
            [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT { return (static_cast<Owner<F>&>(w).*F)(wp, lp); }, Msg};
}

// void F()
template <UINT Code, UINT Id, auto F> constexpr MessageEntry Command()
{
    return {MessageEntry::Kind::Command, Code, Id, Id,
            [](CWnd& w, WPARAM, LPARAM) -> LRESULT { (static_cast<Owner<F>&>(w).*F)(); return 0; }};
}

// void F(UINT id), for the controls First..Last
template <UINT Code, UINT First, UINT Last, auto F> constexpr MessageEntry CommandRange()
{
    static_assert(First <= Last, "a range runs upwards");
    return {MessageEntry::Kind::Command, Code, First, Last, [](CWnd& w, WPARAM wp, LPARAM) -> LRESULT {
                (static_cast<Owner<F>&>(w).*F)(LOWORD(wp));
                return 0;
            }};
}

// HBRUSH F(HDC dc, HWND child, UINT ctlType)
template <auto F> constexpr MessageEntry CtlColor()
{
    return {MessageEntry::Kind::Message, kCtlColorMessage, 0, 0, [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
                return reinterpret_cast<LRESULT>((static_cast<Owner<F>&>(w).*F)(
                    reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp), CurrentCtlType(w)));
            }};
}

// HBRUSH F(HDC dc, UINT ctlType); a null brush lets the parent colour the control
template <auto F> constexpr MessageEntry CtlColorReflect()
{
    return {MessageEntry::Kind::Reflected, kCtlColorMessage, 0, 0, [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
                return reinterpret_cast<LRESULT>(
                    (static_cast<Owner<F>&>(w).*F)(reinterpret_cast<HDC>(wp), static_cast<UINT>(lp)));
            }};
}

// void F(const DRAWITEMSTRUCT&)
template <auto F> constexpr MessageEntry DrawItemReflect()
{
    return {MessageEntry::Kind::Reflected, WM_DRAWITEM, 0, 0, [](CWnd& w, WPARAM, LPARAM lp) -> LRESULT {
                (static_cast<Owner<F>&>(w).*F)(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
                return TRUE;
            }};
}

// BOOL F(); FALSE lets the parent handle the command as well
template <UINT Code, auto F> constexpr MessageEntry CommandReflect()
{
    return {MessageEntry::Kind::ReflectedCommand, Code, 0, 0,
            [](CWnd& w, WPARAM, LPARAM) -> LRESULT { return (static_cast<Owner<F>&>(w).*F)(); }};
}

}  // namespace msgmap

// Declares the table inside a class.
#define DECLARE_MESSAGE_MAP()                                           \
public:                                                                 \
    static const MessageMap* Messages();                                \
protected:                                                              \
    const MessageMap* GetMessageMap() const override { return Messages(); }

#define BEGIN_MESSAGE_MAP(Class, Base)                                  \
    const MessageMap* Class::Messages()                                 \
    {                                                                   \
        using ThisClass = Class;                                        \
        using BaseClass = Base;                                         \
        static const MessageEntry entries[] = {

#define END_MESSAGE_MAP()                                                            \
        };                                                                           \
        static const MessageMap map = {BaseClass::Messages(), std::begin(entries),  \
                                       std::end(entries)};                           \
        return &map;                                                                 \
    }

#define ON_MESSAGE(msg, fn) msgmap::Message<msg, &ThisClass::fn>(),
#define ON_REGISTERED_MESSAGE(var, fn) msgmap::RegisteredMessage<&var, &ThisClass::fn>(),
#define ON_COMMAND(id, fn) msgmap::Command<0, id, &ThisClass::fn>(),
#define ON_CONTROL(code, id, fn) msgmap::Command<code, id, &ThisClass::fn>(),
#define ON_BN_CLICKED(id, fn) msgmap::Command<BN_CLICKED, id, &ThisClass::fn>(),
#define ON_BN_CLICKED_RANGE(first, last, fn) msgmap::CommandRange<BN_CLICKED, first, last, &ThisClass::fn>(),
#define ON_WM_CTLCOLOR(fn) msgmap::CtlColor<&ThisClass::fn>(),
#define ON_CTLCOLOR_REFLECT(fn) msgmap::CtlColorReflect<&ThisClass::fn>(),
#define ON_DRAWITEM_REFLECT(fn) msgmap::DrawItemReflect<&ThisClass::fn>(),
#define ON_CONTROL_REFLECT_EX(code, fn) msgmap::CommandReflect<code, &ThisClass::fn>(),
