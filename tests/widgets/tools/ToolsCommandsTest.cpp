#include "widgets/tools/ToolsCommands.h"

#include "widgets/bars/FlatToolBar.h"

#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "ui/MenuResource.h"
#include "platform/MessageBox.h"
#include "widgets/tools/ProxyDlg.h"
#include "data/tools/ProxySwitch.h"

#include "TestBrowser.h"

#include <QCheckBox>
#include <QCursor>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QNetworkProxy>
#include <QTest>
#include <QTimer>

using namespace nimbra;
using testenv::ReadFile;
using testenv::SpinUntil;
using testenv::WriteFile;

namespace {

const QString kFailedMessage = QStringLiteral("プロキシの設定に失敗しました。\n\nダイレクト接続に切り替えます。");
const QString kRestartMessage = QStringLiteral("この機能はNimbra Browserの再起動をしないと\n有効になりません。");

class ProxyCommandsTest : public testenv::BrowserTest {
protected:
    // Entries "name|server" after the options text.
    void WriteProxyIni(const std::string& options, const std::vector<std::string>& entries)
    {
        std::string text = "[ProxyOptions]\r\n" + options + "\r\n";
        for (size_t i = 0; i < entries.size(); ++i) {
            const size_t bar = entries[i].find('|');
            text += "[Proxy_" + std::to_string(i) + "]\r\nProxyName=" + entries[i].substr(0, bar) +
                    "\r\nProxyServer=" + entries[i].substr(bar + 1) + "\r\n";
        }
        WriteFile(File("proxy.ini"), text);
    }
    QMenu* Menu() const { return FindPopup(m_frame->MainMenu(), {4, 6}); }
    bool Checked(int id) const { return m_frame->Router().Query(id).checked.value_or(false); }
    // Runs the dialog through `drive`, then presses OK.
    void RunDialog(const std::function<void(CProxyDlg&)>& drive)
    {
        testenv::HandlerGuard driver(SetProxyDialogDriver, [drive](QDialog& dialog) {
            auto& proxy = dynamic_cast<CProxyDlg&>(dialog);
            drive(proxy);
            proxy.OnOk();
            return dialog.result();
        });
        m_frame->ExecuteCommand(ID_PROXY_SETTINGS);
    }

    std::vector<QString> m_messages;
    testenv::HandlerGuard<std::function<void(const QString&)>> m_messageGuard{
        SetMessageHandler, [this](const QString& text) { m_messages.push_back(text); }};
    testenv::HandlerGuard<CProxySwitch::ProbeRunner> m_probeGuard{
        CProxySwitch::SetProbeRunner, [](std::function<void()> finished) { QTimer::singleShot(0, finished); }};
};

} // namespace

