// Cold start of the browser to its main window with one page loaded: runs
// the browser's own start-up with the URL given and exits when the page's
// document is complete. Time it as a whole process, beside
// bare_engine_program with the same URL:
//   hyperfine 'build-bench/bench/startup_program URL' 'build-bench/bench/bare_engine_program URL'
#include "app/NimbraApp.h"
#include "frames/browser/MainFrame.h"
#include "platform/Paths.h"
#include "widgets/view/NimbraView.h"

#include "BenchSetup.h"

#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup_program URL\n");
        return 2;
    }
    QTemporaryDir home;
    benchutil::UseTemporaryHome(home);
    nimbra::PrepareWebEngineEnvironment();
    QApplication application(argc, argv);
    nimbra::CNimbraApp app;
    if (!app.InitInstance({QString::fromLocal8Bit(argv[0]), QString::fromLocal8Bit(argv[1])}))
        return 1;
    const auto views = app.MainFrame()->Views();
    if (views.empty())
        return 1;
    QObject::connect(views.front(), &nimbra::CNimbraView::DocumentCompleted, &application,
                     [] { QApplication::exit(0); });
    return application.exec();
}
