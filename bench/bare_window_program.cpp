// The bare engine as a black box: a window with one QWebEngineView per URL,
// in tabs, whose caption is the current tab's title, running until it is
// closed.
//   bare_window_program [--storage DIR] URL...
// Without --storage the profile is off the record; with it, a persistent
// profile in DIR (a fresh folder gives a cold start).
#include "BenchSetup.h"

#include <QApplication>
#include <QTabWidget>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    const char* storage = nullptr;
    int first = 1;
    if (argc > 3 && std::strcmp(argv[1], "--storage") == 0) {
        storage = argv[2];
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: bare_window_program [--storage DIR] URL...\n");
        return 2;
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
        if (auto* view = qobject_cast<QWebEngineView*>(tabs.currentWidget()))
            tabs.setWindowTitle(view->title());
    };
    QObject::connect(&tabs, &QTabWidget::currentChanged, &tabs, showTitle);
    for (int i = first; i < argc; ++i) {
        auto* view = new QWebEngineView;
        view->setPage(new QWebEnginePage(profile, view));
        tabs.addTab(view, QString::number(i - first + 1));
        QObject::connect(view, &QWebEngineView::titleChanged, &tabs, showTitle);
        view->load(QUrl::fromUserInput(QString::fromLocal8Bit(argv[i])));
    }
    return application.exec();
}
