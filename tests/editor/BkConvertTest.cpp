#include "editor/BkConvert.h"
#include "platform/Shortcut.h"
#include "platform/Text.h"

#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace nimbra;
using namespace nimbra::editor;

namespace {

// "[title|url]" for links, "-" for separators, "name{...}" for folders.
std::string Dump(const BkItemList& items)
{
    std::string out;
    for (const BkItemPtr& item : items) {
        if (item->IsLink())
            out += "[" + item->Title() + "|" + item->Url() + "]";
        else if (item->IsSeparator())
            out += "-";
        else
            out += item->Title() + "{" + Dump(item->Items()) + "}";
    }
    return out;
}

std::string Sjis(const std::string& utf8)
{
    // The CP932 bytes of the few Japanese words used below.
    if (utf8 == "日本語")
        return "\x93\xFA\x96\x7B\x8C\xEA";
    if (utf8 == "表示")
        return "\x95\x5C\x8E\xA6";
    return utf8;
}

std::string Mkdir(const testenv::TempDir& dir, const std::string& name)
{
    const std::string path = dir.file(name);
    QDir().mkpath(QString::fromStdString(path));
    return path;
}

} // namespace

TEST(BkConvert, NetscapeFilesReadAsBrowsersWriteThem)
{
    const std::string icon(20 * 1024, 'Q');
    struct Case {
        const char* what;
        std::string file;
        std::string tree;
    } cases[] = {
        {"charset=UTF-8 Japanese",
         "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n<DL><p>\n"
         "<DT><H3>日本語</H3>\n<DL><p>\n<DT><A HREF=\"http://j/\">表示</A>\n</DL><p>\n</DL>",
         "日本語{[表示|http://j/]}"},
        {"ADD_DATE without ALIAS, more attributes after it",
         "<DL><DT><A HREF=\"http://a/\" ADD_DATE=\"1\" LAST_VISIT=\"2\">A</A></DL>", "[A|http://a/]"},
        {"a browser's export: toolbar folder, icons, entities in HREF",
         "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<!-- This is an automatically generated file.\n-->\n"
         "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n<TITLE>Bookmarks</TITLE>\n"
         "<H1>Bookmarks</H1>\n<DL><p>\n    <DT><H3 ADD_DATE=\"1\" PERSONAL_TOOLBAR_FOLDER=\"true\">Bar</H3>\n"
         "    <DL><p>\n        <DT><A HREF=\"http://x/?a=1&amp;b=2\" ADD_DATE=\"1\" ICON=\"data:image/png;base64,"
             + icon + "\">X &lt;1&gt;</A>\n    </DL><p>\n</DL><p>\n",
         "Bar{[X <1>|http://x/?a=1&b=2]}"},
        {"the other shape: ICON_URI, TAGS, DD, HR",
         "<DL><p>\n<DT><A HREF=\"http://f/\" ICON_URI=\"http://f/i.ico\" TAGS=\"t\" ICON=\"data:" + icon
             + "\">F</A>\n<DD>about F\n<HR>\n<DT><A HREF=\"http://g/\">G</A>\n</DL>",
         "[F|http://f/]-[G|http://g/]"},
        {"lower case, other quotes, none", "<dl><dt><a href='http://l/'>low</a><dt><a href=http://u/ add_date=1>u</a></dl>",
         "[low|http://l/][u|http://u/]"},
        {"Shift_JIS with META",
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n<DL><DT><A HREF=\"http://s/\">"
             + Sjis("日本語") + "</A></DL>",
         "[日本語|http://s/]"},
        {"Shift_JIS without META", "<DL><DT><A HREF=\"http://s/\">" + Sjis("表示") + "</A></DL>", "[表示|http://s/]"},
        {"BOM", "\xEF\xBB\xBF<DL><DT><A HREF=\"http://b/\">日本語</A></DL>", "[日本語|http://b/]"},
        {"an element split over lines", "<DL><DT><A\r\n HREF=\"http://s/\"\r\n ADD_DATE=\"1\">split\r\n title</A></DL>",
         "[split title|http://s/]"},
        {"references: invalid code points, controls, markers",
         "<DL><DT><A HREF=\"http://r/\">a&#0;b&#xD800;c&#1114112;d&#7;e&amp;&lt;HR&gt;</A></DL>",
         "[a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c\xEF\xBF\xBD" "d e&＜HR>|http://r/]"},
        {"later top-level lists into the same folder, H3 names the next DL",
         "<DL><DT><A HREF=\"http://1/\">1</A></DL><H3>ignored</H3><p>between<DL><DT><H3>N</H3><DD>x<DL></DL>"
         "<DL></DL><HR></DL>",
         "[1|http://1/]N{}{}-"},
        {"a 1 MB title is cut to 200 cells", "<DL><DT><A HREF=\"http://t/\">" + std::string(1 << 20, 'w') + "</A></DL>",
         "[" + std::string(200, 'w') + "|http://t/]"},
        {"unclosed tag and quote", "<DL><DT><A HREF=\"http://q/\">q</A><DT><A HREF=\"http://open", "[q|http://q/]"},
    };
    for (const Case& c : cases) {
        SBkImport result = ParseNetscape(c.file);
        EXPECT_TRUE(result.foundList) << c.what;
        EXPECT_EQ(Dump(result.items), c.tree) << c.what;
    }
    EXPECT_FALSE(ParseNetscape("<html><a href=\"http://x/\">x</a></html>").foundList);
    EXPECT_FALSE(ParseNetscape(std::string(4096, '\0') + "\xFF\xFE<<>>\"").foundList);
}

