// Time per keystroke in the address field with auto-completion on, a full
// address history (256 entries) and 10,000 visited URLs. Each keystroke is
// timed from the key press to the end of the event processing it caused
// (completion lookup, model update, popup layout and paint).
#include "app/NimbraApp.h"
#include "widgets/bars/AddressCombo.h"
#include "frames/browser/MainFrame.h"
#include "platform/Paths.h"
#include "data/session/ListFile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace nimbra;

namespace {

void Key(QWidget* target, int key, Qt::KeyboardModifiers modifiers, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &release);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    QTemporaryDir config;
    qputenv("NIMBRA_HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    PrepareWebEngineEnvironment();
    QApplication application(argc, argv);

    CNimbraApp app;
    app.InitPaths();
    app.Settings().WriteInt("Options", "AutoComplete", 1);
    app.Settings().WriteInt("Options", "AddressLogMax", 256);
    UrlList log;
    for (int i = 0; i < 256; ++i)
        log.push_back("http://www.typed" + std::to_string(i) + ".example.jp/index.html");
    WriteListFile(kHeadingAddressLog, app.AddressLogPath(), log);
    if (!app.CreateMainFrame()) {
        std::fprintf(stderr, "the main frame could not be created\n");
        return 1;
    }
    CMainFrame* frame = app.MainFrame();
    frame->show();
    frame->EndStartup();
    for (int i = 0; i < 10000; ++i)
        frame->History().AddVisit("http://www.site" + std::to_string(i % 997) + ".example.com/page/" + std::to_string(i),
                                  "page", i);
    frame->History().Flush();

    CAddressCombo* combo = frame->AddressCombo();
    QLineEdit* edit = combo->lineEdit();
    QElapsedTimer timer;
    timer.start();
    QFocusEvent focus(QEvent::FocusIn);
    QApplication::sendEvent(edit, &focus);
    const qint64 snapshotNs = timer.nsecsElapsed();
    while (combo->CompletionIndexSize() == 0)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    const qint64 readyNs = timer.nsecsElapsed();
    std::printf("history entries: %zu, visited URLs indexed: %zu\n", combo->History().size(),
                combo->CompletionIndexSize());
    std::printf("index refresh on focus: %.2f ms on the UI thread, ready after %.2f ms\n", snapshotNs / 1e6,
                readyNs / 1e6);

    const QStringList words{QStringLiteral("www.site12"), QStringLiteral("site5"), QStringLiteral("http://www.s"),
                            QStringLiteral("typed1"), QStringLiteral("exa"), QStringLiteral("nothing-here")};
    std::vector<double> samples;
    std::vector<double> lookups;
    for (int round = 0; round < 40; ++round) {
        for (const QString& word : words) {
            edit->clear();
            for (QChar c : word) {
                timer.restart();
                Key(edit, c.toUpper().unicode(), Qt::NoModifier, QString(c));
                QApplication::processEvents();
                samples.push_back(timer.nsecsElapsed() / 1e6);
                timer.restart();
                combo->Completions(edit->text());
                lookups.push_back(timer.nsecsElapsed() / 1e6);
            }
        }
    }
    std::sort(samples.begin(), samples.end());
    double sum = 0;
    for (double s : samples)
        sum += s;
    auto at = [&](double q) { return samples[std::min(samples.size() - 1, size_t(q * samples.size()))]; };
    std::printf("keystrokes: %zu\n", samples.size());
    std::printf("per keystroke: mean %.3f ms, median %.3f ms, p99 %.3f ms, max %.3f ms (goal: well under 16 ms)\n",
                sum / samples.size(), at(0.5), at(0.99), samples.back());
    const auto slow = std::count_if(samples.begin(), samples.end(), [](double s) { return s > 16; });
    std::printf("keystrokes over 16 ms: %td\n", slow);
    std::sort(lookups.begin(), lookups.end());
    std::printf("completion lookup alone: median %.3f ms, max %.3f ms\n", lookups[lookups.size() / 2], lookups.back());
    return 0;
}
