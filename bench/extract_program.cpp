// Ctrl+U on a page of LINKS links and IMAGES images (20,000 and 5,000) to a
// filled extraction list, as the browser does it: prints the time from the
// command until every row is in the list and the dialog has painted, for
// five runs. Compare with bare_links_program:
//   QT_QPA_PLATFORM=offscreen dbus-run-session -- build-bench/bench/extract_program [LINKS IMAGES]
#include "app/NimbraApp.h"
#include "ui/CommandIds.h"
#include "frames/browser/MainFrame.h"
#include "platform/Ini.h"
#include "platform/Paths.h"
#include "widgets/tools/UrlExtractDialog.h"
#include "widgets/view/NimbraView.h"

#include "BenchSetup.h"
#include "LinkPage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv)
{
    const benchutil::LinkPageSize size = benchutil::LinkPageArguments(argc, argv);
    QTemporaryDir home;
    benchutil::UseTemporaryHome(home);
    const QUrl page = benchutil::WriteLinkPage(home.path(), size);
    nimbra::CIniFile(home.path().toStdString() + "/nimbrab.ini").WriteInt("DLOption", "DLImageTag", 1);
    nimbra::PrepareWebEngineEnvironment();
    QApplication application(argc, argv);
    nimbra::CNimbraApp app;
    if (!app.InitInstance({QString::fromLocal8Bit(argv[0]), page.toString()}))
        return 1;
    nimbra::CMainFrame* frame = app.MainFrame();
    const auto views = frame->Views();
    if (views.empty())
        return 1;
    const int rows = size.links + size.images;
    int runsLeft = 5;
    QElapsedTimer timer;
    std::function<void()> run = [&] {
        timer.start();
        frame->ExecuteCommand(nimbra::ID_URL_EXTRACT);
        nimbra::CUrlExtractDialog* dialog = nullptr;
        for (auto* open : frame->findChildren<nimbra::CUrlExtractDialog*>())
            if (open->isVisible())
                dialog = open;
        auto* poll = new QTimer(dialog);
        QObject::connect(poll, &QTimer::timeout, dialog, [&, dialog, poll] {
            if (dialog->Model().Count() != rows)
                return;
            poll->stop();
            dialog->repaint();
            std::printf("extract: %d rows listed and painted after %lld ms\n", rows,
                        static_cast<long long>(timer.elapsed()));
            dialog->reject();
            if (--runsLeft == 0)
                QApplication::exit(0);
            else
                QTimer::singleShot(50, run);
        });
        poll->start(0);
    };
    QObject::connect(views.front(), &nimbra::CNimbraView::DocumentCompleted, &application,
                     [&] { QTimer::singleShot(0, run); }, Qt::SingleShotConnection);
    return application.exec();
}