TEST(BkConvert, DeepListsStopAtTheDepthLimitAndPiecesJoin)
{
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<DL>";
    deep += "<DT><A HREF=\"http://deep/\">deep</A>";
    for (int i = 0; i < 100000; ++i)
        deep += "</DL>";
    deep += "<DL><DT><A HREF=\"http://after/\">after</A></DL>";
    SBkImport result = ParseNetscape(deep, 3);
    ASSERT_EQ(result.items.size(), 2u);
    const CBkItem* folder = result.items.front().get();
    int depth = 0;
    while (folder->IsFolder() && !folder->Items().empty() && folder->Items().front()->IsFolder()) {
        folder = folder->Items().front().get();
        ++depth;
    }
    EXPECT_EQ(depth, 2);
    EXPECT_EQ(Dump(folder->Items()), "[deep|http://deep/]");
    EXPECT_EQ(result.items.back()->Url(), "http://after/");

    // Fed byte by byte, a file reads as in one piece.
    const std::string file = "\xEF\xBB\xBF<DL><DT><A HREF=\"http://p/?a&amp;b\">p&lt;</A><!-- <DL> --></DL>";
    CNetscapeParser parser;
    for (char c : file)
        parser.Feed(std::string_view(&c, 1));
    EXPECT_EQ(Dump(parser.Finish().items), Dump(ParseNetscape(file).items));
}

TEST(BkConvert, NetscapeExportHasTheLayoutAndReadsBackTheSameTree)
{
    BookmarkItem root = BookmarkItem::Folder(
        {}, {BookmarkItem::Link("A & B <c> \"q\"", "http://a/?x=1&y=<2>"), BookmarkItem::Separator(),
             BookmarkItem::Folder("日本語 & <f>", {BookmarkItem::Link("表示", "http://j/")})});
    const std::string text = FormatNetscape(root, kRootLabel);
    EXPECT_EQ(text,
              "<!DOCTYPE NETSCAPE-Bookmark-file-1>\r\n"
              "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\r\n\r\n"
              "<!-- これは自動生成されたファイルです。\r\n\r\nプログラムが読み書きを実行します。\r\n\r\n編集禁止! -->\r\n\r\n"
              "<TITLE>Nimbra Browser BookMarkのブックマーク</TITLE>\r\n\r\n"
              "<H1>Nimbra Browser BookMarkのブックマーク</H1>\r\n\r\n\r\n"
              "<DL><p>\r\n\r\n"
              "    <DT><A HREF=\"http://a/?x=1&amp;y=&lt;2&gt;\" ADD_DATE=\"957501176\" LAST_VISIT=\"0\" "
              "LAST_MODIFIED=\"0\">A &amp; B &lt;c&gt; &quot;q&quot;</A>\r\n\r\n"
              "    <HR>\r\n\r\n"
              "    <DT><H3 ADD_DATE=\"957501176\">日本語 &amp; &lt;f&gt;</H3>\r\n\r\n"
              "    <DL><p>\r\n\r\n"
              "        <DT><A HREF=\"http://j/\" ADD_DATE=\"957501176\" LAST_VISIT=\"0\" LAST_MODIFIED=\"0\">表示</A>\r\n\r\n"
              "    </DL><p>\r\n\r\n"
              "</DL><p>\r\n\r\n");
    EXPECT_EQ(Dump(ParseNetscape(text).items),
              "[A & B <c> \"q\"|http://a/?x=1&y=<2>]-日本語 & <f>{[表示|http://j/]}");
}

