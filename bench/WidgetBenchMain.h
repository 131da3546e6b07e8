// The main() of a benchmark that draws widgets: an application on the offscreen platform
// unless another is asked for, then every benchmark of the program.
#pragma once

#include <QApplication>

#include <benchmark/benchmark.h>

inline int RunWidgetBenchmarks(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
