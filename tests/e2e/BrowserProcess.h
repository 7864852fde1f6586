#pragma once

// The real browser program (or another of the programs) run by a test in a
// data directory of its own.
#include <QProcess>
#include <QString>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace testenv {

class Browser {
public:
    explicit Browser(const QString& home, const QString& program = QStringLiteral("nimbrab"))
        : m_home(home), m_program(qEnvironmentVariable("NIMBRA_BIN_DIR") + "/" + program)
    {
    }

    QProcessEnvironment Environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("NIMBRA_HOME", m_home);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
        for (const QString& name : m_env.keys())
            env.insert(name, m_env.value(name));
        return env;
    }

    // A variable for the browser's environment, set before Start().
    void SetEnv(const QString& name, const QString& value) { m_env.insert(name, value); }

    void Start(const QStringList& arguments)
    {
        m_process.setProcessEnvironment(Environment());
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start(m_program, arguments);
        ASSERT_TRUE(m_process.waitForStarted(10000));
    }

    // Runs a second start to its end; the CPU time it used in milliseconds
    // (its own and that of the processes it waited for), which the
    // machine's other work does not add to.
    qint64 RunSecond(const QStringList& arguments, int* exitCode, const QString& workingDir = {})
    {
        QProcess second;
        second.setWorkingDirectory(workingDir);
        second.setProcessEnvironment(Environment());
        second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        second.setStandardOutputFile(QProcess::nullDevice());
        const qint64 before = ChildrenCpuMs();
        second.start(m_program, arguments);
        second.waitForFinished(20000);
        *exitCode = second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
        return ChildrenCpuMs() - before;
    }

    // Waits for the browser to end by itself.
    bool WaitForExit(int ms)
    {
        return m_process.waitForFinished(ms) && m_process.exitStatus() == QProcess::NormalExit;
    }

    bool Terminate()
    {
        ::kill(pid_t(m_process.processId()), SIGTERM);
        return m_process.waitForFinished(20000) && m_process.exitStatus() == QProcess::NormalExit;
    }

    void Kill()
    {
        m_process.kill();
        m_process.waitForFinished(10000);
    }

    ~Browser()
    {
        if (m_process.state() != QProcess::NotRunning)
            Kill();
    }

private:
    // User and system time of the children that have ended and been waited for.
    static qint64 ChildrenCpuMs()
    {
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
               + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
    }

    QString m_home;
    QString m_program;
    QProcessEnvironment m_env;
    QProcess m_process;
};

} // namespace testenv
