#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>

#include "FakeBrowserHost.h"
#include "data/dde/DDECommandClient.h"
#include "data/dde/DDEServer.h"
#include "data/dde/NimbraDDEClient.h"

using namespace nimbra;
using namespace nimbra::ddeml;
using ddetest::CFakeHost;
using ddetest::CRecording;

namespace {

constexpr char kService[] = "NBBUS";
const QString kBusName = QStringLiteral("org.nimbra.dde.NBBUS");

// A second connection to the bus, as another program would have.
class CRawClient {
public:
    explicit CRawClient(const QString& name)
        : m_name(name), m_connection(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name))
    {
    }
    ~CRawClient() { QDBusConnection::disconnectFromBus(m_name); }

    QDBusMessage Call(const QString& method, const QList<QVariant>& arguments)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(kBusName, "/dde", "org.nimbra.dde", method);
        call.setArguments(arguments);
        // The server runs on this thread: keep its events flowing while waiting.
        return m_connection.call(call, QDBus::BlockWithGui, 5000);
    }
    QDBusConnection& Connection() { return m_connection; }

private:
    QString m_name;
    QDBusConnection m_connection;
};

// Runs a program while the event loop (and so the server) keeps going.
struct SRun {
    int exit = -1;
    QByteArray out;
    QByteArray err;
};

SRun RunProgram(const QString& program, const QStringList& args,
                const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    EXPECT_TRUE(process.waitForStarted(5000)) << program.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

QString NbddePath()
{
    const QString dir = qEnvironmentVariableIsSet("NIMBRA_BIN_DIR")
                            ? qEnvironmentVariable("NIMBRA_BIN_DIR")
                            : QFileInfo(QCoreApplication::applicationDirPath() + "/..").absoluteFilePath();
    return QDir(dir).filePath("nbdde");
}

class BusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host.SetTabs(2);
        host.active = 0;
        ASSERT_TRUE(server.Start(kService));
    }
    CFakeHost host;
    CRecording<CNimbraDDEClient> server{host};
};

class CAdviseCatcher : public QObject {
    Q_OBJECT
public Q_SLOTS:
    void OnAdvise(uint conv, const QString& item, uint format, const QByteArray& data)
    {
        received.push_back({conv, item, format, data});
    }

public:
    struct SAdvise {
        uint conv;
        QString item;
        uint format;
        QByteArray data;
    };
    std::vector<SAdvise> received;
};

} // namespace

TEST(DdemlNames, BusNameElementIsValidAndIgnoresCase)
{
    EXPECT_EQ(DdeBusNameElement("NBROWSER"), "NBROWSER");
    EXPECT_EQ(DdeBusNameElement("nbrowser"), "NBROWSER");
    EXPECT_EQ(DdeBusNameElement("my-dde_1"), "MY_2dDDE_5f1");
    EXPECT_EQ(DdeBusNameElement("1a"), "_31A");
    EXPECT_EQ(DdeBusNameElement("\xe3\x81\x82."), "_e3_81_82_2e");
}

TEST_F(BusTest, CommandClientDrivesTheTopicsOverTheBus)
{
    CDDECommandClient client("nbbus"); // service names ignore case
    const CDDECommandClient::SReply info = client.Request("WWW_GetWindowInfo", "2", CF_TEXT);
    EXPECT_EQ(info.exit, CDDECommandClient::kOk);
    EXPECT_EQ(info.data, std::string("\"http://site2/\",\"Page 2\",\"\"") + '\0');

    const CDDECommandClient::SReply list = client.Request("WWW_ListWindows", "", 2);
    EXPECT_EQ(list.exit, CDDECommandClient::kOk);
    EXPECT_EQ(list.data.size(), 499u);

    const CDDECommandClient::SReply open = client.Request("WWW_OpenURL", "\"about:blank\",,0xFFFFFFFF,0x0", CF_TEXT);
    EXPECT_EQ(open.exit, CDDECommandClient::kOk);
    EXPECT_EQ(open.data, "");
    ASSERT_EQ(host.goCalls.size(), 1u);
    EXPECT_EQ(host.goCalls[0].text, "about:blank");

    EXPECT_EQ(client.Request("WWW_GetWindowInfo", "9", CF_TEXT).exit, CDDECommandClient::kFailed);
    EXPECT_EQ(client.Request("WWW_Nope", "1", CF_TEXT).exit, CDDECommandClient::kFailed);
    EXPECT_EQ(client.Execute("WWW_OpenURL", "[open]"), CDDECommandClient::kFailed);
    EXPECT_EQ(client.Poke("WWW_Exit", "x", "y"), CDDECommandClient::kOk);
    EXPECT_EQ(host.closes, 1);
    EXPECT_EQ(CDDECommandClient("ABSENT").Request("System", "Topics", CF_TEXT).exit, CDDECommandClient::kUnreachable);

    std::string out;
    std::string err;
    EXPECT_EQ(CDDECommandClient::Run({"--service", "NBBUS", "topics"}, out, err), 0);
    EXPECT_EQ(out, "System\nWWW_OpenURL\nWWW_GetWindowInfo\nWWW_Activate\nWWW_ListWindows\nWWW_Exit\nWWW_ShowFile\n");
    // Conversations end with each command.
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.Conversations().empty(); }, 5000));
}

