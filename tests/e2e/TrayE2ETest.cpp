#include "platform/Ini.h"

#include "BrowserProcess.h"
#include "HttpServer.h"
#include "TrayHost.h"
#include "XServer.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace nimbra;
using testenv::Browser;

namespace {

constexpr unsigned kControlL = 0xffe3;
constexpr unsigned kAltL = 0xffe9;
constexpr unsigned kNumLock = 0xff7f;
constexpr unsigned kF9 = 0xffc6;

template <typename Pred>
bool SpinUntil(Pred done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

// The real browser on an X server and a session bus of the test's own, with
// a tray host on that bus.
class TrayE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_x.Display().isEmpty());
        m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(m_bus.waitForStarted(10000));
        QElapsedTimer timer;
        timer.start();
        while (!m_bus.canReadLine() && timer.elapsed() < 10000)
            m_bus.waitForReadyRead(100);
        m_address = QString::fromLatin1(m_bus.readLine().trimmed());
        ASSERT_FALSE(m_address.isEmpty());
        m_connection = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(m_address, "tray-host"));
        ASSERT_TRUE(m_connection->isConnected());
        m_watcher = std::make_unique<testenv::StatusNotifierWatcher>(*m_connection);
        ASSERT_TRUE(m_watcher->Arrive());

        m_service = "NBTRAY" + std::to_string(QCoreApplication::applicationPid());
        CIniFile ini(m_home.path().toStdString() + "/nimbrab.ini");
        ini.WriteString("Options", "DDEServerName", m_service);
        ini.WriteInt("Options", "HotKey", (0x78 << 16) | 3);
        m_server.AddHtml("/page", "Tray page");
        m_browser.SetEnv("QT_QPA_PLATFORM", "xcb");
        m_browser.SetEnv("DISPLAY", m_x.Display());
        m_browser.SetEnv("DBUS_SESSION_BUS_ADDRESS", m_address);
    }

    void TearDown() override
    {
        m_watcher.reset();
        m_connection.reset();
        QDBusConnection::disconnectFromBus("tray-host");
        m_bus.terminate();
        m_bus.waitForFinished(10000);
    }

    bool Shown() { return m_window && m_x.IsViewable(m_window); }
    void HotKey() { m_x.PressKeys({kControlL, kAltL, kF9}); }

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
    std::unique_ptr<QDBusConnection> m_connection;
    std::unique_ptr<testenv::StatusNotifierWatcher> m_watcher;
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
    HotKey();
    ASSERT_TRUE(SpinUntil([this] { return !Shown(); }, 10000));
    ASSERT_TRUE(SpinUntil([this] { return !m_watcher->RegisteredStatusNotifierItems().isEmpty(); }, 10000));
    HotKey();
    ASSERT_TRUE(SpinUntil([this] { return Shown(); }, 10000));

    // With Num Lock on too.
    m_x.PressKeys({kNumLock});
    HotKey();
    EXPECT_TRUE(SpinUntil([this] { return !Shown(); }, 10000));
    m_x.PressKeys({kNumLock});

    // A click on the tray item brings it back.
    ASSERT_TRUE(SpinUntil([this] { return !m_watcher->RegisteredStatusNotifierItems().isEmpty(); }, 10000));
    EXPECT_TRUE(m_watcher->ActivateItem(m_watcher->RegisteredStatusNotifierItems().last()));
    EXPECT_TRUE(SpinUntil([this] { return Shown(); }, 10000));

    // So does the DDE activation.
    HotKey();
    ASSERT_TRUE(SpinUntil([this] { return !Shown(); }, 10000));
    EXPECT_EQ(Nbdde({"request", "WWW_Activate", "0xFFFFFFFF"}), 0);
    EXPECT_TRUE(SpinUntil([this] { return Shown(); }, 10000));

    // And the tray host leaving.
    HotKey();
    ASSERT_TRUE(SpinUntil([this] { return !Shown(); }, 10000));
    m_watcher->Leave();
    EXPECT_TRUE(SpinUntil([this] { return Shown(); }, 10000));

    // An exit from the tray ends the program the normal way.
    ASSERT_TRUE(m_watcher->Arrive());
    HotKey();
    ASSERT_TRUE(SpinUntil([this] { return !Shown(); }, 10000));
    EXPECT_TRUE(m_browser.Terminate());
    EXPECT_FALSE(CIniFile(m_home.path().toStdString() + "/nimbrab.ini").GetString("Settings", "WindowPos", "").empty());
}
