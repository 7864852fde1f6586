#include <QApplication>
#include <gtest/gtest.h>

#include "EngineArgs.h"
#include "TestEnv.h"
#include "platform/MessageBox.h"

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    testenv::IsolateProcess();
    // The web engine cannot start its sandbox as root (CI runs as root).
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    testenv::ProxiedTestArgs arguments(argc, argv);
    QApplication app(arguments.argc(), arguments.argv());
    // Message boxes would wait for a click: tests see their text on stderr.
    nimbra::SetMessageHandler([](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
