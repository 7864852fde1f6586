#pragma once

// What the download programs share: the file they serve, curl's run
// against the same server, the clocks.
#include "HttpServer.h"

#include <QFile>
#include <QProcess>
#include <chrono>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace benchutil {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// User + system CPU seconds of this process (RUSAGE_SELF) or of its
// finished children (RUSAGE_CHILDREN).
inline double CpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// `megabytes` MB served at /big.bin as an attachment; returns its URL.
inline QString ServeBigFile(testenv::HttpServer& server, qsizetype megabytes)
{
    testenv::HttpServer::Page file;
    file.body = QByteArray(megabytes * 1024 * 1024, 'x');
    file.contentType = "application/octet-stream";
    file.headers = "Content-Disposition: attachment; filename=\"big.bin\"\r\n";
    server.AddPage(QStringLiteral("/big.bin"), file);
    return server.Url(QStringLiteral("/big.bin"));
}

struct SCurl {
    double seconds = -1;  // curl's process from start to exit, the file written
    double synced = -1;   // the same until its data is on disk, as the engine
                          // has it before it calls a download complete
    double cpu = 0;       // curl's own
    double serverCpu = 0; // this process meanwhile: the server
};

// Seconds that fdatasync of `path` takes.
inline double DataSyncSeconds(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const Clock::time_point start = Clock::now();
    const bool synced = ::fdatasync(fd) == 0;
    const double seconds = Seconds(Clock::now() - start);
    ::close(fd);
    return synced ? seconds : -1;
}

inline SCurl RunCurl(const QString& url, const QString& path)
{
    SCurl result;
    const double childCpu = CpuSeconds(RUSAGE_CHILDREN), ownCpu = CpuSeconds(RUSAGE_SELF);
    QProcess curl;
    const Clock::time_point start = Clock::now();
    curl.start(QStringLiteral("curl"), {"-s", "-o", path, url});
    curl.waitForFinished(-1);
    if (curl.exitCode() == 0)
        result.seconds = Seconds(Clock::now() - start);
    result.cpu = CpuSeconds(RUSAGE_CHILDREN) - childCpu;
    result.serverCpu = CpuSeconds(RUSAGE_SELF) - ownCpu;
    if (const double sync = DataSyncSeconds(path); result.seconds > 0 && sync >= 0)
        result.synced = result.seconds + sync;
    QFile::remove(path);
    return result;
}

} // namespace benchutil
