#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra {

namespace {

QString ToPath(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string FromPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

bool Writable(const QString& dir)
{
    return ::access(QFile::encodeName(dir).constData(), W_OK) == 0;
}

// The installed resources, relative to the program's bin folder.
const QString kShareFolder = QStringLiteral("/../share/nimbra-browser");

// Creates `dir` and its missing parents with mode 0700; 0 or the errno.
int MakePrivateDirectory(const QString& dir)
{
    QString path;
    for (const QString& part : QDir::cleanPath(dir).split('/', Qt::SkipEmptyParts)) {
        path += '/' + part;
        if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

} // namespace

SDataDirectory ChooseDataDirectory(const std::string& programDir, const std::string& nimbraHome,
                                   const std::string& xdgDataHome, const std::string& home)
{
    if (!nimbraHome.empty())
        return {FromPath(QDir(ToPath(nimbraHome)).absolutePath()), EDataDirSource::Environment};
    if (!programDir.empty() && !IsInstalledProgramDirectory(programDir)
        && (FileExists(programDir + "/nimbrab.ini") || Writable(ToPath(programDir))))
        return {programDir, EDataDirSource::Program};
    QString base = ToPath(xdgDataHome);
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = ToPath(home) + QStringLiteral("/.local/share");
    return {FromPath(QDir::cleanPath(base + QStringLiteral("/nimbra-browser"))), EDataDirSource::User};
}

SDataDirectory LocateDataDirectory()
{
    return ChooseDataDirectory(ProgramDirectory(), qgetenv("NIMBRA_HOME").toStdString(),
                               qgetenv("XDG_DATA_HOME").toStdString(), FromPath(QDir::homePath()));
}

std::string DataDirectory()
{
    return LocateDataDirectory().path;
}

std::string PrepareDataDirectory()
{
    const SDataDirectory dir = LocateDataDirectory();
    const QString path = ToPath(dir.path);
    const QFileInfo info(path);
    QString message;
    if (info.isSymLink() && !info.exists()) {
        message = QStringLiteral("データ フォルダ %1 は存在しない場所へのリンクです。").arg(path);
    } else if (info.exists() && !info.isDir()) {
        message = QStringLiteral("データ フォルダ %1 はフォルダではありません。").arg(path);
    } else if (!info.exists() && dir.source != EDataDirSource::User) {
        message = QStringLiteral("NIMBRA_HOME のフォルダ %1 がありません。").arg(path);
    } else if (!info.exists()) {
        if (const int error = MakePrivateDirectory(path))
            message = QStringLiteral("データ フォルダ %1 を作成できません (%2)。")
                          .arg(path, QString::fromLocal8Bit(std::strerror(error)));
    }
    if (message.isEmpty() && dir.source == EDataDirSource::User && !Writable(path))
        message = QStringLiteral("データ フォルダ %1 に書き込めません。").arg(path);
    return message.toStdString();
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool CanWriteIn(const std::string& dir)
{
    QTemporaryFile probe(ToPath(dir) + QStringLiteral("/.nimbrab-XXXXXX"));
    return probe.open() && probe.write("\n", 1) == 1 && probe.flush();
}

bool IsInstalledProgramDirectory(const std::string& dir)
{
    const QString path = QDir::cleanPath(ToPath(dir));
    if (path.startsWith(QStringLiteral("/usr/")) || path == QStringLiteral("/bin") || path == QStringLiteral("/sbin"))
        return true;
    return QFileInfo(path).fileName() == QStringLiteral("bin") && QFileInfo(path + kShareFolder).isDir();
}

std::string ProgramDirectory()
{
    // Without an application object (--help) Qt would warn; /proc says the same.
    QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    if (dir.isEmpty())
        dir = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget().section('/', 0, -2);
    return FromPath(dir);
}

std::string DataFile(const std::string& name)
{
    return DataDirectory() + "/" + name;
}

std::string ResourceFile(const std::string& name)
{
    const QString program = ToPath(ProgramDirectory());
    const QString file = QStringLiteral("/res/") + ToPath(name);
    const QStringList candidates{ToPath(DataDirectory()) + file, program + file, program + kShareFolder + file};
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile())
            return FromPath(QDir::cleanPath(candidate));
    }
    return {};
}

bool FileExists(const std::string& path)
{
    return !path.empty() && QFileInfo::exists(ToPath(path));
}

bool IsDirectory(const std::string& path)
{
    return !path.empty() && QFileInfo(ToPath(path)).isDir();
}

} // namespace nimbra
