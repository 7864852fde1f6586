#include "app/CommandLine.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nimbra Browser [Bookmark Editor]"));
    QApplication::setOrganizationName(QStringLiteral("Orvane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("nbbe"));
    if (!nimbra::OpenDataDirectory("nbbe"))
        return 1;

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Nimbra Browser [Bookmark Editor]"));
    window.resize(640, 480);
    window.show();
    return application.exec();
}
