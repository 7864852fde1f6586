// A link bar of 5,000 links (titles measured in the menu font, images on):
// filling it as a bookmark reload does, and relayouts at 100 widths.
// Run it offscreen; the CPU column is the figure on a loaded machine.
#include "widgets/bars/LinkBar.h"

#include "WidgetBenchMain.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr int kLinks = 5000;
constexpr int kWidths = 100;

void Fill(nimbra::IBookmarkLinkBar& bar)
{
    bar.ClearButtons();
    for (int i = 0; i < kLinks; ++i) {
        const std::string n = std::to_string(i);
        bar.AddButton("リンク " + n, "http://example.com/" + n, nimbra::ID_BOOKMARK_FIRST + i, nullptr);
    }
    // Layouts the bar posts to itself count too.
    QCoreApplication::processEvents();
}

int Width(int step)
{
    return 600 + (step % kWidths) * 6;
}

void BM_FillLinkBar(benchmark::State& state)
{
    nimbra::CLinkBar bar([](int) {}, [](int) {});
    bar.resize(1000, 22);
    bar.show();
    for (auto _ : state)
        Fill(bar);
    state.counters["widgets"] = double(bar.findChildren<nimbra::CLinkButton*>().size());
}
BENCHMARK(BM_FillLinkBar)->Unit(benchmark::kMillisecond);

void BM_RelayoutLinkBar(benchmark::State& state)
{
    nimbra::CLinkBar bar([](int) {}, [](int) {});
    bar.resize(1000, 22);
    bar.show();
    Fill(bar);
    int step = 0;
    for (auto _ : state) {
        bar.resize(Width(++step), 22);
        QCoreApplication::processEvents();
    }
    state.counters["shown"] = double(bar.FirstHidden());
}
BENCHMARK(BM_RelayoutLinkBar)->Unit(benchmark::kMicrosecond)->Iterations(kWidths);

} // namespace

int main(int argc, char** argv)
{
    return benchutil::RunWidgetBenchmarks(argc, argv);
}
