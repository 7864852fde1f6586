#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>
#include <chrono>
#include <functional>
#include <map>

class QTcpServer;
class QTcpSocket;

namespace testenv {

// A small HTTP/1.0 server on 127.0.0.1 (or another loopback address) running on a thread of its own, so
// tests may block the main thread (waiting for a process) while it serves.
// It also answers requests in proxy form ("GET http://host/path"), so it can
// stand for a proxy that records what passes through it.
class HttpServer {
public:
    struct Page {
        QByteArray body;
        QByteArray contentType = "text/html; charset=utf-8";
        int delayMs = 0; // wait before answering (slow pages)
        QByteArray headers; // more header lines, each ending in CR LF
        int chunkMs = 0;    // the body in 256 KB pieces this far apart
        QByteArray authorization; // "Basic ..." the page asks for (401 without)
    };

    // Listens on `host`, an address of the loopback range.
    explicit HttpServer(const QString& host = QStringLiteral("127.0.0.1"));
    ~HttpServer();

    // Serves `body` at `path` ("/a.html").
    void AddPage(const QString& path, const QByteArray& body, int delayMs = 0);
    void AddPage(const QString& path, const Page& page);
    // A page titled `title` with `bodyHtml` inside <body>.
    void AddHtml(const QString& path, const QString& title, const QString& bodyHtml = {}, int delayMs = 0);

    // Sends these header lines ("Set-Cookie: a=1\r\n") with the page at `path`.
    void AddHeaders(const QString& path, const QByteArray& headers);

    // As a proxy: requests without this "Proxy-Authorization" value
    // ("Basic ...") get 407, the proxy asking for a password.
    void RequireProxyAuthorization(const QByteArray& value);

    quint16 port() const { return m_port; }
    QString Url(const QString& path) const;

    // Paths requested so far, in order (whole URLs of proxy requests).
    QStringList Requests() const;
    bool WaitForRequest(const QString& path, int timeoutMs) const;
    // When the last request arrived (steady clock).
    std::chrono::steady_clock::time_point LastRequestTime() const;

private:
    void Serve();
    void Answer(QTcpSocket* socket, const QByteArray& request);

    QThread m_thread;
    QTcpServer* m_server = nullptr;
    QString m_host;
    quint16 m_port = 0;
    mutable QMutex m_mutex;
    std::map<QString, Page> m_pages;
    QStringList m_requests;
    std::chrono::steady_clock::time_point m_lastRequestTime;
    QByteArray m_proxyAuthorization;
};

} // namespace testenv
