// Tab bar operations with many tabs: adding an item, renaming it and
// removing it, on a frame whose tabs have the tests' stand-in engine.
// Run it offscreen under dbus-run-session (the frame starts its DDE server).
#include "app/NimbraApp.h"
#include "frames/browser/ViewManager.h"
#include "frames/browser/MainFrame.h"
#include "widgets/view/NimbraView.h"

#include "FakeWebBrowser.h"
#include "WidgetBenchMain.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace nimbra;

namespace {

struct SFrame {
    QTemporaryDir home;
    std::unique_ptr<CNimbraApp> app;
    CMainFrame* frame = nullptr;
    std::vector<CNimbraView*> views;

    explicit SFrame(int tabs)
    {
        qputenv("NIMBRA_HOME", home.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
        app = std::make_unique<CNimbraApp>();
        app->InitPaths();
        app->SetBrowserFactory([](QWidget* parent) { return std::make_unique<testenv::FakeWebBrowser>(parent); });
        app->CreateMainFrame();
        frame = app->MainFrame();
        frame->show();
        for (int i = 0; i < tabs; ++i)
            views.push_back(frame->CreateNewView());
    }
};

enum class EOp { Add, Rename, Remove };

// Adds `n` tabs, renames each, removes them all; only `op` is timed.
// items_per_second gives the time of one operation.
void Run(benchmark::State& state, EOp op)
{
    const int n = int(state.range(0));
    SFrame f(n);
    CViewManager* tabs = f.frame->ViewManager();
    for (auto _ : state) {
        if (op != EOp::Add)
            state.PauseTiming();
        for (int i = 0; i < n; ++i)
            tabs->AddTab(f.views[size_t(i)], "http://example.com/page/" + std::to_string(i));
        if (op == EOp::Add)
            state.PauseTiming();
        if (op == EOp::Rename)
            state.ResumeTiming();
        for (int i = 0; i < n; ++i)
            tabs->SetItemText(i, "renamed title of the page number " + std::to_string(i));
        if (op == EOp::Rename)
            state.PauseTiming();
        if (op == EOp::Remove)
            state.ResumeTiming();
        for (int i = n - 1; i >= 0; --i)
            tabs->RemoveTab(f.views[size_t(i)]);
        if (op != EOp::Remove)
            state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_AddTab(benchmark::State& state) { Run(state, EOp::Add); }
void BM_RenameTab(benchmark::State& state) { Run(state, EOp::Rename); }
void BM_RemoveTab(benchmark::State& state) { Run(state, EOp::Remove); }

} // namespace

BENCHMARK(BM_AddTab)->Arg(5)->Arg(50)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenameTab)->Arg(5)->Arg(50)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RemoveTab)->Arg(5)->Arg(50)->Arg(500)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    return benchutil::RunWidgetBenchmarks(argc, argv);
}
