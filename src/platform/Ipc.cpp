#include "platform/Ipc.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <pwd.h>
#include <sys/un.h>
#include <unistd.h>

// Wire format, all numbers little-endian:
//   request: "NBM1", u8 kind (0 = send, wants a reply; 1 = post), u32 id,
//            u64 tag, u32 length, `length` bytes of data
//   reply:   "NBR1", i64 result
// A connection may carry several requests; they are handled in order.

namespace nimbra::ipc {

namespace {

constexpr char kRequestMagic[] = "NBM1";
constexpr char kReplyMagic[] = "NBR1";
constexpr qsizetype kMagicSize = 4;
constexpr qsizetype kHeaderSize = kMagicSize + 1 + 4 + 8 + 4;
constexpr qsizetype kReplySize = kMagicSize + 8;
constexpr quint8 kKindSend = 0;
constexpr quint8 kKindPost = 1;
constexpr int kIdleMs = 5000;   // a connection without a complete message for this long is dropped
constexpr int kFindMs = 500;

// The login name, reduced to characters that are safe in file and socket names.
QString UserName()
{
    QString name;
    if (const passwd* pw = getpwuid(geteuid()))
        name = QString::fromLocal8Bit(pw->pw_name);
    QString safe;
    for (QChar c : name) {
        if (c.isLetterOrNumber() && c.unicode() < 0x80)
            safe += c;
        else if (c == u'_' || c == u'.' || c == u'-')
            safe += c;
    }
    if (safe.isEmpty())
        safe = QString::number(geteuid());
    return safe.left(32);
}

// The user's private folder for sockets and locks; the temporary folder
// when there is none.
QString RuntimeFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() || !QDir().mkpath(folder) ? QDir::tempPath() : folder;
}

// Short hash of the data directory, so that installs in two folders do not meet.
QString DirHash(const QString& dataDir)
{
    const QFileInfo info(dataDir);
    QString path = info.canonicalFilePath();
    if (path.isEmpty())
        path = QDir::cleanPath(info.absoluteFilePath());
    return QString::fromLatin1(
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex().left(12));
}

QByteArray EncodeRequest(quint8 kind, const Message& message)
{
    QByteArray out;
    out.reserve(kHeaderSize + message.data.size());
    out.append(kRequestMagic, kMagicSize);
    out.append(char(kind));
    char buf[8];
    qToLittleEndian<quint32>(message.id, buf);
    out.append(buf, 4);
    qToLittleEndian<quint64>(message.tag, buf);
    out.append(buf, 8);
    qToLittleEndian<quint32>(quint32(message.data.size()), buf);
    out.append(buf, 4);
    out.append(message.data);
    return out;
}

// Connects to the endpoint; nullptr when nothing answers within `timeoutMs`.
std::unique_ptr<QLocalSocket> Connect(const QString& name, int timeoutMs)
{
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(name);
    if (socket->state() != QLocalSocket::ConnectedState && !socket->waitForConnected(timeoutMs))
        return nullptr;
    return socket;
}

bool Answers(const QString& name)
{
    auto socket = Connect(name, kFindMs);
    if (!socket)
        return false;
    socket->abort();
    return true;
}

// Writes everything before `deadline`.
bool WriteAll(QLocalSocket& socket, const QByteArray& bytes, const QDeadlineTimer& deadline)
{
    if (socket.write(bytes) != bytes.size())
        return false;
    while (socket.bytesToWrite() > 0) {
        if (deadline.hasExpired() || !socket.waitForBytesWritten(int(deadline.remainingTime())))
            return false;
    }
    return true;
}

} // namespace

