// The bookmark editor's Netscape import and export against the real engine:
// an imported link opens its decoded address in the browser, and an export
// reads back in the engine as the tree it came from.
#include "data/dde/DDECommandClient.h"
#include "widgets/editor/BkDialogs.h"
#include "data/bookmarks/BkDoc.h"
#include "frames/editor/BkMainFrame.h"
#include "widgets/editor/BkView.h"
#include "ui/EditorIds.h"
#include "platform/FileDialog.h"
#include "platform/Ini.h"
#include "platform/Ipc.h"
#include "platform/Text.h"
#include "platform/WebEngineBrowser.h"

#include "BrowserProcess.h"
#include "HttpServer.h"
#include "TestBrowser.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QWebEnginePage>

using namespace nimbra;
using namespace nimbra::editor;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 60000;
constexpr int kWaitMs = 10000;

std::unique_ptr<CBkMainFrame> OpenEditor()
{
    auto frame = std::make_unique<CBkMainFrame>();
    EXPECT_TRUE(frame->Create());
    frame->show();
    frame->RunDeferred();
    return frame;
}

// Runs an import or export command to its end, answering its file dialog
// with `path` and its question with OK.
void RunWithFile(CBkMainFrame& frame, int id, const std::string& path)
{
    testenv::HandlerGuard files(SetFileNameAsker, [&](QWidget*, const SFileRequest&) { return path; });
    testenv::HandlerGuard prompts(SetPromptHandler, [](const QString&, bool) { return true; });
    frame.RunCommand(id);
    EXPECT_TRUE(SpinUntil([&] { return !frame.JobRunning(); }, kWaitMs));
}

// Links (href, text) and folder names in document order.
void Walk(const CBkItem& folder, QJsonArray& links, QJsonArray& names)
{
    for (const BkItemPtr& item : folder.Items()) {
        if (item->IsLink())
            links.append(QJsonArray{ToQ(item->Url()), ToQ(item->Title())});
        if (item->IsFolder()) {
            names.append(ToQ(item->Title()));
            Walk(*item, links, names);
        }
    }
}

} // namespace

TEST(ImportExportE2E, AnImportedLinkOpensItsDecodedAddressInTheBrowser)
{
    testenv::ScopedHome home;
    testenv::HttpServer server;
    server.AddHtml("/start", QStringLiteral("Start"));
    server.AddHtml("/p?a=1&b=2", QStringLiteral("Query page"));
    const std::string service = "NBIE2E" + std::to_string(QCoreApplication::applicationPid());
    CIniFile(home.file("nimbrab.ini")).WriteString("Options", "DDEServerName", service);
    testenv::Browser browser(home.path());
    browser.Start({server.Url("/start")});
    ASSERT_TRUE(server.WaitForRequest("/start", kLoadMs));
    ASSERT_TRUE(SpinUntil([&] { return ipc::FindWindow(ipc::kBrowserClass, home.path()); }, kLoadMs));

    const std::string file = home.file("exported.html");
    testenv::WriteFile(file, "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n    <DT><A HREF=\"" + FromQ(server.Url("/p"))
                                 + "?a=1&amp;b=2\" ADD_DATE=\"1\">Query</A>\n</DL><p>\n");
    auto editor = OpenEditor();
    RunWithFile(*editor, ID_BK_CONVERT_NETSCAPE, file);
    ASSERT_EQ(editor->Doc().Root()->Items().size(), 1u);
    const std::string url = FromQ(server.Url("/p?a=1&b=2"));
    EXPECT_EQ(editor->Doc().Root()->Items()[0]->Url(), url);

    // Enter on the row hands the link to the running browser.
    CBkView* list = editor->List();
    list->setCurrentIndex(list->Model()->index(0, 0));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_TRUE(server.WaitForRequest("/p?a=1&b=2", kLoadMs)) << server.Requests().join(' ').toStdString();

    // A tab (the start page's or a new one) shows the page: its address and its title.
    CDDECommandClient dde(service);
    const std::string shown = "\"" + url + "\",\"Query page\"";
    std::string info;
    EXPECT_TRUE(SpinUntil([&] {
        info = dde.Request("WWW_GetWindowInfo", "1", 1).data + dde.Request("WWW_GetWindowInfo", "2", 1).data;
        return info.find(shown) != std::string::npos;
    }, kLoadMs)) << info;
    editor.reset();
    EXPECT_TRUE(browser.Terminate());
}

namespace {

class ExportE2E : public testenv::EngineTest {
protected:
    testenv::HttpServer m_server;
};

} // namespace

TEST_F(ExportE2E, AnExportReadByTheEngineHoldsTheTreesLinksAndFolders)
{
    const std::string file = File("export.htm");
    QJsonArray links;
    QJsonArray names;
    {
        auto editor = OpenEditor();
        BkItemList items;
        items.push_back(CBkItem::MakeLink("日本語 & <b>太字</b> \"引用\"", "http://127.0.0.1/a?x=1&y=2"));
        items.push_back(CBkItem::MakeSeparator());
        BkItemPtr folder = CBkItem::MakeFolder("フォルダ & <F> \"名\"");
        folder->Append(CBkItem::MakeLink("中 <i>", "http://127.0.0.1/b?q=\"x\"&r=<y>"));
        folder->Append(CBkItem::MakeFolder("空"));
        items.push_back(std::move(folder));
        items.push_back(CBkItem::MakeLink("A&amp;B", "http://127.0.0.1/c?t=a&amp;b"));
        editor->Doc().Reset(std::move(items));
        RunWithFile(*editor, ID_BK_EXPORT_NETSCAPE, file);
        Walk(*editor->Doc().Root(), links, names);
    }

    // Served without a charset: the file's own declaration must tell it.
    testenv::HttpServer::Page page;
    page.body = QByteArray::fromStdString(testenv::ReadFile(file));
    page.contentType = "text/html";
    m_server.AddPage("/export.htm", page);
    Start();
    CNimbraView* view = OpenAndWait(m_server.Url("/export.htm").toStdString(), kLoadMs);
    ASSERT_NE(view, nullptr);
    QString read;
    bool done = false;
    dynamic_cast<CWebEngineBrowser*>(view->Browser())
        ->Page()
        ->runJavaScript(QStringLiteral("JSON.stringify({links: [...document.querySelectorAll('a')].map("
                                       "a => [a.getAttribute('href'), a.textContent]), names: "
                                       "[...document.querySelectorAll('h3')].map(h => h.textContent)})"),
                        [&](const QVariant& value) {
                            read = value.toString();
                            done = true;
                        });
    ASSERT_TRUE(SpinUntil([&] { return done; }, kLoadMs));
    const QJsonObject engine = QJsonDocument::fromJson(read.toUtf8()).object();
    EXPECT_EQ(engine.value(QStringLiteral("links")).toArray(), links) << read.toStdString();
    EXPECT_EQ(engine.value(QStringLiteral("names")).toArray(), names) << read.toStdString();
    EXPECT_EQ(links.size(), 3);
}
