#include "data/bookmarks/BkDoc.h"

#include <gtest/gtest.h>

#include <functional>

using namespace nimbra;
using namespace nimbra::editor;

namespace {

using Items = std::vector<BookmarkItem>;

// root: A (link), F1 { x, F2 { y }, z }, sep, B (link)
BookmarkItem SampleTree()
{
    return BookmarkItem::Folder({}, {
        BookmarkItem::Link("A", "http://a/"),
        BookmarkItem::Folder("F1", {
            BookmarkItem::Link("x", "http://x/"),
            BookmarkItem::Folder("F2", {BookmarkItem::Link("y", "http://Y.example/Path")}),
            BookmarkItem::Link("z", "http://z/"),
        }),
        BookmarkItem::Separator(),
        BookmarkItem::Link("B", "http://b/"),
    });
}

std::string Text(const CBkDoc& doc)
{
    return FormatBookmarkFile(doc.ToFileTree());
}

CBkItem* Child(CBkItem* folder, int row)
{
    return folder->Items()[size_t(row)].get();
}

std::vector<std::string> Titles(const CBkItem* folder)
{
    std::vector<std::string> titles;
    for (const BkItemPtr& item : folder->Items())
        titles.push_back(item->Title());
    return titles;
}

// A folder of `n` links "0".."n-1".
BookmarkItem Numbered(int n)
{
    BookmarkItem root = BookmarkItem::Folder({});
    for (int i = 0; i < n; ++i)
        root.items.push_back(BookmarkItem::Link(std::to_string(i), "u"));
    return root;
}

// The sample tree, loaded.
class BkSample : public ::testing::Test {
protected:
    void SetUp() override
    {
        doc.Reset(SampleTree());
        root = doc.Root();
        f1 = Child(root, 1);
        f2 = Child(f1, 1);
    }
    CBkDoc doc;
    CBkItem* root = nullptr;
    CBkItem* f1 = nullptr;
    CBkItem* f2 = nullptr;
};

} // namespace

TEST(BkDoc, TitlesAreCutAndMarkersDefusedWhereverTextEnters)
{
    const std::string ascii(250, 'a');
    const std::string straddle = std::string(199, 'b') + "日本"; // "日" covers cells 200 and 201
    struct Case {
        std::string typed;
        std::string stored;
    } cases[] = {
        {ascii, std::string(200, 'a')},
        {straddle, std::string(199, 'b')},
        {"Evil</UL>tail", "Evil＜/UL>tail"},
        {"a<hr>b", "a＜hr>b"},
        {"<LI><A x</A>", "＜LI>＜A x＜/A>"},
        {"a < b & c", "a < b & c"},
    };
    CBkDoc doc;
    CBkItem* root = doc.Root();
    for (const Case& c : cases) {
        CBkItem* link = doc.NewLink(root, c.typed, "u");
        EXPECT_EQ(link->Title(), c.stored);
        CBkItem* folder = doc.NewFolder(root, "f");
        ASSERT_TRUE(doc.SetTitle(folder, c.typed));
        EXPECT_EQ(folder->Title(), c.stored);
    }
    CBkItem* link = doc.NewLink(root, "t", "");
    ASSERT_TRUE(doc.SetUrl(link, "http://x/\">y</UL>"));
    EXPECT_EQ(link->Url(), "http://x/%22>y%3C/UL>");
    ASSERT_TRUE(doc.SetUrl(link, "javascript:if(a<b)alert(\"1\")"));
    EXPECT_EQ(link->Url(), "javascript:if(a<b)alert(%221%22)");

    // What the writer makes of it reads back as the same entries.
    const BookmarkItem again = ParseBookmarks(Text(doc), BookmarkReader::Editor);
    EXPECT_TRUE(again.items == doc.ToFileTree().items);
}

TEST_F(BkSample, RootCannotBeDeletedOrRenamedAndEmptyEditsChangeNothing)
{
    const std::string before = Text(doc);
    EXPECT_FALSE(doc.DeleteFolder(root));
    EXPECT_FALSE(doc.SetTitle(root, "Other"));
    EXPECT_FALSE(doc.SetTitle(Child(root, 0), ""));
    EXPECT_FALSE(doc.SetUrl(Child(root, 0), ""));
    EXPECT_FALSE(doc.SetUrl(Child(root, 1), "http://folder/"));
    EXPECT_FALSE(doc.SetTitle(Child(root, 2), "separator"));
    EXPECT_EQ(root->Title(), kRootLabel);
    EXPECT_EQ(Text(doc), before);
    EXPECT_FALSE(doc.CanUndo());
}

