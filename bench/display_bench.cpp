// Window-thread cost of the displays per receive pass: the drawing step into the off-screen
// image plus the one copy to the screen (forced with repaint() so it is counted here and not
// left to the event loop). Run with QT_QPA_PLATFORM=offscreen; the pass data are fixed,
// realistic results, so only the window side is measured.
#include "display/DisplayPanel.h"
#include "display/TimeLineForm.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <cmath>
#include <cstdlib>

using namespace dita;

namespace {

constexpr int kToneBin = 122;

// Counts the paints a widget receives, to show that each pass really reached the screen.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
    long paints = 0;
};

PassResult samplePass(int displayType) {
    PassResult r;
    r.displayType = displayType;
    r.tunedBin = kToneBin;
    r.markerHz = static_cast<int>((kToneBin - 1) * kBinHz);
    for (int k = 1; k <= kLineBins; ++k) {
        r.traceHeight[k] = static_cast<int16_t>(std::abs(k - kToneBin) < 3 ? 80 : 14 + k % 5);
    }
    for (int k = 1; k <= kWaterfallBins; ++k) {
        r.waterfallRow[k] =
            std::abs(k - kToneBin) < 3 ? 0xFFFFFFu : (k % 7 ? 0x000000u : 0x808080u);
    }
    for (int i = 1; i <= kStepsPerPass + 1; ++i) {
        const bool down = (i / 8) % 2 == 0;
        r.timelineE[i] = down ? 4000 + i : 30;
        r.timelineL[i] = 900.0f;
        r.timelineN[i] = 40.0f;
        r.timelineK[i] = down ? 1.0f : 0.0f;
    }
    return r;
}

void spectrumPass(benchmark::State& state, int displayType) {
    SpectrumPanel panel;
    panel.show();
    QApplication::processEvents();
    const PassResult pass = samplePass(displayType);
    PaintCounter counter(panel.spectrumBox());
    for (auto _ : state) {
        panel.showPass(pass);
        panel.spectrumBox()->repaint();
    }
    state.counters["paintsPerPass"] =
        static_cast<double>(counter.paints) / static_cast<double>(state.iterations());
}

void BM_LineSpectrumPass(benchmark::State& state) {
    spectrumPass(state, 0);
}
void BM_WaterfallPass(benchmark::State& state) {
    spectrumPass(state, 1);
}

void BM_TimelinePass(benchmark::State& state) {
    TTimeLineForm form;
    form.setStoredPlacement(
        {0, 0, static_cast<int>(state.range(1)), static_cast<int>(state.range(0))});
    form.showFromSettings();
    QApplication::processEvents();
    const PassResult pass = samplePass(0);
    PaintCounter counter(form.spectrumBox3());
    for (auto _ : state) {
        form.showPass(pass);
        form.spectrumBox3()->repaint();
    }
    state.counters["paintsPerPass"] =
        static_cast<double>(counter.paints) / static_cast<double>(state.iterations());
    state.counters["width"] = form.panelSize().width();
    state.counters["height"] = form.panelSize().height();
}

} // namespace

BENCHMARK(BM_LineSpectrumPass)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WaterfallPass)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TimelinePass)->Args({516, 315})->Args({1600, 1231})->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsSet("QT_QPA_PLATFORM")
                                   ? qgetenv("QT_QPA_PLATFORM")
                                   : QByteArray("offscreen"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
