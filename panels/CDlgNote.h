#pragma once
// CDlgNote: a small note, modal for the whole program, with one block of text
// and a close key. The overclock panel shows its warning in it before every
// write; closing it, by the key or Esc, is the only thing it asks.
#include <string>

#include "controls/CLabel.h"
#include "panels/CSkinPanel.h"

class CDlgNote : public CSkinPanel {
public:
    explicit CDlgNote(CWnd* parent = nullptr);

    // Before the window is created.
    void SetNoteText(const std::string& text) { m_noteText = text; }

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void LayOut() override;

    std::string m_noteText;
    CLabel m_textLabel;
};
