// The bare engine's download for comparison with download_program: one
// page of a profile with a disk cache like the browser's, no window; the
// download is accepted at once under its final name. curl fetches the
// same file from the same server in the same run. With "nocache" the
// profile has no HTTP cache (the engine otherwise also stores what it
// downloads there, up to its size limit):
//   bare_download_program [N] [nocache]
// "engine" is from the server receiving the request to the download
// complete; CPU seconds as in download_program.
#include "BenchSetup.h"
#include "DownloadBench.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <cstdio>
#include <cstring>

using namespace benchutil;

int main(int argc, char** argv)
{
    const qsizetype megabytes = argc > 1 ? std::atoi(argv[1]) : 200;
    const bool noCache = argc > 2 && std::strcmp(argv[2], "nocache") == 0;
    constexpr int kRounds = 3;
    QTemporaryDir folder; // outlives the engine, which ends with the application
    benchutil::PrepareBareEngine();
    QApplication application(argc, argv);
    testenv::HttpServer server;
    const QString url = ServeBigFile(server, megabytes);

    QWebEngineProfile profile(QStringLiteral("bare"));
    profile.setPersistentStoragePath(folder.filePath(QStringLiteral("engine")));
    profile.setCachePath(folder.filePath(QStringLiteral("engine/cache")));
    if (noCache)
        profile.setHttpCacheType(QWebEngineProfile::NoCache);
    QWebEnginePage page(&profile);
    QEventLoop loop;
    // A first load brings the engine up, as the browser's start page does.
    const QMetaObject::Connection started = QObject::connect(&page, &QWebEnginePage::loadFinished, &loop, &QEventLoop::quit);
    page.load(QUrl(QStringLiteral("about:blank")));
    loop.exec();
    QObject::disconnect(started);
    QString target;
    double acceptedCpu = 0;
    QObject::connect(&profile, &QWebEngineProfile::downloadRequested, &loop,
                     [&](QWebEngineDownloadRequest* download) {
                         download->setDownloadDirectory(folder.path());
                         download->setDownloadFileName(target);
                         download->accept();
                         acceptedCpu = CpuSeconds(RUSAGE_SELF);
                         QObject::connect(download, &QWebEngineDownloadRequest::stateChanged, &loop, [&loop, download] {
                             if (download->state() != QWebEngineDownloadRequest::DownloadInProgress)
                                 loop.quit();
                         });
                     });

    std::printf("round  curl (curl cpu, server cpu)   engine (process cpu: load, accept)%s\n", noCache ? "  no HTTP cache" : "");
    double bestCurl = -1, bestSynced = -1, bestEngine = -1;
    std::fflush(stdout);
    for (int round = 0; round < kRounds; ++round) {
        const SCurl curl = RunCurl(url, folder.filePath(QStringLiteral("curl.bin")));
        if (curl.seconds > 0 && (bestCurl < 0 || curl.seconds < bestCurl))
            bestCurl = curl.seconds;
        if (curl.synced > 0 && (bestSynced < 0 || curl.synced < bestSynced))
            bestSynced = curl.synced;
        target = QStringLiteral("big%1.bin").arg(round);
        const double cpu = CpuSeconds(RUSAGE_SELF);
        const Clock::time_point start = Clock::now();
        page.load(QUrl(url));
        QTimer::singleShot(600000, &loop, &QEventLoop::quit);
        loop.exec();
        const Clock::time_point end = Clock::now(), request = server.LastRequestTime();
        const double endCpu = CpuSeconds(RUSAGE_SELF);
        const QString path = QDir(folder.path()).filePath(target);
        double engine = -1;
        if (request > start && QFileInfo(path).size() == megabytes * 1024 * 1024)
            engine = Seconds(end - request);
        QFile::remove(path);
        if (engine > 0 && (bestEngine < 0 || engine < bestEngine))
            bestEngine = engine;
        std::printf("%5d  %5.2f (%.2f, %.2f)   %5.2f (%.2f, %.2f)\n", round + 1, curl.seconds, curl.cpu,
                    curl.serverCpu, engine, endCpu - cpu, endCpu - acceptedCpu);
        std::fflush(stdout);
    }
    const double mb = double(megabytes);
    std::printf("best curl    %.2f s  %.1f MB/s\nbest engine  %.2f s  %.1f MB/s\nengine/curl  %.0f%%\n"
                "curl, then its data synced  %.2f s: engine/that %.0f%%\n",
                bestCurl, mb / bestCurl, bestEngine, mb / bestEngine, 100.0 * bestCurl / bestEngine, bestSynced,
                100.0 * bestSynced / bestEngine);
    return bestCurl > 0 && bestEngine > 0 ? 0 : 1;
}
