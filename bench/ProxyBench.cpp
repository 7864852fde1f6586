// A "proxy.ini" of 1,000 entries: building the proxy submenu from it (the
// first 256) and filling the proxy dialog with all of them, each from the
// file as the browser does.
#include "ui/CommandRouter.h"
#include "widgets/tools/ProxyDlg.h"
#include "data/tools/ProxyFile.h"
#include "widgets/tools/ToolsCommands.h"

#include "WidgetBenchMain.h"

#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// The file, written once for every benchmark.
const std::string& ProxyIni()
{
    static QTemporaryDir dir;
    static const std::string path = [] {
        std::vector<nimbra::CProxyRecord> records(1000);
        for (size_t i = 0; i < records.size(); ++i) {
            records[i].name = "プロキシ " + std::to_string(i);
            records[i].SetServerText("ftp=f" + std::to_string(i) + ":21;http=h" + std::to_string(i) + ":8080");
            records[i].SetOverrideText("*.example;intra;<local>");
        }
        const std::string file = dir.path().toStdString() + "/proxy.ini";
        nimbra::CProxyFile::Write(file, 3, 4, records);
        return file;
    }();
    return path;
}

void BM_ProxyMenuBuild(benchmark::State& state)
{
    nimbra::CCommandRouter router;
    QMenu menu;
    for (int i = 0; i < 6; ++i)
        menu.addAction(QStringLiteral("fixed"));
    for (auto _ : state) {
        nimbra::FillProxyMenu(&menu, router, nimbra::CProxyFile(ProxyIni()));
        benchmark::DoNotOptimize(menu.actions().size());
    }
    state.counters["items"] = double(menu.actions().size() - 6);
}
BENCHMARK(BM_ProxyMenuBuild)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_ProxyDialogFill(benchmark::State& state)
{
    int rows = 0;
    for (auto _ : state) {
        nimbra::CProxyList list;
        list.Load(nimbra::CProxyFile(ProxyIni()), 3);
        nimbra::CProxyDlg dialog(nullptr, ProxyIni(), std::move(list), 4);
        rows = dialog.ListBox()->count();
    }
    state.counters["rows"] = rows;
}
BENCHMARK(BM_ProxyDialogFill)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv)
{
    return benchutil::RunWidgetBenchmarks(argc, argv);
}
