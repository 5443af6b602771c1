#include "panels/CDlgHwm.h"

#include <algorithm>

#include "framework/Dpi.h"
#include "res/resource.h"

namespace {
const PanelFrame kPanelFrame{"HWM", true, IDB_MONITOR_SKIN, 412, 364, {IDB_PANEL_MINIMIZE, 358, 5},
                        {IDB_PANEL_CLOSE, 382, 5}};
constexpr UINT_PTR kSampleTimer = 10;
constexpr UINT kSamplePeriod = 100;
constexpr COLORREF kPlotGridColour = 0x00003200;
constexpr COLORREF kPlotLineColour = 0x00A6721B;
constexpr COLORREF kWhite = 0x00FFFFFF;
// Every sixth sample the strip under each plot's last column is repainted.
constexpr int kStripTicks = 5;

// Sampling steps since the strips were last repainted, shared by every panel.
int g_ticksSinceStrips = 0;
}  // namespace

BEGIN_MESSAGE_MAP(CDlgHwm, CSkinPanel)
    ON_MESSAGE(WM_TIMER, OnTimer)
    ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
END_MESSAGE_MAP()

CDlgHwm::CDlgHwm(CWnd* parent) : CSkinPanel(IDD_MONITOR, parent) {}

CDlgHwm::ChannelParts CDlgHwm::Parts(Channel channel)
{
    switch (channel) {
    case kEngine:
        return {m_engineChannel, m_enginePlot, IDC_ENGINE_PLOT, "Engine Clock MHz", m_engineText};
    case kMemory:
        return {m_memoryChannel, m_memoryPlot, IDC_MEMORY_PLOT, "Memory Clock MHz", m_memoryText};
    case kTemperature:
        return {m_temperatureChannel, m_temperaturePlot, IDC_TEMP_PLOT, "Temperature C", m_temperatureText};
    default:
        return {m_fanChannel, m_fanPlot, IDC_FAN_PLOT, "Fan Speed %", m_fanText};
    }
}

void CDlgHwm::DoDataExchange(CDataExchange* pDX)
{
    CSkinPanel::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_ENGINE_READOUT, m_engineText);
    DDX_Control(pDX, IDC_MEMORY_READOUT, m_memoryText);
    DDX_Control(pDX, IDC_TEMP_READOUT, m_temperatureText);
    DDX_Control(pDX, IDC_FAN_READOUT, m_fanText);
    DDX_Text(pDX, IDC_ENGINE_READOUT, m_engineChannel.value);
    DDX_Text(pDX, IDC_MEMORY_READOUT, m_memoryChannel.value);
    DDX_Text(pDX, IDC_TEMP_READOUT, m_temperatureChannel.value);
    DDX_Text(pDX, IDC_FAN_READOUT, m_fanShown);
}

BOOL CDlgHwm::OnInitDialog()
{
    CSkinPanel::OnInitDialog();
    SetUpFrame(kPanelFrame);
    SetScales();
    LayOut();
    SetUpPlots();
    for (CStaticFont* readout : {&m_temperatureText, &m_fanText, &m_engineText, &m_memoryText}) {
        readout->SetReadoutFont(140, "DigifaceWide");
        readout->SetReadoutColour(kWhite);
    }
    SetTimer(kSampleTimer, kSamplePeriod);
    return TRUE;
}

// A window's timer set again under its id is reset: its next period starts now.
void CDlgHwm::RestartSampling()
{
    if (m_hWnd) SetTimer(kSampleTimer, kSamplePeriod);
}

CDlgHwm::~CDlgHwm()
{
    if (m_gpu) m_gpu->RemoveSelectionListener(this);
}

void CDlgHwm::SetGpuControl(CGpuControl* gpu)
{
    if (m_gpu) m_gpu->RemoveSelectionListener(this);
    m_gpu = gpu;
    if (m_gpu) m_gpu->AddSelectionListener(this);
}

void CDlgHwm::SetScales()
{
    GpuClockInfo info{};
    if (m_gpu && m_gpu->GetPstateClocks(info, m_gpu->m_gpuIndex, 0)) {
        m_engineChannel.scaleMax = static_cast<int32_t>(2.0 * info.gfxMaxClock / 1000);
        m_memoryChannel.scaleMax = static_cast<int32_t>(2.0 * info.memBaseClock / 1000);
    } else {
        m_engineChannel.scaleMax = 0;
        m_memoryChannel.scaleMax = 0;
    }
}

void CDlgHwm::LayOut()
{
    CSkinPanel::LayOut();
    constexpr int kPlotTop[kChannelCount] = {75, 142, 209, 274};
    constexpr int kReadoutTop[kChannelCount] = {91, 158, 225, 290};
    for (int c = 0; c < kChannelCount; ++c) {
        ChannelParts parts = Parts(static_cast<Channel>(c));
        // At start the plots are placed before they are attached.
        PlaceControl(GetDlgItem(parts.plotId), 89, kPlotTop[c], 230, 56);
        PlaceControl(parts.readout, 322, kReadoutTop[c], 60, 30);
    }
}

