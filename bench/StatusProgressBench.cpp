// 10,000 progress events, as a page's load reports them, on the status
// bar's progress pane and on a plain QProgressBar of the same width; each
// run ends when the last repaint is done. The counters give the repaints
// of one run.
#include "widgets/bars/StatusBar.h"

#include "WidgetBenchMain.h"

#include <QProgressBar>

using namespace nimbra;

namespace {

constexpr int kEvents = 10000;

class CPaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

template <class Widget, class SetPos>
void Run(benchmark::State& state, SetPos setPos)
{
    Widget widget(nullptr);
    widget.resize(100, 16);
    widget.show();
    QApplication::processEvents();
    CPaintCounter counter;
    widget.installEventFilter(&counter);
    for (auto _ : state) {
        setPos(widget, 0);
        QApplication::processEvents();
        counter.paints = 0;
        for (int i = 0; i < kEvents; ++i)
            setPos(widget, i * 100 / kEvents + 1);
        QApplication::processEvents();
    }
    state.counters["repaints"] = counter.paints;
}

void StatusProgress(benchmark::State& state)
{
    Run<CStatusProgress>(state, [](CStatusProgress& w, int pos) { w.SetPos(pos); });
}

void PlainProgressBar(benchmark::State& state)
{
    Run<QProgressBar>(state, [](QProgressBar& w, int pos) { w.setValue(pos); });
}

BENCHMARK(StatusProgress)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainProgressBar)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return benchutil::RunWidgetBenchmarks(argc, argv);
}
