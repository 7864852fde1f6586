// The bare engine beside extract_program: a QWebEngineView with the same
// page, document.links and document.images read through runJavaScript
// into a QStringListModel shown in a QListView. Prints the time from the
// read until the list has painted, for five runs.
//   QT_QPA_PLATFORM=offscreen build-bench/bench/bare_links_program [LINKS IMAGES]
#include "BenchSetup.h"
#include "LinkPage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineView>
#include <cstdio>
#include <functional>

int main(int argc, char** argv)
{
    const benchutil::LinkPageSize size = benchutil::LinkPageArguments(argc, argv);
    QTemporaryDir folder;
    const QUrl page = benchutil::WriteLinkPage(folder.path(), size);
    benchutil::PrepareBareEngine();
    QApplication application(argc, argv);
    QWebEngineView view;
    view.resize(1024, 768);
    view.show();
    QStringListModel model;
    QListView list;
    list.setUniformItemSizes(true);
    list.setModel(&model);
    list.resize(640, 400);
    list.show();

    int runsLeft = 5;
    QElapsedTimer timer;
    std::function<void()> run = [&] {
        model.setStringList({});
        timer.start();
        view.page()->runJavaScript(
            "Array.from(document.links, a => a.href).concat(Array.from(document.images, i => i.src))",
            [&](const QVariant& result) {
                model.setStringList(result.toStringList());
                list.repaint();
                std::printf("bare: %lld rows listed and painted after %lld ms\n",
                            static_cast<long long>(model.rowCount()), static_cast<long long>(timer.elapsed()));
                if (--runsLeft == 0)
                    QApplication::exit(0);
                else
                    QTimer::singleShot(0, run);
            });
    };
    QObject::connect(&view, &QWebEngineView::loadFinished, &application, [&] { QTimer::singleShot(0, run); },
                     Qt::SingleShotConnection);
    view.load(page);
    return application.exec();
}
