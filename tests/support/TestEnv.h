#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <string>

namespace testenv {

// Points NIMBRA_HOME and XDG_CONFIG_HOME at a fresh temporary folder for the
// whole test process, so no test ever touches the user's files.
void IsolateProcess();

// A temporary data directory for one test; restores NIMBRA_HOME when it goes.
class ScopedHome {
public:
    ScopedHome();
    ~ScopedHome();
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;

    QString path() const { return m_dir.path(); }
    std::string file(const std::string& name) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
};

// Whole-file helpers for tests.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

} // namespace testenv
