#pragma once
// CDialog: a window made from a dialog template, modal (DoModal runs its own
// message loop) or modeless (Create). Esc reaches OnCancel; Enter presses the
// focused key (Keyboard.h). The window keeps whether it shows keyboard cues,
// and the control that had the focus when it was left.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "framework/Wnd.h"

class CDialog;

// Direction and target of one data exchange pass (DoDataExchange).
struct CDataExchange {
    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
};

// Attaches the object to the template control on the first pass.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
// A number or string to or from a control's text; the text is only replaced
// when it differs, so an unchanged value does not repaint the control.
void DDX_Text(CDataExchange* pDX, int id, int& value);
void DDX_Text(CDataExchange* pDX, int id, unsigned& value);
void DDX_Text(CDataExchange* pDX, int id, std::string& value);

class CDialog : public CWnd {
    DECLARE_MESSAGE_MAP()
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Without a parent the dialog is owned by the application window or its
    // last active pop-up. It disables its owner while it runs, or, when task
    // modal, every other window of the thread.
    INT_PTR DoModal();
    // Creates the window modeless; FALSE when the template cannot be used.
    BOOL Create(UINT templateId, CWnd* parent = nullptr);
    void EndDialog(int result);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    UINT TemplateId() const { return m_templateId; }
    // The control with that identifier, or null. Remembered after the first
    // lookup: finding a child by identifier asks the window manager each time
    // under Wine, and data exchange looks its controls up at every exchange.
    HWND Item(int id);

    // Routes keyboard navigation (Tab, Enter, Esc, WM_GETDLGCODE) to any dialog
    // of ours, and notes whether the keyboard or the mouse was used last.
    static bool PreTranslate(MSG& msg);
    // Runs the thread's messages as the message loop does, so that every
    // window stays responsive, while waiting() holds, at most timeoutMs.
    // False when the wait ended for WM_QUIT (posted again for the loop).
    static bool RunMessagesWhile(const std::function<bool()>& waiting, DWORD timeoutMs);
    // The focus mark shows once the keyboard is used in the window.
    bool FocusCuesShown() const { return !m_hideFocusCues; }

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange*) {}
    // The window's DPI has changed (Dpi() gives the new one) and its controls
    // have taken their art and fonts for it: the window takes its own and
    // places its controls again. The system's suggested rectangle follows.
    virtual void OnDpiChanged() {}
    // The system's colours or settings changed (high contrast switched, say):
    // Windows tells only top-level windows, and the common controls learn of
    // it only from the window that holds them, so the window's controls are
    // told too. A window that handles these itself calls this.
    LRESULT OnSystemChange(WPARAM wParam, LPARAM lParam);
    // A control placed at a rectangle given at 96 DPI (left, top, width,
    // height), scaled to the window's DPI.
    void PlaceControl(HWND control, int left, int top, int width, int height) const;
    // A control that takes its size from its own art, moved to a corner given
    // at 96 DPI.
    void PlaceControlAt(HWND control, int left, int top) const;

    // As a task-modal message box: while the dialog runs modally, no other
    // window of the program takes input.
    bool m_taskModal = false;

private:
    static INT_PTR CALLBACK StartProc(HWND, UINT, WPARAM, LPARAM);
    BOOL CreateOwned(HWND owner);
    LRESULT OnInitDialogMessage(WPARAM, LPARAM);
    LRESULT OnChangeUIState(WPARAM, LPARAM);
    LRESULT OnQueryUIState(WPARAM, LPARAM);
    LRESULT OnShowWindow(WPARAM, LPARAM);
    LRESULT OnActivate(WPARAM, LPARAM);
    LRESULT OnDpiChangedMessage(WPARAM, LPARAM);
    void HideFocusCues(bool hide);
    void SaveFocus();
    void OnOKCommand() { OnOK(); }
    void OnCancelCommand() { OnCancel(); }

    UINT m_templateId;
    CWnd* m_pParent;
    bool m_modal = false;
    bool m_endModal = false;
    INT_PTR m_modalResult = -1;
    std::vector<std::pair<int, HWND>> m_items;
    bool m_hideFocusCues = true;
    HWND m_savedFocus = nullptr;  // restored when the window is active again
};
