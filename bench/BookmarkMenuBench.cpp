// Reading a bookmark file of 20,000 links in 1,000 folders and rebuilding the
// bookmark menu, a tree and the link bar from it, as a reload does.
#include "bookmarks/BookmarkFile.h"

#include "BookmarkTree.h"
#include "bookmarks/BookmarkLinkBar.h"
#include "bookmarks/BookmarkMenu.h"
#include "platform/Text.h"

#include "WidgetBenchMain.h"

#include <QAction>
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
    Item AddFolder(Item parent, const std::string& name) override
    {
        return new QTreeWidgetItem(static_cast<QTreeWidgetItem*>(parent), {nimbra::ToQ(name)});
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

void BM_ReloadMenuTreeAndLinkBar(benchmark::State& state)
{
    QMenu menu;
    for (int i = 0; i < nimbra::kBookmarkFixedItems - 1; ++i)
        menu.addAction(QStringLiteral("fixed"));
    menu.addSeparator();
    CTreeWidgetTarget tree;
    nimbra::CBookmarkLinkBar linkBar([](int) {});
    nimbra::CBookmarkMenu bookmarks([](int) {});
    bookmarks.SetTree(&tree);
    bookmarks.SetLinkBar(&linkBar);
    const nimbra::CBookmarkMenu::Options options{true, 20};

    const long before = ResidentKiB();
    for (auto _ : state) {
        const std::optional<BookmarkItem> root = nimbra::ReadBookmarkFile(Data().path, nimbra::BookmarkReader::Browser);
        bookmarks.Rebuild(&menu, *root, options);
        benchmark::DoNotOptimize(bookmarks.LinkCount());
    }
    state.counters["links"] = bookmarks.LinkCount();
    state.counters["buttons"] = double(linkBar.actions().size());
    state.counters["resident_MiB"] = double(ResidentKiB()) / 1024;
    state.counters["growth_MiB"] = double(ResidentKiB() - before) / 1024;
}
BENCHMARK(BM_ReloadMenuTreeAndLinkBar)->Unit(benchmark::kMillisecond)->Iterations(10);

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

} // namespace

int main(int argc, char** argv)
{
    return benchutil::RunWidgetBenchmarks(argc, argv);
}
