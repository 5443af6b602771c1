#pragma once
// Test helper: hears the messages of some kinds that reach a window, ahead of
// its own procedure, for as long as the listener lives.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

class MessageListener {
public:
    struct Heard {
        UINT message;
        WPARAM wParam;
        std::string text;  // a WM_SETTINGCHANGE's section name, if any
    };

    MessageListener(HWND window, std::vector<UINT> messages) : m_window(window), m_messages(std::move(messages))
    {
        Listeners()[window] = this;
        m_previous = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessageListener::Procedure)));
    }
    ~MessageListener()
    {
        ::SetWindowLongPtrA(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
        Listeners().erase(m_window);
    }
    MessageListener(const MessageListener&) = delete;
    MessageListener& operator=(const MessageListener&) = delete;

    const std::vector<Heard>& HeardSoFar() const { return m_heard; }

private:
    static std::map<HWND, MessageListener*>& Listeners()
    {
        static std::map<HWND, MessageListener*> listeners;
        return listeners;
    }
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        MessageListener* self = Listeners()[window];
        for (UINT kind : self->m_messages)
            if (kind == message) {
                const char* text = message == WM_SETTINGCHANGE ? reinterpret_cast<const char*>(lParam) : nullptr;
                self->m_heard.push_back({message, wParam, text ? text : ""});
            }
        return ::CallWindowProcA(self->m_previous, window, message, wParam, lParam);
    }

    HWND m_window;
    std::vector<UINT> m_messages;
    WNDPROC m_previous = nullptr;
    std::vector<Heard> m_heard;
};
