// What a page cannot do to the browser, with the real engine: a load that
// failed is no visit, a page that opens windows or starts downloads without
// end is stopped, and the engine's debug addresses are refused whichever
// way they come.
#include "widgets/bars/AddressCombo.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "platform/HistoryDb.h"
#include "platform/MessageBox.h"
#include "platform/WebEngineBrowser.h"
#include "widgets/view/Downloads.h"
#include "widgets/view/PopupLimiter.h"

#include "HttpServer.h"
#include "TestBrowser.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 60000;

class PageGuardsE2E : public testenv::EngineTest {
protected:
    static void RunScript(CNimbraView* view, const QString& script)
    {
        dynamic_cast<CWebEngineBrowser*>(view->Browser())->Page()->runJavaScript(script);
    }
    // The number a page counts in its title ("calls 120").
    static int Calls(const CNimbraView* view)
    {
        const std::string title = view->GetLocationName();
        return title.rfind("calls ", 0) == 0 ? std::stoi(title.substr(6)) : 0;
    }
    static bool WaitLoaded(CNimbraView* view)
    {
        return SpinUntil([&] { return !view->Browser()->Busy() && !view->GetLocationURL().empty(); }, kLoadMs);
    }

    testenv::HttpServer m_server;
};

} // namespace

TEST_F(PageGuardsE2E, FailedLoadIsNoVisitAndLeavesTheStoredPageAlone)
{
    Start();
    auto server = std::make_unique<testenv::HttpServer>();
    server->AddHtml("/page", "Stored title", "<p>a zephyrine here</p>");
    const std::string url = server->Url("/page").toStdString();
    const std::string never = server->Url("/never").toStdString();
    CNimbraView* view = OpenAndWait(url, kLoadMs);
    ASSERT_NE(view, nullptr);
    auto copy = [&] { return m_frame->History().Reader().Copy(url).value_or(std::string()); };
    ASSERT_TRUE(SpinUntil([&] { return copy().find("zephyrine") != std::string::npos; }, kLoadMs));

    // The server is gone: a reload shows the engine's error page.
    server.reset();
    bool completed = false;
    QObject::connect(view, &CNimbraView::DocumentCompleted, view, [&] { completed = true; });
    view->Refresh();
    ASSERT_TRUE(SpinUntil([&] { return completed && !view->Browser()->Busy(); }, kLoadMs));
    EXPECT_TRUE(view->Browser()->LoadFailed());
    CNimbraView* failed = m_app->OpenUrl(never);
    ASSERT_NE(failed, nullptr);
    ASSERT_TRUE(SpinUntil([&] { return failed->Browser()->LoadFailed() && !failed->Browser()->Busy(); }, kLoadMs));

    m_frame->History().Flush();
    const CHistoryReader reader = m_frame->History().Reader();
    ASSERT_TRUE(reader.Entry(url).has_value());
    EXPECT_EQ(reader.Entry(url)->title, "Stored title");
    EXPECT_EQ(reader.Entry(url)->visitCount, 1);
    EXPECT_NE(copy().find("zephyrine"), std::string::npos);
    EXPECT_FALSE(reader.Entry(never).has_value());
}

TEST_F(PageGuardsE2E, PageOpeningWindowsByItselfIsStoppedAndCountedWhileClicksStillOpen)
{
    // 20 windows every 50 ms, counted in the title.
    m_server.AddHtml("/flood", "Flood",
                     "<script>var n = 0; setInterval(function () {"
                     " for (var i = 0; i < 20; i++) { window.open('/target'); n++; }"
                     " document.title = 'calls ' + n; }, 50);</script>");
    m_server.AddHtml("/target", "Target");
    m_server.AddHtml("/links", "Links",
                     "<a href='/clicked' target=_blank style='position:absolute;left:0;top:0;width:300px;"
                     "height:80px;display:block'>link</a>");
    m_server.AddHtml("/clicked", "Clicked");
    Start();
    CNimbraView* links = OpenAndWait(m_server.Url("/links").toStdString(), kLoadMs);
    ASSERT_NE(links, nullptr);
    CNimbraView* view = m_app->OpenUrl(m_server.Url("/flood").toStdString());
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(SpinUntil([&] { return Calls(view) >= 400; }, kLoadMs));
    Tabs()->SelectTab(view->m_nTab);
    EXPECT_LE(m_frame->TabCount(), 2 + COpenRate::kFreeOpens);
    EXPECT_TRUE(view->m_bOpensRefused);
    EXPECT_GE(view->m_nRefusedOpens, 400 - COpenRate::kFreeOpens);
    EXPECT_EQ(CPopupLimiter::Of(m_frame)->Text(),
              QStringLiteral("ポップアップを %1 件ブロック").arg(view->m_nRefusedOpens));

    // Another page of the flooding tab may open windows again.
    view->Navigate(m_server.Url("/target").toStdString());
    ASSERT_TRUE(SpinUntil([&] { return view->GetLocationName() == "Target"; }, kLoadMs));
    EXPECT_FALSE(view->m_bOpensRefused);
    EXPECT_EQ(view->m_nRefusedOpens, 0);
    EXPECT_TRUE(CPopupLimiter::Of(m_frame)->Text().isEmpty());

    // With the rate used up by a script of the other page, a click of the
    // person still opens its window.
    Tabs()->SelectTab(links->m_nTab);
    for (int i = 0; i <= COpenRate::kFreeOpens && !links->m_bOpensRefused; ++i) {
        const int before = m_frame->TabCount();
        RunScript(links, QStringLiteral("window.open('/target')"));
        ASSERT_TRUE(SpinUntil([&] { return links->m_bOpensRefused || m_frame->TabCount() > before; }, kLoadMs));
    }
    ASSERT_TRUE(links->m_bOpensRefused);
    const int tabs = m_frame->TabCount();
    QWidget* surface = links->Browser()->Widget()->focusProxy();
    ASSERT_NE(surface, nullptr);
    for (int i = 0; i < 20 && m_frame->TabCount() == tabs; ++i) {
        QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(40, 30));
        SpinUntil([&] { return m_frame->TabCount() > tabs; }, 500);
    }
    EXPECT_GT(m_frame->TabCount(), tabs);
    // (Waiting on the server would hold up this thread, which the engine needs.)
    EXPECT_TRUE(SpinUntil([&] { return m_server.Requests().contains("/clicked"); }, kLoadMs));
}

