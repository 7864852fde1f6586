// The bookmark editor with 100,000 links in 5,000 folders, one of them a
// folder of 50,000 links: the window shown with the file (against reading
// the file alone), showing and sorting the big folder, select all, copy,
// paste, delete and undo of its 50,000 rows, and a find that matches
// nothing. Beside them a plain QStandardItemModel in a QTreeView does the
// same with the same 50,000 rows. Each scenario also gives the longest
// stall of the UI thread ("stall_ms"). Run with QT_QPA_PLATFORM=offscreen
// where there is no display; five repetitions give the median and range.
#include "BenchSetup.h"
#include "BookmarkTree.h"
#include "frames/editor/BkMainFrame.h"
#include "platform/StallMeter.h"
#include "platform/Text.h"
#include "ui/EditorIds.h"
#include "widgets/editor/BkView.h"
#include "widgets/editor/LeftView.h"

#include <QApplication>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTreeView>
#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

using namespace nimbra;
using namespace nimbra::editor;

constexpr int kBigFolder = 50000;    // links in the big folder
constexpr int kFolders = 5000;       // folders in the file
constexpr int kLinks = 100000;       // links in the file
constexpr int kBigSubFolders = 50;   // folders inside the big folder
constexpr int kLinksPerSmall = 10;   // links in each other folder

std::string g_file;
std::unique_ptr<CStallMeter> g_meter;

// Lets the event loop run until the posted work (the paint included) is
// done; the meter sees how late the loop came back.
void Settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

void Measure(benchmark::State& state, double longest)
{
    state.counters["stall_ms"] = longest;
}

// One editor window for most runs, on the file as its standard file.
CBkMainFrame* g_frame = nullptr;

CBkMainFrame& Frame()
{
    if (!g_frame) {
        g_frame = new CBkMainFrame;
        if (!g_frame->Create())
            std::abort();
        g_frame->resize(1000, 700);
        g_frame->show();
        Settle();
    }
    return *g_frame;
}

CBkItem* BigFolder()
{
    return Frame().Doc().Root()->Items().front().get();
}

// The big folder shown in the list, freshly read, nothing selected.
void ShowBig()
{
    Frame().OpenFile(g_file);
    Frame().Tree()->SelectFolder(BigFolder());
    Frame().SetActivePane(CBkMainFrame::EPane::List);
    Settle();
}

// Times `step` with the stall meter; `prepare` runs untimed before it.
template <class Prepare, class Step>
void Run(benchmark::State& state, Prepare prepare, Step step)
{
    double longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        prepare();
        Settle();
        g_meter->Reset();
        state.ResumeTiming();
        step();
        Settle();
        state.PauseTiming();
        longest = std::max(longest, g_meter->LongestMs());
        state.ResumeTiming();
    }
    Measure(state, longest);
}

void Command(int id)
{
    Frame().RunCommand(id);
}

// --- The baseline: reading alone, a plain model and view ---------------------

void BM_ReadBookmarkFile(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadBookmarkFile(g_file, BookmarkReader::Editor));
}

// The big folder's rows in a plain model, as the editor shows them.
struct SPlain {
    QStandardItemModel model{0, 2};
    QTreeView view;
    BookmarkItem big;

    SPlain()
    {
        big = ReadBookmarkFile(g_file, BookmarkReader::Editor)->items.front();
        view.setUniformRowHeights(true);
        view.setRootIsDecorated(false);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        view.setSelectionBehavior(QAbstractItemView::SelectRows);
        view.resize(800, 700);
        view.setModel(&model);
        view.show();
    }
    QList<QList<QStandardItem*>> Rows() const
    {
        QList<QList<QStandardItem*>> rows;
        rows.reserve(qsizetype(big.items.size()));
        for (const BookmarkItem& item : big.items)
            rows.append(QList<QStandardItem*>{new QStandardItem(ToQ(item.title)), new QStandardItem(ToQ(item.url))});
        return rows;
    }
    void Fill()
    {
        model.clear();
        model.setColumnCount(2);
        // One insertion of all the rows, as a model reset does.
        QList<QList<QStandardItem*>> rows = Rows();
        model.insertRows(0, int(rows.size()));
        for (int r = 0; r < rows.size(); ++r) {
            model.setItem(r, 0, rows[r][0]);
            model.setItem(r, 1, rows[r][1]);
        }
    }
};