TEST(BkDoc, SortOrdersWithoutCaseKeepsFoldersTogetherAndSavesThatOrder)
{
    CBkDoc doc;
    doc.Reset(BookmarkItem::Folder({}, {
        BookmarkItem::Link("beta", "http://C/"),
        BookmarkItem::Folder("Zed"),
        BookmarkItem::Link("Alpha", "http://a/"),
        BookmarkItem::Folder("abc"),
        BookmarkItem::Link("gamma", "http://B/"),
    }));
    CBkItem* root = doc.Root();
    doc.Sort(root, ESortColumn::Title, true, false);
    EXPECT_EQ(Titles(root), (std::vector<std::string>{"abc", "Alpha", "beta", "gamma", "Zed"}));
    doc.Sort(root, ESortColumn::Title, true, true);
    EXPECT_EQ(Titles(root), (std::vector<std::string>{"abc", "Zed", "Alpha", "beta", "gamma"}));
    doc.Sort(root, ESortColumn::Title, false, true);
    EXPECT_EQ(Titles(root), (std::vector<std::string>{"gamma", "beta", "Alpha", "Zed", "abc"}));
    // The URL column: folders carry their marker.
    doc.Sort(root, ESortColumn::Url, true, false);
    EXPECT_EQ(Titles(root), (std::vector<std::string>{"Zed", "abc", "Alpha", "gamma", "beta"}));

    const std::string file = Text(doc);
    EXPECT_LT(file.find("<LI>Zed<UL>"), file.find("<LI>abc<UL>"));
    EXPECT_LT(file.find(">abc"), file.find(">Alpha</A>"));
    EXPECT_LT(file.find(">gamma</A>"), file.find(">beta</A>"));
}

TEST_F(BkSample, FindSearchesTitlesAndUrlsFromThePlaceOnAcrossFolders)
{
    auto hit = doc.Find("y.example/path", false, root, 0);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->folder, f2);
    EXPECT_EQ(hit->row, 0);
    EXPECT_FALSE(doc.Find("y.example/path", true, root, 0));
    EXPECT_TRUE(doc.Find("Y.example/Path", true, root, 0));
    // From the row after the found one the search goes on, and ends with the tree.
    hit = doc.Find("http://", false, f1, 1);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->folder, f1);
    EXPECT_EQ(hit->row, 2);
    EXPECT_FALSE(doc.Find("http://", false, f2, 1));
    EXPECT_FALSE(doc.Find("a/", false, f2, 0));
    EXPECT_FALSE(doc.Find("nowhere", false, root, 0));
    EXPECT_EQ(doc.NextFolder(root), f1);
    EXPECT_EQ(doc.NextFolder(f1), f2);
    EXPECT_EQ(doc.NextFolder(f2), nullptr);
    EXPECT_EQ(doc.PreviousFolder(f1), root);
}

