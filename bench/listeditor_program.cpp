// The list editor opening a list file of N entries (100,000), against
// ReadListFile alone: prints the time of each read and the time from the
// open command until every row is in the editor and it has painted, for
// five runs each.
//   QT_QPA_PLATFORM=offscreen build-bench/bench/listeditor_program [N]
#include "data/settings/Settings.h"
#include "platform/FileDialog.h"
#include "data/session/ListFile.h"
#include "ui/EditableList.h"
#include "widgets/tools/ListEditorDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir home;
    const std::string path = home.path().toStdString() + "/big.nbl";
    nimbra::UrlList urls;
    for (int i = 0; i < count; ++i)
        urls.push_back("http://example.org/some/path/page" + std::to_string(i) + ".html?query=" + std::to_string(i * 7));
    if (!nimbra::WriteListFile(nimbra::kHeadingUrlList, path, urls))
        return 1;

    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        nimbra::UrlList read;
        nimbra::ReadListFile(path, read);
        std::printf("ReadListFile: %zu entries in %lld ms\n", read.size(), static_cast<long long>(timer.elapsed()));
    }

    nimbra::SetFileNameAsker([&path](QWidget*, const nimbra::SFileRequest&) { return path; });
    const nimbra::CSettings settings(home.path().toStdString() + "/nimbrab.ini");
    int runsLeft = 5;
    QElapsedTimer timer;
    std::function<void()> run = [&] {
        nimbra::CListEditorDialog* editor = nimbra::CListEditorDialog::Open(settings, {});
        timer.start();
        editor->ExecuteCommand(nimbra::ID_LE_OPEN);
        auto* poll = new QTimer(editor);
        QObject::connect(poll, &QTimer::timeout, editor, [&, editor, poll] {
            if (editor->IsBusy() || editor->List()->Model().rowCount() != count)
                return;
            poll->stop();
            editor->repaint();
            std::printf("editor: %d entries listed and painted after %lld ms\n", count,
                        static_cast<long long>(timer.elapsed()));
            editor->close();
            if (--runsLeft == 0)
                QApplication::exit(0);
            else
                QTimer::singleShot(50, run);
        });
        poll->start(0);
    };
    QTimer::singleShot(0, run);
    return application.exec();
}
