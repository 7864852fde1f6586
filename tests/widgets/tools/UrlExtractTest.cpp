#include "platform/Paths.h"
#include "ui/CommandIds.h"
#include "data/session/SessionCommands.h"
#include "data/tools/DownloadList.h"
#include "widgets/tools/UrlExtractDialog.h"
#include "data/tools/UrlFilter.h"

#include "TestBrowser.h"
#include "ToolsTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeView>

using namespace nimbra;

namespace {

SPageElement Link(const std::string& url)
{
    return {"A", url, {}, {}};
}

SPageElement Image(const std::string& url)
{
    return {"IMG", {}, url, {}};
}

// A page with links, images, a frame holding a frame, and a frame of
// another site.
SPageDocument SamplePage()
{
    SPageDocument page;
    page.url = "http://site/index.html";
    page.title = "Top";
    page.elements = {Link("http://site/a.ZIP"), Link("relative.zip"), Image("http://site/i.gif"),
                     Link("http://site/b.zip?x=1"), Link("http://site/a.ZIP"), Link("http://site/run.cgi?q=1"),
                     Link("http://site/run.cgi"), {"P", {}, {}, {}}};
    SPageDocument frame;
    frame.url = "http://site/frame.html";
    frame.elements = {Link("http://site/frame.zip")};
    SPageDocument deep;
    deep.url = "http://site/deep.html";
    deep.title = "Deep";
    deep.elements = {Image("http://site/deep.png")};
    frame.frames = {deep};
    SPageDocument other;
    other.url = "http://other/";
    other.readable = false;
    page.frames = {frame, other};
    return page;
}

QStringList Items(const QComboBox* combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

std::vector<std::string> Rows(const CExtractListModel& model)
{
    std::vector<std::string> rows;
    for (int i = 0; i < model.Count(); ++i)
        rows.push_back(model.Url(i));
    return rows;
}

void Tick(CExtractListModel& model, int row)
{
    model.setData(model.index(row), Qt::Checked, Qt::CheckStateRole);
}

} // namespace

TEST(UrlFilter, TicksWholeUrlsWithBothSidesInSmallLetters)
{
    struct Case {
        const char* filter;
        const char* url;
        bool ticked;
    } const cases[] = {
        {"*.lzh;*.ZIP", "http://a/file.zip", true}, // a capital second pattern
        {"*.zip", "http://a/FILE.ZIP", true},
        {"*.cgi", "http://a/run.cgi?q=1", false}, // the pattern covers the whole URL
        {"*.cgi", "http://a/run.cgi", true},
        {"*.zip", "http://a/file.zip.html", false},
        {";;;", "http://a/file.zip", false},
        {"********", "http://a/anything", true},
        {";*.gif;;", "http://a/x.gif", true},
        {"?.zip", "http://a/x.zip", false}, // no single-character wildcard
    };
    for (const Case& c : cases)
        EXPECT_EQ(CUrlFilter(c.filter).Matches(c.url), c.ticked) << c.filter << " " << c.url;
    EXPECT_TRUE(CUrlFilter("").IsEmpty());
    EXPECT_FALSE(CUrlFilter(";;;").IsEmpty());

    // An empty filter leaves the ticks as they are; another one replaces them.
    CExtractListModel model;
    model.SetUrls({"http://a/x.zip", "http://a/y.gif"});
    Tick(model, 1);
    model.ApplyFilter(CUrlFilter(""));
    EXPECT_TRUE(model.IsTicked(1));
    model.ApplyFilter(CUrlFilter("*.ZIP"));
    EXPECT_TRUE(model.IsTicked(0));
    EXPECT_FALSE(model.IsTicked(1));
    EXPECT_EQ(model.TickedUrls(), (std::vector<std::string>{"http://a/x.zip"}));
}

TEST(UrlExtract, ListsFramesDepthFirstAndUrlsInDocumentOrder)
{
    const SPageDocument page = SamplePage();
    const std::vector<SExtractFrame> frames = ListExtractFrames(page);
    std::vector<std::string> labels;
    for (const SExtractFrame& frame : frames)
        labels.push_back(frame.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"Top", "Untitled Document", "Deep", "http://other/"}));
    EXPECT_EQ(frames[2].document->url, "http://site/deep.html");

    // Duplicates stay; links without a scheme never show; images only with the option.
    EXPECT_EQ(ExtractUrls(page, false),
              (std::vector<std::string>{"http://site/a.ZIP", "http://site/b.zip?x=1", "http://site/a.ZIP",
                                        "http://site/run.cgi?q=1", "http://site/run.cgi"}));
    EXPECT_EQ(ExtractUrls(page, true).at(1), "http://site/i.gif");
    EXPECT_TRUE(ExtractUrls(*frames[2].document, false).empty());

    SPageDocument single;
    single.title = "Alone";
    ASSERT_EQ(ListExtractFrames(single).size(), 1u);
    EXPECT_EQ(ListExtractFrames(single)[0].label, "No Frame");
}