TEST(BkDoc, EachUndoKindRestoresTheTreeExactly)
{
    struct Case {
        const char* name;
        EUndoKind kind;
        std::function<void(CBkDoc&)> change;
    } cases[] = {
        {"delete rows with a sub-tree", EUndoKind::Deleted,
         [](CBkDoc& d) { d.Delete(d.Root(), {3, 1, 0, 1}); }},
        {"delete a nested folder", EUndoKind::Deleted, [](CBkDoc& d) { d.DeleteFolder(Child(Child(d.Root(), 1), 1)); }},
        {"cut", EUndoKind::Deleted, [](CBkDoc& d) { d.Cut(Child(d.Root(), 1), {0, 2}); }},
        {"move rows and a folder", EUndoKind::Moved,
         [](CBkDoc& d) { d.Move({Child(d.Root(), 0), Child(Child(d.Root(), 1), 1), Child(d.Root(), 3)}, Child(d.Root(), 1)); }},
        {"new link", EUndoKind::Added, [](CBkDoc& d) { d.NewLink(Child(d.Root(), 1), "n", "u"); }},
        {"new folder", EUndoKind::Added, [](CBkDoc& d) { d.NewFolder(d.Root(), "n"); }},
        {"new separator", EUndoKind::Added, [](CBkDoc& d) { d.NewSeparator(d.Root()); }},
        {"title", EUndoKind::TextChanged, [](CBkDoc& d) { d.SetTitle(Child(d.Root(), 1), "renamed"); }},
        {"url", EUndoKind::TextChanged, [](CBkDoc& d) { d.SetUrl(Child(d.Root(), 0), "http://new/"); }},
        {"paste a sub-tree", EUndoKind::Pasted,
         [](CBkDoc& d) {
             d.Copy(d.Root(), {1, 3});
             d.Paste(Child(Child(d.Root(), 1), 1), 1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CBkDoc doc;
        doc.Reset(SampleTree());
        const std::string before = Text(doc);
        const uint64_t revision = doc.Revision();
        c.change(doc);
        EXPECT_NE(Text(doc), before);
        EXPECT_GT(doc.Revision(), revision);
        ASSERT_EQ(doc.JournalSize(), 1u);
        EXPECT_EQ(doc.LastRecord()->kind, c.kind);
        ASSERT_TRUE(doc.Undo());
        EXPECT_EQ(Text(doc), before);
        EXPECT_FALSE(doc.Undo());
    }
}

TEST_F(BkSample, PasteGoesAfterTheGivenRowWithCopiesOfSubTrees)
{
    doc.Copy(root, {1, 3}); // F1 (with F2) and B
    doc.SetTitle(Child(f1, 0), "changed after the copy");
    const std::vector<CBkItem*> pasted = doc.Paste(f1, 1);
    ASSERT_EQ(pasted.size(), 2u);
    EXPECT_EQ(Titles(f1), (std::vector<std::string>{"changed after the copy", "F1", "B", "F2", "z"}));
    EXPECT_EQ(Titles(pasted[0]), (std::vector<std::string>{"x", "F2", "z"}));
    EXPECT_EQ(Titles(Child(pasted[0], 1)), std::vector<std::string>{"y"});
    EXPECT_NE(pasted[0], f1);
    // At the start of a folder, and clamped past its end.
    EXPECT_EQ(doc.Paste(Child(f1, 3), 0).front()->Row(), 0);
    const CBkItem* last = doc.Paste(root, 99).back();
    EXPECT_EQ(last->Row(), int(root->Items().size()) - 1);
}

TEST_F(BkSample, AFolderNeverMovesIntoItselfOrBelowItself)
{
    const std::string before = Text(doc);
    EXPECT_FALSE(doc.Move({f1}, f1));
    EXPECT_FALSE(doc.Move({f1}, f2));
    EXPECT_FALSE(doc.Move({Child(root, 0), f1}, f2));
    EXPECT_FALSE(doc.Move({f2}, f1)); // already there
    EXPECT_EQ(Text(doc), before);
    EXPECT_FALSE(doc.CanUndo());
    // Dropped entries go to the end; one that is there already stays.
    ASSERT_TRUE(doc.Move({Child(root, 0), f2}, f1));
    EXPECT_EQ(Titles(f1), (std::vector<std::string>{"x", "F2", "z", "A"}));
}

TEST(BkDoc, DeepTreesAndLargeFoldersNeedNoRecursion)
{
    // 1,000 levels of folders as the reader allows them.
    std::string file = "<UL>\n";
    for (int i = 0; i < kMaxFolderDepth; ++i)
        file += "<LI>d" + std::to_string(i) + "<UL>\n<LI><A HREF=\"u\">t</A>\n";
    CBkDoc doc;
    doc.Reset(ParseBookmarks(file, BookmarkReader::Editor));
    CBkItem* top = Child(doc.Root(), 0);
    EXPECT_EQ(top->FolderHeight(), kMaxFolderDepth - 1);
    doc.Copy(doc.Root(), {0});
    EXPECT_TRUE(doc.Paste(doc.Root(), 1).size() == 1);
    // One level deeper than the file holds: refused.
    EXPECT_TRUE(doc.Paste(top, 0).empty());
    EXPECT_FALSE(doc.Move({Child(doc.Root(), 1)}, top));
    const std::string saved = Text(doc);
    doc.DeleteFolder(top);
    doc.Undo();
    EXPECT_EQ(Text(doc), saved);
    EXPECT_NE(doc.Find("d999", true, doc.Root(), 0), std::nullopt);

    // 100,000 entries in one folder: delete them all, then undo.
    doc.Reset(Numbered(100000));
    std::vector<int> rows(100000);
    for (int i = 0; i < 100000; ++i)
        rows[size_t(i)] = i;
    doc.Copy(doc.Root(), rows);
    doc.Delete(doc.Root(), rows);
    EXPECT_TRUE(doc.Root()->Items().empty());
    doc.Undo();
    ASSERT_EQ(doc.Root()->Items().size(), 100000u);
    EXPECT_EQ(Child(doc.Root(), 54321)->Title(), "54321");
}

TEST_F(BkSample, MergeTakesWhatTheBrowserAppendedIntoTheSameFoldersAndKeepsTheJournal)
{
    const SBkSnapshot saved = doc.Snapshot(Text(doc));

    // The browser appends to the root, to F1 (a folder with a link) and to F2.
    BookmarkItem disk = ParseBookmarks(Text(doc), BookmarkReader::Editor);
    disk.items.push_back(BookmarkItem::Link("added to root", "http://r/"));
    disk.items[1].items.push_back(BookmarkItem::Folder("新しいフォルダ", {BookmarkItem::Link("in new", "http://n/")}));
    disk.items[1].items[1].items.push_back(BookmarkItem::Link("added to F2", "http://f2/"));

    // Meanwhile the editor renamed F1, removed F2 and added an entry.
    doc.SetTitle(f1, "F1 renamed");
    doc.DeleteFolder(f2);
    doc.NewLink(root, "editor's own", "http://e/");
    const size_t journal = doc.JournalSize();

    EXPECT_EQ(doc.MergeAppended(saved, disk), 3);
    EXPECT_EQ(Titles(root), (std::vector<std::string>{"A", "F1 renamed", "-", "B", "editor's own", "added to root",
                                                      "added to F2"}));
    EXPECT_EQ(Titles(f1), (std::vector<std::string>{"x", "z", "新しいフォルダ"}));
    EXPECT_EQ(Titles(Child(f1, 2)), std::vector<std::string>{"in new"});
    EXPECT_EQ(doc.JournalSize(), journal);
    // The journal still reverses the editor's own changes.
    doc.Undo();
    doc.Undo();
    EXPECT_EQ(Titles(f1), (std::vector<std::string>{"x", "F2", "z", "新しいフォルダ"}));
    // Nothing new on disk: nothing taken.
    EXPECT_EQ(doc.MergeAppended(saved, saved.tree), 0);
}
