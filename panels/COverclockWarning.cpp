#include "panels/COverclockWarning.h"

bool COverclockWarning::Pending()
{
    if (m_open) ::SetForegroundWindow(*m_open);
    return m_open != nullptr;
}

bool COverclockWarning::Confirm()
{
    if (Pending()) return false;
    CDlgNote note(nullptr);
    note.SetNoteText(kText);
    m_open = &note;
    m_declined = false;
    note.DoModal();
    m_open = nullptr;
    return !m_declined;
}

void COverclockWarning::Decline()
{
    if (!m_open) return;
    m_declined = true;
    m_open->EndDialog(IDABORT);
}
