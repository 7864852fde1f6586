#include "app/NimbraApp.h"
#include "widgets/bars/StatusBar.h"
#include "platform/FileDialog.h"
#include "platform/Text.h"
#include "platform/WebEngineBrowser.h"
#include "widgets/view/Downloads.h"
#include "widgets/view/PageNotices.h"

#include "HttpServer.h"
#include "TestBrowser.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>

#include <csignal>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 20000;
constexpr qsizetype kFileBytes = 5 * 1024 * 1024;

class EngineUiE2E : public testenv::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        m_server.AddHtml("/page", "Page", "<p>page</p>");
        m_server.AddHtml("/target", "Target");
        m_server.AddHtml("/links", "Links",
                         "<a id=l href='/target' style='position:absolute;left:0;top:0;width:300px;height:80px;"
                         "display:block'>link</a>");
        QByteArray body(kFileBytes, '\0');
        for (qsizetype i = 0; i < body.size(); ++i)
            body[i] = char(i * 7 + i / 1024);
        testenv::HttpServer::Page file;
        file.body = body;
        file.contentType = "application/octet-stream";
        file.headers = "Content-Disposition: attachment; filename=\"data.bin\"\r\n";
        file.chunkMs = 10;
        m_server.AddPage("/data.bin", file);
        file.chunkMs = 300;
        m_server.AddPage("/slow.bin", file);
        m_body = body;
        m_server.AddPage("/secret", {QByteArray("<html><head><title>Secret</title></head><body>ok</body></html>"),
                                     "text/html; charset=utf-8", 0, {}, 0,
                                     "Basic " + QByteArray("user:pass").toBase64()});
    }
    void TearDown() override
    {
        SetFileNameAsker({});
        BrowserTest::TearDown();
    }
    std::string Url(const char* path) const { return m_server.Url(path).toStdString(); }
    static QWebEnginePage* Page(CNimbraView* view)
    {
        return dynamic_cast<CWebEngineBrowser*>(view->Browser())->Page();
    }
    // The newest row's progress bar of the downloads window.
    QProgressBar* LastProgress() const
    {
        const auto bars = m_frame->ViewHost().Downloads().Window()->findChildren<QProgressBar*>();
        return bars.isEmpty() ? nullptr : bars.back();
    }
    QPushButton* LastButton(const QString& text) const
    {
        QPushButton* found = nullptr;
        for (QPushButton* button : m_frame->ViewHost().Downloads().Window()->findChildren<QPushButton*>())
            if (button->text() == text)
                found = button;
        return found;
    }
    bool WaitForTitle(CNimbraView* view, const std::string& title)
    {
        return SpinUntil([&] { return view->GetLocationName() == title && !view->Browser()->Busy(); }, kLoadMs);
    }

    testenv::HttpServer m_server;
    QByteArray m_body;
};

} // namespace