void CDlgHwm::SetUpPlots()
{
    for (int c = 0; c < kChannelCount; ++c) {
        ChannelParts parts = Parts(static_cast<Channel>(c));
        parts.readout.SetAccessibleName(parts.series);
        if (!parts.plot.SubclassDlgItem(parts.plotId, this)) continue;
        const HWND plot = parts.plot.m_hWnd;
        const LONG_PTR style = ::GetWindowLongPtrA(plot, GWL_STYLE);
        ::SetWindowLongPtrA(plot, GWL_STYLE, (style & ~WS_BORDER) | WS_CHILD | WS_VISIBLE | SS_OWNERDRAW);
        // A dialog of the 3-D look may carry a control's border as a sunken edge.
        const LONG_PTR exStyle = ::GetWindowLongPtrA(plot, GWL_EXSTYLE);
        ::SetWindowLongPtrA(plot, GWL_EXSTYLE, exStyle & ~(WS_EX_CLIENTEDGE | WS_EX_STATICEDGE));
        // The client area takes the border's pixels only once the frame is recalculated.
        ::SetWindowPos(plot, nullptr, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        parts.plot.SetGrid(FALSE, kPlotGridColour, PS_SOLID, 100, TRUE);
        parts.plot.AddSeries(parts.series, kPlotLineColour, PS_SOLID, 0, TRUE);
    }
}

LRESULT CDlgHwm::OnTimer(WPARAM id, LPARAM)
{
    if (id == kSampleTimer) Sample();
    return Default();
}

int CDlgHwm::Percent(const MonitorChannel& channel)
{
    if (channel.scaleMax == channel.scaleMin) return 0;
    // In this order, so that 29 of 0..100 gives 28, as it always has.
    const double share = (static_cast<double>(channel.value) - channel.scaleMin) * 1.0 /
                         (static_cast<double>(channel.scaleMax) - channel.scaleMin) * 100.0;
    // A reading far off a narrow scale still fits the sample.
    return static_cast<int>(std::clamp(share, -1e9, 1e9));
}

void CDlgHwm::TakeReading(const GpuReading& reading)
{
    m_reading = reading;
    m_readingTaken = true;
}

// A failed reading plots 0; the fan readout shows a dash for it.
void CDlgHwm::Sample()
{
    if (!m_readingTaken) {
        m_reading = GpuReading{};
        if (m_gpu) m_gpu->Read(m_reading, -1);
    }
    m_readingTaken = false;
    m_engineChannel.value = static_cast<int32_t>(m_reading.engineClock.value_or(0));
    // The memory clock as the driver reports it: half the effective figure the main window shows.
    m_memoryChannel.value = static_cast<int32_t>(m_reading.memoryClock.value_or(0) / 2);
    m_temperatureChannel.value = static_cast<int32_t>(m_reading.temperature.value_or(0));
    m_fanChannel.value = static_cast<int32_t>(m_reading.fanLevel.value_or(0));
    m_fanShown = m_reading.fanLevel ? std::to_string(*m_reading.fanLevel) : "-";

    for (Channel c : kOrder) {
        ChannelParts parts = Parts(c);
        parts.plot.AddPoint(parts.series, rlcuv::PlotSample{0, 0, Percent(parts.channel), parts.channel.value}, FALSE);
    }
    PaintPlots();
    // A readout whose value changed paints itself at once, skin and digits:
    // the panel has nothing to repaint under it.
    UpdateData(FALSE);
    if (++g_ticksSinceStrips > kStripTicks) {
        g_ticksSinceStrips = 0;
        InvalidateLastColumns();
    }
}

// One context of the panel, taken without its children clipped out, serves
// all four plots. Under Wine a window's context costs a round trip to the window system
// unless that window was among the last few to take one, which with the
// readouts and the main window in between the plots seldom were. A minimised
// panel shows nothing.
void CDlgHwm::PaintPlots()
{
    if (!IsWindowVisible() || ::IsIconic(m_hWnd)) return;
    CClientDC panel(m_hWnd, DCX_CACHE);
    if (!panel.GetSafeHdc()) return;
    for (Channel c : kOrder) Parts(c).plot.PaintInParent(panel);
}

// One invalidation for all four strips, each a round trip to the window
// system. The plots are left out: they cover their strips, and each sample
// has painted them already.
void CDlgHwm::InvalidateLastColumns()
{
    constexpr UINT kRepaint = RDW_INVALIDATE | RDW_ERASE | RDW_NOCHILDREN;
    CRgn strips(::CreateRectRgn(0, 0, 0, 0));
    for (Channel c : kOrder) {
        CRect area = PlotPlace(Parts(c).plot);
        area.left = area.right - ScaleToDpi(1, Dpi());
        CRgn strip(::CreateRectRgnIndirect(&area));
        if (strips && strip && ::CombineRgn(strips, strips, strip, RGN_OR) != ERROR) continue;
        strips.reset();
        ::RedrawWindow(m_hWnd, &area, nullptr, kRepaint);
    }
    if (strips) ::RedrawWindow(m_hWnd, nullptr, strips, kRepaint);
}

CRect CDlgHwm::PlotPlace(const CWnd& plot) const
{
    CRect place = plot.GetWindowRect();
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

// The plots paint all of their area whenever they paint, and the strips' repaint
// leaves them out: skin drawn under them (the panel does not clip its
// children) would show there until their next sample.
LRESULT CDlgHwm::OnEraseBkgnd(WPARAM dc, LPARAM lParam)
{
    const HDC target = reinterpret_cast<HDC>(dc);
    const int saved = ::SaveDC(target);
    if (!saved) return CSkinPanel::OnEraseBkgnd(dc, lParam);
    for (Channel c : kOrder) {
        const rlcuv::CPlot& plot = Parts(c).plot;
        if (!plot.m_hWnd || !plot.IsWindowVisible()) continue;
        const CRect place = PlotPlace(plot);
        ::ExcludeClipRect(target, place.left, place.top, place.right, place.bottom);
    }
    RECT box;
    const LRESULT result = ::GetClipBox(target, &box) == NULLREGION ? TRUE : CSkinPanel::OnEraseBkgnd(dc, lParam);
    ::RestoreDC(target, saved);
    return result;
}
