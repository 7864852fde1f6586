#include "editor/BkApp.h"

#include "app/CommandLine.h"
#include "editor/BkDialogs.h"
#include "editor/BkMainFrame.h"
#include "platform/Ipc.h"
#include "platform/Language.h"
#include "platform/Paths.h"
#include "platform/Signals.h"
#include "platform/Text.h"

#include <QApplication>

namespace nimbra::editor {

int RunEditor(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(CBkMainFrame::kTitle));
    QApplication::setOrganizationName(QStringLiteral("Orvane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("nbbe"));
    if (!OpenDataDirectory("nbbe"))
        return 1;
    UseJapanese();

    const QString dir = ToQ(DataDirectory());
    ipc::CInstanceLock lock(QStringLiteral("NBBookmarkEditor"), dir);
    if (!lock.TryLock()) {
        ipc::PostWindowMessage(ipc::kEditorClass, dir, {ipc::kMsgActivateWindow, 0, {}});
        ipc::PostWindowMessage(ipc::kEditorClass, dir, {ipc::kMsgFlashWindow, 0, {}});
        return 0;
    }

    CBkMainFrame frame;
    if (!frame.Create()) {
        Tell(nullptr, QStringLiteral("Wndclass register error"), QMessageBox::Critical);
        return 1;
    }
    OnTerminationSignal([&frame] { frame.RequestClose(); });
    frame.show();
    return application.exec();
}

} // namespace nimbra::editor
