#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <cstdlib>

namespace testenv {

void IsolateProcess()
{
    static QTemporaryDir root;
    root.setAutoRemove(true);
    QDir(root.path()).mkpath("home");
    QDir(root.path()).mkpath("config");
    qputenv("NIMBRA_HOME", QFile::encodeName(root.path() + "/home"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.path() + "/config"));
}

ScopedHome::ScopedHome() : m_previous(qgetenv("NIMBRA_HOME"))
{
    qputenv("NIMBRA_HOME", QFile::encodeName(m_dir.path()));
}

ScopedHome::~ScopedHome()
{
    qputenv("NIMBRA_HOME", m_previous);
}

std::string ScopedHome::file(const std::string& name) const
{
    return QFile::encodeName(m_dir.path()).toStdString() + "/" + name;
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
