#include "HttpServer.h"
#include "TestEnv.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace testenv {

namespace {
constexpr qsizetype kChunk = 256 * 1024;
}

HttpServer::HttpServer(const QString& host) : m_host(host)
{
    QSemaphore ready;
    QObject::connect(&m_thread, &QThread::started, [this, &ready] {
        m_server = new QTcpServer;
        m_server->listen(QHostAddress(m_host), 0);
        m_port = m_server->serverPort();
        QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] { Serve(); });
        ready.release();
    });
    m_thread.start();
    ready.acquire();
}

HttpServer::~HttpServer()
{
    QMetaObject::invokeMethod(m_server, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void HttpServer::AddPage(const QString& path, const QByteArray& body, int delayMs)
{
    QMutexLocker lock(&m_mutex);
    Page page;
    page.body = body;
    page.delayMs = delayMs;
    m_pages[path] = page;
}

void HttpServer::AddPage(const QString& path, const Page& page)
{
    QMutexLocker lock(&m_mutex);
    m_pages[path] = page;
}

void HttpServer::AddHtml(const QString& path, const QString& title, const QString& bodyHtml, int delayMs)
{
    const QString html = QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title>"
                                        "</head><body>%2</body></html>")
                             .arg(title, bodyHtml);
    AddPage(path, html.toUtf8(), delayMs);
}

void HttpServer::AddHeaders(const QString& path, const QByteArray& headers)
{
    QMutexLocker lock(&m_mutex);
    m_pages[path].headers += headers;
}

void HttpServer::RequireProxyAuthorization(const QByteArray& value)
{
    QMutexLocker lock(&m_mutex);
    m_proxyAuthorization = value;
}

QString HttpServer::Url(const QString& path) const
{
    return QStringLiteral("http://%1:%2%3").arg(m_host).arg(m_port).arg(path);
}

QStringList HttpServer::Requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

std::chrono::steady_clock::time_point HttpServer::LastRequestTime() const
{
    QMutexLocker lock(&m_mutex);
    return m_lastRequestTime;
}

bool HttpServer::WaitForRequest(const QString& path, int timeoutMs) const
{
    // The caller's events go on: an engine in the test process makes its
    // requests from them.
    return SpinUntil([&] { return Requests().contains(path); }, timeoutMs);
}

void HttpServer::Serve()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        auto* buffer = new QByteArray;
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [socket, buffer] {
            delete buffer;
            socket->deleteLater();
        });
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            buffer->append(socket->readAll());
            if (buffer->contains("\r\n\r\n")) {
                Answer(socket, *buffer);
                buffer->clear();
            }
        });
    }
}

void HttpServer::Answer(QTcpSocket* socket, const QByteArray& request)
{
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    const QString path = words.size() > 1 ? QString::fromUtf8(words[1]) : QString();
    // A request to a proxy names the whole URL: it is recorded so and
    // answered by its path.
    const qsizetype slash = path.startsWith(QLatin1String("http://")) ? path.indexOf('/', 7) : 0;
    const QString pagePath = slash < 0 ? QStringLiteral("/") : path.mid(slash);
    Page page;
    bool found = false;
    {
        QMutexLocker lock(&m_mutex);
        m_requests << path;
        m_lastRequestTime = std::chrono::steady_clock::now();
        const QByteArray authorization = "\r\nProxy-Authorization: " + m_proxyAuthorization + "\r\n";
        if (!m_proxyAuthorization.isEmpty() && !request.contains(authorization)) {
            socket->write("HTTP/1.0 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"t\"\r\n"
                          "Content-Length: 0\r\nConnection: close\r\n\r\n");
            socket->disconnectFromHost();
            return;
        }
        auto it = m_pages.find(pagePath);
        if (it != m_pages.end()) {
            page = it->second;
            found = true;
        }
    }
    if (found && !page.authorization.isEmpty()
        && !request.contains(QByteArray("\r\nAuthorization: " + page.authorization + "\r\n"))) {
        socket->write("HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"nimbra test\"\r\n"
                      "Content-Type: text/html\r\nConnection: close\r\n\r\n"
                      "<html><title>401</title><body>denied</body></html>");
        socket->disconnectFromHost();
        return;
    }
    auto send = [socket, page, found] {
        QByteArray reply = found ? "HTTP/1.0 200 OK\r\n" : "HTTP/1.0 404 Not Found\r\n";
        const QByteArray body = found ? page.body : QByteArray("<html><title>404</title></html>");
        reply += "Content-Type: " + page.contentType + "\r\n" + page.headers;
        reply += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        reply += "Connection: close\r\n\r\n";
        if (page.chunkMs <= 0 && body.size() <= kChunk) {
            socket->write(reply + body);
            socket->disconnectFromHost();
            return;
        }
        socket->write(reply);
        auto at = std::make_shared<qsizetype>(0);
        if (page.chunkMs <= 0) {
            // A large body goes out as fast as the socket drains, without
            // a copy of it all in the socket's buffer first.
            auto more = [socket, body, at] {
                if (*at >= body.size())
                    return;
                while (*at < body.size() && socket->bytesToWrite() < kChunk) {
                    socket->write(body.constData() + *at, std::min(kChunk, body.size() - *at));
                    *at += kChunk;
                }
                if (*at >= body.size())
                    socket->disconnectFromHost(); // after what is still buffered
            };
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, more);
            more();
            return;
        }
        auto* timer = new QTimer(socket);
        QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, body, at] {
            socket->write(body.mid(*at, kChunk));
            *at += kChunk;
            if (*at >= body.size()) {
                timer->stop();
                socket->disconnectFromHost();
            }
        });
        timer->start(page.chunkMs);
    };
    if (page.delayMs > 0)
        QTimer::singleShot(page.delayMs, socket, send);
    else
        send();
}

} // namespace testenv
