// The bare engine for comparison with proxy_switch_program: one
// QWebEngineView with one page; each switch sets the process's proxy, sends
// a throw-away request from a hidden page to a loopback server (answered
// "204 No Content") and, when that has finished, reloads the view:
//   bare_proxy_switch_program [N]
#include "BenchSetup.h"
#include "EngineArgs.h"
#include "ProxySwitchTimer.h"

#include <QApplication>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebEnginePage>
#include <QWebEngineView>

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    benchutil::PrepareBareEngine();
    testenv::ProxiedTestArgs arguments(argc, argv);
    QApplication application(arguments.argc(), arguments.argv());
    benchutil::ProxySwitchTimer timer;
    QTcpServer probeServer;
    probeServer.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&probeServer, &QTcpServer::newConnection, [&probeServer] {
        while (QTcpSocket* socket = probeServer.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                if (socket->readAll().endsWith("\r\n\r\n")) {
                    socket->write("HTTP/1.0 204 No Content\r\nConnection: close\r\n\r\n");
                    socket->disconnectFromHost();
                }
            });
        }
    });

    QNetworkProxyFactory::setUseSystemConfiguration(false);
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    QWebEngineView view;
    view.resize(1024, 768);
    view.show();
    int loads = 0;
    QObject::connect(&view, &QWebEngineView::loadFinished, [&loads] { ++loads; });
    QWebEnginePage probe(view.page()->profile());
    QObject::connect(&probe, &QWebEnginePage::loadFinished, &view, [&view] { view.reload(); });
    int probes = 0;
    const auto setAndProbe = [&](const QNetworkProxy& proxy) {
        QNetworkProxy::setApplicationProxy(proxy);
        probe.load(QUrl(QStringLiteral("http://127.0.0.1:%1/%2").arg(probeServer.serverPort()).arg(++probes)));
    };
    view.load(QUrl(QString::fromStdString(timer.PageUrl())));
    return timer.Run(
        rounds, [&] { setAndProbe(QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", timer.ProxyPort())); },
        [&] { setAndProbe(QNetworkProxy(QNetworkProxy::NoProxy)); }, [&loads] { return loads; });
}
