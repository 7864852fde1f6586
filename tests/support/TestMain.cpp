#include <QApplication>
#include <gtest/gtest.h>

#include "TestEnv.h"
#include "platform/MessageBox.h"

#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    testenv::IsolateProcess();
    // The web engine cannot start its sandbox as root (CI runs as root).
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Pages of the name proxied.test come from this machine: the engine never
    // sends loopback addresses through a proxy, so proxy tests use that name.
    std::vector<char*> arguments(argv, argv + argc);
    char engineArgs[] = "--webEngineArgs";
    char resolverRules[] = "--host-resolver-rules=MAP proxied.test 127.0.0.1";
    arguments.insert(arguments.end(), {engineArgs, resolverRules});
    int engineArgc = int(arguments.size());
    arguments.push_back(nullptr);
    QApplication app(engineArgc, arguments.data());
    // Message boxes would wait for a click: tests see their text on stderr.
    nimbra::SetMessageHandler([](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
