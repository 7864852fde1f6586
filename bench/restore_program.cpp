// Restores an open-tabs log of N entries at start-up, as the browser does
// with StartupLogRestor, and prints the time from the start of InitInstance
// until every tab has its tab item and the window answers a posted event,
// then the time until every page is complete:
//   dbus-run-session -- restore_program URL [N]        (N defaults to 100)
// Compare with bare_restore_program, which opens the same URLs in plain views.
#include "app/NimbraApp.h"
#include "frames/browser/ViewManager.h"
#include "frames/browser/MainFrame.h"
#include "platform/Ini.h"
#include "platform/Paths.h"
#include "data/session/ListFile.h"
#include "widgets/view/NimbraView.h"

#include "ProcessTree.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: restore_program URL [N]\n");
        return 2;
    }
    const int count = argc > 2 ? std::atoi(argv[2]) : 100;
    QTemporaryDir home;
    qputenv("NIMBRA_HOME", home.path().toLocal8Bit());
    const std::string dir = home.path().toStdString();
    nimbra::UrlList log;
    for (int i = 0; i < count; ++i)
        log.push_back(std::string(argv[1]) + "?tab=" + std::to_string(i));
    nimbra::WriteListFile(nimbra::kHeadingOpenTabsLog, dir + "/eaou.log", log);
    nimbra::CIniFile(dir + "/nimbrab.ini").WriteInt("Options", "StartupLogRestor", 1);

    nimbra::PrepareWebEngineEnvironment();
    QApplication application(argc, argv);
    nimbra::CNimbraApp app;
    QElapsedTimer timer;
    timer.start();
    if (!app.InitInstance({QString::fromLocal8Bit(argv[0])}))
        return 1;
    const qint64 created = timer.elapsed();
    nimbra::CMainFrame* frame = app.MainFrame();

    qint64 ready = -1;
    int complete = 0;
    for (nimbra::CNimbraView* view : frame->Views())
        QObject::connect(view, &nimbra::CNimbraView::DocumentCompleted, &application, [&] {
            if (++complete == count) {
                std::printf("restore: %d views after %lld ms, every tab item and a responsive window after %lld ms, "
                            "all pages complete after %lld ms, tree resident %ld KiB\n",
                            count, static_cast<long long>(created), static_cast<long long>(ready),
                            static_cast<long long>(timer.elapsed()), benchutil::TreeResidentKiB());
                QApplication::exit(0);
            }
        });
    // Polls for the tab items; a poll that runs at all shows the window's
    // event loop answering.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (ready < 0 && frame->ViewManager()->GetItemCount() == count) {
            ready = timer.elapsed();
            poll.stop();
        }
    });
    poll.start(1);
    if (frame->TabCount() != count) {
        std::fprintf(stderr, "restore_program: %d of %d tabs were opened\n", frame->TabCount(), count);
        return 1;
    }
    return application.exec();
}
