#include "platform/SoftwareRendering.h"

#include "platform/Paths.h"
#include "platform/XDisplay.h"

#include <QCoreApplication>
#include <QOpenGLContext>
#include <QQuickWindow>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

namespace nimbra {

namespace {

// The extensions of the X server that the xcb platform will connect to, or
// nothing when the program will not run on X.
std::optional<QStringList> XServerExtensions()
{
    if (!RunsOnXDisplay())
        return std::nullopt;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> closer(connection, &xcb_disconnect);
    if (xcb_connection_has_error(connection))
        return std::nullopt;
    std::unique_ptr<xcb_list_extensions_reply_t, decltype(&free)> reply(
        xcb_list_extensions_reply(connection, xcb_list_extensions(connection), nullptr), &free);
    if (!reply)
        return std::nullopt;
    QStringList names;
    for (auto it = xcb_list_extensions_names_iterator(reply.get()); it.rem > 0; xcb_str_next(&it))
        names << QString::fromLatin1(xcb_str_name(it.data), xcb_str_name_length(it.data));
    return names;
}

QtMessageHandler g_previousHandler = nullptr;

// The web engine asks for an OpenGL context while the application object is
// built; without GL that fails with a warning that means nothing here.
void DropNoGlMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("QXcbIntegration: Cannot create platform OpenGL context")))
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
    else
        std::fputs(qPrintable(qFormatLogMessage(type, context, message) + QLatin1Char('\n')), stderr);
}

// Runs while the application object is built, before the web engine asks
// for its context: the platform reads the choice at the first context, and
// programs started from here keep OpenGL.
void EndGlIntegrationChoice()
{
    QOpenGLContext().create();
    qunsetenv("QT_XCB_GL_INTEGRATION");
}

} // namespace

bool XServerRendersGlOnGpu(const QStringList& extensions)
{
    for (const char* name : {"DRI3", "DRI2", "NV-GLX"})
        if (extensions.contains(QLatin1String(name)))
            return true;
    return false;
}

bool UseSoftwareRenderingWithoutGpu()
{
    for (const char* chosen : {"QT_QUICK_BACKEND", "QMLSCENE_DEVICE", "QT_XCB_GL_INTEGRATION"})
        if (!qEnvironmentVariableIsEmpty(chosen))
            return false;
    const std::optional<QStringList> extensions = XServerExtensions();
    if (!extensions || XServerRendersGlOnGpu(*extensions))
        return false;
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    qputenv("QT_XCB_GL_INTEGRATION", "none");
    g_previousHandler = qInstallMessageHandler(DropNoGlMessages);
    qAddPreRoutine(EndGlIntegrationChoice);
    return true;
}

// The engine's environment (declared with the paths): here, so that a
// program without the engine does not link Qt Quick for it.
std::string WithProcessPerSite(const std::string& flags)
{
    for (const char* model : {"--process-per-", "--single-process"})
        if (flags.find(model) != std::string::npos)
            return flags;
    // Without site isolation the engine puts every site into one shared
    // renderer under this model.
    const std::string model = "--process-per-site --site-per-process";
    return flags.empty() ? model : flags + " " + model;
}

void PrepareWebEngineEnvironment()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    UseSoftwareRenderingWithoutGpu();
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
            QByteArray::fromStdString(WithProcessPerSite(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").toStdString())));
    if (geteuid() == 0 && qgetenv("QTWEBENGINE_DISABLE_SANDBOX") != "1") {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        std::fputs("nimbrab: running as root, the web engine's sandbox is turned off\n", stderr);
    }
}

} // namespace nimbra