SPlain& Plain()
{
    static SPlain* plain = new SPlain;
    return *plain;
}

void BM_Plain_Fill(benchmark::State& state)
{
    Run(state, [] {}, [] { Plain().Fill(); });
}

void BM_Plain_Sort(benchmark::State& state)
{
    Plain().Fill();
    Run(state, [] {}, [] { Plain().model.sort(0, Qt::AscendingOrder); });
}

void BM_Plain_SelectAll(benchmark::State& state)
{
    Plain().Fill();
    Run(state, [] { Plain().view.clearSelection(); }, [] { Plain().view.selectAll(); });
}

void BM_Plain_Remove(benchmark::State& state)
{
    Run(state, [] { Plain().Fill(); }, [] { Plain().model.removeRows(0, Plain().model.rowCount()); });
}

// Putting the rows back: the undo of the removal.
void BM_Plain_Insert(benchmark::State& state)
{
    Run(
        state, [] { Plain().model.removeRows(0, Plain().model.rowCount()); },
        [] {
            for (QList<QStandardItem*>& row : Plain().Rows())
                Plain().model.appendRow(row);
        });
}

// --- The editor --------------------------------------------------------------

// A new window on the file: read, the model, the tree and the root's list
// filled and painted.
void BM_OpenWindow(benchmark::State& state)
{
    // The shared window listens as the editor: it goes while this runs.
    delete g_frame;
    g_frame = nullptr;
    double longest = 0;
    for (auto _ : state) {
        g_meter->Reset();
        auto frame = std::make_unique<CBkMainFrame>();
        if (!frame->Create())
            std::abort();
        frame->resize(1000, 700);
        frame->show();
        Settle();
        state.PauseTiming();
        longest = std::max(longest, g_meter->LongestMs());
        frame->close();
        frame.reset();
        Settle();
        state.ResumeTiming();
    }
    Measure(state, longest);
}

// "ファイルから読み込む" in an open window.
void BM_LoadAndShow(benchmark::State& state)
{
    Run(state, [] {}, [] { Frame().OpenFile(g_file); });
}

void BM_FindMiss(benchmark::State& state)
{
    Frame().OpenFile(g_file);
    CBkDoc& doc = Frame().Doc();
    for (auto _ : state)
        benchmark::DoNotOptimize(doc.Find("no such text", false, doc.Root(), 0));
}

void BM_ShowBigFolder(benchmark::State& state)
{
    Frame().OpenFile(g_file);
    Run(
        state, [] { Frame().Tree()->SelectFolder(Frame().Doc().Root()); },
        [] { Frame().Tree()->SelectFolder(BigFolder()); });
}

// A header click: sort, rebuild the rows, paint.
void BM_SortBigFolder(benchmark::State& state)
{
    ShowBig();
    Run(state, [] {}, [] { Q_EMIT Frame().List()->header()->sectionClicked(0); });
}

void BM_SelectAll(benchmark::State& state)
{
    ShowBig();
    Run(state, [] { Frame().List()->clearSelection(); }, [] { Command(ID_BK_SELECT_ALL); });
}

void BM_Copy(benchmark::State& state)
{
    ShowBig();
    Command(ID_BK_SELECT_ALL);
    Run(state, [] {}, [] { Command(ID_BK_COPY); });
}

// 50,000 copies after the first row.
void BM_Paste(benchmark::State& state)
{
    ShowBig();
    Command(ID_BK_SELECT_ALL);
    Command(ID_BK_COPY);
    Run(
        state,
        [] {
            while (Frame().Doc().CanUndo())
                Command(ID_BK_UNDO);
            Frame().List()->SelectRows({0});
        },
        [] { Command(ID_BK_PASTE); });
}

