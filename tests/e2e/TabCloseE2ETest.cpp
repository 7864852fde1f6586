// Tabs that go while a dialog of theirs is open: closed by the blocked-title
// timer or by "close all" in the browser of this process (each kind of
// dialog, the real ones over the real engine), and in the real program,
// where a second start opens the pages and DDE ends it. The real program
// also refuses the engine's debug addresses from a second start and DDE.
#include "data/dde/DDECommandClient.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "platform/DialogLoops.h"
#include "platform/Ini.h"
#include "platform/WebEngineBrowser.h"
#include "data/session/ListFile.h"

#include "BrowserProcess.h"
#include "HttpServer.h"
#include "TestBrowser.h"
#include "XServer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWebEnginePage>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 60000;
constexpr char kBlocked[] = "Closing";

// A page of each kind of dialog. With "#block", alerts, confirmations and
// prompts set the blocked title just before they open.
void AddDialogPages(testenv::HttpServer& server)
{
    for (const char* call : {"alert", "confirm", "prompt"})
        server.AddHtml(QStringLiteral("/%1").arg(call), "Dialog",
                       QStringLiteral("<script>window.onload = function () { if (location.hash == '#block')"
                                      " document.title = '%1'; %2('?'); };</script>")
                           .arg(kBlocked, call));
    server.AddHtml("/chooser", "Dialog",
                   "<input type=file style='position:absolute;left:0;top:0;width:400px;height:200px'>");
    server.AddHtml("/login", "Dialog", "<iframe src='/secret'></iframe>");
    server.AddPage("/secret", {QByteArray("<html><body>secret</body></html>"), "text/html; charset=utf-8", 0, {}, 0,
                               "Basic " + QByteArray("user:pass").toBase64()});
    server.AddHtml("/save", "Dialog");
    testenv::HttpServer::Page file;
    file.body = QByteArray(64 * 1024, 'x');
    file.contentType = "application/octet-stream";
    file.headers = "Content-Disposition: attachment; filename=\"data.bin\"\r\n";
    server.AddPage("/file.bin", file);
    server.AddHtml("/keep", "Keep");
}

class TabCloseE2E : public testenv::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        AddDialogPages(m_server);
        Option("CloseTitle", 1);
        Option("ActiveNewTab", 1);
        BlockTitles({kBlocked});
    }
    std::string Url(const QString& path) const { return m_server.Url(path).toStdString(); }

    testenv::HttpServer m_server;
};

enum class EClose { Timer, CloseAll };

// The dialog's kind (its page), how the tab is closed, and whether another
// loop runs above the dialog's when it is.
class EachDialog : public TabCloseE2E,
                   public ::testing::WithParamInterface<std::tuple<const char*, EClose, bool>> {};

} // namespace

TEST_P(EachDialog, TabClosedUnderItsDialogGoesOnceTheDialogHasEnded)
{
    const QString path = QString::fromLatin1(std::get<0>(GetParam()));
    const bool timer = std::get<1>(GetParam()) == EClose::Timer;
    const bool underBox = std::get<2>(GetParam());
    Start();
    // A locked tab, which stays through "close all".
    CNimbraView* keeper = OpenAndWait(Url("/keep"), kLoadMs);
    ASSERT_NE(keeper, nullptr);
    keeper->ToggleNaviLock();
    CNimbraView* view = m_app->OpenUrl(Url(path));
    ASSERT_NE(view, nullptr);
    QPointer<CNimbraView> tab(view);

    // Inside the dialog's loop, or inside a box's loop above it (one of the
    // browser's, as one over the window would be): see the dialog, then have
    // the tab closed. The dialog ends at once, but its loop returns only
    // after the box's, and the tab waits for it.
    QString seen;
    QPointer<QWidget> dialog;
    QDialog box;
    bool closed = false;
    auto close = [&] {
        closed = true;
        // The page's title turns blocked: the tab bar's timer closes it.
        if (timer)
            tab->TitleChange(kBlocked);
        else
            m_frame->Router().Execute(ID_CLOSE_ALL);
    };
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (!dialog && !closed && (dialog = QApplication::activeModalWidget())) {
            seen = QString::fromLatin1(dialog->metaObject()->className());
            if (underBox)
                QTimer::singleShot(0, &box, [&] { box.exec(); });
            else
                close();
        } else if (box.isVisible() && !closed) {
            close();
        } else if (box.isVisible() && (!dialog || !dialog->isVisible())) {
            EXPECT_TRUE(tab) << "gone while its dialog's loop still ran";
            box.reject();
        }
    });
    driver.start(10);
    auto loaded = [&] { return view->GetLocationURL() == Url(path) && !view->Browser()->Busy(); };
    if (path == "/chooser") {
        // The page's file chooser opens on a click only.
        ASSERT_TRUE(SpinUntil([&] { return loaded() && view->m_bActive; }, kLoadMs));
        QWidget* surface = view->Browser()->Widget()->focusProxy();
        ASSERT_NE(surface, nullptr);
        for (int i = 0; i < 50 && seen.isEmpty(); ++i) {
            QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(40, 30));
            SpinUntil([&] { return !seen.isEmpty(); }, 500);
        }
    } else if (path == "/save") {
        ASSERT_TRUE(SpinUntil(loaded, kLoadMs));
        dynamic_cast<CWebEngineBrowser*>(view->Browser())->Page()->runJavaScript("location.href = '/file.bin'");
    }
    ASSERT_TRUE(SpinUntil([&] { return !seen.isEmpty(); }, kLoadMs));
    if (path == "/chooser" || path == "/save") {
        EXPECT_EQ(seen, "QFileDialog");
    }
    EXPECT_TRUE(SpinUntil([&] { return !tab && !DialogLoopRunning(); }, kLoadMs));
    EXPECT_EQ(m_frame->TabCount(), 1);
    EXPECT_EQ(Tabs()->ViewAt(0), keeper);
    EXPECT_FALSE(box.isVisible());
}

