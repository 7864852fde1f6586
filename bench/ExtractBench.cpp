// A filter over the 20,000 rows of an extraction list.
#include "data/tools/UrlExtractModel.h"
#include "data/tools/UrlFilter.h"

#include <benchmark/benchmark.h>

static void BM_FilterTwentyThousandRows(benchmark::State& state)
{
    std::vector<std::string> urls;
    for (int i = 0; i < 20000; ++i)
        urls.push_back("http://example.org/downloads/section" + std::to_string(i % 97) + "/file" + std::to_string(i)
                       + (i % 4 ? ".html" : ".ZIP"));
    nimbra::CExtractListModel model;
    model.SetUrls(urls);
    const nimbra::CUrlFilter filter(nimbra::DefaultUrlFilters().front());
    for (auto _ : state) {
        model.ApplyFilter(filter);
        benchmark::DoNotOptimize(model.AnyTicked());
    }
}
BENCHMARK(BM_FilterTwentyThousandRows)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