TEST_F(EngineUiE2E, DownloadShowsProgressAndEndsUnderTheChosenNameOrNotAtAll)
{
    Start();
    CNimbraView* view = OpenAndWait(Url("/page"));
    const std::string chosen = m_home.file("chosen.bin");
    std::string suggested;
    SetFileNameAsker([&](QWidget*, const SFileRequest& request) {
        suggested = request.name;
        return chosen;
    });
    Page(view)->runJavaScript(QStringLiteral("location.href = '/data.bin'"));
    ASSERT_TRUE(SpinUntil([&] { return LastProgress() && LastProgress()->value() == 100 && QFile::exists(ToQ(chosen)); },
                          kLoadMs));
    EXPECT_EQ(suggested, "data.bin");
    QFile file(ToQ(chosen));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), m_body);
    EXPECT_FALSE(QFile::exists(ToQ(chosen + ".part")));
    EXPECT_NE(LastButton(QStringLiteral("開く")), nullptr);
    EXPECT_EQ(view->GetLocationURL(), Url("/page"));

    // Cancelled half-way: nothing under either name.
    const std::string cancelled = m_home.file("cancelled.bin");
    SetFileNameAsker([&](QWidget*, const SFileRequest&) { return cancelled; });
    Page(view)->runJavaScript(QStringLiteral("location.href = '/slow.bin'"));
    auto rows = [this] { return m_frame->ViewHost().Downloads().Window()->findChildren<QProgressBar*>().size(); };
    ASSERT_TRUE(SpinUntil([&] { return rows() == 2 && LastProgress()->value() > 0; }, kLoadMs));
    EXPECT_TRUE(m_frame->StatusBar()->DownloadText().contains(QStringLiteral("cancelled.bin")));
    LastButton(QStringLiteral("キャンセル"))->click();
    ASSERT_TRUE(SpinUntil([&] { return m_frame->StatusBar()->DownloadText().isEmpty(); }, kLoadMs));
    // The engine removes its partial file after it reported the cancel.
    QStringList left;
    EXPECT_TRUE(SpinUntil([&] {
        left = QDir(m_home.path()).entryList({QStringLiteral("cancelled*")}, QDir::Files);
        return left.isEmpty();
    }, kLoadMs)) << left.join(' ').toStdString();

    // A tab opened for the file alone goes once the file is asked for; the
    // tab with a page stays.
    const std::string alone = m_home.file("alone.bin");
    SetFileNameAsker([&](QWidget*, const SFileRequest&) { return alone; });
    const int tabs = m_frame->TabCount();
    CNimbraApp::Instance()->OpenUrl(Url("/data.bin"));
    EXPECT_EQ(m_frame->TabCount(), tabs + 1);
    EXPECT_TRUE(SpinUntil([&] { return QFile::exists(ToQ(alone)) && m_frame->TabCount() == tabs; }, kLoadMs));
    EXPECT_EQ(view->GetLocationURL(), Url("/page"));

    // Closed, the window comes back with Ctrl+J; every download has ended,
    // so removing the finished ones empties it and leaves the files.
    CDownloadsWindow* window = m_frame->ViewHost().Downloads().Window();
    ASSERT_TRUE(SpinUntil([&] { return window->findChildren<QProgressBar*>().size() == 3; }, kLoadMs));
    window->close();
    m_frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame));
    QTest::keyClick(m_frame->windowHandle(), Qt::Key_J, Qt::ControlModifier);
    ASSERT_TRUE(window->isVisible());
    auto* remove = window->findChild<QPushButton*>(QStringLiteral("removeFinished"));
    ASSERT_NE(remove, nullptr);
    remove->click();
    EXPECT_EQ(window->RowCount(), 0u);
    EXPECT_TRUE(QFile::exists(ToQ(chosen)));
    EXPECT_TRUE(QFile::exists(ToQ(alone)));
}

TEST_F(EngineUiE2E, BasicAuthenticationPageOpensAfterTheLoginDialog)
{
    Start();
    int dialogs = 0;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QLatin1String("loginDialog") || dialog->property("driven").toBool())
            return;
        dialog->setProperty("driven", true);
        ++dialogs;
        const auto edits = dialog->findChildren<QLineEdit*>();
        QTest::keyClicks(edits[0], dialogs == 1 ? QStringLiteral("user") : QStringLiteral("user"));
        QTest::keyClicks(edits[1], dialogs == 1 ? QStringLiteral("wrong") : QStringLiteral("pass"));
        QTest::keyClick(edits[1], Qt::Key_Return);
    });
    driver.start(50);
    CNimbraView* view = m_app->OpenUrl(Url("/secret"));
    ASSERT_NE(view, nullptr);
    // A wrong password asks once more; the right one opens the page.
    EXPECT_TRUE(WaitForTitle(view, "Secret"));
    EXPECT_EQ(dialogs, 2);
}

