// Download throughput of the browser against curl, from the same local
// server in the same run: a 200 MB file (or N MB) saved by curl, then by
// the browser's download path (question answered at once, partial name,
// rename), three rounds each:
//   download_program [N]
#include "app/NimbraApp.h"
#include "frame/MainFrame.h"
#include "platform/FileDialog.h"
#include "platform/Paths.h"

#include "BenchSetup.h"
#include "HttpServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int kRounds = 3;

// curl saves the file into the same folder as the browser does.
double CurlSeconds(const QString& url, const QString& path)
{
    QProcess curl;
    QElapsedTimer timer;
    timer.start();
    curl.start(QStringLiteral("curl"), {"-s", "-o", path, url});
    curl.waitForFinished(-1);
    const double seconds = curl.exitCode() == 0 ? timer.elapsed() / 1000.0 : -1;
    QFile::remove(path);
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    const qsizetype megabytes = argc > 1 ? std::atoi(argv[1]) : 200;
    QTemporaryDir home;
    benchutil::UseTemporaryHome(home);
    nimbra::PrepareWebEngineEnvironment();
    QApplication application(argc, argv);

    testenv::HttpServer server;
    testenv::HttpServer::Page file;
    file.body = QByteArray(megabytes * 1024 * 1024, 'x');
    file.contentType = "application/octet-stream";
    file.headers = "Content-Disposition: attachment; filename=\"big.bin\"\r\n";
    server.AddPage(QStringLiteral("/big.bin"), file);
    const QString url = server.Url(QStringLiteral("/big.bin"));

    nimbra::CNimbraApp app;
    if (!app.InitInstance({QString::fromLocal8Bit(argv[0])}))
        return 1;
    std::string target;
    nimbra::SetFileNameAsker([&target](QWidget*, const nimbra::SFileRequest&) { return target; });

    double bestCurl = 1e9, bestBrowser = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const double curl = CurlSeconds(url, QString::fromStdString(nimbra::DataFile("curl.bin")));
        if (curl > 0)
            bestCurl = std::min(bestCurl, curl);
        target = nimbra::DataFile("big" + std::to_string(round) + ".bin");
        QElapsedTimer timer;
        timer.start();
        app.OpenUrl(url.toStdString());
        while (QFileInfo(QString::fromStdString(target)).size() != file.body.size() && timer.elapsed() < 600000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        bestBrowser = std::min(bestBrowser, timer.elapsed() / 1000.0);
        QFile::remove(QString::fromStdString(target));
    }
    const double mb = double(megabytes);
    std::printf("curl     %.2f s  %.1f MB/s\nbrowser  %.2f s  %.1f MB/s\nbrowser/curl %.0f%%\n", bestCurl,
                mb / bestCurl, bestBrowser, mb / bestBrowser, 100.0 * bestCurl / bestBrowser);
    app.MainFrame()->close();
    return 0;
}
