// The bare engine for comparison with restore_program: N plain
// QWebEngineViews in tabs, created at once, each loading URL?tab=i. Prints the
// time until every tab exists and the window answers a posted event, and
// until every page has loaded.
//   bare_restore_program URL [N]
#include "BenchSetup.h"

#include "ProcessTree.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTimer>
#include <QWebEngineView>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bare_restore_program URL [N]\n");
        return 2;
    }
    const int count = argc > 2 ? std::atoi(argv[2]) : 100;
    benchutil::PrepareBareEngine();
    QApplication application(argc, argv);
    QElapsedTimer timer;
    timer.start();
    QTabWidget tabs;
    tabs.resize(1024, 768);
    tabs.show();

    int complete = 0;
    qint64 ready = -1;
    const QString base = QString::fromLocal8Bit(argv[1]);
    for (int i = 0; i < count; ++i) {
        auto* view = new QWebEngineView;
        tabs.addTab(view, QString::number(i));
        QObject::connect(view, &QWebEngineView::loadFinished, &application, [&] {
            if (++complete == count) {
                std::printf("bare: %d tabs and a responsive window after %lld ms, all pages complete after %lld ms, "
                            "tree resident %ld KiB\n",
                            count, static_cast<long long>(ready), static_cast<long long>(timer.elapsed()),
                            benchutil::TreeResidentKiB());
                QApplication::exit(0);
            }
        });
        view->load(QUrl(base + QStringLiteral("?tab=%1").arg(i)));
    }
    QTimer::singleShot(0, [&] { ready = timer.elapsed(); });
    return application.exec();
}