TEST_F(EngineUiE2E, SelfSignedCertificateWarnsAndProceedsForTheHost)
{
    const QString dir = QString::fromStdString(m_home.file("tls"));
    QDir().mkpath(dir);
    ASSERT_EQ(QProcess::execute(QStringLiteral("openssl"),
                                {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                                 "-keyout", dir + "/key.pem", "-out", dir + "/cert.pem"}),
              0);
    quint16 port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    QProcess server;
    server.start(QStringLiteral("openssl"), {"s_server", "-accept", QStringLiteral("127.0.0.1:%1").arg(port), "-cert",
                                             dir + "/cert.pem", "-key", dir + "/key.pem", "-www", "-quiet"});
    ASSERT_TRUE(server.waitForStarted());
    ASSERT_TRUE(SpinUntil([&] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(100);
    }, 5000));

    Start();
    const std::string url = QStringLiteral("https://127.0.0.1:%1/").arg(port).toStdString();
    CNimbraView* view = m_app->OpenUrl(url);
    auto warning = [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); };
    ASSERT_TRUE(SpinUntil([&] { return warning() != nullptr; }, kLoadMs));
    EXPECT_TRUE(warning()->text().contains(QStringLiteral("127.0.0.1")));
    for (QAbstractButton* button : warning()->buttons())
        if (button->text() == QStringLiteral("このサイトへ移動する"))
            button->click();
    EXPECT_TRUE(SpinUntil([&] {
        return !view->Browser()->Busy() && view->GetLocationURL() == url && m_frame->StatusBar()->IsSecureBrokenShown();
    }, kLoadMs));
    EXPECT_FALSE(m_frame->StatusBar()->IsSecureShown());
    server.kill();
    server.waitForFinished();
}

TEST_F(EngineUiE2E, KilledRendererShowsItsMessageWhileOtherTabsWork)
{
    Start();
    CNimbraView* victim = OpenAndWait(Url("/page"));
    // Another site, so another renderer.
    CNimbraView* other = OpenAndWait(QStringLiteral("http://localhost:%1/page").arg(m_server.port()).toStdString());
    const qint64 pid = Page(victim)->renderProcessPid();
    ASSERT_GT(pid, 0);
    ASSERT_NE(pid, Page(other)->renderProcessPid());
    ::kill(pid_t(pid), SIGKILL);
    ASSERT_TRUE(SpinUntil([&] { return victim->CrashPanel() && victim->CrashPanel()->isVisible(); }, kLoadMs));
    EXPECT_TRUE(victim->CrashPanel()->Text().contains(QStringLiteral("このページを表示できなくなりました")));
    EXPECT_EQ(victim->GetLocationURL(), Url("/page"));
    other->Navigate(QStringLiteral("http://localhost:%1/target").arg(m_server.port()).toStdString());
    EXPECT_TRUE(WaitForTitle(other, "Target"));
    victim->CrashPanel()->findChild<QPushButton*>()->click();
    EXPECT_TRUE(WaitForTitle(victim, "Page"));
    EXPECT_FALSE(victim->CrashPanel()->isVisible());
}

TEST_F(EngineUiE2E, LinkContextMenuIsJapaneseAndOpensTheLinkInANewTab)
{
    Start();
    CNimbraView* view = OpenAndWait(Url("/links"));
    QWidget* surface = view->Browser()->Widget()->focusProxy();
    ASSERT_NE(surface, nullptr);
    QMenu* menu = nullptr;
    for (int attempt = 0; attempt < 20 && !menu; ++attempt) {
        QTest::mousePress(surface, Qt::RightButton, {}, QPoint(40, 30));
        QTest::mouseRelease(surface, Qt::RightButton, {}, QPoint(40, 30));
        SpinUntil([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr; }, 500);
    }
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    QAction* newTab = nullptr;
    for (QAction* action : menu->actions()) {
        texts << action->text();
        if (action->text() == QStringLiteral("新しいタブで開く(&W)"))
            newTab = action;
    }
    EXPECT_TRUE(texts.contains(QStringLiteral("リンクのアドレスをコピー(&C)"))) << texts.join('|').toStdString();
    ASSERT_NE(newTab, nullptr);
    newTab->trigger();
    menu->close();
    ASSERT_TRUE(SpinUntil([&] { return Tabs()->GetItemCount() == 2; }, kLoadMs));
    EXPECT_TRUE(WaitForTitle(Tabs()->ViewAt(1), "Target"));
    EXPECT_EQ(Tabs()->ViewAt(1)->GetLocationURL(), Url("/target"));
}
