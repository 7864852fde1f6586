// Reading a bookmark file of 20,000 links in 1,000 folders and rebuilding the
// bookmark menu, a tree and the link bar from it, as a reload does; the side
// bar's bookmark tree beside a plain tree widget; opening and closing all of
// its folders.
#include "data/bookmarks/BookmarkFile.h"

#include "BookmarkTree.h"
#include "widgets/bars/LinkBar.h"
#include "widgets/bookmarks/BookmarkMenu.h"
#include "platform/Text.h"
#include "widgets/sidebar/BookmarkTree.h"

#include "WidgetBenchMain.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using nimbra::BookmarkItem;


// A tree widget in the place of the side bar's bookmark pane.
class CTreeWidgetTarget : public nimbra::IBookmarkTree {
public:
    Item ResetRoot() override
    {
        m_tree.clear();
        m_root = new QTreeWidgetItem(&m_tree, {QStringLiteral("Nimbra Browser Bookmark")});
        return m_root;
    }
    Item AddFolder(Item parent, const std::string& name, Filler fill) override
    {
        auto* item = new QTreeWidgetItem(static_cast<QTreeWidgetItem*>(parent), {nimbra::ToQ(name)});
        // Filled at once: the whole tree as a plain widget holds it.
        if (fill)
            fill(*this, item);
        return item;
    }
    void AddLink(Item parent, const std::string& title, int number) override
    {
        auto* item = new QTreeWidgetItem(static_cast<QTreeWidgetItem*>(parent), {nimbra::ToQ(title)});
        item->setData(0, Qt::UserRole, number);
    }
    void ExpandAndSelectRoot() override
    {
        m_root->setExpanded(true);
        m_tree.setCurrentItem(m_root);
    }

private:
    QTreeWidget m_tree;
    QTreeWidgetItem* m_root = nullptr;
};

// The side bar's tree with nothing around it.
class CBenchTreeHost : public nimbra::IBookmarkTreeHost {
public:
    const std::vector<std::string>& Urls() const override { return m_urls; }
    void Navigate(const std::string&) override {}
    void OpenNewTab(const std::string&) override {}
    void SetStatusText(const std::string&) override {}
    void FocusView() override {}
    void SaveClickOpenNew(int) override {}

private:
    std::vector<std::string> m_urls;
};

class CSideBarTree : public nimbra::CBookmarkTree {
public:
    CSideBarTree() : CBookmarkTree(m_host) {}

private:
    CBenchTreeHost m_host;
};

long ResidentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct Fixture {
    Fixture() : path(dir.path().toStdString() + "/bookmark.html") { nimbra::WriteBookmarkFile(path, benchutil::MakeBookmarkTree()); }
    QTemporaryDir dir;
    std::string path;
};

Fixture& Data()
{
    static Fixture fixture;
    return fixture;
}

template <class Tree>
void BM_ReloadMenuTreeAndLinkBar(benchmark::State& state)
{
    QMenu menu;
    for (int i = 0; i < nimbra::kBookmarkFixedItems - 1; ++i)
        menu.addAction(QStringLiteral("fixed"));
    menu.addSeparator();
    Tree tree;
    nimbra::CLinkBar linkBar([](int) {}, [](int) {});
    nimbra::CBookmarkMenu bookmarks([](int) {});
    bookmarks.SetTree(&tree);
    bookmarks.SetLinkBar(&linkBar);
    const nimbra::CBookmarkMenu::Options options{true, 20};

    const long before = ResidentKiB();
    for (auto _ : state) {
        std::optional<BookmarkItem> root = nimbra::ReadBookmarkFile(Data().path, nimbra::BookmarkReader::Browser);
        bookmarks.Rebuild(&menu, std::make_shared<const BookmarkItem>(std::move(*root)), options);
        benchmark::DoNotOptimize(bookmarks.LinkCount());
    }
    state.counters["links"] = bookmarks.LinkCount();
    state.counters["buttons"] = double(linkBar.findChildren<nimbra::CLinkButton*>().size());
    state.counters["resident_MiB"] = double(ResidentKiB()) / 1024;
    state.counters["growth_MiB"] = double(ResidentKiB() - before) / 1024;
}
BENCHMARK_TEMPLATE(BM_ReloadMenuTreeAndLinkBar, CTreeWidgetTarget)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK_TEMPLATE(BM_ReloadMenuTreeAndLinkBar, CSideBarTree)->Unit(benchmark::kMillisecond)->Iterations(10);

