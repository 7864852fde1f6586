// The bare engine for comparison: N plain QWebEngineViews in tabs, each
// loading the same local page; exits when all have loaded.
//   bare_tabs_program URL [N]
#include "BenchSetup.h"

#include "ProcessTree.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QWebEngineView>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bare_tabs_program URL [N]\n");
        return 2;
    }
    const int count = argc > 2 ? std::atoi(argv[2]) : 50;
    benchutil::PrepareBareEngine();
    QApplication application(argc, argv);
    QTabWidget tabs;
    tabs.resize(1024, 768);
    tabs.show();

    QElapsedTimer timer;
    timer.start();
    int complete = 0;
    const QString base = QString::fromLocal8Bit(argv[1]);
    for (int i = 0; i < count; ++i) {
        auto* view = new QWebEngineView;
        tabs.addTab(view, QString::number(i));
        QObject::connect(view, &QWebEngineView::loadFinished, &application, [&complete, count, &timer] {
            if (++complete == count) {
                std::printf("%d tabs complete after %lld ms, tree resident %ld KiB\n", count,
                            static_cast<long long>(timer.elapsed()), benchutil::TreeResidentKiB());
                QApplication::exit(0);
            }
        });
        view->load(QUrl(base + QStringLiteral("?tab=%1").arg(i)));
    }
    return application.exec();
}