TEST_F(BusTest, ConversationsBelongToTheirCaller)
{
    CRawClient owner("dde-owner");
    CRawClient other("dde-other");
    const uint conv = owner.Call("Connect", {QStringLiteral("WWW_GetWindowInfo")}).arguments().value(0).toUInt();
    ASSERT_NE(conv, 0u);
    EXPECT_EQ(owner.Call("Connect", {QStringLiteral("Nope")}).arguments().value(0).toUInt(), 0u);

    QDBusMessage reply = owner.Call("Request", {conv, QStringLiteral("1"), uint(CF_TEXT)});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(reply.arguments().value(0).toBool());
    EXPECT_EQ(reply.arguments().value(1).toByteArray(), QByteArray("\"http://site1/\",\"Page 1\",\"\"", 28));

    // Someone else's conversation, an unknown one and a format beyond 16 bits are not processed.
    EXPECT_FALSE(other.Call("Request", {conv, QStringLiteral("1"), uint(CF_TEXT)}).arguments().value(0).toBool());
    EXPECT_FALSE(other.Call("Disconnect", {conv}).arguments().value(0).toBool());
    EXPECT_FALSE(owner.Call("Request", {conv + 1000, QStringLiteral("1"), uint(CF_TEXT)}).arguments().value(0).toBool());
    EXPECT_FALSE(owner.Call("Request", {conv, QStringLiteral("1"), uint(0x10001)}).arguments().value(0).toBool());
    EXPECT_EQ(owner.Call("Execute", {conv, QByteArray("\0\xff", 2)}).arguments().value(0).toUInt(), DDE_FNOTPROCESSED);

    // A megabyte item arrives whole.
    const uint open = owner.Call("Connect", {QStringLiteral("WWW_OpenURL")}).arguments().value(0).toUInt();
    const QString huge(1 << 20, QLatin1Char('u'));
    reply = owner.Call("Request", {open, huge, uint(CF_TEXT)});
    EXPECT_TRUE(reply.arguments().value(0).toBool());
    EXPECT_TRUE(reply.arguments().value(1).toByteArray().isEmpty());
    ASSERT_EQ(host.goCalls.size(), 1u);
    EXPECT_EQ(host.goCalls[0].text.size(), size_t(1 << 20));

    EXPECT_EQ(server.Conversations().size(), 2u);
    EXPECT_TRUE(owner.Call("Disconnect", {conv}).arguments().value(0).toBool());
    EXPECT_EQ(server.Conversations().size(), 1u);
}

TEST_F(BusTest, ClientLeavingTheBusLeavesNoConversation)
{
    {
        CRawClient client("dde-leaving");
        for (const char* topic : {"System", "WWW_OpenURL"})
            ASSERT_NE(client.Call("Connect", {QString::fromLatin1(topic)}).arguments().value(0).toUInt(), 0u);
        EXPECT_EQ(server.Conversations().size(), 2u);
    } // the connection closes without Disconnect
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.Conversations().empty(); }, 5000));
    EXPECT_TRUE(server.Reported("Disconnect"));
}

