#pragma once

#include <QByteArray>
#include <QHash>
#include <QLockFile>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QLocalServer;
class QLocalSocket;

// Messages between the programs. Each program's main window listens on a
// local socket named after its window class, the user and the data
// directory; "find the window" is a connect, "send" writes a message and
// waits for the reply, "post" does not wait.
namespace nimbra::ipc {

inline constexpr char kBrowserClass[] = "NimbraBrowserMainClass";
inline constexpr char kEditorClass[] = "NimbraBrowserSubClass";

// Window message numbers, kept where another program sends them.
enum : quint32 {
    WM_CLOSE = 0x0010,
    WM_COPYDATA = 0x004A,
    WM_USER = 0x0400,
    // Calls that Windows makes on another program's window directly.
    kMsgFlashWindow = 0x7F00,    // alert the window (FlashWindow)
    kMsgActivateWindow = 0x7F01, // restore it and bring it to the front
    kMsgHideWindow = 0x7F02,     // hide it (ShowWindow with SW_HIDE)
    kMsgShowWindow = 0x7F03,     // show it again (SW_SHOW)
};

struct Message {
    quint32 id = 0;
    quint64 tag = 0; // dwData of WM_COPYDATA, wParam otherwise
    QByteArray data;
};

// Messages with more data than this are refused.
inline constexpr qsizetype kMaxMessageData = 1 << 20;

// The first request at the front of a connection's bytes. A complete one is
// removed from `buffer`; bytes that cannot start a request (wrong magic or
// kind, more data than kMaxMessageData) make the connection Bad.
struct SDecodedRequest {
    enum EState { Bad, Incomplete, Complete } state = Bad;
    bool wantsReply = false; // sent, not posted
    Message message;
};
SDecodedRequest DecodeRequest(QByteArray& buffer);

// WM_COPYDATA carrying `text` with its terminating zero.
Message MakeCopyData(quint64 tag, std::string_view text);

// The text of a WM_COPYDATA message: the data must hold a terminating zero;
// the text is what stands before the first one. nullopt otherwise.
std::optional<std::string> CopyDataText(const Message& message);

// Socket path for a window class in a data directory, in the user's runtime
// folder (the temporary folder when that path would be too long).
QString EndpointName(std::string_view windowClass, const QString& dataDir);

// The named-mutex stand-in: a lock file per name, user and data directory.
// A lock whose owner has died is stale and is taken over.
class CInstanceLock {
public:
    CInstanceLock(const QString& name, const QString& dataDir);
    ~CInstanceLock();
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;

    // False when another living process holds the lock.
    bool TryLock();
    void Unlock();
    bool IsLocked() const;

private:
    std::unique_ptr<QLockFile> m_lock;
};

// The listening side of a program's main window. The handler runs on the
// thread that owns the endpoint (the user-interface thread) and its result
// is the reply of a sent message.
class CWindowEndpoint : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<qint64(const Message&)>;

    CWindowEndpoint(std::string_view windowClass, const QString& dataDir, Handler handler,
                    QObject* parent = nullptr);
    ~CWindowEndpoint() override;

    // Starts listening; a socket left behind by a dead program is removed.
    bool Listen();
    void Close();
    bool IsListening() const;

private:
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* socket);
    void OnDisconnected(QLocalSocket* socket);
    void Drop(QLocalSocket* socket);

    QString m_name;
    Handler m_handler;
    QLocalServer* m_server = nullptr;
    QHash<QLocalSocket*, QByteArray> m_pending;
    QSet<QLocalSocket*> m_busy; // connections whose messages are being handled
};

// True when the window of that class listens in that data directory.
bool FindWindow(std::string_view windowClass, const QString& dataDir);

// Sends and waits for the reply; nullopt when the window is not there, the
// connection failed or no reply came within the time.
std::optional<qint64> SendWindowMessage(std::string_view windowClass, const QString& dataDir,
                                        const Message& message, int timeoutMs = 10000);

// Delivers without waiting for the message to be handled. False when the
// window is not there.
bool PostWindowMessage(std::string_view windowClass, const QString& dataDir, const Message& message);

} // namespace nimbra::ipc
