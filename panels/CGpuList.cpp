#include "panels/CGpuList.h"

#include <string>
#include <vector>

#include "controls/FocusMark.h"
#include "framework/Dpi.h"
#include "framework/Keyboard.h"
#include "framework/Resources.h"

namespace {
// At 96 DPI: the text's indent, the arrow's width and the border.
constexpr int kTextIndent = 5;
constexpr int kArrowWidth = 7;
constexpr int kArrowMargin = 6;
constexpr int kPointTenths = 90;
}  // namespace

BEGIN_MESSAGE_MAP(CGpuList, CComboBox)
    ON_DRAWITEM_REFLECT(DrawItem)
    ON_CTLCOLOR_REFLECT(OnCtlColorReflect)
    ON_MESSAGE(WM_PAINT, OnPaint)
    ON_MESSAGE(WM_PRINTCLIENT, OnPrintClient)
    ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
    ON_CONTROL_REFLECT_EX(CBN_SELCHANGE, OnSelChange)
    ON_MESSAGE(kDpiChangedAfterParent, OnDpiChanged)
END_MESSAGE_MAP()

void CGpuList::PreSubclassWindow() { Scale(); }

// Told by the parent, and by Windows after it: once per DPI.
LRESULT CGpuList::OnDpiChanged(WPARAM, LPARAM)
{
    if (Dpi() != m_dpi) Scale();
    return 0;
}

void CGpuList::Scale()
{
    m_dpi = Dpi();
    m_font = CreatePointFont(kPointTenths, "微软雅黑", m_dpi);
    const int height = ScaleToDpi(kItemHeight, m_dpi);
    // -1: the field; 0: every entry of the list (fixed height).
    SendMessage(CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height);
    SendMessage(CB_SETITEMHEIGHT, 0, height);
    Invalidate(TRUE);
}

HBRUSH CGpuList::OnCtlColorReflect(HDC dc, UINT)
{
    if (HighContrastOn()) return ::GetSysColorBrush(COLOR_WINDOW);
    ::SetBkColor(dc, kField);
    ::SetTextColor(dc, kText);
    return m_fieldBrush;
}

LRESULT CGpuList::OnPaint(WPARAM, LPARAM)
{
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    if (dc) PaintField(dc);
    ::EndPaint(m_hWnd, &ps);
    return 0;
}

LRESULT CGpuList::OnPrintClient(WPARAM dc, LPARAM)
{
    PaintField(reinterpret_cast<HDC>(dc));
    return 0;
}

BOOL CGpuList::OnSelChange()
{
    Invalidate(FALSE);
    return FALSE;
}

void CGpuList::PaintField(HDC dc)
{
    const bool contrast = HighContrastOn();
    const CScale scale(m_dpi);
    const CRect client = GetClientRect();
    const COLORREF border = contrast ? ::GetSysColor(COLOR_WINDOWFRAME) : kBorder;
    ::SetBkColor(dc, border);
    ::ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &client, nullptr, 0, nullptr);
    CRect field = client;
    const int line = scale(1);
    field.left += line;
    field.top += line;
    field.right -= line;
    field.bottom -= line;
    const int selected = GetCurSel();
    PaintEntry(dc, selected >= 0 ? static_cast<UINT>(selected) : static_cast<UINT>(-1), field, false);

    // A small downward triangle, in the captions' grey, at the right.
    const int width = scale(kArrowWidth), right = field.right - scale(kArrowMargin);
    const int top = (field.top + field.bottom - (width + 1) / 2) / 2;
    const COLORREF arrow = contrast ? ::GetSysColor(COLOR_WINDOWTEXT) : kArrow;
    ::SetBkColor(dc, arrow);
    for (int row = 0; row < (width + 1) / 2; ++row) {
        const RECT span{right - width + row, top + row, right - row, top + row + 1};
        ::ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &span, nullptr, 0, nullptr);
    }
    if (::GetFocus() == m_hWnd && FocusMarkShown(m_hWnd)) DrawFocusMark(dc, client);
}

void CGpuList::PaintEntry(HDC dc, UINT item, const RECT& rect, bool picked)
{
    const bool contrast = HighContrastOn();
    const COLORREF back = contrast ? ::GetSysColor(picked ? COLOR_HIGHLIGHT : COLOR_WINDOW) : picked ? kAccent : kField;
    const COLORREF fore =
        contrast ? ::GetSysColor(picked ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT) : picked ? kAccentText : kText;
    ::SetBkColor(dc, back);
    ::ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
    if (item == static_cast<UINT>(-1)) return;
    const LRESULT length = SendMessage(CB_GETLBTEXTLEN, item);
    if (length == CB_ERR) return;
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    SendMessage(CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text.data()));
    const std::wstring shown = WideFromCp936(text.data());
    RECT area = rect;
    area.left += ScaleToDpi(kTextIndent, m_dpi);
    CSelect font(dc, m_font);
    ::SetTextColor(dc, fore);
    ::SetBkMode(dc, TRANSPARENT);
    ::DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &area, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
}

// The entries of the open list; the closed field is painted by PaintField,
// also when the system asks for it here.
void CGpuList::DrawItem(const DRAWITEMSTRUCT& dis)
{
    if (dis.itemState & ODS_COMBOBOXEDIT) {
        PaintField(dis.hDC);
        return;
    }
    PaintEntry(dis.hDC, dis.itemID, dis.rcItem, (dis.itemState & ODS_SELECTED) != 0);
}