TEST(DownloadList, WritesTheBytesTheDownloadProgramsRead)
{
    const std::string record1 = ";\r\nInfo=\r\nRefererStr=http://ref/\r\nStoreIn=\\\r\nSaveAs=\r\nAdvanced=0\r\nLogin=0\r\n"
                                "Password=\r\nUserName=\r\n_RemoteFileSize=-1\r\n_State=2\r\nUrl=http://a/1.zip\r\n";
    const std::string record2 = ";\r\nInfo=\r\nRefererStr=http://ref/\r\nStoreIn=\\\r\nSaveAs=\r\nAdvanced=0\r\nLogin=0\r\n"
                                "Password=\r\nUserName=\r\n_RemoteFileSize=-1\r\n_State=2\r\nUrl=http://a/2.zip\r\n";
    EXPECT_EQ(ReGetList({"http://a/1.zip", "http://a/2.zip"}, "http://ref/", ""), record1 + record2);
    EXPECT_EQ(IriaList({"http://a/1.zip", "http://a/2.zip"}, "/home/u/dl", "2024-05-01(水)13-04-05-7"),
              "Url=http://a/1.zip\r\nFolder=/home/u/dl\\\r\nDate=2024-05-01(水)13-04-05-7\r\nID=0\r\n\r\n"
              "Url=http://a/2.zip\r\nFolder=/home/u/dl\\\r\nDate=2024-05-01(水)13-04-05-7\r\nID=0\r\n\r\n");
    EXPECT_EQ(ClipboardList({"http://a/1", "http://a/2"}), "http://a/1\nhttp://a/2\n");
    // A line break in a field cannot start a record of its own.
    EXPECT_EQ(ReGetList({"u"}, "r\r\nUrl=x", "f").find("\r\nUrl=x"), std::string::npos);
}

TEST(UrlFilterFile, ReadsInOnePassAndRewritesTheWholeFile)
{
    testenv::ScopedHome home;
    const std::string path = home.file("filter.ini");
    using Filters = std::vector<std::string>;
    struct Case {
        std::string bytes;
        Filters filters;
    } const cases[] = {
        {"", DefaultUrlFilters()},
        {"[UrlExtract]\r\nFilter1=*.zip\r\nFILTER2=*.A\r\nFilter4=x\r\n", {"*.zip", "*.A"}},
        {"[UrlExtract]\nFilter1=\nFilter2=x\n", DefaultUrlFilters()},
        {"[UrlExtract]\r\nFilter1=" + std::string(1 << 20, 'a') + "\r\n", {std::string(64, 'a')}},
        {"[UrlExtract]\r\nFilter1=*\x93\xfa\x96\x7b*\r\n", {"*日本*"}},
        {std::string("\x00\x01\xff\xfe[Url\x00" "Extract\x80\r\n", 19), DefaultUrlFilters()},
        {"[UrlExtract]\r\nFilter1=;;;\r\nFilter2=********\r\n", {";;;", "********"}},
        // A repeated key: the first counts, whatever its case.
        {"[UrlExtract]\r\nFilter1=a\r\nfilter1=b\r\nFILTER2=c\r\nFilter2=d\r\n", {"a", "c"}},
        {"[UrlExtract]\r\nFilter1=\r\nFilter1=b\r\n", DefaultUrlFilters()},
        // Only the first section of the name, and no other section, counts.
        {"[Other]\r\nFilter1=x\r\n[UrlExtract]\r\nFilter1=a\r\n[urlextract]\r\nFilter2=b\r\n", {"a"}},
    };
    EXPECT_EQ(ReadUrlFilters(path), DefaultUrlFilters());
    for (const Case& c : cases) {
        testenv::WriteFile(path, c.bytes);
        EXPECT_EQ(ReadUrlFilters(path), c.filters) << c.bytes.substr(0, 40);
    }

    std::string many = "[UrlExtract]\r\n";
    for (int n = 1; n <= 100000; ++n)
        many += "Filter" + std::to_string(n) + "=*." + std::to_string(n) + "\r\n";
    testenv::WriteFile(path, many);
    const Filters read = ReadUrlFilters(path);
    ASSERT_EQ(read.size(), 100000u);
    EXPECT_EQ(read.back(), "*.100000");

    ASSERT_TRUE(WriteUrlFilters(path, {"a", "", "b;c"}));
    EXPECT_EQ(testenv::ReadFile(path), "[UrlExtract]\r\nFilter1=a\r\nFilter2=b;c\r\n");
    ASSERT_TRUE(WriteUrlFilters(path, {}));
    EXPECT_EQ(testenv::ReadFile(path), "");
    EXPECT_EQ(ReadUrlFilters(path), DefaultUrlFilters());
    EXPECT_FALSE(WriteUrlFilters(path + "/under-a-file.ini", {"a"}));
}