TEST(BkConvert, FavoritesReadInNameOrderWithoutLoops)
{
    testenv::TempDir dir;
    const std::string fav = Mkdir(dir, "fav");
    ASSERT_TRUE(WriteInternetShortcut(fav + "/b.url", "http://b/"));
    ASSERT_TRUE(WriteInternetShortcut(fav + "/A.URL", "http://a/"));
    testenv::WriteFile(fav + "/c.Url", "[InternetShortcut]\r\nOther=1\r\n");
    // A name that is not UTF-8: QFile and QDir would not keep its bytes,
    // so it is made and removed here.
    const std::string sjisName = fav + "/" + Sjis("日本語") + ".url";
    struct SRemove {
        std::string path;
        ~SRemove() { ::unlink(path.c_str()); }
    } removeSjis{sjisName};
    {
        FILE* file = std::fopen(sjisName.c_str(), "w");
        ASSERT_TRUE(file);
        std::fputs("[InternetShortcut]\r\nURL=http://j/\r\n", file);
        std::fclose(file);
    }
    testenv::WriteFile(fav + "/notes.txt", "x");
    testenv::WriteFile(fav + "/big.url", "[InternetShortcut]\r\nURL=http://big/\r\n" + std::string(2 << 20, ';'));
    ASSERT_EQ(::mkfifo((fav + "/fifo.url").c_str(), 0600), 0);
    Mkdir(dir, "fav/Sub");
    ASSERT_TRUE(WriteInternetShortcut(fav + "/Sub/in.url", "http://in/"));
    ASSERT_EQ(::symlink("..", (fav + "/Sub/loop").c_str()), 0);

    SBkProgress progress;
    SBkImport result = ReadFavorites(fav, progress);
    EXPECT_EQ(result.error, EInputFileError::None);
    EXPECT_EQ(Dump(result.items),
              "[A|http://a/][b|http://b/][big|][c|]Sub{[in|http://in/]}[日本語|http://j/]");
    EXPECT_EQ(progress.done, 6);

    EXPECT_NE(ReadFavorites(dir.file("missing"), progress).error, EInputFileError::None);
    progress.cancel = true;
    EXPECT_TRUE(ReadFavorites(fav, progress).cancelled);
}