// The tree part alone, filled in file order as the bookmark pass fills it.
void Fill(nimbra::IBookmarkTree& tree, const BookmarkItem& folder, nimbra::IBookmarkTree::Item parent, int& number)
{
    for (const BookmarkItem& child : folder.items) {
        if (child.IsLink())
            tree.AddLink(parent, child.title, number++);
        else if (child.IsFolder())
            Fill(tree, child, tree.AddFolder(parent, child.title), number);
    }
}

template <class Tree>
void BM_FillTree(benchmark::State& state)
{
    const std::optional<BookmarkItem> root = nimbra::ReadBookmarkFile(Data().path, nimbra::BookmarkReader::Browser);
    Tree tree;
    for (auto _ : state) {
        int number = 0;
        Fill(tree, *root, tree.ResetRoot(), number);
        tree.ExpandAndSelectRoot();
    }
}
BENCHMARK_TEMPLATE(BM_FillTree, CTreeWidgetTarget)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK_TEMPLATE(BM_FillTree, CSideBarTree)->Unit(benchmark::kMillisecond)->Iterations(10);

// "すべてのフォルダを開く" and "すべてのフォルダを閉じる" on the filled tree.
void BM_ExpandCollapseAll(benchmark::State& state)
{
    const std::optional<BookmarkItem> root = nimbra::ReadBookmarkFile(Data().path, nimbra::BookmarkReader::Browser);
    CSideBarTree tree;
    nimbra::CBookmarkMenu bookmarks([](int) {});
    bookmarks.SetTree(&tree);
    QMenu menu;
    bookmarks.Rebuild(&menu, *root, {false, 20});
    const int command = state.range(0) ? nimbra::CBookmarkTree::ID_TREE_EXPAND_ALL
                                       : nimbra::CBookmarkTree::ID_TREE_COLLAPSE_ALL;
    const int other = state.range(0) ? nimbra::CBookmarkTree::ID_TREE_COLLAPSE_ALL
                                     : nimbra::CBookmarkTree::ID_TREE_EXPAND_ALL;
    for (auto _ : state) {
        state.PauseTiming();
        tree.RunCommand(other);
        state.ResumeTiming();
        tree.RunCommand(command);
    }
    state.SetLabel(state.range(0) ? "expand all" : "collapse all");
}
BENCHMARK(BM_ExpandCollapseAll)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(10);

// The menu part alone (no tree, no link bar).
void BM_RebuildMenuOnly(benchmark::State& state)
{
    QMenu menu;
    const std::optional<BookmarkItem> root = nimbra::ReadBookmarkFile(Data().path, nimbra::BookmarkReader::Browser);
    nimbra::CBookmarkMenu bookmarks([](int) {});
    for (auto _ : state)
        bookmarks.Rebuild(&menu, *root, {false, 20});
}
BENCHMARK(BM_RebuildMenuOnly)->Unit(benchmark::kMillisecond)->Iterations(10);

// One folder of 200,000 links (an imported archive): the rebuild a start or
// a reload does, and the first opening of that folder's menu.
constexpr int kHugeFolderLinks = 200000;

const std::string& HugeFolderPath()
{
    static const std::string path = [] {
        BookmarkItem folder = BookmarkItem::Folder("アーカイブ");
        for (int n = 0; n < kHugeFolderLinks; ++n)
            folder.items.push_back(BookmarkItem::Link("Example page about topic " + std::to_string(n),
                                                      "http://www.example.com/page" + std::to_string(n) + ".html"));
        BookmarkItem root = BookmarkItem::Folder({});
        root.items.push_back(std::move(folder));
        const std::string file = Data().dir.path().toStdString() + "/huge.html";
        nimbra::WriteBookmarkFile(file, root);
        return file;
    }();
    return path;
}

void BM_HugeFolder(benchmark::State& state)
{
    const bool open = state.range(0) != 0;
    QMenu menu;
    nimbra::CBookmarkMenu bookmarks([](int) {});
    const std::optional<BookmarkItem> root = nimbra::ReadBookmarkFile(HugeFolderPath(), nimbra::BookmarkReader::Browser);
    for (auto _ : state) {
        if (open)
            state.PauseTiming();
        bookmarks.Rebuild(&menu, *root, {false, 20});
        if (!open)
            continue;
        QMenu* folder = menu.actions().constLast()->menu();
        state.ResumeTiming();
        // As the folder's item is hovered: filled, laid out, shown.
        folder->popup(QPoint(0, 0));
        QCoreApplication::processEvents();
        folder->hide();
    }
    state.SetLabel(open ? "first opening of the folder" : "rebuild");
}
BENCHMARK(BM_HugeFolder)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    return benchutil::RunWidgetBenchmarks(argc, argv);
}
