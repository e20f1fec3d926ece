// Cost of one map redraw, from the painting alone through the map widget's (colour check,
// most probable complex, painting of the map and its bars) up to the window's whole redraw
// (the map and the result panel), for maps up to the 4,000,000-cell limit. Run with
// QT_QPA_PLATFORM=offscreen.
#include "files/DataPaths.h"
#include "pipeline/MapClasses.h"
#include "pipeline/RunResult.h"
#include "ui/MainWindow.h"
#include "ui/RunController.h"
#include "ui/MapModel.h"
#include "ui/MapRender.h"
#include "ui/MapView.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <memory>
#include <cmath>
#include <random>

using namespace marlinq;
using namespace marlinq::ui;

namespace {

Grid<std::int32_t> randomCodes(std::int32_t side) {
    Grid<std::int32_t> codes(side, side);
    std::mt19937 rng(5);
    for (std::size_t k = 0; k < codes.cellCount(); ++k) codes.at(k) = static_cast<std::int32_t>(rng() % 21U);
    return codes;
}

void BM_PaintMap(benchmark::State& state) {
    const auto side = static_cast<std::int32_t>(state.range(0));
    const Grid<std::int32_t> codes = randomCodes(side);
    const QImage background(575, 575, QImage::Format_RGB32);
    MapPaintRequest request;
    request.colourClasses = &codes;
    request.geometry = CellGeometry(575, 575, side, side);
    request.pendingGrey = true;
    request.lastRowIndex = side / 2;
    request.outline = std::pair{side / 3, side / 4};
    for (auto _ : state) {
        QImage picture = background.copy();
        paintMap(picture, request);
        benchmark::DoNotOptimize(picture.constBits());
    }
    state.counters["cells"] = static_cast<double>(side) * side;
}
BENCHMARK(BM_PaintMap)->Arg(11)->Arg(100)->Arg(300)->Arg(2000)->Unit(benchmark::kMillisecond);

// A finished Debye-Hueckel result of side x side cells whose classes are random codes.
ResultSnapshot randomRecord(std::int32_t side) {
    auto request = std::make_shared<RunRequest>();
    request->params.mpMax = request->params.mmMax = side - 1;
    request->params.kip = request->params.kim = 0.25;
    request->params.zp = request->params.zn = 18.0;
    request->params.ka = 0.2;
    request->params.Np = 1;
    request->params.Nm = 200;
    auto rec = std::make_shared<RunResult>(request, CellSelection::EveryCell);
    // Weights whose classes are the random codes: class c from a weight of (c + 0.5) / 20.
    const Grid<std::int32_t> codes = randomCodes(side);
    rec->Value = Grid<double>(side, side);
    rec->absValue = Grid<double>(side, side);
    for (std::size_t k = 0; k < codes.cellCount(); ++k) rec->absValue.at(k) = (codes.at(k) + 0.5) / 20.0;
    rec->maxValue = 1.0;
    formMapData(*rec);  // as the job forms it
    return rec;
}

void BM_MapViewRedraw(benchmark::State& state) {
    const auto side = static_cast<std::int32_t>(state.range(0));
    const ResultSnapshot rec = randomRecord(side);
    MapView view;
    view.resize(640, 620);
    for (auto _ : state) benchmark::DoNotOptimize(view.setRecord(rec));
    state.counters["cells"] = static_cast<double>(side) * side;
}
BENCHMARK(BM_MapViewRedraw)->Arg(11)->Arg(300)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_WindowRedraw(benchmark::State& state) {
    const auto side = static_cast<std::int32_t>(state.range(0));
    MainWindow form;
    form.findChild<RunController*>(QStringLiteral("runController"))->setResult(randomRecord(side));
    for (auto _ : state) form.redraw();
    state.counters["cells"] = static_cast<double>(side) * side;
}
BENCHMARK(BM_WindowRedraw)->Arg(11)->Arg(300)->Arg(2000)->Unit(benchmark::kMillisecond);

// The parts of a redraw and of a zoom that look at every cell: colour classes on the
// logarithmic scale (every redraw with that scale) and the populated region (once per
// result). Aim: both well under 100 ms at the 4,000,000-cell limit.
Grid<double> randomWeights(std::int32_t side) {
    Grid<double> w(side, side);
    std::mt19937 rng(9);
    std::exponential_distribution<double> decay(1.0);
    for (std::int32_t r = 0; r < side; ++r)
        for (std::int32_t c = 0; c < side; ++c) w(r, c) = std::exp(-decay(rng) * 0.05 * (r + c));
    return w;
}

void BM_LogColourClasses(benchmark::State& state) {
    const Grid<double> w = randomWeights(static_cast<std::int32_t>(state.range(0)));
    const ColourScale scale{true, 6};
    for (auto _ : state) {
        Grid<std::int32_t> classes = colourClassesOf(w, scale);
        benchmark::DoNotOptimize(classes.row(0));
    }
}
BENCHMARK(BM_LogColourClasses)->Arg(300)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_PopulatedRegion(benchmark::State& state) {
    const Grid<double> w = randomWeights(static_cast<std::int32_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(populatedRegion(w));
}
BENCHMARK(BM_PopulatedRegion)->Arg(300)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setDataDirectoryOverride(MARLINQ_SOURCE_DATA_DIR);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