SDecodedRequest DecodeRequest(QByteArray& buffer)
{
    SDecodedRequest out;
    if (buffer.size() >= kMagicSize && !buffer.startsWith(kRequestMagic))
        return out;
    if (buffer.size() > kMagicSize) {
        const quint8 kind = quint8(buffer[kMagicSize]);
        if (kind != kKindSend && kind != kKindPost)
            return out;
    }
    out.state = SDecodedRequest::Incomplete;
    if (buffer.size() < kHeaderSize)
        return out;
    const char* header = buffer.constData() + kMagicSize;
    const quint32 length = qFromLittleEndian<quint32>(header + 13);
    if (length > quint32(kMaxMessageData)) {
        out.state = SDecodedRequest::Bad;
        return out;
    }
    if (buffer.size() < kHeaderSize + qsizetype(length))
        return out;
    out.state = SDecodedRequest::Complete;
    out.wantsReply = quint8(header[0]) == kKindSend;
    out.message.id = qFromLittleEndian<quint32>(header + 1);
    out.message.tag = qFromLittleEndian<quint64>(header + 5);
    out.message.data = buffer.mid(kHeaderSize, length);
    buffer.remove(0, kHeaderSize + length);
    return out;
}

Message MakeCopyData(quint64 tag, std::string_view text)
{
    Message message;
    message.id = WM_COPYDATA;
    message.tag = tag;
    message.data = QByteArray(text.data(), qsizetype(text.size()));
    message.data.append('\0');
    return message;
}

std::optional<std::string> CopyDataText(const Message& message)
{
    const qsizetype end = message.data.indexOf('\0');
    if (end < 0)
        return std::nullopt;
    return std::string(message.data.constData(), size_t(end));
}

QString EndpointName(std::string_view windowClass, const QString& dataDir)
{
    const QString name = QString::fromUtf8(windowClass.data(), qsizetype(windowClass.size())) + u'-' + UserName()
        + u'-' + DirHash(dataDir);
    // QLocalServer binds "<path>XXXXXX/s" before renaming it into place.
    const QString path = RuntimeFolder() + u'/' + name;
    if (QFile::encodeName(path).size() + 8 < qsizetype(sizeof(sockaddr_un::sun_path)))
        return path;
    return QDir::tempPath() + u'/' + name;
}

// ---------------------------------------------------------------------------

CInstanceLock::CInstanceLock(const QString& name, const QString& dataDir)
{
    m_lock = std::make_unique<QLockFile>(RuntimeFolder() + u'/' + name + u'-' + UserName() + u'-'
                                         + DirHash(dataDir) + u".lock");
    // Never stale by age: only a dead owner makes the lock stale.
    m_lock->setStaleLockTime(0);
}

CInstanceLock::~CInstanceLock() = default;

bool CInstanceLock::TryLock()
{
    return m_lock->isLocked() || m_lock->tryLock(0);
}

void CInstanceLock::Unlock()
{
    m_lock->unlock();
}

bool CInstanceLock::IsLocked() const
{
    return m_lock->isLocked();
}

// ---------------------------------------------------------------------------

CWindowEndpoint::CWindowEndpoint(std::string_view windowClass, const QString& dataDir, Handler handler,
                                 QObject* parent)
    : QObject(parent)
    , m_name(EndpointName(windowClass, dataDir))
    , m_handler(std::move(handler))
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &CWindowEndpoint::OnNewConnection);
}

CWindowEndpoint::~CWindowEndpoint()
{
    Close();
}

bool CWindowEndpoint::Listen()
{
    if (m_server->isListening())
        return true;
    // With access options QLocalServer binds in a private folder and renames the
    // socket over the name, which would take it from a living program without
    // an error. So ask first; a socket file nobody answers on is a dead program's.
    if (Answers(m_name))
        return false;
    QLocalServer::removeServer(m_name);
    return m_server->listen(m_name);
}

void CWindowEndpoint::Close()
{
    m_server->close();
    const auto sockets = m_pending.keys();
    for (QLocalSocket* socket : sockets)
        Drop(socket);
}

bool CWindowEndpoint::IsListening() const
{
    return m_server->isListening();
}

void CWindowEndpoint::OnNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        m_pending.insert(socket, QByteArray());
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        idle->setInterval(kIdleMs);
        connect(idle, &QTimer::timeout, this, [this, socket] { Drop(socket); });
        idle->start();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { OnDisconnected(socket); });
        if (socket->bytesAvailable() > 0)
            OnReadyRead(socket);
    }
}

