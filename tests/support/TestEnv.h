#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <string>
#include <ctime>
#include <type_traits>
#include <utility>

namespace testenv {

// Gives the test process one private folder, removed at exit, and points
// NIMBRA_HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_RUNTIME_DIR into it, so
// no test touches the user's files and nothing the programs under test write
// is left in the shared temporary folder or the home folder. Child processes
// started by a test inherit the folder instead of making their own.
void IsolateProcess();

// A temporary folder for one test, removed with everything in it when the
// object goes, also when an assertion ends the test early. It lives in the
// process's folder, so what an engine writes after the test still goes
// when the process ends.
class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    QString path() const { return m_dir.path(); }
    std::string file(const std::string& name) const;

private:
    QTemporaryDir m_dir;
};

// A temporary data directory for one test: a TempDir that NIMBRA_HOME points
// at until the object goes.
class ScopedHome : public TempDir {
public:
    ScopedHome();
    ~ScopedHome();

private:
    QByteArray m_previous;
};

// Process CPU time in milliseconds, with QElapsedTimer's calls: bounds on
// work that a busy machine's waiting does not trip.
class CpuTimer {
public:
    CpuTimer() { start(); }
    void start() { m_start = Now(); }
    long long restart()
    {
        const long long was = elapsed();
        start();
        return was;
    }
    long long elapsed() const { return Now() - m_start; }

private:
    static long long Now()
    {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
    }
    long long m_start = 0;
};

// Puts a test's handler in place of a global one (through a setter that
// returns the handler it replaced) and puts the old one back when the guard
// goes, also when an assertion ends the test early:
//   testenv::HandlerGuard messages(nimbra::SetMessageHandler, [&](const QString& t) { ... });
template <class Handler>
class HandlerGuard {
public:
    HandlerGuard(Handler (*set)(Handler), std::type_identity_t<Handler> handler)
        : m_set(set), m_previous(set(std::move(handler)))
    {
    }
    ~HandlerGuard() { m_set(std::move(m_previous)); }
    HandlerGuard(const HandlerGuard&) = delete;
    HandlerGuard& operator=(const HandlerGuard&) = delete;

private:
    Handler (*m_set)(Handler);
    Handler m_previous;
};

// Runs the event loop until `done` holds or `ms` passed; whether it held.
// Tests wait on a condition like this, never for a fixed time.
template <typename Pred>
bool SpinUntil(Pred done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1); // no busy loop while nothing happens
    }
    return true;
}

// Whole-file helpers for tests.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

} // namespace testenv
