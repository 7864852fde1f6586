#include "data/bookmarks/BkConvert.h"
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

// The text as UTF-16 with its byte-order mark.
std::string Utf16(const std::string& utf8, bool bigEndian)
{
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (QChar c : QString::fromStdString(utf8)) {
        const char high = char(c.unicode() >> 8);
        const char low = char(c.unicode() & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
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
        {"UTF-16LE", Utf16("<DL><DT><A HREF=\"http://le/\">日本語</A></DL>", false), "[日本語|http://le/]"},
        {"UTF-16BE", Utf16("<DL><DT><H3>日本語</H3><DL></DL></DL>", true), "日本語{}"},
        {"EUC-JP with META",
         "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=EUC-JP\">\n<DL><DT><A HREF=\"http://e/\">"
         "\xC6\xFC\xCB\xDC</A></DL>",
         "[日本|http://e/]"},
        {"ISO-2022-JP with META: its bytes hold '<' and '>'",
         "<meta charset=iso-2022-jp><DL><DT><A HREF=\"http://i/\">\x1B$BI=<(>\x3C\x1B(B</A></DL>",
         "[表示昭|http://i/]"},
        {"a META naming UTF-16 in a file read as ASCII is not followed",
         "<meta charset=\"utf-16\"><DL><DT><A HREF=\"http://w/\">日本語</A></DL>", "[日本語|http://w/]"},
        {"a charset the system does not know: per text",
         "<meta charset=\"x-unknown\"><DL><DT><A HREF=\"http://x/\">" + Sjis("表示") + "</A></DL>", "[表示|http://x/]"},
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
        // Fed byte by byte, a file reads as in one piece.
        CNetscapeParser parser;
        for (char b : c.file)
            parser.Feed(std::string_view(&b, 1));
        EXPECT_EQ(Dump(parser.Finish().items), c.tree) << c.what;
    }
    EXPECT_FALSE(ParseNetscape("<html><a href=\"http://x/\">x</a></html>").foundList);
    EXPECT_FALSE(ParseNetscape(std::string(4096, '\0') + "\xFF\xFE<<>>\"").foundList);
}

TEST(BkConvert, DeepListsStopAtTheDepthLimit)
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
        {std::string("a\0b\t\x1F\x7F", 6), "a b   "},
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

    // A NUL neither cuts a name nor stops the export.
    const std::string controls = Mkdir(dir, "controls");
    const BookmarkItem withNul = BookmarkItem::Folder(
        {}, {BookmarkItem::Folder(std::string("x\0y", 3), {BookmarkItem::Link(std::string(1, '\0'), "http://nul/")}),
             BookmarkItem::Link("after", "http://after/")});
    EXPECT_FALSE(WriteFavorites(withNul, controls, progress));
    EXPECT_EQ(ReadInternetShortcut(controls + "/x y/ .url"), "http://nul/");
    EXPECT_EQ(ReadInternetShortcut(controls + "/after.url"), "http://after/");

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

TEST(BkConvert, ImportAndExportLimitsHoldAtTheirBounds)
{
    auto link = [](const std::string& href, const std::string& title) {
        SBkImport result = ParseNetscape("<DL><DT><A HREF=\"" + href + "\">" + title + "</A></DL>");
        return result.items.size() == 1 ? std::pair(result.items[0]->Url(), result.items[0]->Title())
                                        : std::pair(std::string("none"), std::string());
    };
    // Raw title bytes: blanks collapse, so the last byte kept tells.
    EXPECT_EQ(link("http://t/", std::string(kMaxImportTextBytes - 1, ' ') + "X").second, "X");
    EXPECT_EQ(link("http://t/", std::string(kMaxImportTextBytes, ' ') + "X").second, "");
    // URLs, quoted and not.
    const std::string url = "http://u/" + std::string(kMaxImportUrlBytes - 9, 'u');
    EXPECT_EQ(link(url, "u").first, url);
    EXPECT_EQ(link(url + "v", "u").first, url);
    SBkImport bare = ParseNetscape("<DL><DT><A HREF=" + url + "v>u</A></DL>");
    ASSERT_EQ(bare.items.size(), 1u);
    EXPECT_EQ(bare.items[0]->Url(), url);

    // A META CONTENT is read up to its limit: a charset past it is not seen.
    auto declared = [](size_t padding) {
        const std::string content = std::string(padding, ' ') + "text/html; charset=euc-jp";
        return Dump(ParseNetscape("<META CONTENT=\"" + content + "\"><DL><DT><A HREF=\"http://e/\">\xC6\xFC</A></DL>").items);
    };
    const size_t room = kMaxCharsetBytes - std::string("text/html; charset=euc-jp").size();
    EXPECT_EQ(declared(room), "[日|http://e/]");
    EXPECT_NE(declared(room + 1), "[日|http://e/]");

    // Favorites: the folder depth, and the size of a shortcut that is read.
    testenv::TempDir dir;
    const std::string fav = Mkdir(dir, "fav/1/2/3");
    ASSERT_TRUE(WriteInternetShortcut(fav + "/deep.url", "http://deep/"));
    const std::string top = dir.file("fav");
    const std::string body = "[InternetShortcut]\r\nURL=http://big/\r\n";
    testenv::WriteFile(top + "/fits.url", body + std::string(size_t(kMaxShortcutSize) - body.size(), ';'));
    testenv::WriteFile(top + "/over.url", body + std::string(size_t(kMaxShortcutSize) - body.size() + 1, ';'));
    SBkProgress progress;
    EXPECT_EQ(Dump(ReadFavorites(top, progress, 3).items), "1{2{3{[deep|http://deep/]}}}[fits|http://big/][over|]");
    EXPECT_EQ(Dump(ReadFavorites(top, progress, 2).items), "1{2{}}[fits|http://big/][over|]");

    // Export: "(maxSuffix)" is the last name tried, for files and folders.
    const std::string out = Mkdir(dir, "out");
    const BookmarkItem both = BookmarkItem::Folder({}, {BookmarkItem::Link("x", "http://x/"), BookmarkItem::Folder("f")});
    for (int round = 0; round < 3; ++round)
        EXPECT_FALSE(WriteFavorites(both, out, progress, 1));
    EXPECT_EQ(ReadInternetShortcut(out + "/x(1).url"), "http://x/");
    EXPECT_TRUE(QDir(ToQ(out + "/f(1)")).exists());
    const std::optional<SBkExportError> full = WriteFavorites(both, out, progress, 1);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->path, out + "/x.url");
    EXPECT_EQ(full->reason, "同じ名前のものが多すぎます");
    const BookmarkItem folder = BookmarkItem::Folder({}, {BookmarkItem::Folder("f")});
    const std::optional<SBkExportError> folders = WriteFavorites(folder, out, progress, 1);
    ASSERT_TRUE(folders);
    EXPECT_EQ(folders->path, out + "/f");
}

TEST(BkConvert, ReferencesDecodeWithinTheirBounds)
{
    const struct {
        const char* text;
        const char* decoded;
    } cases[] = {
        {"&#0000000065;", "A"},                  // the longest reference read
        {"&#00000000065;", "&#00000000065;"},    // one longer: text
        {"&#x10FFFF;", "\xF4\x8F\xBF\xBF"},      // the last code point
        {"&#x110000;", "\xEF\xBF\xBD"},
        {"&#xD7FF;&#xD800;&#xDFFF;&#xE000;", "\xED\x9F\xBF\xEF\xBF\xBD\xEF\xBF\xBD\xEE\x80\x80"},
        {"&#0;&#1;&#31;&#33;", "\xEF\xBF\xBD  !"}, // controls are blanks
        {"&#126;&#127;&#159;&#160;", "~  \xC2\xA0"},
        {"&#;&#x;&amp&ampx;&AMP;", "&#;&#x;&amp&ampx;&AMP;"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeEntities(c.text), c.decoded) << c.text;
}
