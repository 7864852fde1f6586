#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

namespace nimbra {

std::string ProgramDirectory()
{
    QString dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty())
        dir = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget().section('/', 0, -2);
    return QFile::encodeName(dir).toStdString();
}

std::string DataDirectory()
{
    const QByteArray home = qgetenv("NIMBRA_HOME");
    if (!home.isEmpty()) {
        QDir().mkpath(QFile::decodeName(home));
        return QFile::encodeName(QDir(QFile::decodeName(home)).absolutePath()).toStdString();
    }
    return ProgramDirectory();
}

std::string DataFile(const std::string& name)
{
    return DataDirectory() + "/" + name;
}

bool FileExists(const std::string& path)
{
    return !path.empty() && QFileInfo::exists(QFile::decodeName(QByteArray::fromStdString(path)));
}

bool IsDirectory(const std::string& path)
{
    return !path.empty() && QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).isDir();
}

void PrepareWebEngineEnvironment()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0 && qgetenv("QTWEBENGINE_DISABLE_SANDBOX") != "1") {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        std::fputs("nimbrab: running as root, the web engine's sandbox is turned off\n", stderr);
    }
}

} // namespace nimbra