TEST(BkConvert, FavoritesExportNamesFilesAndReportsTheFirstFailure)
{
    const struct {
        std::string title;
        std::string name;
    } names[] = {
        {"a/b", "a／b"},
        {"\\:,;*?<>|\"/", "￥：，；＊？＜＞｜”／"},
        {"", "ファイル名を付けれません"},
        {std::string(100, 'x'), std::string(80, 'x')},
        {std::string(79, 'x') + "日本", std::string(79, 'x')},
        {"a\r\nb", "a  b"},
    };
    for (const auto& n : names)
        EXPECT_EQ(FavoriteName(n.title), n.name) << n.title;

    testenv::TempDir dir;
    const std::string out = Mkdir(dir, "out");
    Mkdir(dir, "out/F");
    const BookmarkItem root = BookmarkItem::Folder(
        {}, {BookmarkItem::Link("a/b", "http://1/\r\nURL=http://evil/"), BookmarkItem::Link("a/b", "http://2/"),
             BookmarkItem::Separator(), BookmarkItem::Folder("F", {BookmarkItem::Link("in", "http://in/")}),
             BookmarkItem::Folder(".", {}), BookmarkItem::Folder("..", {})});
    SBkProgress progress;
    EXPECT_FALSE(WriteFavorites(root, out, progress));
    EXPECT_EQ(ReadInternetShortcut(out + "/a／b.url"), "http://1/  URL=http://evil/");
    EXPECT_EQ(ReadInternetShortcut(out + "/a／b(0).url"), "http://2/");
    EXPECT_EQ(ReadInternetShortcut(out + "/F(0)/in.url"), "http://in/");
    EXPECT_TRUE(QDir(QString::fromStdString(out + "/.(0)")).exists());
    EXPECT_TRUE(QDir(QString::fromStdString(out + "/..(0)")).exists());
    EXPECT_EQ(progress.done, 7);

    // The round trip, in name order.
    SBkProgress again;
    EXPECT_EQ(Dump(ReadFavorites(out, again).items),
              ".(0){}..(0){}[a／b(0)|http://2/][a／b|http://1/  URL=http://evil/]F{}F(0){[in|http://in/]}");

    // A target that is gone or not a folder: said, with the path.
    for (const std::string& target : {dir.file("gone"), out + "/a／b.url"}) {
        const std::optional<SBkExportError> error = WriteFavorites(root, target, progress);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->path, target);
        EXPECT_FALSE(error->reason.empty());
    }
    // Stopped at the first failure (a path too long for the system),
    // nothing after it written.
    std::string wide;
    for (int i = 0; i < 40; ++i)
        wide += "日";
    BookmarkItem chain = BookmarkItem::Folder(wide);
    BookmarkItem* deepest = &chain;
    for (int i = 0; i < 40; ++i) {
        deepest->items.push_back(BookmarkItem::Folder(wide));
        deepest = &deepest->items.back();
    }
    const BookmarkItem blocked = BookmarkItem::Folder({}, {chain, BookmarkItem::Link("after", "http://after/")});
    const std::string target = Mkdir(dir, "blocked");
    const std::optional<SBkExportError> error = WriteFavorites(blocked, target, progress);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->reason, "名前が長すぎます");
    EXPECT_TRUE(error->path.starts_with(target + "/" + wide + "/" + wide));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(target + "/after.url")));
}

TEST(BkConvert, DroppedFilesAndListsBecomeLinks)
{
    testenv::TempDir dir;
    testenv::WriteFile(dir.file("Site.URL"), "[InternetShortcut]\r\nURL=http://site/\r\n");
    testenv::WriteFile(dir.file("nokey.url"), "[InternetShortcut]\r\n");
    testenv::WriteFile(dir.file("list.nbl"), "<HTML>\r\n<UL>\r\n\t<LI>http://1/\r\n\t<LI>http://2/\r\n</UL>\r\n");
    testenv::WriteFile(dir.file("web.desktop"), "[Desktop Entry]\nType=Link\nName=Web\nURL=http://web/\n");
    testenv::WriteFile(dir.file("app.desktop"), "[Desktop Entry]\nType=Application\nExec=x\n");
    testenv::WriteFile(dir.file("bad.lnk"), "not a link");
    testenv::WriteFile(dir.file("other.txt"), "http://x/");
    Mkdir(dir, "folder.url");
    const struct {
        std::string file;
        std::string items;
    } cases[] = {
        {"Site.URL", "[Site|http://site/]"},
        {"nokey.url", "[nokey|" + dir.file("nokey.url") + "]"},
        {"list.nbl", "[無題|http://1/][無題|http://2/]"},
        {"web.desktop", "[Web|http://web/]"},
        {"app.desktop", ""},
        {"bad.lnk", ""},
        {"other.txt", ""},
        {"folder.url", ""},
        {"missing.url", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Dump(ItemsFromDroppedFile(dir.file(c.file))), c.items) << c.file;
}
