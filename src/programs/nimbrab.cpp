#include "app/CommandLine.h"
#include "app/NimbraApp.h"
#include "app/ProgramStart.h"
#include "frames/browser/MainFrame.h"
#include "platform/Language.h"
#include "platform/Paths.h"
#include "platform/Signals.h"
#include "platform/StallMeter.h"
#include "platform/WindowManagerClose.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    if (const auto text = nimbra::InfoArgumentText(argc, argv)) {
        std::fwrite(text->data(), 1, text->size(), stdout);
        return 0;
    }
    if (!nimbra::ReachDisplay("nimbrab", argc, argv))
        return 1;
    nimbra::PrepareWebEngineEnvironment();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nimbra Browser"));
    QApplication::setOrganizationName(QStringLiteral("Orvane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("nimbrab"));
    nimbra::UseJapanese();
    nimbra::StartStallLogFromEnvironment(&application);
    if (!nimbra::OpenDataDirectory("nimbrab"))
        return 1;

    nimbra::CNimbraApp app;
    if (!app.InitInstance(QApplication::arguments()))
        return 0;
    nimbra::OnTerminationSignal([&app] {
        if (app.MainFrame())
            app.MainFrame()->close();
    });
    nimbra::OnBlockedWindowManagerClose(app.MainFrame(), [&app] { app.MainFrame()->close(); });
    return application.exec();
}