TEST_F(BusTest, WildConnectAndOneShotCalls)
{
    CRawClient client("dde-wild");
    QDBusMessage reply = client.Call("WildConnect", {QString(), QString()});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.signature(), "a(ss)");
    reply = client.Call("WildConnect", {QStringLiteral("OTHER"), QString()});
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage);

    reply = client.Call("RequestOnce", {QStringLiteral("System"), QStringLiteral("Topics"), uint(CF_TEXT)});
    EXPECT_TRUE(reply.arguments().value(0).toBool());
    EXPECT_TRUE(reply.arguments().value(1).toByteArray().startsWith("System\tWWW_OpenURL\t"));
    reply = client.Call("ExecuteOnce", {QStringLiteral("WWW_Exit"), QByteArray("x")});
    EXPECT_EQ(reply.arguments().value(0).toUInt(), DDE_FNOTPROCESSED);
    reply = client.Call("PokeOnce", {QStringLiteral("WWW_Exit"), QStringLiteral("a"), uint(CF_TEXT), QByteArray()});
    EXPECT_EQ(reply.arguments().value(0).toUInt(), DDE_FACK);
    EXPECT_EQ(host.closes, 1);
    reply = client.Call("RequestOnce", {QStringLiteral("Nope"), QStringLiteral("Topics"), uint(CF_TEXT)});
    EXPECT_FALSE(reply.arguments().value(0).toBool());
    EXPECT_TRUE(server.Conversations().empty());
}

TEST(DdeBusAdvise, PokeFromAClientAdvisesTheLinkedItem)
{
    class CClock : public CDDETopic {
    public:
        CClock() : CDDETopic("Clock") { AddItem(&time); }
        CDDEStringItem time{"Time"};
    } clock;
    CDDEServer server;
    ASSERT_TRUE(server.Create(kService));
    server.AddTopic(&clock);

    CRawClient client("dde-advise");
    CAdviseCatcher catcher;
    ASSERT_TRUE(client.Connection().connect(kBusName, "/dde", "org.nimbra.dde", "AdviseData", &catcher,
                                            SLOT(OnAdvise(uint, QString, uint, QByteArray))));
    const uint conv = client.Call("Connect", {QStringLiteral("Clock")}).arguments().value(0).toUInt();
    ASSERT_NE(conv, 0u);
    // Another client on the same topic, listening too, but without a link.
    CRawClient bystander("dde-bystander");
    CAdviseCatcher overheard;
    ASSERT_TRUE(bystander.Connection().connect(kBusName, "/dde", "org.nimbra.dde", "AdviseData", &overheard,
                                               SLOT(OnAdvise(uint, QString, uint, QByteArray))));
    ASSERT_NE(bystander.Call("Connect", {QStringLiteral("Clock")}).arguments().value(0).toUInt(), 0u);
    EXPECT_TRUE(client.Call("AdviseStart", {conv, QStringLiteral("time"), uint(CF_TEXT)}).arguments().value(0).toBool());
    EXPECT_FALSE(client.Call("AdviseStart", {conv, QStringLiteral("Nope"), uint(CF_TEXT)}).arguments().value(0).toBool());

    EXPECT_EQ(client.Call("Poke", {conv, QStringLiteral("Time"), uint(CF_TEXT), QByteArray("12:00", 5)}).arguments().value(0).toUInt(),
              DDE_FACK);
    EXPECT_EQ(clock.time.GetValue(), "12:00");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !catcher.received.empty(); }, 5000));
    EXPECT_EQ(catcher.received[0].conv, conv);
    EXPECT_EQ(catcher.received[0].data, QByteArray("12:00", 6));

    clock.time.SetValue("13:00");
    ASSERT_TRUE(QTest::qWaitFor([&] { return catcher.received.size() == 2; }, 5000));
    EXPECT_EQ(catcher.received[1].data, QByteArray("13:00", 6));

    EXPECT_TRUE(client.Call("AdviseStop", {conv, QStringLiteral("Time"), uint(CF_TEXT)}).arguments().value(0).toBool());
    EXPECT_FALSE(client.Call("AdviseStop", {conv, QStringLiteral("Time"), uint(CF_TEXT)}).arguments().value(0).toBool());
    // A round trip later, anything sent to the bystander has arrived.
    bystander.Call("WildConnect", {QString(), QString()});
    EXPECT_TRUE(overheard.received.empty());
}

