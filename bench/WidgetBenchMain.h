#pragma once

// The main function of the micro-benchmarks that need widgets: offscreen
// unless a platform is chosen.
#include <QApplication>
#include <benchmark/benchmark.h>

namespace benchutil {

inline int RunWidgetBenchmarks(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace benchutil
