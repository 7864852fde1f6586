#include "data/bookmarks/BookmarkFile.h"

#include "TestEnv.h"

#include <gtest/gtest.h>

#include <random>

using namespace nimbra;

namespace {

using Items = std::vector<BookmarkItem>;

BookmarkItem Root(Items items)
{
    return BookmarkItem::Folder({}, std::move(items));
}

BookmarkItem Browser(std::string_view text)
{
    return ParseBookmarks(text, BookmarkReader::Browser);
}

BookmarkItem Editor(std::string_view text)
{
    return ParseBookmarks(text, BookmarkReader::Editor);
}

const std::string kEmptyFile =
    "<HTML>\r\n<TITLE>Nimbra Browser BookMark</TITLE>\r\n<UL>\r\n</UL>\r\n</HTML>\r\n";

} // namespace

TEST(BookmarkFile, WritesTheEmptyFileAndTheWholeTree)
{
    testenv::TempDir home;
    const std::string path = home.file("bookmark.html");
    ASSERT_TRUE(WriteEmptyBookmarkFile(path));
    EXPECT_EQ(testenv::ReadFile(path), kEmptyFile);
    EXPECT_EQ(ReadBookmarkFile(path, BookmarkReader::Browser), Root({}));

    const BookmarkItem tree = Root({
        BookmarkItem::Link("日本 \">x<HR>", "http://a/?q=1&amp;b"),
        BookmarkItem::Separator(),
        BookmarkItem::Folder("F", {
            BookmarkItem::Link("", ""),
            BookmarkItem::Folder("", {BookmarkItem::Separator()}),
        }),
        BookmarkItem::Link("two\r\nlines\rand\nmore", "http://b/\n"),
    });
    ASSERT_TRUE(WriteBookmarkFile(path, tree));
    EXPECT_EQ(testenv::ReadFile(path),
              "<HTML>\r\n<TITLE>Nimbra Browser BookMark</TITLE>\r\n<UL>\r\n"
              "\t<LI><A HREF=\"http://a/?q=1&amp;b\">日本 \"＞x＜HR＞</A>\r\n"
              "\t<HR>\r\n"
              "\t<LI>F<UL>\r\n"
              "\t\t<LI><A HREF=\"\"></A>\r\n"
              "\t\t<LI><UL>\r\n"
              "\t\t\t<HR>\r\n"
              "\t\t</UL>\r\n"
              "\t</UL>\r\n"
              "\t<LI><A HREF=\"http://b/ \">two lines and more</A>\r\n"
              "</UL>\r\n</HTML>\r\n");

    // A failed write leaves the old file alone.
    testenv::WriteFile(home.file("plain"), "x");
    EXPECT_FALSE(WriteBookmarkFile(home.file("plain") + "/bookmark.html", tree));
    EXPECT_EQ(testenv::ReadFile(home.file("plain")), "x");
    EXPECT_FALSE(ReadBookmarkFile(home.file("missing.html"), BookmarkReader::Browser));
    EXPECT_FALSE(ReadBookmarkFile(home.path().toStdString(), BookmarkReader::Browser));
}

TEST(BookmarkFile, MarkersInTextsAreDefusedOtherTextsKept)
{
    const std::string texts[] = {"Evil</UL>", "a<ul>b", "x</a>y", "<Hr>", "<li>z", "q\">r",
                                 "<b><font color=red>x</font></b> &amp; 日本 \"<\" >"};
    for (const std::string& text : texts) {
        const BookmarkItem tree = Root({
            BookmarkItem::Folder(text, {BookmarkItem::Link(text, "http://h/" + text)}),
            BookmarkItem::Link("after", "http://after/"),
        });
        const std::string file = FormatBookmarkFile(tree);
        for (BookmarkReader reader : {BookmarkReader::Browser, BookmarkReader::Editor}) {
            const BookmarkItem read = ParseBookmarks(file, reader);
            ASSERT_EQ(read.items.size(), 2u) << text << "\n" << file;
            ASSERT_EQ(read.items[0].items.size(), 1u) << text;
            EXPECT_EQ(read.items[1], BookmarkItem::Link("after", "http://after/")) << text;
        }
        const BookmarkItem link = Browser(file).items[0].items[0];
        if (text == texts[std::size(texts) - 1]) {
            // Well-formed: byte for byte.
            EXPECT_EQ(link, BookmarkItem::Link(text, "http://h/" + text));
        } else {
            EXPECT_EQ(link.title.find_first_of("<>"), std::string::npos) << link.title;
            EXPECT_EQ(link.url.find_first_of("<>"), std::string::npos) << link.url;
        }
    }
    EXPECT_EQ(BookmarkLinkLine("http://x/\">", "Evil</UL>"), "\t<LI><A HREF=\"http://x/\"%3E\">Evil＜/UL＞</A>");
    EXPECT_EQ(BookmarkFolderLine("<LI>f"), "\t<LI>＜LI＞f<UL>");
    // A URL that starts with ">" would end at the writer's own quote.
    EXPECT_EQ(BookmarkLinkLine(">x", "t"), "\t<LI><A HREF=\"%3Ex\">t</A>");
    EXPECT_EQ(Browser(FormatBookmarkFile(Root({BookmarkItem::Link("t", ">x")}))).items[0],
              BookmarkItem::Link("t", "%3Ex"));
}