TEST(UrlExtract, ListsOnlyUrlsWithAColon)
{
    SPageDocument page;
    page.elements = {Link("mailto:a@b.c"), Image("data:image/gif;base64,R0"), Link("no-scheme.zip"), Link("x:"),
                     Image("img.gif"), Link("/abs/path"), Link(":x"), Link("")};
    EXPECT_EQ(ExtractUrls(page, false), (std::vector<std::string>{"mailto:a@b.c", "x:", ":x"}));
    EXPECT_EQ(ExtractUrls(page, true),
              (std::vector<std::string>{"mailto:a@b.c", "data:image/gif;base64,R0", "x:", ":x"}));
}

namespace {

class UrlExtractDialogTest : public testenv::BrowserTest {
protected:
    // Opens the page in a tab and runs Ctrl+U on it.
    CUrlExtractDialog* Extract(const SPageDocument& page)
    {
        if (!m_frame)
            Start();
        m_view = m_app->OpenUrl(page.url);
        EXPECT_NE(m_view, nullptr);
        Fake(m_view)->document = page;
        EXPECT_TRUE(m_frame->ExecuteCommand(ID_URL_EXTRACT));
        for (CUrlExtractDialog* dialog : m_frame->findChildren<CUrlExtractDialog*>()) {
            if (dialog->isVisible())
                return dialog;
        }
        ADD_FAILURE() << "no dialog";
        return nullptr;
    }
    void DLOption(const char* key, const std::string& value)
    {
        m_app->Settings().WriteString("DLOption", key, value);
    }
    std::string DLOption(const char* key) const { return m_app->Settings().GetString("DLOption", key, "?"); }

    CNimbraView* m_view = nullptr;
};

} // namespace

