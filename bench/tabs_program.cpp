// Opens N tabs of a local page in the browser (its own start-up and OpenUrl)
// and exits when every tab's document is complete, printing the time from
// the first OpenUrl and the resident memory of the process tree:
//   tabs_program URL [N]        (N defaults to 50)
// Compare with bare_tabs_program, which does the same with plain views.
#include "app/NimbraApp.h"
#include "frames/browser/MainFrame.h"
#include "platform/Paths.h"
#include "widgets/view/NimbraView.h"

#include "ProcessTree.h"

#include "BenchSetup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: tabs_program URL [N]\n");
        return 2;
    }
    const int count = argc > 2 ? std::atoi(argv[2]) : 50;
    QTemporaryDir home;
    benchutil::UseTemporaryHome(home);
    nimbra::PrepareWebEngineEnvironment();
    QApplication application(argc, argv);
    nimbra::CNimbraApp app;
    if (!app.InitInstance({QString::fromLocal8Bit(argv[0])}))
        return 1;

    QElapsedTimer timer;
    timer.start();
    int complete = 0;
    const std::string base = argv[1];
    for (int i = 0; i < count; ++i) {
        nimbra::CNimbraView* view = app.OpenUrl(base + "?tab=" + std::to_string(i));
        if (!view)
            return 1;
        QObject::connect(view, &nimbra::CNimbraView::DocumentCompleted, &application, [&complete, count, &timer] {
            if (++complete == count) {
                std::printf("%d tabs complete after %lld ms, tree resident %ld KiB\n", count,
                            static_cast<long long>(timer.elapsed()), benchutil::TreeResidentKiB());
                QApplication::exit(0);
            }
        });
    }
    return application.exec();
}
