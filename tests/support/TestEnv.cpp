#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <memory>

namespace testenv {

namespace {

constexpr char kRootVariable[] = "NIMBRA_TEST_ROOT";

QString& Root()
{
    static QString root;
    return root;
}

} // namespace

void IsolateProcess()
{
    // Removed after main() returns, when the engine has written its last file.
    static std::unique_ptr<QTemporaryDir> own;
    QString root = qEnvironmentVariable(kRootVariable);
    if (root.isEmpty() || !QDir(root).exists()) {
        own = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/nimbra-test-XXXXXX");
        root = own->path();
        QDir(root).mkpath("home");
        QDir(root).mkpath("config");
        QDir(root).mkpath("data");
        QDir(root).mkpath("runtime");
        QFile::setPermissions(root + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(kRootVariable, QFile::encodeName(root));
    }
    Root() = root;
    qputenv("NIMBRA_HOME", QFile::encodeName(root + "/home"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/config"));
    // The engine writes a first profile file below the data home before it
    // moves to the profile's own folder.
    qputenv("XDG_DATA_HOME", QFile::encodeName(root + "/data"));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root + "/runtime"));
}

TempDir::TempDir() : m_dir((Root().isEmpty() ? QDir::tempPath() : Root()) + "/tmp-XXXXXX") {}

std::string TempDir::file(const std::string& name) const
{
    return QFile::encodeName(m_dir.path()).toStdString() + "/" + name;
}

ScopedHome::ScopedHome() : m_previous(qgetenv("NIMBRA_HOME"))
{
    qputenv("NIMBRA_HOME", QFile::encodeName(path()));
}

ScopedHome::~ScopedHome()
{
    qputenv("NIMBRA_HOME", m_previous);
}

std::string ReadFile(const std::string& path)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll().toStdString();
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    QFile f(QString::fromStdString(path));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

} // namespace testenv