TEST_F(UrlExtractDialogTest, OpensWithTheSavedStateAndWritesItBackAtClose)
{
    DLOption("DLFilterIndex", "1");
    DLOption("DLFolder", "/dl");
    DLOption("DLImageTag", "1");
    DLOption("DLStartupFilter", "1");
    testenv::WriteFile(File("filter.ini"), "[UrlExtract]\r\nFilter1=*.zip\r\nFilter2=*.gif;*.png\r\n");

    CUrlExtractDialog* dialog = Extract(SamplePage());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("URL抽出"));
    EXPECT_EQ(Items(dialog->FilterCombo()), (QStringList{"*.zip", "*.gif;*.png"}));
    EXPECT_EQ(dialog->FilterCombo()->currentIndex(), 1);
    EXPECT_EQ(Items(dialog->FrameCombo()), (QStringList{"Top", "Untitled Document", "Deep", "http://other/"}));
    EXPECT_EQ(Rows(dialog->Model()).size(), 6u);
    EXPECT_EQ(dialog->Model().TickedUrls(), (std::vector<std::string>{"http://site/i.gif"}));
    EXPECT_EQ(dialog->RefererEdit()->text(), QStringLiteral("http://site/index.html"));
    EXPECT_EQ(dialog->FolderEdit()->text(), QStringLiteral("/dl"));

    // Another frame extracts from the kept copy; the image option re-extracts.
    dialog->FrameCombo()->setCurrentIndex(2);
    EXPECT_EQ(Rows(dialog->Model()), (std::vector<std::string>{"http://site/deep.png"}));
    ASSERT_TRUE(dialog->ExecuteCommand(ID_DL_IMAGE_TAG));
    EXPECT_EQ(dialog->Model().Count(), 0);
    dialog->FrameCombo()->setCurrentIndex(3);
    EXPECT_TRUE(dialog->NoteLabel()->text().contains(QStringLiteral("別のサイト")));

    // A new filter is renamed by typing.
    QTest::mouseClick(dialog->AddButton(), Qt::LeftButton);
    EXPECT_EQ(dialog->FilterCombo()->currentText(), QStringLiteral("新しいフィルタ"));
    QTest::keyClicks(dialog->FilterCombo()->lineEdit(), "*.lzh");
    EXPECT_EQ(Items(dialog->FilterCombo()), (QStringList{"*.zip", "*.gif;*.png", "*.lzh"}));

    dialog->reject();
    EXPECT_EQ(DLOption("DLFilterIndex"), "2");
    EXPECT_EQ(DLOption("DLFolder"), "/dl");
    EXPECT_EQ(DLOption("DLImageTag"), "0");
    EXPECT_EQ(DLOption("DLStartupFilter"), "1");
    EXPECT_EQ(DLOption("DLSaveClose"), "0");
    EXPECT_EQ(DLOption("DLNaviClose"), "0");
    EXPECT_EQ(testenv::ReadFile(File("filter.ini")),
              "[UrlExtract]\r\nFilter1=*.zip\r\nFilter2=*.gif;*.png\r\nFilter3=*.lzh\r\n");

    // 初期化 brings the six defaults back.
    dialog = Extract(SamplePage());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->FilterCombo()->currentText(), QStringLiteral("*.lzh"));
    QTest::mouseClick(dialog->ResetButton(), Qt::LeftButton);
    dialog->reject();
    EXPECT_EQ(ReadUrlFilters(File("filter.ini")), DefaultUrlFilters());
}

TEST_F(UrlExtractDialogTest, SavesAndCopiesTheTickedRowsHoweverTheyWereTicked)
{
    testenv::Messages messages;
    const std::string list = File("ticked.nbl"), reget = File("urllist.wrg"), iria = File("urllist.iri");
    testenv::WriteFile(File("plain"), "x");
    testenv::FileAnswers files({list, reget, iria, File("plain") + "/cannot.wrg"});
    CUrlExtractDialog* dialog = Extract(SamplePage());
    ASSERT_NE(dialog, nullptr);

    // Nothing ticked: the saves do nothing.
    for (int id : {ID_DL_SAVE_LIST, ID_DL_SAVE_REGET, ID_DL_SAVE_IRIA, ID_DL_CLIPBOARD})
        dialog->ExecuteCommand(id);
    EXPECT_TRUE(files.requests.empty());

    // Rows ticked one by one (a click or Space), not by a filter.
    Tick(dialog->Model(), 0);
    Tick(dialog->Model(), 4);
    const UrlList ticked{"http://site/a.ZIP", "http://site/run.cgi"};
    ASSERT_TRUE(dialog->ExecuteCommand(ID_DL_SAVE_LIST));
    ASSERT_EQ(files.requests.size(), 1u);
    EXPECT_EQ(files.requests[0].defaultSuffix, QStringLiteral("nbl"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d\\(.\\)\\d\\d-\\d\\d-\\d\\d-\\d+$"))
                    .match(QString::fromStdString(files.requests[0].name))
                    .hasMatch())
        << files.requests[0].name;
    UrlList read;
    ASSERT_TRUE(ReadListFile(list, read));
    EXPECT_EQ(read, ticked);
    EXPECT_EQ(m_app->Settings().GetString("Options", "LastSavePath", ""), FolderOf(list));

    ASSERT_TRUE(dialog->ExecuteCommand(ID_DL_SAVE_REGET));
    EXPECT_EQ(files.requests[1].name, "urllist");
    const std::string regetBytes = testenv::ReadFile(reget);
    EXPECT_EQ(regetBytes.rfind(";\r\nInfo=\r\nRefererStr=http://site/index.html\r\nStoreIn=\\\r\n", 0), 0u);
    EXPECT_NE(regetBytes.find("Url=http://site/run.cgi\r\n"), std::string::npos);

    ASSERT_TRUE(dialog->ExecuteCommand(ID_DL_SAVE_IRIA));
    EXPECT_EQ(files.requests[2].defaultSuffix, QStringLiteral("iri"));
    EXPECT_EQ(testenv::ReadFile(iria).rfind("Url=http://site/a.ZIP\r\nFolder=\\\r\nDate=", 0), 0u);

    ASSERT_TRUE(dialog->ExecuteCommand(ID_DL_CLIPBOARD));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("http://site/a.ZIP\nhttp://site/run.cgi\n"));

    // A file that cannot be written is said so; the dialog stays.
    ASSERT_TRUE(dialog->ExecuteCommand(ID_DL_SAVE_REGET));
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_TRUE(messages.texts[0].startsWith(QStringLiteral("ファイルを保存できませんでした。")));
    EXPECT_EQ(testenv::ReadFile(File("plain")), "x");
    EXPECT_TRUE(dialog->isVisible());

    ASSERT_TRUE(dialog->ExecuteCommand(ID_DL_SAVE_CLOSE));
    ASSERT_TRUE(dialog->ExecuteCommand(ID_DL_CLIPBOARD));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(DLOption("DLSaveClose"), "1");
}

