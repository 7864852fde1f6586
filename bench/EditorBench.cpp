// The bookmark editor with 20,000 links in 1,000 folders: loading and
// showing the file (against reading it alone), showing and sorting a folder
// of 5,000 entries, a find that matches nothing, and undoing a delete of
// 5,000 rows. Run with QT_QPA_PLATFORM=offscreen where there is no display.
#include "BenchSetup.h"
#include "BookmarkTree.h"
#include "frames/editor/BkMainFrame.h"
#include "widgets/editor/BkView.h"
#include "widgets/editor/LeftView.h"

#include <QApplication>
#include <QHeaderView>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

using namespace nimbra;
using namespace nimbra::editor;

constexpr int kBigFolder = 5000;

std::string g_treeFile;
std::string g_bigFile;

void Settle()
{
    QCoreApplication::processEvents();
}

// One editor window for all runs.
CBkMainFrame& Frame()
{
    static CBkMainFrame* frame = [] {
        auto* f = new CBkMainFrame;
        if (!f->Create())
            std::abort();
        f->resize(1000, 700);
        f->show();
        Settle();
        return f;
    }();
    return *frame;
}

CBkItem* BigFolder()
{
    return Frame().Doc().Root()->Items().front().get();
}

void BM_ReadBookmarkFile(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadBookmarkFile(g_treeFile, BookmarkReader::Editor));
}
BENCHMARK(BM_ReadBookmarkFile)->Unit(benchmark::kMillisecond);

// Read, build the model, the folder tree and the root's list, and paint.
void BM_LoadAndShow(benchmark::State& state)
{
    for (auto _ : state) {
        Frame().OpenFile(g_treeFile);
        Settle();
    }
}
BENCHMARK(BM_LoadAndShow)->Unit(benchmark::kMillisecond);

void BM_FindMiss(benchmark::State& state)
{
    Frame().OpenFile(g_treeFile);
    CBkDoc& doc = Frame().Doc();
    for (auto _ : state)
        benchmark::DoNotOptimize(doc.Find("no such text", false, doc.Root(), 0));
}
BENCHMARK(BM_FindMiss)->Unit(benchmark::kMillisecond);

void BM_ShowBigFolder(benchmark::State& state)
{
    Frame().OpenFile(g_bigFile);
    for (auto _ : state) {
        state.PauseTiming();
        Frame().Tree()->SelectFolder(Frame().Doc().Root());
        Settle();
        state.ResumeTiming();
        Frame().Tree()->SelectFolder(BigFolder());
        Settle();
    }
}
BENCHMARK(BM_ShowBigFolder)->Unit(benchmark::kMillisecond);

// A header click: sort, rebuild the rows, paint.
void BM_SortBigFolder(benchmark::State& state)
{
    Frame().OpenFile(g_bigFile);
    Frame().Tree()->SelectFolder(BigFolder());
    Settle();
    for (auto _ : state) {
        Q_EMIT Frame().List()->header()->sectionClicked(0);
        Settle();
    }
}
BENCHMARK(BM_SortBigFolder)->Unit(benchmark::kMillisecond);

void BM_UndoDeleteOfBigFolderRows(benchmark::State& state)
{
    Frame().OpenFile(g_bigFile);
    Frame().Tree()->SelectFolder(BigFolder());
    std::vector<int> rows(kBigFolder);
    for (int i = 0; i < kBigFolder; ++i)
        rows[size_t(i)] = i;
    for (auto _ : state) {
        state.PauseTiming();
        Frame().Doc().Delete(BigFolder(), rows);
        Settle();
        state.ResumeTiming();
        Frame().Doc().Undo();
        Settle();
    }
}
BENCHMARK(BM_UndoDeleteOfBigFolderRows)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir home;
    benchutil::UseTemporaryHome(home);
    g_treeFile = home.filePath("tree.html").toStdString();
    WriteBookmarkFile(g_treeFile, benchutil::MakeBookmarkTree());

    // One folder of 5,000 entries, a few of them folders, in no order.
    BookmarkItem big = BookmarkItem::Folder("大きなフォルダ");
    for (int i = 0; i < kBigFolder; ++i) {
        const int key = (i * 7919) % kBigFolder;
        if (i % 100 == 0)
            big.items.push_back(BookmarkItem::Folder("Folder " + std::to_string(key)));
        else
            big.items.push_back(BookmarkItem::Link((key % 2 ? "ページ " : "Page ") + std::to_string(key),
                                                   "http://example.com/" + std::to_string(key)));
    }
    g_bigFile = home.filePath("big.html").toStdString();
    WriteBookmarkFile(g_bigFile, BookmarkItem::Folder({}, {std::move(big)}));

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