INSTANTIATE_TEST_SUITE_P(TabCloseE2E, EachDialog,
                         ::testing::Combine(::testing::Values("/alert", "/confirm", "/prompt", "/chooser", "/login",
                                                              "/save"),
                                            ::testing::Values(EClose::Timer, EClose::CloseAll), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) + 1)
                                    + (std::get<1>(info.param) == EClose::Timer ? "_ByTheTimer" : "_ByCloseAll")
                                    + (std::get<2>(info.param) ? "_UnderABox" : "");
                         });

namespace {

// The real program on this test's session bus, with its DDE service.
class ProgramE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_service = "NBCLOSE" + std::to_string(QCoreApplication::applicationPid());
        AddDialogPages(m_server);
        m_server.AddHtml("/save-same-tick", "Dialog",
                         QStringLiteral("<script>window.onload = function () { document.title = '%1';"
                                        " location.href = '/file.bin'; };</script>")
                             .arg(kBlocked));
        m_server.AddHtml("/chooser-block", "Dialog",
                         QStringLiteral("<input type=file autofocus onclick=\"document.title = '%1'\">").arg(kBlocked));
        m_server.AddHtml("/login-block", kBlocked, "<iframe src='/secret'></iframe>");
        CIniFile ini(m_home.file("nimbrab.ini"));
        ini.WriteString("Options", "DDEServerName", m_service);
        ini.WriteInt("Options", "CloseTitle", 1);
        WriteListFile("Close Title List", m_home.file("closetitle.html"), {kBlocked});
    }

    // Tabs as the DDE service lists them; -1 when it does not answer.
    int TabCount()
    {
        const auto list = CDDECommandClient(m_service).Request("WWW_ListWindows", "0", 1);
        if (list.exit != 0)
            return list.exit == 1 ? 0 : -1;
        int count = 0;
        for (size_t i = 0; i + 4 <= list.data.size() && list.data.compare(i, 4, std::string(4, '\0')) != 0; i += 4)
            ++count;
        return count;
    }
    bool WaitForTabs(int count)
    {
        for (int i = 0; i < 1200; ++i) {
            if (TabCount() == count)
                return true;
            QThread::msleep(50);
        }
        return false;
    }

    testenv::HttpServer m_server;
    testenv::TempDir m_home;
    testenv::Browser m_browser{m_home.path()};
    std::string m_service;
};

} // namespace