TEST(BookmarkFile, IndentationAndLineEndsDoNotMatter)
{
    const BookmarkItem expected = Root({
        BookmarkItem::Link("a", "http://a/"),
        BookmarkItem::Folder("f", {BookmarkItem::Separator(), BookmarkItem::Link("b", "http://b/")}),
    });
    EXPECT_EQ(Browser("<UL>\n<LI><A HREF=\"http://a/\">a</A>\n<LI>f<UL>\n<HR>\n"
                      "<LI><A HREF=\"http://b/\">b</A>\n</UL>\n</UL>\n"),
              expected);
    EXPECT_EQ(Browser("<HTML>\r\n<UL>\r\n    <LI><A HREF=\"http://a/\">a</A>   \r\n  <LI>f<UL> \r\n"
                      "      <HR>\r\n \t <LI><A HREF=\"http://b/\">b</A>\t\r\n  </UL>\r\n</UL>\r\n</HTML>\r\n\r\n"),
              expected);
}

TEST(BookmarkFile, ReadsOddLinesByTheLineTests)
{
    const BookmarkItem tree = Browser(
        "<TITLE>ignored <LI><A HREF=\"x\">t</A></TITLE>\n"
        "<UL>\n"
        "\t<LI><A HREF=\"http://c/\">commented</A> <!-- note -->\n"     // trailing text
        "\t<LI><A HREF=\"http://e/\"></A>\n"                            // empty title
        "\t<LI><UL>\n"                                                  // empty name
        "\t\t<LI><A HREF=\"http://hr/\">a <HR> b</A>\n"                 // a separator
        "\t\t<!-- comment -->\n"
        "\n"
        "\t\t<LI><A HREF=\"http://ul/\">a </UL> b</A>\n"                // ends the folder
        "\t<LI><A HREF=\"http://root/\">back in the root</A>\n"
        "\t<LI><A HREF=nothing>no markers</A>\n"
        "\t<LI><A HREF=\"http://q\">u\">t</A>\n"
        "</UL>\n"
        "<UL>\n"
        "\t<LI><A HREF=\"http://later/\">later list</A>\n");
    EXPECT_EQ(tree, Root({
        BookmarkItem::Link("commented</A> <!-- note", "http://c/"),
        BookmarkItem::Link("", "http://e/"),
        BookmarkItem::Folder("", {BookmarkItem::Separator()}),
        BookmarkItem::Link("back in the root", "http://root/"),
        BookmarkItem::Link("", ""),
        BookmarkItem::Link("u\">t", "http://q"),
    }));
}

