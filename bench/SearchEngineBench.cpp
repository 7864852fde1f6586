// Loading and saving a search.ini of 1,000 engines, beside the plain way of
// reading it: one uncached INI call per key, each rereading the file.
#include "platform/Ini.h"
#include "data/sidebar/SearchEngineList.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr int kEngines = 1000;

const std::string& BenchFile()
{
    static QTemporaryDir dir;
    static const std::string path = [] {
        nimbra::CSearchEngineList list;
        list.Engines().clear();
        for (int i = 0; i < kEngines; ++i) {
            const std::string n = std::to_string(i);
            list.Engines().push_back(
                {i % 3 == 0, "サーチエンジン " + n, "https://search" + n + ".example/find?q=", "&lang=ja&num=100"});
        }
        const std::string file = dir.path().toStdString() + "/search.ini";
        list.Save(file, nimbra::CSearchEngineList::ESave::Command);
        return file;
    }();
    return path;
}

void BM_Load(benchmark::State& state)
{
    for (auto _ : state) {
        nimbra::CSearchEngineList list;
        list.Load(BenchFile());
        benchmark::DoNotOptimize(list.Count());
    }
}

void BM_Save(benchmark::State& state)
{
    nimbra::CSearchEngineList list;
    list.Load(BenchFile());
    for (auto _ : state)
        benchmark::DoNotOptimize(list.Save(BenchFile(), nimbra::CSearchEngineList::ESave::Auto));
}

// The baseline: GetInt/GetString per key through CIniFile.
void BM_LoadPerKey(benchmark::State& state)
{
    const nimbra::CIniFile ini(BenchFile());
    for (auto _ : state) {
        const int count = ini.GetInt("Options", "ItemCount", -1);
        std::vector<nimbra::SSearchEngine> engines;
        for (int i = 0; i < count; ++i) {
            const std::string section = "SearchItem" + std::to_string(i);
            engines.push_back({ini.GetInt(section, "Enable", 1) != 0, ini.GetString(section, "Title", ""),
                               ini.GetString(section, "UrlF", ""), ini.GetString(section, "UrlB", "")});
        }
        benchmark::DoNotOptimize(engines.size());
    }
}

} // namespace

BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPerKey)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
