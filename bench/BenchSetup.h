#pragma once

// Set-up shared by the whole-program benchmarks.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <unistd.h>

namespace benchutil {

// What the engine needs before the application object exists (the bare
// programs do without the browser's library).
inline void PrepareBareEngine()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

// A data directory of the run's own unless NIMBRA_HOME names one.
inline void UseTemporaryHome(const QTemporaryDir& home)
{
    if (qEnvironmentVariableIsEmpty("NIMBRA_HOME"))
        qputenv("NIMBRA_HOME", home.path().toLocal8Bit());
}

} // namespace benchutil