TEST_F(ProgramE2E, TabsClosedUnderTheirDialogsLeaveTheBrowserRunning)
{
    m_browser.Start({m_server.Url("/keep")});
    ASSERT_TRUE(m_server.WaitForRequest("/keep", kLoadMs));
    ASSERT_TRUE(WaitForTabs(1));
    // A second start hands each page over; its blocked title closes the tab
    // while the dialog is open.
    for (const char* path : {"/alert#block", "/confirm#block", "/prompt#block", "/login-block", "/save-same-tick"}) {
        SCOPED_TRACE(path);
        int exitCode = -1;
        m_browser.RunSecond({m_server.Url(path)}, &exitCode);
        ASSERT_EQ(exitCode, 0);
        const QString requested = QString::fromLatin1(path).section('#', 0, 0);
        ASSERT_TRUE(m_server.WaitForRequest(requested, kLoadMs));
        ASSERT_TRUE(WaitForTabs(1)) << "the browser ended or the tab stayed";
    }
    // DDE sends the current tab to such a page, then ends the browser.
    const auto open =
        CDDECommandClient(m_service).Request("WWW_OpenURL", "\"" + m_server.Url("/alert").toStdString() + "#block\"", 1);
    EXPECT_EQ(open.exit, 0);
    EXPECT_TRUE(WaitForTabs(0));
    EXPECT_EQ(CDDECommandClient(m_service).Poke("WWW_Exit", "0", "x"), 0);
    EXPECT_TRUE(m_browser.WaitForExit(kLoadMs));
}

TEST_F(ProgramE2E, FileChooserOpenedByAKeyEndsWithItsTabAndDDEExitEndsAnAlert)
{
    // The chooser opens on a key of the person only: the real program on an
    // X server of its own, the key pressed there.
    testenv::XServer x;
    ASSERT_FALSE(x.Display().isEmpty());
    m_browser.SetEnv("QT_QPA_PLATFORM", "xcb");
    m_browser.SetEnv("DISPLAY", x.Display());
    CIniFile(m_home.file("nimbrab.ini")).WriteInt("Options", "ActiveNewTab", 1);
    m_browser.Start({m_server.Url("/keep")});
    ASSERT_TRUE(m_server.WaitForRequest("/keep", kLoadMs));
    ASSERT_TRUE(WaitForTabs(1));
    int exitCode = -1;
    m_browser.RunSecond({m_server.Url("/chooser-block")}, &exitCode);
    ASSERT_EQ(exitCode, 0);
    ASSERT_TRUE(m_server.WaitForRequest("/chooser-block", kLoadMs));
    ASSERT_TRUE(WaitForTabs(2));
    // The window takes the keyboard; Space on the focused input opens the
    // chooser, the input's click sets the blocked title.
    EXPECT_EQ(CDDECommandClient(m_service).Request("WWW_Activate", "0xFFFFFFFF", 1).exit, 0);
    for (int i = 0; i < 100 && TabCount() == 2; ++i) {
        x.PressKeys({0x20});
        QThread::msleep(200);
    }
    EXPECT_TRUE(WaitForTabs(1)) << "the browser ended or the tab stayed";

    // DDE ends the browser while a page's alert is on the screen.
    m_browser.RunSecond({m_server.Url("/alert")}, &exitCode);
    ASSERT_EQ(exitCode, 0);
    auto alertShown = [&] {
        // Titled "<host> からのメッセージ".
        const unsigned window = x.FindWindow("127.0.0.1");
        return window != 0 && x.IsViewable(window);
    };
    for (int i = 0; i < 1200 && !alertShown(); ++i)
        QThread::msleep(50);
    ASSERT_TRUE(alertShown());
    EXPECT_EQ(CDDECommandClient(m_service).Poke("WWW_Exit", "0", "x"), 0);
    EXPECT_TRUE(m_browser.WaitForExit(kLoadMs));
}

TEST_F(ProgramE2E, DebugAddressesFromASecondStartOrDDEAreRefused)
{
    m_browser.Start({m_server.Url("/keep")});
    ASSERT_TRUE(m_server.WaitForRequest("/keep", kLoadMs));
    ASSERT_TRUE(WaitForTabs(1));
    // The first would end the browser itself, the second hang it.
    int exitCode = -1;
    m_browser.RunSecond({"chrome://inducebrowsercrashforrealz"}, &exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(CDDECommandClient(m_service).Request("WWW_OpenURL", "\"chrome://gpuhang\",,0xFFFFFFFF,0x0", 1).exit, 0);
    // The browser still answers and opens pages; the refused ones got no tab.
    m_browser.RunSecond({m_server.Url("/save")}, &exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(m_server.WaitForRequest("/save", kLoadMs));
    EXPECT_TRUE(WaitForTabs(2));
    EXPECT_EQ(CDDECommandClient(m_service).Poke("WWW_Exit", "0", "x"), 0);
    EXPECT_TRUE(m_browser.WaitForExit(kLoadMs));
}
