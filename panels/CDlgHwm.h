#pragma once
// CDlgHwm: the hardware-monitor panel. Every 100 ms, from its first opening
// until the program ends and also while hidden, it samples the selected GPU's
// engine clock, memory clock, temperature and fan level into four scrolling
// plots, each with its current value beside it.
#include <string>

#include "controls/CStaticFont.h"
#include "gpu/GpuControl.h"
#include "panels/CPlot.h"
#include "panels/CSkinPanel.h"

// One monitored reading and the scale it is plotted on.
struct MonitorChannel {
    int32_t value;
    int32_t scaleMin;   // drawn at 0 per cent of the plot height
    int32_t scaleMax;   // drawn at 100 per cent
};

class CDlgHwm : public CSkinPanel, public GpuSelectionListener {
    DECLARE_MESSAGE_MAP()
public:
    explicit CDlgHwm(CWnd* parent = nullptr);
    ~CDlgHwm() override;

    // Outlives the panel.
    void SetGpuControl(CGpuControl* gpu);
    // The clock plots take the new card's scales.
    void SelectedGpuChanged(int) override { SetScales(); }
    // The selected GPU's reading of the main window's refresh: the next step
    // plots it instead of reading the driver again.
    void TakeReading(const GpuReading& reading);
    // Starts the sampling period afresh from now; called from the main
    // window's refresh, it puts the two on one wake of the thread.
    void RestartSampling();

protected:
    enum Channel { kEngine, kMemory, kTemperature, kFan, kChannelCount };
    // The order in which the channels are sampled and their plots painted.
    static constexpr Channel kOrder[] = {kEngine, kMemory, kFan, kTemperature};
    // One channel with its plot, its series and its readout.
    struct ChannelParts {
        MonitorChannel& channel;
        rlcuv::CPlot& plot;
        int plotId;
        const char* series;
        CStaticFont& readout;
    };

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    LRESULT OnTimer(WPARAM id, LPARAM);
    LRESULT OnEraseBkgnd(WPARAM dc, LPARAM);

    ChannelParts Parts(Channel channel);
    // Twice the selected GPU's P0 clocks.
    void SetScales();
    void LayOut() override;
    void SetUpPlots();
    // One sampling step: the readings into the plots and the readouts.
    void Sample();
    // Percent of the plot height for the channel's value, truncated toward zero.
    static int Percent(const MonitorChannel& channel);
    // The plots' new samples, painted at once through one context of the panel.
    void PaintPlots();
    // The strips of this panel under the plots' last columns, erased and repainted.
    void InvalidateLastColumns();
    // The plot's rectangle in this panel's client area.
    CRect PlotPlace(const CWnd& plot) const;

    rlcuv::CPlot m_enginePlot, m_memoryPlot, m_temperaturePlot, m_fanPlot;
    MonitorChannel m_engineChannel{0, 0, 0};
    MonitorChannel m_memoryChannel{0, 0, 0};
    MonitorChannel m_temperatureChannel{0, 0, 120};
    MonitorChannel m_fanChannel{0, 0, 100};
    CStaticFont m_engineText, m_memoryText, m_temperatureText, m_fanText;
    std::string m_fanShown = "0";  // the fan readout: a dash for a level that could not be read
    CGpuControl* m_gpu = nullptr;
    GpuReading m_reading;
    bool m_readingTaken = false;  // m_reading is the refresh's, not yet plotted
};
