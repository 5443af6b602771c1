#include "panels/CDlgNote.h"

#include "res/resource.h"

namespace {
const PanelFrame kPanelFrame{"Setting", false, IDB_NOTE_SKIN, 295, 207, {0, 0, 0}, {IDB_SETTINGS_CLOSE, 264, 5}};
constexpr COLORREF kTextColour = 0x00C8C8C8;
}  // namespace

// While a note is up, no other window of the program takes input: the user
// answers one warning before asking for anything else.
CDlgNote::CDlgNote(CWnd* parent) : CSkinPanel(IDD_NOTE, parent) { m_taskModal = true; }

void CDlgNote::DoDataExchange(CDataExchange* pDX)
{
    CSkinPanel::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_NOTE_TEXT, m_textLabel);
    DDX_Text(pDX, IDC_NOTE_TEXT, m_noteText);
}

BOOL CDlgNote::OnInitDialog()
{
    CSkinPanel::OnInitDialog();
    SetUpFrame(kPanelFrame);
    m_textLabel.SetLabelFontName("微软雅黑");
    m_textLabel.SetLabelFontSize(14);
    m_textLabel.SetLabelTextColour(kTextColour);
    LayOut();
    return TRUE;
}

void CDlgNote::LayOut()
{
    CSkinPanel::LayOut();
    PlaceControl(m_textLabel, 14, 76, 268, 160);
}