TEST_F(BusTest, ConversationsPerClientAreCappedAndFreedWhenItLeaves)
{
    {
        CRawClient greedy("dde-greedy");
        std::vector<uint> convs;
        for (int i = 0; i < kMaxConversationsPerClient; ++i)
            convs.push_back(greedy.Call("Connect", {QStringLiteral("System")}).arguments().value(0).toUInt());
        EXPECT_EQ(std::count(convs.begin(), convs.end(), 0u), 0);
        const QDBusMessage refused = greedy.Call("Connect", {QStringLiteral("System")});
        EXPECT_EQ(refused.type(), QDBusMessage::ErrorMessage);
        EXPECT_EQ(refused.errorName(), kDdeErrorTooMany);
        EXPECT_EQ(greedy.Call("RequestOnce", {QStringLiteral("System"), QStringLiteral("Topics"), uint(CF_TEXT)}).type(),
                  QDBusMessage::ErrorMessage);
        // Other clients are not affected; a freed place can be taken again.
        EXPECT_NE(CRawClient("dde-modest").Call("Connect", {QStringLiteral("System")}).arguments().value(0).toUInt(), 0u);
        EXPECT_TRUE(greedy.Call("Disconnect", {convs[0]}).arguments().value(0).toBool());
        EXPECT_NE(greedy.Call("Connect", {QStringLiteral("System")}).arguments().value(0).toUInt(), 0u);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.Conversations().empty(); }, 5000));
}

TEST_F(BusTest, GdbusCanCallTheService)
{
    const QString gdbus = QStandardPaths::findExecutable("gdbus");
    if (gdbus.isEmpty())
        GTEST_SKIP() << "gdbus is not installed";
    const SRun run = RunProgram(gdbus, {"call", "--session", "--dest", kBusName, "--object-path", "/dde", "--method",
                                        "org.nimbra.dde.RequestOnce", "WWW_GetWindowInfo", "1", "1"});
    EXPECT_EQ(run.exit, 0) << run.err.toStdString();
    // gdbus shows the reply as a byte string: (true, b'\"http://site1/\",\"Page 1\",\"\"')
    EXPECT_TRUE(run.out.startsWith("(true, b'")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("http://site1/") && run.out.contains("Page 1")) << run.out.toStdString();

    const SRun introspect = RunProgram(gdbus, {"introspect", "--session", "--dest", kBusName, "--object-path", "/dde"});
    EXPECT_TRUE(introspect.out.contains("interface org.nimbra.dde")) << introspect.out.toStdString();
}

TEST_F(BusTest, NbddeExitCodes)
{
    const QString nbdde = NbddePath();
    ASSERT_TRUE(QFileInfo(nbdde).isExecutable()) << "nbdde is not built";
    SRun run = RunProgram(nbdde, {"--service", kService, "request", "WWW_GetWindowInfo", "0xffffffff"});
    EXPECT_EQ(run.exit, 0);
    EXPECT_EQ(run.out, "\"http://site1/\",\"Page 1\",\"\"\n");

    run = RunProgram(nbdde, {"--service", kService, "request", "WWW_ListWindows", "x", "--format", "2"});
    EXPECT_EQ(run.exit, 0);
    EXPECT_TRUE(run.out.startsWith("01 00 00 00 02 00 00 00 00 00 00 00 00 00 00 00\n")) << run.out.toStdString();
    EXPECT_EQ(run.out.count('\n'), 32); // 499 bytes, 16 to a line

    EXPECT_EQ(RunProgram(nbdde, {"--service", kService, "request", "WWW_GetWindowInfo", "5"}).exit, 1);
    EXPECT_EQ(RunProgram(nbdde, {"--service", kService, "execute", "WWW_OpenURL", "x"}).exit, 1);
    EXPECT_EQ(RunProgram(nbdde, {"--service", kService, "poke", "WWW_Exit", "a", "b"}).exit, 0);
    EXPECT_EQ(host.closes, 1);
    EXPECT_EQ(RunProgram(nbdde, {"--service", "NOBODY", "topics"}).exit, 2);
    EXPECT_EQ(RunProgram(nbdde, {"request", "WWW_OpenURL"}).exit, CDDECommandClient::kUsage);

    QProcessEnvironment noBus = QProcessEnvironment::systemEnvironment();
    noBus.remove("DBUS_SESSION_BUS_ADDRESS");
    noBus.remove("DISPLAY");
    EXPECT_EQ(RunProgram(nbdde, {"--service", kService, "topics"}, noBus).exit, 2);
}

#include "DDEBusTest.moc"
