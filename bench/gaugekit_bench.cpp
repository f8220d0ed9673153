// Cost of what DITA does to its signal bar on every processing pass (SetValue, then
// BarSettings()->SetColor), and of the drawing a changed value causes, compared with a full
// repaint. Runs on Qt's offscreen platform unless another one is chosen.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "gaugekit/gaugekit.h"

namespace {

void configureSignalBar(TGkBar& bar) {
    bar.BeginUpdate();
    bar.resize(93, 22);
    bar.SignalSettings()->SetValueFrom(1.0);
    bar.SignalSettings()->SetValueTo(2000.0);
    TBarSettings* b = bar.BarSettings();
    b->SetOptions({});
    b->SetColor(clTeal);
    b->SetBkColor(clBtnFace);
    b->Bevel()->SetBevelLine(blOuter);
    b->Bevel()->SetWidth(5);
    b->Bevel()->SetColor(clBlack);
    bar.BevelOuter()->SetSpacing(-4);
    bar.BevelOuter()->SetWidth(1);
    bar.EndUpdate();
    bar.Loaded();
}

// An unchanged value and colour: the setters return at once.
void BM_PassUnchanged(benchmark::State& state) {
    TGkBar bar;
    configureSignalBar(bar);
    bar.SetValue(700.0);
    for (auto _ : state) {
        bar.SetValue(700.0);
        bar.BarSettings()->SetColor(clBlue);
    }
}
BENCHMARK(BM_PassUnchanged);

// A new value on a hidden bar: the value model only (digit, position, sectors, limits,
// overflow, min/max, hint).
void BM_PassNewValueModel(benchmark::State& state) {
    TGkBar bar;
    configureSignalBar(bar);
    double v = 1.0;
    for (auto _ : state) {
        v = v > 1999.0 ? 1.0 : v + 7.25;
        bar.SetValue(v);
        bar.BarSettings()->SetColor(clBlue);
    }
}
BENCHMARK(BM_PassNewValueModel);

// A new value on a shown bar, with the resulting paint of the bar area.
void BM_PassNewValuePainted(benchmark::State& state) {
    QWidget form;
    form.resize(200, 60);
    TGkBar bar(&form);
    configureSignalBar(bar);
    form.show();
    QCoreApplication::processEvents();
    double v = 1.0;
    for (auto _ : state) {
        v = v > 1999.0 ? 1.0 : v + 7.25;
        bar.SetValue(v);
        bar.BarSettings()->SetColor(clBlue);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_PassNewValuePainted);

// For comparison: repainting the whole control (bevels and bar) each time.
void BM_FullRepaint(benchmark::State& state) {
    QWidget form;
    form.resize(200, 60);
    TGkBar bar(&form);
    configureSignalBar(bar);
    form.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        bar.update();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_FullRepaint);

void BM_RenderBarImage(benchmark::State& state) {
    TBarSettings s(nullptr);
    s.SetStyle(TBarStyle(state.range(0)));
    s.SetOptions({opValue, opUnit});
    s.SetBkAuto(true);
    s.SetBkBrightness(40);
    s.ValueText = QStringLiteral("62.5");
    s.UnitText = QStringLiteral("%");
    TSectorSettings sectors(nullptr);
    s.SectorsCopy = sectors.Sectors();
    int ppt = 0;
    for (auto _ : state) {
        ppt = (ppt + 37) % 1001;
        benchmark::DoNotOptimize(gkRenderBar(s, ppt, QSize(150, 16)));
    }
}
BENCHMARK(BM_RenderBarImage)->Arg(bsBar)->Arg(bsLED_Bar)->Arg(bsPoint)->Arg(bsMultiColor);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
