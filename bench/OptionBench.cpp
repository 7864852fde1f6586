// OK in the options dialog on a settings file of 2,000 keys, every page
// shown and every bound control changed: the one rewrite of the file and
// the frame's reload, beside the same keys written one at a time (as the
// pages of the Windows program did) and the same reload.
// Run it offscreen under dbus-run-session (the frame starts its DDE server).
#include "app/NimbraApp.h"
#include "frames/browser/MainFrame.h"
#include "frames/browser/Option.h"
#include "frames/browser/OptionPage.h"

#include "WidgetBenchMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace nimbra;

namespace {

constexpr int kKeys = 2000;

struct SFrame {
    QTemporaryDir home;
    std::unique_ptr<CNimbraApp> app;
    CMainFrame* frame = nullptr;

    SFrame()
    {
        qputenv("NIMBRA_HOME", home.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
        // No xdg tools: the default-browser query ends at once.
        QDir().mkpath(home.path() + "/bin");
        qputenv("PATH", (home.path() + "/bin").toLocal8Bit());
        std::string ini = "[Options]\r\n";
        for (int i = 0; i < kKeys - int(AllKeys().size()); ++i)
            ini += "Filler" + std::to_string(i) + "=some value of a key " + std::to_string(i) + "\r\n";
        QFile file(home.path() + "/nimbrab.ini");
        file.open(QIODevice::WriteOnly);
        file.write(ini.data(), qint64(ini.size()));
        file.close();
        app = std::make_unique<CNimbraApp>();
        app->InitPaths();
        app->CreateMainFrame();
        frame = app->MainFrame();
    }
};

// Changes every bound control of every page (each run to other values).
void ChangeAll(COption& dialog, int round)
{
    for (int page = 0; page < COption::PageCount; ++page) {
        dialog.SetCurrentPage(page);
        for (const SSettingKey& info : AllKeys()) {
            QWidget* control = dialog.Page(page)->Control(info.id);
            if (auto* box = qobject_cast<QCheckBox*>(control))
                box->setChecked(!box->isChecked());
            else if (auto* spin = qobject_cast<QSpinBox*>(control))
                spin->setValue(spin->minimum() + round % 2);
            else if (auto* combo = qobject_cast<QComboBox*>(control))
                combo->setCurrentIndex(round % 2);
            else if (auto* edit = qobject_cast<QLineEdit*>(control); edit && info.id != EKey::DDEServerName)
                edit->setText(QStringLiteral("value %1").arg(round));
        }
    }
}

void BM_OptionOkOneRewrite(benchmark::State& state)
{
    SFrame f;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto dialog = std::make_unique<COption>(f.frame);
        ChangeAll(*dialog, ++round);
        state.ResumeTiming();
        dialog->accept();
    }
}

void BM_OptionKeysOneByOne(benchmark::State& state)
{
    SFrame f;
    CSettings& settings = f.app->Settings();
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // The same edits as the dialog makes, taken from it without writing.
        auto dialog = std::make_unique<COption>(f.frame);
        ChangeAll(*dialog, ++round);
        std::vector<SIniEdit> edits;
        for (int page = 0; page < COption::PageCount; ++page)
            dialog->Page(page)->Save(edits);
        state.ResumeTiming();
        for (const SIniEdit& edit : edits)
            settings.WriteString(edit.section, edit.key, edit.value.value_or(""));
        f.frame->ReloadSettings();
    }
}

} // namespace

BENCHMARK(BM_OptionOkOneRewrite)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(20);
BENCHMARK(BM_OptionKeysOneByOne)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(20);

int main(int argc, char** argv)
{
    return benchutil::RunWidgetBenchmarks(argc, argv);
}