void CWindowEndpoint::OnReadyRead(QLocalSocket* socket)
{
    auto it = m_pending.find(socket);
    if (it == m_pending.end())
        return;
    it->append(socket->readAll());
    // The handler may run an event loop; data arriving meanwhile is handled
    // by the loop below once it returns, keeping the order.
    if (m_busy.contains(socket))
        return;
    m_busy.insert(socket);

    const QPointer<CWindowEndpoint> self(this);
    const QPointer<QLocalSocket> guard(socket);
    auto* idle = socket->findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    for (;;) {
        it = m_pending.find(socket);
        if (it == m_pending.end())
            return; // dropped while the handler ran
        const SDecodedRequest request = DecodeRequest(*it);
        if (request.state == SDecodedRequest::Bad) {
            Drop(socket);
            return;
        }
        if (request.state == SDecodedRequest::Incomplete)
            break;
        const Message& message = request.message;

        idle->stop();
        const Handler handler = m_handler; // survives the endpoint going away inside it
        const qint64 result = handler(message);
        if (!self)
            return;
        if (!guard || !m_pending.contains(socket))
            return;
        if (request.wantsReply && socket->state() == QLocalSocket::ConnectedState) {
            char reply[kReplySize];
            memcpy(reply, kReplyMagic, kMagicSize);
            qToLittleEndian<qint64>(result, reply + kMagicSize);
            socket->write(reply, kReplySize);
            socket->flush();
        }
        idle->start();
    }
    m_busy.remove(socket);
    if (socket->state() == QLocalSocket::UnconnectedState)
        Drop(socket);
}

void CWindowEndpoint::OnDisconnected(QLocalSocket* socket)
{
    // A busy connection is cleaned up by its handling loop.
    if (m_busy.contains(socket))
        return;
    // Bytes that came with the close: a post is often followed by it at once.
    if (socket->bytesAvailable() > 0) {
        OnReadyRead(socket);
        return;
    }
    Drop(socket);
}

void CWindowEndpoint::Drop(QLocalSocket* socket)
{
    if (!m_pending.remove(socket))
        return;
    m_busy.remove(socket);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

// ---------------------------------------------------------------------------

bool FindWindow(std::string_view windowClass, const QString& dataDir)
{
    return Answers(EndpointName(windowClass, dataDir));
}

std::optional<qint64> SendWindowMessage(std::string_view windowClass, const QString& dataDir,
                                        const Message& message, int timeoutMs)
{
    if (message.data.size() > kMaxMessageData)
        return std::nullopt;
    const QDeadlineTimer deadline(timeoutMs);
    auto socket = Connect(EndpointName(windowClass, dataDir), std::min(timeoutMs, kFindMs));
    if (!socket || !WriteAll(*socket, EncodeRequest(kKindSend, message), deadline))
        return std::nullopt;
    while (socket->bytesAvailable() < kReplySize) {
        if (deadline.hasExpired() || !socket->waitForReadyRead(int(deadline.remainingTime())))
            return std::nullopt;
    }
    const QByteArray reply = socket->read(kReplySize);
    socket->abort();
    if (!reply.startsWith(kReplyMagic))
        return std::nullopt;
    return qFromLittleEndian<qint64>(reply.constData() + kMagicSize);
}

bool PostWindowMessage(std::string_view windowClass, const QString& dataDir, const Message& message)
{
    if (message.data.size() > kMaxMessageData)
        return false;
    auto socket = Connect(EndpointName(windowClass, dataDir), kFindMs);
    if (!socket || !WriteAll(*socket, EncodeRequest(kKindPost, message), QDeadlineTimer(kIdleMs)))
        return false;
    socket->disconnectFromServer();
    return true;
}

} // namespace nimbra::ipc

// Compiled here, not with the folder's other classes: the bookmark editor
// takes this file alone, without what those need (the web engine).
#include "moc_Ipc.cpp"
