#include "data/tools/ProxySwitch.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebEnginePage>
#include <utility>

namespace nimbra {

namespace {

// What the engine reads of the process's proxy.
struct SProxyState {
    bool system;
    QNetworkProxy::ProxyType type;
    QString host;
    quint16 port;

    bool operator==(const SProxyState&) const = default;
};

SProxyState CurrentState()
{
    const QNetworkProxy proxy = QNetworkProxy::applicationProxy();
    return {QNetworkProxyFactory::usesSystemConfiguration(), proxy.type(), proxy.hostName(), proxy.port()};
}

CProxySwitch::ProbeRunner& Runner()
{
    static CProxySwitch::ProbeRunner runner;
    return runner;
}

} // namespace

CProxySwitch::ProbeRunner CProxySwitch::SetProbeRunner(ProbeRunner runner)
{
    return std::exchange(Runner(), std::move(runner));
}

CProxySwitch::CProxySwitch(std::function<QWebEngineProfile*()> profile, QObject* parent)
    : QObject(parent), m_profile(std::move(profile))
{
}

CProxySwitch::~CProxySwitch()
{
    delete m_pPage;
}

bool CProxySwitch::Apply(const std::function<void()>& set, std::function<void()> done)
{
    const SProxyState before = CurrentState();
    set();
    if (CurrentState() == before)
        return false;
    m_done = std::move(done);
    if (m_bProbing) {
        // The request under way may have read the old proxy: one more.
        m_bAgain = true;
        return true;
    }
    Probe();
    return true;
}

void CProxySwitch::Probe()
{
    m_bProbing = true;
    if (Runner()) {
        Runner()([self = QPointer<CProxySwitch>(this)] {
            if (self)
                self->OnProbeFinished();
        });
        return;
    }
    if (!m_pServer) {
        m_pServer = new QTcpServer(this);
        m_pServer->listen(QHostAddress::LocalHost, 0);
        connect(m_pServer, &QTcpServer::newConnection, this, &CProxySwitch::Answer);
    }
    if (!m_pPage) {
        m_pPage = new QWebEnginePage(m_profile());
        connect(m_pPage, &QWebEnginePage::loadFinished, this, &CProxySwitch::OnProbeFinished);
    }
    m_pPage->load(QUrl(QStringLiteral("http://127.0.0.1:%1/%2").arg(m_pServer->serverPort()).arg(++m_nProbes)));
}

void CProxySwitch::OnProbeFinished()
{
    if (m_bAgain) {
        m_bAgain = false;
        Probe();
        return;
    }
    m_bProbing = false;
    if (std::function<void()> done = std::exchange(m_done, nullptr))
        done();
}

void CProxySwitch::Answer()
{
    while (QTcpSocket* socket = m_pServer->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [socket, request = QByteArray()]() mutable {
            request += socket->readAll();
            if (!request.contains("\r\n\r\n"))
                return;
            // No content: the page keeps no document, so its load ends at once.
            socket->write("HTTP/1.0 204 No Content\r\nContent-Length: 0\r\n"
                          "Cache-Control: no-store\r\nConnection: close\r\n\r\n");
            socket->disconnectFromHost();
        });
    }
}

} // namespace nimbra