TEST_F(PageGuardsE2E, SaveQuestionRefusesThePagesFurtherDownloadsAndTheTabCloses)
{
    // A download every 20 ms, counted in the title.
    testenv::HttpServer::Page file;
    file.body = QByteArray(1024, 'x');
    file.contentType = "application/octet-stream";
    file.headers = "Content-Disposition: attachment; filename=\"data.bin\"\r\n";
    m_server.AddPage("/file.bin", file);
    m_server.AddHtml("/downloads", "Downloads",
                     "<script>var n = 0; setInterval(function () { location.href = '/file.bin'; n++;"
                     " document.title = 'calls ' + n; }, 20);</script>");
    Start();
    OpenAndWait(m_server.Url("/downloads").toStdString(), kLoadMs);
    CNimbraView* view = Tabs()->ViewAt(0);
    // The real question: its check box refuses the page's downloads.
    int questions = 0;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->property("driven").toBool())
            return;
        dialog->setProperty("driven", true);
        ++questions;
        for (QCheckBox* check : dialog->findChildren<QCheckBox*>())
            if (check->text() == QStringLiteral("このページからの以降のダウンロードを拒否する(&R)"))
                check->setChecked(true);
        dialog->reject();
    });
    driver.start(20);
    ASSERT_TRUE(SpinUntil([&] { return questions == 1; }, kLoadMs));
    const int calls = Calls(view);
    ASSERT_TRUE(SpinUntil([&] { return Calls(view) >= calls + 100; }, kLoadMs));
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(m_frame->ViewHost().Downloads().Waiting(), 0u);
    m_frame->Router().Execute(ID_FILE_CLOSE);
    EXPECT_TRUE(SpinUntil([&] { return m_frame->TabCount() == 0; }, kLoadMs));
}

TEST_F(PageGuardsE2E, EngineDebugAddressesOfThePersonAreRefusedWithAMessageAndThoseOfPagesWithout)
{
    m_server.AddHtml("/links", "Links",
                     "<a href='chrome://crash' style='position:absolute;left:0;top:0;width:300px;height:80px;"
                     "display:block'>link</a>");
    m_server.AddHtml("/popup", "Popup", "<script>window.open('chrome://kill'); location.href = 'chrome://hang';</script>");
    QStringList messages;
    testenv::HandlerGuard<std::function<void(const QString&)>> guard(SetMessageHandler,
                                                                    [&](const QString& text) { messages << text; });
    Option("MyHome", 1);
    Option("MyHomeUrl", std::string("view-source:chrome://hang"));
    Start();
    CNimbraView* page = OpenAndWait(m_server.Url("/links").toStdString(), kLoadMs);
    ASSERT_NE(page, nullptr);
    const std::string pageUrl = page->GetLocationURL();

    // Typed into the address bar, with Enter.
    QLineEdit* edit = m_frame->AddressCombo()->lineEdit();
    edit->setText(QStringLiteral(" CHROME:crash "));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(messages.size(), 1);
    // Opened as the command line, a second start or DDE open it: no tab.
    EXPECT_EQ(m_app->OpenUrl("chrome://gpuhang"), nullptr);
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(m_frame->TabCount(), 1);
    // The home page.
    m_frame->Router().Execute(ID_HOME);
    EXPECT_EQ(messages.size(), 3);
    for (const QString& message : messages)
        EXPECT_EQ(message, QStringLiteral("ブラウザ エンジンのデバッグ用のアドレスのため開けません (chrome://hang など)。"));

    // A page's link, pop-up and script get no word; the engine refuses them.
    QTest::mouseClick(page->Browser()->Widget()->focusProxy(), Qt::LeftButton, {}, QPoint(40, 30));
    CNimbraView* opener = OpenAndWait(m_server.Url("/popup").toStdString(), kLoadMs);
    ASSERT_NE(opener, nullptr);
    // Whatever the engine made of them, every tab still shows its page.
    ASSERT_NE(OpenAndWait(m_server.Url("/links").toStdString(), kLoadMs), nullptr);
    EXPECT_EQ(page->GetLocationURL(), pageUrl);
    for (CNimbraView* view : Tabs()->Views())
        EXPECT_EQ(view->CrashPanel(), nullptr) << view->GetLocationURL();
    EXPECT_EQ(messages.size(), 3);
}