void BM_UndoPaste(benchmark::State& state)
{
    ShowBig();
    Command(ID_BK_SELECT_ALL);
    Command(ID_BK_COPY);
    Run(
        state,
        [] {
            Frame().List()->SelectRows({0});
            Command(ID_BK_PASTE);
        },
        [] { Command(ID_BK_UNDO); });
}

// Every row of the big folder.
void BM_Delete(benchmark::State& state)
{
    Run(
        state,
        [] {
            ShowBig();
            Command(ID_BK_SELECT_ALL);
        },
        [] { Command(ID_BK_DELETE); });
}

void BM_UndoDelete(benchmark::State& state)
{
    ShowBig();
    Run(
        state,
        [] {
            Command(ID_BK_SELECT_ALL);
            Command(ID_BK_DELETE);
        },
        [] { Command(ID_BK_UNDO); });
}

void Register(const char* name, void (*fn)(benchmark::State&))
{
    benchmark::RegisterBenchmark(name, fn)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true)
        ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
        ->ComputeStatistics("max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); });
}

// The file: the big folder first (50,000 links in no order, 50 folders of
// 10 links among them), then 4,949 folders of 10 links nested as the other
// benches nest them, then 10 links at the root.
BookmarkItem MakeTree()
{
    const int small = kFolders - 1 - kBigSubFolders;
    BookmarkItem root = benchutil::MakeBookmarkTree(small, kLinksPerSmall);
    BookmarkItem big = BookmarkItem::Folder("大きなフォルダ");
    for (int i = 0; i < kBigFolder; ++i) {
        const int key = int((int64_t(i) * 7919) % kBigFolder);
        if (i % (kBigFolder / kBigSubFolders) == 0) {
            BookmarkItem folder = BookmarkItem::Folder("Folder " + std::to_string(key));
            for (int l = 0; l < kLinksPerSmall; ++l)
                folder.items.push_back(BookmarkItem::Link("Link " + std::to_string(l), "http://example.net/" + std::to_string(l)));
            big.items.push_back(std::move(folder));
        }
        big.items.push_back(BookmarkItem::Link((key % 2 ? "ページ " : "Page ") + std::to_string(key),
                                               "http://example.com/" + std::to_string(key)));
    }
    root.items.insert(root.items.begin(), std::move(big));
    const int rest = kLinks - kBigFolder - kBigSubFolders * kLinksPerSmall - small * kLinksPerSmall;
    for (int i = 0; i < rest; ++i)
        root.items.push_back(BookmarkItem::Link("Root " + std::to_string(i), "http://example.org/" + std::to_string(i)));
    return root;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir home;
    benchutil::UseTemporaryHome(home);
    // The window's standard file, so that a new window opens it.
    g_file = home.filePath("bookmark.html").toStdString();
    WriteBookmarkFile(g_file, MakeTree());
    g_meter = std::make_unique<CStallMeter>();
    g_meter->Start();

    Register("ReadBookmarkFile", BM_ReadBookmarkFile);
    Register("Plain/Fill", BM_Plain_Fill);
    Register("Plain/Sort", BM_Plain_Sort);
    Register("Plain/SelectAll", BM_Plain_SelectAll);
    Register("Plain/Remove", BM_Plain_Remove);
    Register("Plain/Insert", BM_Plain_Insert);
    Register("Editor/OpenWindow", BM_OpenWindow);
    Register("Editor/LoadAndShow", BM_LoadAndShow);
    Register("Editor/FindMiss", BM_FindMiss);
    Register("Editor/ShowBigFolder", BM_ShowBigFolder);
    Register("Editor/SortBigFolder", BM_SortBigFolder);
    Register("Editor/SelectAll", BM_SelectAll);
    Register("Editor/Copy", BM_Copy);
    Register("Editor/Paste", BM_Paste);
    Register("Editor/UndoPaste", BM_UndoPaste);
    Register("Editor/Delete", BM_Delete);
    Register("Editor/UndoDelete", BM_UndoDelete);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete g_frame;
    return 0;
}
