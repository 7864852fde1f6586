#include "ui/CommandIds.h"
#include "platform/SystemSettings.h"

#include "HttpServer.h"
#include "TestBrowser.h"

#include <QNetworkCookie>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 20000;
// How long a request that must not come is waited for after the page.
constexpr int kQuietMs = 1500;

class TogglesE2E : public testenv::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        // Each page names its resources after itself, so each load is told apart.
        for (const char* name : {"all", "none", "sound"})
            m_server.AddHtml(QStringLiteral("/%1").arg(name), name,
                             QStringLiteral("<img src='/%1.png'><audio src='/%1.mp3' preload=auto></audio>"
                                            "<video src='/%1.webm' preload=auto></video><script src='/%1.js'></script>")
                                 .arg(name));
        m_server.AddHtml("/warnings", "start",
                         "<script>for (var i = 0; i < 300; i++) alert(i); var c = confirm('ok?');"
                         "document.title = 'end ' + c;</script>");
        m_server.AddHtml("/page", "Page");
    }
    std::string Url(const QString& path) const { return m_server.Url(path).toStdString(); }
    bool Requested(const QString& path, int ms) const
    {
        return SpinUntil([&] { return m_server.Requests().contains(path); }, ms);
    }

    testenv::HttpServer m_server;
};

} // namespace

TEST_F(TogglesE2E, ImageMediaAndScriptFlagsStopTheirRequests)
{
    Start();
    OpenAndWait(Url("/all"));
    for (const char* path : {"/all.png", "/all.mp3", "/all.webm", "/all.js"})
        EXPECT_TRUE(Requested(path, kLoadMs)) << path;

    // Without a tab the commands set the new tabs' flags: nothing but the page.
    m_frame->ExecuteCommand(ID_FILE_CLOSE);
    ASSERT_TRUE(SpinUntil([&] { return !m_frame->ActiveView(); }, kLoadMs));
    for (int id : {ID_DL_IMAGES, ID_DL_SOUNDS, ID_DL_VIDEOS, ID_RUN_SCRIPTS})
        m_frame->ExecuteCommand(id);
    ASSERT_EQ(m_frame->DownloadFlags(), unsigned(DLCTL_NO_SCRIPTS));
    OpenAndWait(Url("/none"));
    for (const char* path : {"/none.png", "/none.mp3", "/none.webm", "/none.js"})
        EXPECT_FALSE(Requested(path, kQuietMs)) << path;

    // Sounds off: the extension tells sound from video.
    m_frame->ExecuteCommand(ID_FILE_CLOSE);
    ASSERT_TRUE(SpinUntil([&] { return !m_frame->ActiveView(); }, kLoadMs));
    m_frame->ExecuteCommand(ID_RUN_SCRIPTS);
    m_frame->ExecuteCommand(ID_DL_VIDEOS);
    OpenAndWait(Url("/sound"));
    EXPECT_TRUE(Requested("/sound.webm", kLoadMs));
    EXPECT_TRUE(Requested("/sound.js", kLoadMs));
    EXPECT_FALSE(Requested("/sound.mp3", kQuietMs));
}

TEST_F(TogglesE2E, OfflineRefusesEveryRequest)
{
    Start();
    OpenAndWait(Url("/all"));
    m_frame->ExecuteCommand(ID_WORK_OFFLINE);
    EXPECT_TRUE(m_frame->windowTitle().endsWith(QStringLiteral(" - [オフライン作業]")));
    m_app->OpenUrl(Url("/page"));
    EXPECT_FALSE(Requested("/page", kQuietMs));
    m_frame->ExecuteCommand(ID_WORK_OFFLINE);
    EXPECT_FALSE(CSystemSettings().Offline());
    EXPECT_FALSE(m_frame->windowTitle().contains(QStringLiteral("オフライン")));
}

TEST_F(TogglesE2E, APageOfWarningsRunsToItsEnd)
{
    Option("KillDlg", 1);
    Start();
    CNimbraView* view = OpenAndWait(Url("/warnings"));
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(SpinUntil([&] { return view->GetLocationName() == "end false"; }, kLoadMs));
}

TEST_F(TogglesE2E, ThirdPartyCookiesAreRefusedAfterTheirItem)
{
    Option("IEVersion", 6);
    CSystemSettings system;
    // Both parties accepted, session cookies not singled out.
    ASSERT_TRUE(system.WriteCookiePreference(0, true, false));
    ASSERT_TRUE(system.WriteCookiePreference(1, true, false));
    const QString other = QStringLiteral("http://localhost:%1").arg(m_server.port());
    for (const char* name : {"a", "b"}) {
        m_server.AddHtml(QStringLiteral("/host-%1").arg(name), name,
                         QStringLiteral("<iframe src='%1/frame-%2'></iframe>").arg(other, name));
        m_server.AddHeaders(QStringLiteral("/host-%1").arg(name), QStringLiteral("Set-Cookie: first%1=1; Max-Age=600\r\n").arg(name).toLatin1());
        m_server.AddHtml(QStringLiteral("/frame-%1").arg(name), "frame");
        m_server.AddHeaders(QStringLiteral("/frame-%1").arg(name),
                            QStringLiteral("Set-Cookie: third%1=1; Max-Age=600; SameSite=None; Secure\r\n").arg(name).toLatin1());
    }
    Start();
    QStringList added;
    QObject::connect(m_app->Profile()->cookieStore(), &QWebEngineCookieStore::cookieAdded, m_frame,
                     [&](const QNetworkCookie& cookie) { added << QString::fromLatin1(cookie.name()); });
    OpenAndWait(Url("/host-a"));
    ASSERT_TRUE(Requested("/frame-a", kLoadMs));
    EXPECT_TRUE(SpinUntil([&] { return added.contains("firsta") && added.contains("thirda"); }, kLoadMs)) << added.join(' ').toStdString();

    m_frame->ExecuteCommand(ID_THIRD_PARTY_COOKIES);
    EXPECT_EQ(system.PrivacyText(1), "IE6-P3PV1/settings: always=r");
    OpenAndWait(Url("/host-b"));
    ASSERT_TRUE(Requested("/frame-b", kLoadMs));
    EXPECT_TRUE(SpinUntil([&] { return added.contains("firstb"); }, kLoadMs));
    EXPECT_FALSE(SpinUntil([&] { return added.contains("thirdb"); }, kQuietMs));
    system.SetCookieChoice(0);
}
