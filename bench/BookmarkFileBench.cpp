// Reading and writing a bookmark file of 20,000 links in 1,000 folders
// (folders nested up to three deep, titles in Japanese and ASCII).
#include "data/bookmarks/BookmarkFile.h"

#include "BookmarkTree.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <string>

namespace {


struct Fixture {
    Fixture() : tree(benchutil::MakeBookmarkTree()), text(nimbra::FormatBookmarkFile(tree)), path(dir.path().toStdString() + "/bookmark.html")
    {
        nimbra::WriteBookmarkFile(path, tree);
    }
    QTemporaryDir dir;
    nimbra::BookmarkItem tree;
    std::string text;
    std::string path;
};

Fixture& Data()
{
    static Fixture fixture;
    return fixture;
}

void BM_Parse(benchmark::State& state)
{
    const auto reader = static_cast<nimbra::BookmarkReader>(state.range(0));
    const std::string& text = Data().text;
    for (auto _ : state)
        benchmark::DoNotOptimize(nimbra::ParseBookmarks(text, reader));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.SetLabel(reader == nimbra::BookmarkReader::Browser ? "browser" : "editor");
}

void BM_ReadFile(benchmark::State& state)
{
    const Fixture& data = Data();
    for (auto _ : state)
        benchmark::DoNotOptimize(nimbra::ReadBookmarkFile(data.path, nimbra::BookmarkReader::Browser));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.text.size()));
    state.SetLabel(std::to_string(data.text.size()) + " bytes");
}

void BM_Format(benchmark::State& state)
{
    const Fixture& data = Data();
    for (auto _ : state)
        benchmark::DoNotOptimize(nimbra::FormatBookmarkFile(data.tree));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.text.size()));
}

void BM_WriteFile(benchmark::State& state)
{
    const Fixture& data = Data();
    for (auto _ : state)
        benchmark::DoNotOptimize(nimbra::WriteBookmarkFile(data.path, data.tree));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.text.size()));
}

void BM_AddPageToRoot(benchmark::State& state)
{
    const Fixture& data = Data();
    for (auto _ : state) {
        state.PauseTiming();
        nimbra::WriteBookmarkFile(data.path, data.tree);
        state.ResumeTiming();
        benchmark::DoNotOptimize(nimbra::AddPagesToRoot(data.path, {{"http://new/", "新しいページ"}}));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.text.size()));
}

} // namespace

BENCHMARK(BM_Parse)->Arg(int(nimbra::BookmarkReader::Browser))->Arg(int(nimbra::BookmarkReader::Editor))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Format)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddPageToRoot)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
