// The bare engine for comparison: one QWebEngineView shown with one page,
// exiting when the page has loaded.
#include "BenchSetup.h"

#include <QApplication>
#include <QWebEngineView>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bare_engine_program URL\n");
        return 2;
    }
    benchutil::PrepareBareEngine();
    QApplication application(argc, argv);
    QWebEngineView view;
    view.resize(1024, 768);
    view.show();
    QObject::connect(&view, &QWebEngineView::loadFinished, &application,
                     [](bool ok) { QApplication::exit(ok ? 0 : 3); });
    view.load(QUrl::fromUserInput(QString::fromLocal8Bit(argv[1])));
    return application.exec();
}
