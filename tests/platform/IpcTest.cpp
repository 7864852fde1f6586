#include "platform/Ipc.h"

#include "TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSemaphore>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <vector>

using namespace nimbra::ipc;
using testenv::SpinUntil;

namespace {

constexpr int kWaitMs = 3000;

// An endpoint living on a thread with its own event loop, since sending
// blocks the calling thread until the reply comes.
class Receiver {
public:
    using Hook = std::function<qint64(const Message&, CWindowEndpoint*)>;

    explicit Receiver(const QString& dataDir, Hook hook = nullptr) : m_hook(std::move(hook))
    {
        m_thread.start();
        m_context.moveToThread(&m_thread);
        Run([&] {
            m_endpoint = new CWindowEndpoint(kBrowserClass, dataDir, [this](const Message& m) {
                {
                    std::lock_guard lock(m_mutex);
                    m_messages.push_back(m);
                }
                return m_hook ? m_hook(m, m_endpoint) : qint64(m.data.size());
            });
        });
        m_listening = Listen();
    }
    ~Receiver()
    {
        Stop();
        m_thread.quit();
        m_thread.wait();
    }

    template <class F>
    void Run(F f) { QMetaObject::invokeMethod(&m_context, f, Qt::BlockingQueuedConnection); }
    bool Listen()
    {
        bool ok = false;
        Run([&] { ok = m_endpoint->Listen(); });
        return ok;
    }
    void Stop() { Run([this] { delete m_endpoint; m_endpoint = nullptr; }); }
    int OpenConnections()
    {
        int n = 0;
        Run([&] { n = m_endpoint ? int(m_endpoint->findChildren<QLocalSocket*>().size()) : 0; });
        return n;
    }
    std::vector<Message> Messages()
    {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    size_t Count() { return Messages().size(); }

    bool m_listening = false;

private:
    Hook m_hook;
    QThread m_thread;
    QObject m_context;
    CWindowEndpoint* m_endpoint = nullptr;
    std::mutex m_mutex;
    std::vector<Message> m_messages;
};

QByteArray Request(quint8 kind, quint32 id, quint64 tag, const QByteArray& data, quint32 length)
{
    QByteArray out("NBM1");
    out.append(char(kind));
    char buf[8];
    qToLittleEndian<quint32>(id, buf);
    out.append(buf, 4);
    qToLittleEndian<quint64>(tag, buf);
    out.append(buf, 8);
    qToLittleEndian<quint32>(length, buf);
    out.append(buf, 4);
    return out + data;
}

QByteArray Request(quint8 kind, const Message& m)
{
    return Request(kind, m.id, m.tag, m.data, quint32(m.data.size()));
}

std::unique_ptr<QLocalSocket> RawConnect(const QString& dir)
{
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(EndpointName(kBrowserClass, dir));
    EXPECT_TRUE(socket->waitForConnected(1000));
    return socket;
}

constexpr char kHoldLockEnv[] = "NIMBRA_TEST_HOLD_LOCK";

} // namespace

TEST(IpcCopyData, TextNeedsTerminatingZero)
{
    const Message m = MakeCopyData(777, "http://example.jp/ページ");
    EXPECT_EQ(m.id, quint32(WM_COPYDATA));
    EXPECT_EQ(m.tag, 777u);
    EXPECT_EQ(CopyDataText(m), "http://example.jp/ページ");

    EXPECT_EQ(CopyDataText(Message{WM_COPYDATA, 0, QByteArray("abc")}), std::nullopt);
    EXPECT_EQ(CopyDataText(Message{WM_COPYDATA, 0, QByteArray()}), std::nullopt);
    EXPECT_EQ(CopyDataText(Message{WM_COPYDATA, 0, QByteArray("ab\0cd\0", 6)}), "ab");
    EXPECT_EQ(CopyDataText(MakeCopyData(0, "")), "");
}

TEST(IpcName, DependsOnClassAndCanonicalDirAndFitsASocketPath)
{
    testenv::TempDir a, b;
    QDir(a.path()).mkpath("sub");
    const QString name = EndpointName(kBrowserClass, a.path());
    // In the user's runtime folder, not in the shared temporary one.
    EXPECT_EQ(QFileInfo(name).path(), QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
    EXPECT_TRUE(QFileInfo(name).fileName().startsWith(QString(kBrowserClass) + "-"));
    EXPECT_EQ(name, EndpointName(kBrowserClass, a.path() + "/sub/../"));
    EXPECT_NE(name, EndpointName(kBrowserClass, b.path()));
    EXPECT_NE(name, EndpointName(kEditorClass, a.path()));
    // QLocalServer binds "<path>XXXXXX/s" before renaming it into place.
    EXPECT_LT((name + "XXXXXX/s").toUtf8().size(), int(sizeof(sockaddr_un::sun_path)));
}

TEST(IpcLock, SecondHolderFailsUntilUnlocked)
{
    testenv::TempDir dir, other;
    CInstanceLock first("NimbraBrowseApp", dir.path());
    CInstanceLock second("NimbraBrowseApp", dir.path());
    CInstanceLock elsewhere("NimbraBrowseApp", other.path());
    ASSERT_TRUE(first.TryLock());
    EXPECT_TRUE(first.IsLocked());
    EXPECT_FALSE(second.TryLock());
    EXPECT_FALSE(second.IsLocked());
    EXPECT_TRUE(elsewhere.TryLock());
    first.Unlock();
    EXPECT_FALSE(first.IsLocked());
    EXPECT_TRUE(second.TryLock());
}

// Run in a child process by the next test: takes the lock and holds it until
// it is killed (or its parent has gone: its input ends).
TEST(IpcLockHolder, DISABLED_HoldLock)
{
    CInstanceLock lock("NimbraBrowseApp", qEnvironmentVariable(kHoldLockEnv));
    ASSERT_TRUE(lock.TryLock());
    printf("locked\n");
    fflush(stdout);
    char c;
    while (::read(STDIN_FILENO, &c, 1) > 0) {
    }
}

TEST(IpcLock, LockOfAKilledProcessIsTakenOver)
{
    testenv::TempDir dir;
    QProcess child;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(kHoldLockEnv, dir.path());
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests", "--gtest_filter=IpcLockHolder.DISABLED_HoldLock"});
    ASSERT_TRUE(child.waitForStarted());
    ASSERT_TRUE(SpinUntil([&] { child.waitForReadyRead(100); return child.readAllStandardOutput().contains("locked"); }, 10000));

    CInstanceLock lock("NimbraBrowseApp", dir.path());
    EXPECT_FALSE(lock.TryLock());
    child.kill(); // SIGKILL: the lock file stays behind
    ASSERT_TRUE(child.waitForFinished());
    EXPECT_TRUE(lock.TryLock());
}

TEST(IpcEndpoint, SendReturnsTheHandlersResultAndPostDelivers)
{
    testenv::TempDir dir;
    Receiver receiver(dir.path(), [](const Message& m, CWindowEndpoint*) {
        return m.tag == 777 ? qint64(-5000000000) : qint64(m.data.size());
    });
    ASSERT_TRUE(receiver.m_listening);
    EXPECT_TRUE(FindWindow(kBrowserClass, dir.path()));
    EXPECT_FALSE(FindWindow(kEditorClass, dir.path()));

    EXPECT_EQ(SendWindowMessage(kBrowserClass, dir.path(), MakeCopyData(777, "a")), -5000000000);
    EXPECT_EQ(SendWindowMessage(kBrowserClass, dir.path(), Message{WM_USER + 5, 42, QByteArray("x\0y", 3)}), 3);
    EXPECT_TRUE(PostWindowMessage(kBrowserClass, dir.path(), Message{kMsgFlashWindow, 1, {}}));
    ASSERT_TRUE(SpinUntil([&] { return receiver.Count() == 3; }, kWaitMs));
    const auto messages = receiver.Messages();
    EXPECT_EQ(CopyDataText(messages[0]), "a");
    EXPECT_EQ(messages[1].id, quint32(WM_USER + 5));
    EXPECT_EQ(messages[1].tag, 42u);
    EXPECT_EQ(messages[1].data, QByteArray("x\0y", 3));
    EXPECT_EQ(messages[2].id, quint32(kMsgFlashWindow));

    // Up to the size limit a message goes through whole; beyond it is refused.
    const std::string big(size_t(kMaxMessageData) - 1, 'u');
    EXPECT_EQ(SendWindowMessage(kBrowserClass, dir.path(), MakeCopyData(0, big)), kMaxMessageData);
    EXPECT_EQ(CopyDataText(receiver.Messages().back()), big);
    EXPECT_EQ(SendWindowMessage(kBrowserClass, dir.path(), MakeCopyData(0, big + "u")), std::nullopt);
    EXPECT_FALSE(PostWindowMessage(kBrowserClass, dir.path(), MakeCopyData(0, big + "u")));
    EXPECT_EQ(receiver.Count(), 4u);
}

TEST(IpcEndpoint, MessagesArriveInOrder)
{
    testenv::TempDir dir;
    Receiver receiver(dir.path());
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(SendWindowMessage(kBrowserClass, dir.path(), MakeCopyData(0, std::to_string(i))));
    // Several messages on one connection, the last split across writes.
    auto socket = RawConnect(dir.path());
    const QByteArray three = Request(1, MakeCopyData(0, "20")) + Request(1, MakeCopyData(0, "21"))
        + Request(0, MakeCopyData(0, "22"));
    socket->write(three.left(30));
    socket->waitForBytesWritten(1000);
    receiver.Run([] { QCoreApplication::processEvents(); }); // the endpoint reads the first part alone
    socket->write(three.mid(30));
    socket->waitForBytesWritten(1000);
    ASSERT_TRUE(SpinUntil([&] { return receiver.Count() == 23; }, kWaitMs));
    const auto messages = receiver.Messages();
    for (int i = 0; i < 23; ++i)
        EXPECT_EQ(CopyDataText(messages[size_t(i)]), std::to_string(i));
}

TEST(IpcEndpoint, GoneOrSlowReceiverFailsInBoundedTime)
{
    testenv::TempDir dir;
    QSemaphore reply;
    Receiver receiver(dir.path(), [&reply](const Message& m, CWindowEndpoint*) {
        if (m.tag == 1)
            reply.tryAcquire(1, 60000); // held until the sender has given up
        return qint64(7);
    });
    EXPECT_EQ(SendWindowMessage(kBrowserClass, dir.path(), Message{WM_USER, 1, {}}, 200), std::nullopt);
    reply.release();
    EXPECT_EQ(SendWindowMessage(kBrowserClass, dir.path(), Message{WM_USER, 2, {}}), 7);

    // Nobody listens: the calls fail at once, not when a long time is over.
    receiver.Stop();
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(FindWindow(kBrowserClass, dir.path()));
    EXPECT_EQ(SendWindowMessage(kBrowserClass, dir.path(), Message{WM_USER, 2, {}}, 60000), std::nullopt);
    EXPECT_FALSE(PostWindowMessage(kBrowserClass, dir.path(), Message{WM_USER, 2, {}}));
    EXPECT_LT(timer.elapsed(), 30000);
}

TEST(IpcEndpoint, MalformedInputIsDroppedWithoutCallingTheHandler)
{
    testenv::TempDir dir;
    Receiver receiver(dir.path());
    const QByteArray bad[] = {
        Request(0, 1, 0, "x", 1).replace(0, 4, "NBM2"), // wrong magic
        Request(2, 1, 0, "x", 1),                        // unknown kind
        Request(0, 1, 0, {}, quint32(kMaxMessageData) + 1),
        Request(0, 1, 0, {}, 0xFFFFFFFFu),
        QByteArray("\x00\xff garbage bytes", 16),
    };
    for (const QByteArray& bytes : bad) {
        auto socket = RawConnect(dir.path());
        socket->write(bytes);
        EXPECT_TRUE(socket->waitForDisconnected(2000)) << bytes.toHex().toStdString();
    }
    {
        auto socket = RawConnect(dir.path());
        socket->write(Request(1, MakeCopyData(0, "cut off")).chopped(2));
        socket->waitForBytesWritten(1000);
        socket->disconnectFromServer();
    }
    EXPECT_EQ(SendWindowMessage(kBrowserClass, dir.path(), MakeCopyData(0, "ok")), 3);
    EXPECT_EQ(receiver.Count(), 1u);
    EXPECT_TRUE(SpinUntil([&] { return receiver.OpenConnections() == 0; }, kWaitMs));
}

TEST(IpcEndpoint, StalledConnectionIsDropped)
{
    testenv::TempDir dir;
    Receiver receiver(dir.path());
    // Started before the connection: its idle time is measured in full.
    QElapsedTimer timer;
    timer.start();
    auto socket = RawConnect(dir.path());
    socket->write(Request(1, MakeCopyData(0, "never ends")).left(10));
    EXPECT_TRUE(socket->waitForDisconnected(30000));
    EXPECT_GT(timer.elapsed(), 3000);
    EXPECT_TRUE(SpinUntil([&] { return receiver.OpenConnections() == 0; }, kWaitMs));
    EXPECT_EQ(receiver.Count(), 0u);
}

TEST(IpcEndpoint, HandlerThatClosesAndRunsAnEventLoopIsSafe)
{
    testenv::TempDir dir;
    // How many senders are done; the handler of message n runs an event
    // loop, as a dialog would, until its sender is among them.
    std::atomic<quint32> gone{0};
    Receiver receiver(dir.path(), [&gone](const Message& m, CWindowEndpoint* endpoint) {
        if (m.tag == 1)
            endpoint->Close();
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &loop, [&, tag = m.tag] {
            if (gone > tag)
                loop.quit();
        });
        check.start(10);
        loop.exec();
        return qint64(1);
    });
    // The client gives up while the handler still runs.
    EXPECT_EQ(SendWindowMessage(kBrowserClass, dir.path(), Message{WM_USER, 0, {}}, 50), std::nullopt);
    gone = 1;
    EXPECT_EQ(SendWindowMessage(kBrowserClass, dir.path(), Message{WM_USER, 1, {}}), std::nullopt);
    gone = 2;
    EXPECT_FALSE(FindWindow(kBrowserClass, dir.path()));
    EXPECT_TRUE(SpinUntil([&] { return receiver.OpenConnections() == 0; }, kWaitMs));
    EXPECT_EQ(receiver.Count(), 2u);
    ASSERT_TRUE(receiver.Listen());
    gone = 3; // this one waits for the answer
    EXPECT_EQ(SendWindowMessage(kBrowserClass, dir.path(), Message{WM_USER, 2, {}}), 1);
}

TEST(IpcEndpoint, ListenRefusesALiveOwnerAndReplacesADeadSocket)
{
    testenv::TempDir dir;
    {
        Receiver receiver(dir.path());
        ASSERT_TRUE(receiver.m_listening);
        CWindowEndpoint second(kBrowserClass, dir.path(), [](const Message&) { return qint64(0); });
        EXPECT_FALSE(second.Listen());
        EXPECT_TRUE(FindWindow(kBrowserClass, dir.path()));
    }

    // A socket file left by a program that died.
    const QByteArray path = QFile::encodeName(EndpointName(kBrowserClass, dir.path()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, path.constData(), size_t(path.size()) + 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(QString::fromLocal8Bit(path)));
    EXPECT_FALSE(FindWindow(kBrowserClass, dir.path()));

    Receiver receiver(dir.path());
    EXPECT_TRUE(receiver.m_listening);
    EXPECT_EQ(SendWindowMessage(kBrowserClass, dir.path(), MakeCopyData(0, "x")), 2);
}