TEST_F(ProxyCommandsTest, StartupAppliesTheFileAndExitWritesIt)
{
    WriteProxyIni("ProxyEnable=4", {"A|127.0.0.1:3128"});
    Start();
    EXPECT_EQ(m_messages, std::vector<QString>{kFailedMessage}) << "mode 4 without an index";
    EXPECT_EQ(m_frame->m_nProxyMode, 2);
    EXPECT_EQ(QNetworkProxy::applicationProxy().type(), QNetworkProxy::NoProxy);
    EXPECT_TRUE(Checked(ID_PROXY_DIRECT));

    m_frame->ExecuteCommand(ID_PROXY_FIRST);
    m_frame->close();
    const std::string file = ReadFile(File("proxy.ini"));
    EXPECT_NE(file.find("ProxyIndex=0\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("ProxyEnable=4\r\n"), std::string::npos) << file;
}

TEST_F(ProxyCommandsTest, SwitchingSetsTheProxyChecksAndReloads)
{
    WriteProxyIni("", {"A&B|127.0.0.1:3128", "ftp only|ftp=f:21", "bad port|socks=s:99999", "socks|socks=s"});
    Start();
    m_app->OpenUrl("http://a.test/");
    const auto refreshes = [this] { return Fake(m_frame->ActiveView())->refreshes.size(); };
    ASSERT_EQ(Menu()->actions().size(), 6 + 4);
    EXPECT_EQ(Menu()->actions()[6]->text(), "&1 A&&B");
    EXPECT_TRUE(Checked(ID_PROXY_SYSTEM));

    m_frame->ExecuteCommand(ID_PROXY_FIRST);
    EXPECT_EQ(QNetworkProxy::applicationProxy(), QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", 3128));
    EXPECT_TRUE(SpinUntil([&] { return refreshes() == 1; }, 5000)) << "the active tab reloads";
    EXPECT_TRUE(Checked(ID_PROXY_FIRST));
    EXPECT_FALSE(Checked(ID_PROXY_DIRECT) || Checked(ID_PROXY_SYSTEM) || Checked(ID_PROXY_FIRST + 3));

    // Server texts the engine cannot use connect directly, with the message.
    for (int id : {ID_PROXY_FIRST + 1, ID_PROXY_FIRST + 2}) {
        m_messages.clear();
        m_frame->ExecuteCommand(ID_PROXY_FIRST);
        m_frame->ExecuteCommand(id);
        EXPECT_EQ(m_messages, std::vector<QString>{kFailedMessage}) << id;
        EXPECT_EQ(m_frame->m_nProxyMode, 2);
        EXPECT_EQ(QNetworkProxy::applicationProxy().type(), QNetworkProxy::NoProxy);
    }

    m_frame->ExecuteCommand(ID_PROXY_FIRST + 3);
    EXPECT_EQ(QNetworkProxy::applicationProxy(), QNetworkProxy(QNetworkProxy::Socks5Proxy, "s", 1080));
    m_frame->ExecuteCommand(ID_PROXY_DIRECT);
    EXPECT_EQ(m_frame->m_nProxyIndex, 3) << "direct keeps the index";
    EXPECT_TRUE(Checked(ID_PROXY_DIRECT));
    EXPECT_FALSE(Checked(ID_PROXY_FIRST + 3)) << "no proxy checked beside direct";

    // The toolbar button drops the submenu below itself, wherever the pointer is.
    CFlatToolBar* bar = FlatToolBarOf(*m_frame);
    ASSERT_NE(bar, nullptr);
    bar->SetLayout({ID_BACK, ID_PROXY_BUTTON});
    QToolButton* button = bar->FindButton(ID_PROXY_BUTTON);
    ASSERT_TRUE(button && button->isVisible());
    QCursor::setPos(m_frame->mapToGlobal(m_frame->rect().center()));
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(Menu()->isVisible());
    EXPECT_EQ(Menu()->pos(), button->mapToGlobal(QPoint(0, button->height())));
    Menu()->hide();

    m_messages.clear();
    m_frame->ExecuteCommand(ID_PROXY_SYSTEM);
    m_frame->ExecuteCommand(ID_PROXY_SYSTEM);
    EXPECT_EQ(m_messages, std::vector<QString>(2, kRestartMessage));
    EXPECT_EQ(m_frame->m_nProxyIndex, -1);
    EXPECT_TRUE(Checked(ID_PROXY_SYSTEM));
}

TEST_F(ProxyCommandsTest, ASwitchWhileTheProbeRunsProbesOnceMoreAndReloadsOnce)
{
    WriteProxyIni("", {"A|127.0.0.1:3128", "B|127.0.0.1:3129"});
    Start();
    m_app->OpenUrl("http://a.test/");
    const auto refreshes = [this] { return Fake(m_frame->ActiveView())->refreshes.size(); };
    // The engine's requests stay under way until the test ends them.
    std::vector<std::function<void()>> probes;
    testenv::HandlerGuard held(CProxySwitch::SetProbeRunner,
                               [&probes](std::function<void()> finished) { probes.push_back(std::move(finished)); });

    m_frame->ExecuteCommand(ID_PROXY_FIRST);
    ASSERT_EQ(probes.size(), 1u);
    // The request under way may still read A (B differs in its port
    // alone): another one follows it.
    m_frame->ExecuteCommand(ID_PROXY_FIRST + 1);
    EXPECT_EQ(probes.size(), 1u) << "one request at a time";
    probes[0]();
    ASSERT_EQ(probes.size(), 2u);
    // And so on, however many switches come meanwhile.
    m_frame->ExecuteCommand(ID_PROXY_SYSTEM);
    m_frame->ExecuteCommand(ID_PROXY_DIRECT);
    m_frame->ExecuteCommand(ID_PROXY_DIRECT); // no change: nothing to wait for
    EXPECT_EQ(refreshes(), 0u) << "reloaded before the engine read the last proxy";
    probes[1]();
    ASSERT_EQ(probes.size(), 3u);
    probes[2]();
    EXPECT_EQ(probes.size(), 3u);
    EXPECT_EQ(refreshes(), 1u);
    EXPECT_EQ(QNetworkProxy::applicationProxy().type(), QNetworkProxy::NoProxy);

    // No change at all: no request, no reload.
    m_frame->ExecuteCommand(ID_PROXY_DIRECT);
    EXPECT_EQ(probes.size(), 3u);
    // A request that ends after the frame has gone finds nothing to reload.
    m_frame->ExecuteCommand(ID_PROXY_FIRST);
    ASSERT_EQ(probes.size(), 4u);
    m_frame->close();
    m_app.reset();
    probes[3]();
}

TEST_F(ProxyCommandsTest, MenuTakesTheFirst256DialogTakesAll)
{
    std::vector<std::string> entries;
    for (int i = 0; i < 300; ++i)
        entries.push_back("p" + std::to_string(i) + "|h:" + std::to_string(i + 1));
    WriteProxyIni("", entries);
    Start();
    EXPECT_EQ(Menu()->actions().size(), 6 + 256);
    EXPECT_EQ(Menu()->actions().back()->text(), "&256 p255");
    int rows = 0;
    testenv::HandlerGuard driver(SetProxyDialogDriver, [&rows](QDialog& dialog) {
        rows = dynamic_cast<CProxyDlg&>(dialog).ListBox()->count();
        return int(QDialog::Rejected);
    });
    m_frame->ExecuteCommand(ID_PROXY_SETTINGS);
    EXPECT_EQ(rows, 300);
}

TEST_F(ProxyCommandsTest, DialogKeepsTheSwitchAndFollowsTheEntry)
{
    WriteProxyIni("ProxyEnable=1", {"A|a:1", "B|b:2", "C|http=c:3;socks=s:9"});
    Start();
    m_frame->ExecuteCommand(ID_PROXY_FIRST + 1);
    RunDialog([](CProxyDlg& dialog) {
        dialog.ListBox()->setCurrentRow(1);
        dialog.OnMove(-1);
        // Same for all copies HTTP into Secure, FTP and Gopher.
        dialog.ListBox()->setCurrentRow(2);
        dialog.findChild<QCheckBox*>()->click();
        const QList<QLineEdit*> edits = dialog.findChildren<QLineEdit*>(); // title, then host and port
        EXPECT_EQ(edits[7]->text(), "c") << "Gopher";
        EXPECT_EQ(edits[8]->text(), "3");
        EXPECT_EQ(edits[9]->text(), "s") << "SOCKS";
    });
    const CProxyFile file(File("proxy.ini"));
    EXPECT_EQ(file.Index(), 0);
    EXPECT_EQ(file.Mode(), 4);
    EXPECT_EQ(file.Name(0), "B");
    EXPECT_EQ(file.Server(2), "c:3");
    EXPECT_EQ(m_frame->m_nProxyIndex, 0);
    EXPECT_EQ(Menu()->actions()[6]->text(), "&1 B");
    EXPECT_TRUE(Checked(ID_PROXY_FIRST));
    EXPECT_TRUE(m_messages.empty());

    // A copy of the current entry goes before it.
    RunDialog([](CProxyDlg& dialog) {
        dialog.ListBox()->setCurrentRow(0);
        dialog.OnAdd();
    });
    EXPECT_EQ(CProxyFile(File("proxy.ini")).Index(), 1);
    EXPECT_EQ(CProxyFile(File("proxy.ini")).Name(0), "B");
    EXPECT_EQ(m_frame->m_nProxyIndex, 1);
    EXPECT_TRUE(Checked(ID_PROXY_FIRST + 1));
    EXPECT_TRUE(m_messages.empty());

    RunDialog([](CProxyDlg& dialog) {
        dialog.ListBox()->setCurrentRow(1);
        dialog.OnRemove();
    });
    EXPECT_EQ(m_messages, std::vector<QString>{kFailedMessage}) << "the current entry was removed";
    EXPECT_EQ(m_frame->m_nProxyMode, 2);
    EXPECT_EQ(CProxyFile(File("proxy.ini")).Index(), -1);
    EXPECT_EQ(Menu()->actions().size(), 6 + 3);
}