TEST(BookmarkFile, EditorDecodesCutsAndReadsLaterLists)
{
    const std::string text =
        "<UL>\n"
        "\t<LI><A HREF=\"http://a/?x=1&amp;y=2\">A &amp; B &amp;amp;</A>\n"
        "\t<LI>Tom &amp; Jerry<UL>\n"
        "\t</UL>\n"
        "\t<LI><A HREF=\"http://long/\">" + std::string(250, 'x') + "</A>\n"
        "\t<LI><A HREF=\"http://wide/\">" + std::string(199, 'y') + "日本</A>\n"
        "</UL>\n"
        "<P>between lists\n"
        "\t<LI><A HREF=\"http://between/\">outside any list</A>\n"
        "<UL>\n"
        "\t<LI><A HREF=\"http://later/\">later</A>\n"
        "\t<LI>sub<UL>\n"
        "\t\t<HR>\n"
        "\t</UL>\n"
        "</UL>\n"
        "</HTML>\n"
        "<LI>open<UL>\n"   // opens a third list; its items would follow
        "\t<HR>\n";

    const BookmarkItem browser = Browser(text);
    ASSERT_EQ(browser.items.size(), 4u);
    EXPECT_EQ(browser.items[0], BookmarkItem::Link("A &amp; B &amp;amp;", "http://a/?x=1&amp;y=2"));
    EXPECT_EQ(browser.items[1].title, "Tom &amp; Jerry");
    EXPECT_EQ(browser.items[2].title.size(), 250u);

    const BookmarkItem editor = Editor(text);
    EXPECT_EQ(editor, Root({
        BookmarkItem::Link("A & B &amp;", "http://a/?x=1&amp;y=2"),
        BookmarkItem::Folder("Tom & Jerry"),
        BookmarkItem::Link(std::string(200, 'x'), "http://long/"),
        BookmarkItem::Link(std::string(199, 'y'), "http://wide/"),
        BookmarkItem::Link("later", "http://later/"),
        BookmarkItem::Folder("sub", {BookmarkItem::Separator()}),
        BookmarkItem::Separator(),
    }));
}

TEST(BookmarkFile, ReadsShiftJisLinesOfTheWindowsVersion)
{
    // "\x93\xfa\x96\x7b" is 日本 and "\x83\x8a\x83\x93\x83\x4e" リンク in CP932;
    // 0x7B and 0x4E are trail bytes, not text.
    const BookmarkItem tree = Editor(
        "<UL>\r\n"
        "\t<LI>\x83\x8a\x83\x93\x83\x4e<UL>\r\n"
        "\t\t<LI><A HREF=\"http://jp/\">\x93\xfa\x96\x7b &amp; \x93\xfa</A>\r\n"
        "\t</UL>\r\n"
        "\t<LI><A HREF=\"http://mixed/\">utf-8 日本</A>\r\n"
        "</UL>\r\n");
    EXPECT_EQ(tree, Root({
        BookmarkItem::Folder("リンク", {BookmarkItem::Link("日本 & 日", "http://jp/")}),
        BookmarkItem::Link("utf-8 日本", "http://mixed/"),
    }));
    EXPECT_TRUE(IsLinksFolderName(tree.items[0].title));
}

TEST(BookmarkFile, LinksFoldersFillTheLinkBar)
{
    const BookmarkItem tree = Browser(
        "<UL>\n"
        "<LI><A HREF=\"http://0/\">0</A>\n"
        "<LI>リンク<UL>\n"
        "  <LI><A HREF=\"http://1/\">1</A>\n"
        "  <LI>menu<UL>\n"
        "    <LI><A HREF=\"http://2/\">2</A>\n"
        "    <LI> リンク <UL>\n"
        "      <LI><A HREF=\"http://3/\">3</A>\n"
        "    </UL>\n"
        "  </UL>\n"
        "  <HR>\n"
        "  <LI><A HREF=\"http://4/\">4</A>\n"
        "</UL>\n"
        "<LI>other<UL>\n"
        "  <LI><A HREF=\"http://5/\">5</A>\n"
        "  <LI>リンク<UL>\n"
        "    <LI><A HREF=\"http://6/\">6</A>\n"
        "  </UL>\n"
        "</UL>\n"
        "<LI>リンクス<UL>\n"
        "  <LI><A HREF=\"http://7/\">7</A>\n"
        "</UL>\n"
        "</UL>\n");
    std::vector<std::pair<std::string, int>> bar;
    for (const LinkBarEntry& entry : LinkBarEntries(tree))
        bar.emplace_back(entry.item->title, entry.linkNumber);
    const std::vector<std::pair<std::string, int>> expected{
        {"1", 1}, {"3", 3}, {"menu", -1}, {"4", 4}, {"6", 6},
    };
    EXPECT_EQ(bar, expected);
    EXPECT_TRUE(IsLinksFolderName("\tリンク "));
    EXPECT_FALSE(IsLinksFolderName("リンク2"));
}

