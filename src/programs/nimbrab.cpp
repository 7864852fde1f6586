#include "app/NimbraApp.h"
#include "frame/MainFrame.h"
#include "platform/Paths.h"
#include "platform/Signals.h"
#include "platform/WindowManagerClose.h"

#include <QApplication>

int main(int argc, char** argv)
{
    nimbra::PrepareWebEngineEnvironment();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nimbra Browser"));
    QApplication::setOrganizationName(QStringLiteral("Orvane"));

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
