// Download throughput of the browser against curl, from the same local
// server (a thread of its own in this process) in the same run: a 200 MB
// file (or N MB), saved by curl and by the browser's download path
// (question answered at once, partial name, rename) into the same folder,
// three rounds each:
//   download_program [N]
//
// Figures, in seconds:
//   curl      curl's process from start to exit, the file written (and,
//             last, with an fdatasync of the file after it, which the engine
//             does before it calls a download complete).
//   browser   from the server receiving the browser's request to the file
//             complete under its name (the throughput compared with curl).
//   click     the same from opening the URL in a new tab (tab, renderer,
//             navigation included).
//   asked     from the request to the save question; the engine receives
//             bytes meanwhile ("MB before" the question).
// bare_download_program gives the engine's own figure without the browser.
// CPU seconds are this process's user + system time from the click and
// from the question to the end (the engine's renderers are processes of
// their own and not counted); the curl round's figure is the server alone
// (curl's own is beside it), so the browser's own share is its figure less
// the server's.
#include "app/NimbraApp.h"
#include "frames/browser/MainFrame.h"
#include "platform/FileDialog.h"
#include "platform/Paths.h"

#include "BenchSetup.h"
#include "DownloadBench.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <cstdio>

namespace {

using namespace benchutil;
constexpr int kRounds = 3;
constexpr int kTimeoutMs = 600000;

struct SBrowser {
    double seconds = -1;
    double click = -1;
    double asked = -1;
    double mbBeforeQuestion = 0;
    double cpu = 0;         // from the click
    double transferCpu = 0; // from the question
};

} // namespace

int main(int argc, char** argv)
{
    const qsizetype megabytes = argc > 1 ? std::atoi(argv[1]) : 200;
    QTemporaryDir home;
    benchutil::UseTemporaryHome(home);
    nimbra::PrepareWebEngineEnvironment();
    QApplication application(argc, argv);

    testenv::HttpServer server;
    const QString url = ServeBigFile(server, megabytes);

    nimbra::CNimbraApp app;
    if (!app.InitInstance({QString::fromLocal8Bit(argv[0])}))
        return 1;
    std::string target;
    Clock::time_point asked;
    double askedCpu = 0;
    nimbra::SetFileNameAsker([&](QWidget*, const nimbra::SFileRequest&) {
        asked = Clock::now();
        askedCpu = CpuSeconds(RUSAGE_SELF);
        return target;
    });
    // Connected after the browser's own handler, so the end is seen after
    // the browser renamed the file.
    QEventLoop loop;
    qint64 bytesBeforeQuestion = 0;
    QObject::connect(app.Profile(), &QWebEngineProfile::downloadRequested, &loop,
                     [&](QWebEngineDownloadRequest* download) {
                         bytesBeforeQuestion = download->receivedBytes();
                         QObject::connect(download, &QWebEngineDownloadRequest::stateChanged, &loop, [&loop, download] {
                             if (download->state() != QWebEngineDownloadRequest::DownloadInProgress)
                                 loop.quit();
                         });
                     });

    std::printf("round  curl (curl cpu, server cpu)   browser, click, asked, MB before (process cpu: click, question)\n");
    SCurl bestCurl;
    double bestSynced = -1;
    SBrowser bestBrowser;
    for (int round = 0; round < kRounds; ++round) {
        const SCurl curl = RunCurl(url, QString::fromStdString(nimbra::DataFile("curl.bin")));
        if (curl.seconds > 0 && (bestCurl.seconds < 0 || curl.seconds < bestCurl.seconds))
            bestCurl = curl;
        if (curl.synced > 0 && (bestSynced < 0 || curl.synced < bestSynced))
            bestSynced = curl.synced;

        target = nimbra::DataFile("big" + std::to_string(round) + ".bin");
        const double cpu = CpuSeconds(RUSAGE_SELF);
        const Clock::time_point click = Clock::now();
        app.OpenUrl(url.toStdString());
        QTimer::singleShot(kTimeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        const Clock::time_point end = Clock::now();
        SBrowser browser;
        browser.cpu = CpuSeconds(RUSAGE_SELF) - cpu;
        browser.transferCpu = CpuSeconds(RUSAGE_SELF) - askedCpu;
        const Clock::time_point request = server.LastRequestTime();
        if (request > click && QFileInfo(QString::fromStdString(target)).size() == megabytes * 1024 * 1024) {
            browser.seconds = Seconds(end - request);
            browser.click = Seconds(end - click);
            browser.asked = Seconds(asked - request);
            browser.mbBeforeQuestion = bytesBeforeQuestion / (1024.0 * 1024.0);
        }
        QFile::remove(QString::fromStdString(target));
        if (browser.seconds > 0 && (bestBrowser.seconds < 0 || browser.seconds < bestBrowser.seconds))
            bestBrowser = browser;
        std::printf("%5d  %5.2f (%.2f, %.2f)   %5.2f, %5.2f, %5.2f, %5.1f (%.2f, %.2f)\n", round + 1, curl.seconds,
                    curl.cpu, curl.serverCpu, browser.seconds, browser.click, browser.asked, browser.mbBeforeQuestion,
                    browser.cpu, browser.transferCpu);
        std::fflush(stdout);
    }
    const double mb = double(megabytes);
    std::printf("best curl     %.2f s  %.1f MB/s\n"
                "best browser  %.2f s  %.1f MB/s  (from click %.2f s)\n"
                "browser/curl  %.0f%%\n"
                "curl, then its data synced  %.2f s: browser/that %.0f%%\n",
                bestCurl.seconds, mb / bestCurl.seconds, bestBrowser.seconds, mb / bestBrowser.seconds,
                bestBrowser.click, 100.0 * bestCurl.seconds / bestBrowser.seconds, bestSynced,
                100.0 * bestSynced / bestBrowser.seconds);
    app.MainFrame()->close();
    return bestCurl.seconds > 0 && bestBrowser.seconds > 0 ? 0 : 1;
}