TEST_F(UrlExtractDialogTest, NavigatesTheSelectedOrTickedRowsAndAsksAboveTwenty)
{
    testenv::Messages messages;
    SPageDocument page;
    page.url = "http://many/";
    for (int i = 1; i <= 25; ++i)
        page.elements.push_back(Link("http://many/" + std::to_string(i)));
    CUrlExtractDialog* dialog = Extract(page);
    ASSERT_NE(dialog, nullptr);
    const int before = m_frame->TabCount();

    dialog->List()->setCurrentIndex(dialog->Model().index(3));
    ASSERT_TRUE(dialog->ExecuteCommand(ID_DL_NAVI_SELECTED));
    ASSERT_EQ(m_frame->TabCount(), before + 1);
    EXPECT_EQ(m_frame->Views().back()->GetLocationURL(), "http://many/4");
    EXPECT_TRUE(messages.texts.empty());

    dialog->FilterCombo()->setEditText("http://many/*");
    QTest::mouseClick(dialog->FilterButton(), Qt::LeftButton);
    ASSERT_TRUE(dialog->ExecuteCommand(ID_DL_NAVI_CLOSE));
    ASSERT_TRUE(dialog->ExecuteCommand(ID_DL_NAVI_TICKED));
    EXPECT_EQ(messages.texts.size(), 1u);
    ASSERT_EQ(m_frame->TabCount(), before + 26);
    EXPECT_EQ(m_frame->Views().back()->GetLocationURL(), "http://many/25");
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(UrlExtractDialogTest, KeepsItsCopyOfThePageWhenTheTabCloses)
{
    CUrlExtractDialog* dialog = Extract(SamplePage());
    ASSERT_NE(dialog, nullptr);
    m_frame->CloseTab(m_view);
    ASSERT_TRUE(testenv::SpinUntil([&] { return m_frame->TabCount() == 0; }, 5000));
    dialog->FrameCombo()->setCurrentIndex(1);
    EXPECT_EQ(Rows(dialog->Model()), (std::vector<std::string>{"http://site/frame.zip"}));
    dialog->List()->setCurrentIndex(dialog->Model().index(0));
    ASSERT_TRUE(dialog->ExecuteCommand(ID_DL_NAVI_SELECTED));
    EXPECT_EQ(m_frame->TabCount(), 1);

    // A read cut at its bounds says how much it left out.
    dialog->SetPage(SamplePage(), 7);
    EXPECT_TRUE(dialog->NoteLabel()->text().startsWith(QStringLiteral("7 件のURL")));
    dialog->reject();
}
