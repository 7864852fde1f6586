#include "app/BkApp.h"

#include "app/ProgramStart.h"
#include "widgets/editor/BkDialogs.h"
#include "frames/editor/BkMainFrame.h"
#include "platform/Ipc.h"
#include "platform/Language.h"
#include "platform/Paths.h"
#include "platform/Signals.h"
#include "platform/StallMeter.h"
#include "platform/Text.h"

#include <QApplication>

#include <cstdio>

namespace nimbra::editor {

namespace {

std::string UsageText()
{
    return "使い方: nbbe\n"
           "       nbbe --help | --version\n"
           "\n"
           "Nimbra Browser のブックマーク ファイル (nimbrab.ini の BookmarkPath、空のときはデータ フォルダの\n"
           "bookmark.html) を編集します。すでに動いているときは、その窓を前に出して終わります。\n"
           "\n"
           + InfoOptionsHelp() + DataDirectoryHelp();
}

std::string VersionText()
{
    return std::string(CBkMainFrame::kTitle) + " " + NIMBRA_VERSION_STRING + "\nQt " + qVersion() + "\n";
}

} // namespace

int RunEditor(int argc, char** argv)
{
    // Before the application: neither needs a screen.
    const EInfoArgument info = InfoArgument(argc, argv);
    if (info != EInfoArgument::None) {
        const std::string text = info == EInfoArgument::Help ? UsageText() : VersionText();
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    if (!ReachDisplay("nbbe", argc, argv))
        return 1;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(CBkMainFrame::kTitle));
    QApplication::setOrganizationName(QStringLiteral("Orvane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("nbbe"));
    if (!OpenDataDirectory("nbbe"))
        return 1;
    UseJapanese();
    StartStallLogFromEnvironment(&application);

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
    OnTerminationSignal([&frame] { frame.Terminate(); });
    QObject::connect(&frame, &CBkMainFrame::Closed, &application, &QApplication::quit, Qt::QueuedConnection);
    frame.show();
    return application.exec();
}

} // namespace nimbra::editor
