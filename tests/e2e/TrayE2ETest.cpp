#include "platform/Ini.h"

#include "BrowserProcess.h"
#include "HttpServer.h"
#include "TestBrowser.h"
#include "TrayHost.h"
#include "XServer.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace nimbra;
using testenv::Browser;
using testenv::SpinUntil;

namespace {

using namespace testenv::xk;

// The real browser on an X server and a session bus of the test's own, with
// a tray host on that bus.
class TrayE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_x.Display().isEmpty());
        m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(m_bus.waitForStarted(10000));
        while (!m_bus.canReadLine() && m_bus.waitForReadyRead(10000)) {
        }
        m_address = QString::fromLatin1(m_bus.readLine().trimmed());
        ASSERT_FALSE(m_address.isEmpty());
        m_tray = std::make_unique<testenv::TrayHost>(m_address);
        ASSERT_TRUE(m_tray->IsConnected());
        ASSERT_TRUE(m_tray->Arrive());

        m_service = "NBTRAY" + std::to_string(QCoreApplication::applicationPid());
        CIniFile ini(m_home.path().toStdString() + "/nimbrab.ini");
        ini.WriteString("Options", "DDEServerName", m_service);
        // Ctrl+Alt+Home: the X server keeps Ctrl+Alt+F1..F12 for itself.
        ini.WriteInt("Options", "HotKey", (0x24 << 16) | 3);
        m_server.AddHtml("/page", "Tray page");
        m_browser.SetEnv("QT_QPA_PLATFORM", "xcb");
        m_browser.SetEnv("DISPLAY", m_x.Display());
        m_browser.SetEnv("DBUS_SESSION_BUS_ADDRESS", m_address);
    }

    void TearDown() override
    {
        m_tray.reset();
        m_bus.terminate();
        m_bus.waitForFinished(10000);
    }

    bool Shown() { return m_window && m_x.IsViewable(m_window); }
    void HotKey() { m_x.PressKeys({kControlL, kAltL, kHome}); }
    // The hot key hides the window, and its tray item comes up.
    bool HideWithHotKey()
    {
        m_tray->ClearItems();
        HotKey();
        return SpinUntil([this] { return !Shown() && !m_tray->Items().isEmpty(); }, 10000);
    }

    int Nbdde(const QStringList& args)
    {
        QProcess nbdde;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_address);
        nbdde.setProcessEnvironment(env);
        nbdde.start(qEnvironmentVariable("NIMBRA_BIN_DIR") + "/nbdde",
                    QStringList{"--service", QString::fromStdString(m_service)} + args);
        nbdde.waitForFinished(20000);
        return nbdde.exitStatus() == QProcess::NormalExit ? nbdde.exitCode() : -1;
    }

    testenv::XServer m_x;
    QProcess m_bus;
    QString m_address;
    std::unique_ptr<testenv::TrayHost> m_tray;
    testenv::HttpServer m_server;
    QTemporaryDir m_home;
    Browser m_browser{m_home.path()};
    std::string m_service;
    unsigned m_window = 0;
};

} // namespace

TEST_F(TrayE2E, HotKeyHidesAndTheTrayTheDDEAndTheHostBringBack)
{
    m_browser.Start({m_server.Url("/page")});
    ASSERT_TRUE(m_server.WaitForRequest("/page", 60000));
    ASSERT_TRUE(SpinUntil([this] { return (m_window = m_x.FindWindow("Tray page")) != 0 && Shown(); }, 60000));

    // The hot key hides the window in the tray and shows it again.
    ASSERT_TRUE(HideWithHotKey());
    HotKey();
    ASSERT_TRUE(SpinUntil([this] { return Shown(); }, 10000));

    // With Num Lock on too; a click on the tray item brings it back.
    m_x.PressKeys({kNumLock});
    ASSERT_TRUE(HideWithHotKey());
    m_x.PressKeys({kNumLock});
    EXPECT_TRUE(m_tray->ActivateItem(m_tray->Items().last()));
    EXPECT_TRUE(SpinUntil([this] { return Shown(); }, 10000));

    // So does the DDE activation.
    ASSERT_TRUE(HideWithHotKey());
    EXPECT_EQ(Nbdde({"request", "WWW_Activate", "0xFFFFFFFF"}), 0);
    EXPECT_TRUE(SpinUntil([this] { return Shown(); }, 10000));

    // And the tray host leaving.
    ASSERT_TRUE(HideWithHotKey());
    m_tray->Leave();
    EXPECT_TRUE(SpinUntil([this] { return Shown(); }, 10000));

    // An exit from the tray ends the program the normal way.
    ASSERT_TRUE(m_tray->Arrive());
    ASSERT_TRUE(HideWithHotKey());
    EXPECT_TRUE(m_browser.Terminate());
    EXPECT_FALSE(CIniFile(m_home.path().toStdString() + "/nimbrab.ini").GetString("Settings", "WindowPos", "").empty());
}