TEST(BookmarkFile, HostileInputIsReadSafelyAndQuickly)
{
    // One 50 MB line, inside and outside the root list.
    std::string line = "<UL><LI><A HREF=\"http://big/\">";
    line.append(50u << 20, 'x');
    line += "</A>";
    testenv::CpuTimer cpu;
    EXPECT_TRUE(Browser(line).items.empty());
    const BookmarkItem big = Editor("<UL>\n" + line + "\n</UL>\n");
    const double seconds = double(cpu.elapsed()) / 1000;
    ASSERT_EQ(big.items.size(), 1u);
    EXPECT_EQ(big.items[0].title.size(), 200u);
    EXPECT_LT(seconds, 30.0); // linear reading; a quadratic one takes hours

    // Binary noise with a few markers sprinkled in.
    std::mt19937 random(7);
    std::string noise(4u << 20, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    for (size_t at = 1000; at + 40 < noise.size(); at += 100000)
        noise.replace(at, 30, "\n<UL>\n<LI>\xff<UL>\n<LI><A </A>");
    const BookmarkItem binary = Editor(noise);
    const std::string written = FormatBookmarkFile(binary);
    size_t entries = 0;
    for (size_t at = written.find("<LI>"); at != std::string::npos; at = written.find("<LI>", at + 1))
        ++entries;
    EXPECT_GE(entries, 80u); // each sprinkle nests a folder holding a link
    EXPECT_EQ(FormatBookmarkFile(Editor(written)), written);

    // 30 levels are read back as written.
    Items nested{BookmarkItem::Link("leaf \"q\" = x", "http://leaf/?a=\"b\"")};
    for (int level = 30; level > 0; --level)
        nested = {BookmarkItem::Folder("階層 " + std::to_string(level), std::move(nested)), BookmarkItem::Separator()};
    const BookmarkItem thirty = Root(std::move(nested));
    EXPECT_EQ(Browser(FormatBookmarkFile(thirty)), thirty);
    EXPECT_EQ(Editor(FormatBookmarkFile(thirty)), thirty);

    // 100,000 nested folders: the depth is bounded, every link is kept and
    // the lines after the deep part land where they belong.
    constexpr int kLevels = 100000;
    std::string deep = "<UL>\n";
    for (int i = 0; i < kLevels; ++i)
        deep += "<LI>f<UL>\n<LI><A HREF=\"u\">t</A>\n";
    for (int i = 0; i < kLevels; ++i)
        deep += "</UL>\n";
    deep += "<LI><A HREF=\"http://end/\">end</A>\n</UL>\n";
    const BookmarkItem tree = Browser(deep);
    int depth = 0;
    int links = 0;
    for (const BookmarkItem* folder = &tree; folder; ++depth) {
        const BookmarkItem* next = nullptr;
        for (const BookmarkItem& item : folder->items) {
            if (item.IsFolder())
                next = &item;
            else
                ++links;
        }
        folder = next;
    }
    EXPECT_EQ(depth, kMaxFolderDepth + 1);
    EXPECT_EQ(links, kLevels + 1);
    EXPECT_EQ(tree.items.back(), BookmarkItem::Link("end", "http://end/"));
    EXPECT_EQ(Browser(FormatBookmarkFile(tree)), tree);
}

TEST(BookmarkLines, AddsToTheRootOnlyWhenTheFileEndsAsWritten)
{
    testenv::TempDir home;
    const std::string path = home.file("bookmark.html");
    ASSERT_TRUE(WriteEmptyBookmarkFile(path));
    EXPECT_EQ(AddPagesToRoot(path, {{"http://a/", "A"}}), RootAddResult::Added);
    EXPECT_EQ(AddPagesToRoot(path, {{"http://b/", "B"}, {"http://c/", "日本"}}), RootAddResult::Added);
    EXPECT_EQ(testenv::ReadFile(path),
              "<HTML>\r\n<TITLE>Nimbra Browser BookMark</TITLE>\r\n<UL>\r\n"
              "\t<LI><A HREF=\"http://a/\">A</A>\r\n"
              "\t<LI><A HREF=\"http://b/\">B</A>\r\n"
              "\t<LI><A HREF=\"http://c/\">日本</A>\r\n"
              "</UL>\r\n</HTML>\r\n");

    // Every other line is kept byte for byte; only line ends become CR LF.
    const std::string old = "<HTML>\n<TITLE>Mine</TITLE>\n<UL>\n  <LI>\x93\xfa<UL>\n  </UL>\n</UL> \n  </HTML>";
    testenv::WriteFile(path, old);
    EXPECT_EQ(AddPagesToRoot(path, {{"http://d/", "two\nlines"}}), RootAddResult::Added);
    EXPECT_EQ(testenv::ReadFile(path),
              "<HTML>\r\n<TITLE>Mine</TITLE>\r\n<UL>\r\n  <LI>\x93\xfa<UL>\r\n  </UL>\r\n"
              "\t<LI><A HREF=\"http://d/\">two lines</A>\r\n</UL> \r\n  </HTML>\r\n");

    for (const std::string& unsuitable : {kEmptyFile + "\r\n", std::string("</HTML>"), std::string()}) {
        testenv::WriteFile(path, unsuitable);
        EXPECT_EQ(AddPagesToRoot(path, {{"http://e/", "E"}}), RootAddResult::Unsuitable);
        EXPECT_EQ(testenv::ReadFile(path), unsuitable);
    }
    EXPECT_EQ(AddPagesToRoot(home.file("missing.html"), {{"http://e/", "E"}}), RootAddResult::Unreadable);
}

TEST(BookmarkLines, InsertsAtTheEndOfAChosenFolder)
{
    testenv::TempDir home;
    const std::string path = home.file("bookmark.html");
    testenv::WriteFile(path,
                       "<HTML>\n<UL>\n<LI><A HREF=\"x\">a <UL> b</A>\n<LI>top<UL>\n<LI>inner<UL>\n</UL>\n"
                       "<HR>\n</UL>\n</UL>\n<LI>after<UL>\n</UL>\n</HTML>\n");
    CBookmarkLines lines;
    ASSERT_TRUE(lines.Load(path));
    BookmarkOutline outline = lines.Outline();
    EXPECT_EQ(outline.endLine, 8);
    ASSERT_EQ(outline.folders.size(), 1u);
    const BookmarkOutline& top = outline.folders[0];
    EXPECT_EQ(top.name, "top");
    EXPECT_EQ(top.endLine, 7);
    ASSERT_EQ(top.folders.size(), 1u);
    EXPECT_EQ(top.folders[0].endLine, 5);

    ASSERT_TRUE(lines.InsertFolder(top.endLine, "new"));
    ASSERT_TRUE(lines.Save(path));
    ASSERT_TRUE(lines.Load(path));
    outline = lines.Outline();
    ASSERT_EQ(outline.folders[0].folders.size(), 2u);
    const BookmarkOutline& added = outline.folders[0].folders[1];
    EXPECT_EQ(added.name, "new");
    ASSERT_TRUE(lines.InsertLink(added.endLine, "http://n/", ""));
    ASSERT_TRUE(lines.InsertLink(lines.Outline().endLine, "http://r/", "root"));
    EXPECT_FALSE(lines.InsertLink(-1, "http://bad/", ""));
    EXPECT_FALSE(lines.InsertFolder(int(lines.Lines().size()), "bad"));
    ASSERT_TRUE(lines.Save(path));

    const BookmarkItem tree = *ReadBookmarkFile(path, BookmarkReader::Browser);
    EXPECT_EQ(tree, Root({
        BookmarkItem::Link("a <UL> b", "x"),
        BookmarkItem::Folder("top", {
            BookmarkItem::Folder("inner"),
            BookmarkItem::Separator(),
            BookmarkItem::Folder("new", {BookmarkItem::Link("", "http://n/")}),
        }),
        BookmarkItem::Link("root", "http://r/"),
    }));
    EXPECT_EQ(testenv::ReadFile(path).substr(testenv::ReadFile(path).find("<HR>")),
              "<HR>\r\n\t<LI>new<UL>\r\n\t<LI><A HREF=\"http://n/\"></A>\r\n\t</UL>\r\n</UL>\r\n"
              "\t<LI><A HREF=\"http://r/\">root</A>\r\n</UL>\r\n<LI>after<UL>\r\n</UL>\r\n</HTML>\r\n");

    // A folder the file never closes has no position to insert at.
    testenv::WriteFile(path, "<UL>\n<LI>open<UL>\n<HR>\n");
    ASSERT_TRUE(lines.Load(path));
    outline = lines.Outline();
    EXPECT_EQ(outline.endLine, -1);
    EXPECT_EQ(outline.folders.at(0).endLine, -1);
}
