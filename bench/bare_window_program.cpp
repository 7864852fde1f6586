// The bare engine as a black box: a window with one QWebEngineView per URL,
// in tabs, whose caption is the current tab's title, running until it is
// closed.
//   bare_window_program [--storage DIR] [--instance NAME] URL...
// Without --storage the profile is off the record; with it, a persistent
// profile in DIR (a fresh folder gives a cold start). With --instance, a
// start that finds a running program of that name hands it its URLs (each
// a new tab) and ends, as a browser's second start does; the running one
// then also takes Ctrl+Tab (next tab) and Ctrl+Shift+W (close every tab,
// and about 3 s later give the C library's freed memory back, as the
// browser does), so that the 200-tab bench can treat it as a browser.
#include "BenchSetup.h"

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <cstdio>
#include <cstring>
#include <malloc.h>

int main(int argc, char** argv)
{
    const char* storage = nullptr;
    const char* instance = nullptr;
    int first = 1;
    for (;;) {
        if (first + 2 < argc && std::strcmp(argv[first], "--storage") == 0)
            storage = argv[first + 1];
        else if (first + 2 < argc && std::strcmp(argv[first], "--instance") == 0)
            instance = argv[first + 1];
        else
            break;
        first += 2;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: bare_window_program [--storage DIR] [--instance NAME] URL...\n");
        return 2;
    }
    if (instance) {
        QLocalSocket running;
        running.connectToServer(QString::fromLocal8Bit(instance));
        if (running.waitForConnected(1000)) {
            for (int i = first; i < argc; ++i)
                running.write(QByteArray(argv[i]) + '\n');
            running.waitForBytesWritten(1000);
            running.disconnectFromServer();
            return 0;
        }
    }
    benchutil::PrepareBareEngine();
    QApplication application(argc, argv);
    auto* profile = storage ? new QWebEngineProfile(QStringLiteral("bare"), &application)
                            : new QWebEngineProfile(&application);
    if (storage) {
        profile->setPersistentStoragePath(QString::fromLocal8Bit(storage));
        profile->setCachePath(QString::fromLocal8Bit(storage) + QStringLiteral("/cache"));
    }
    QTabWidget tabs;
    tabs.resize(1024, 768);
    tabs.setTabBarAutoHide(true);
    tabs.show();
    const auto showTitle = [&tabs] {
        auto* view = qobject_cast<QWebEngineView*>(tabs.currentWidget());
        tabs.setWindowTitle(view ? view->title() : QStringLiteral("no page"));
    };
    QObject::connect(&tabs, &QTabWidget::currentChanged, &tabs, showTitle);
    const auto open = [&](const QString& url) {
        auto* view = new QWebEngineView;
        view->setPage(new QWebEnginePage(profile, view));
        tabs.addTab(view, QString::number(tabs.count() + 1));
        QObject::connect(view, &QWebEngineView::titleChanged, &tabs, showTitle);
        view->load(QUrl::fromUserInput(url));
    };
    for (int i = first; i < argc; ++i)
        open(QString::fromLocal8Bit(argv[i]));

    QLocalServer server;
    if (instance) {
        QLocalServer::removeServer(QString::fromLocal8Bit(instance));
        server.listen(QString::fromLocal8Bit(instance));
        QObject::connect(&server, &QLocalServer::newConnection, &server, [&] {
            QLocalSocket* client = server.nextPendingConnection();
            QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            QObject::connect(client, &QLocalSocket::readyRead, client, [client, &open, &tabs] {
                while (client->canReadLine()) {
                    open(QString::fromLocal8Bit(client->readLine().trimmed()));
                    tabs.setCurrentIndex(tabs.count() - 1);
                }
            });
        });
        auto* next = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Tab")), &tabs);
        QObject::connect(next, &QShortcut::activated, &tabs,
                         [&tabs] { tabs.setCurrentIndex((tabs.currentIndex() + 1) % std::max(1, tabs.count())); });
        auto* closeAll = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+W")), &tabs);
        QObject::connect(closeAll, &QShortcut::activated, &tabs, [&tabs, &showTitle] {
            while (tabs.count() > 0) {
                QWidget* view = tabs.widget(0);
                tabs.removeTab(0);
                delete view;
            }
            showTitle();
            QTimer::singleShot(3000, [] { malloc_trim(0); });
        });
    }
    return application.exec();
}
