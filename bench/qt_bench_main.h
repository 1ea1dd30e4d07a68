// The main of a benchmark of windows: an offscreen application (unless the
// caller names a platform) around Google Benchmark's own run.
#pragma once

#include <QApplication>
#include <benchmark/benchmark.h>

// prepare (when given) runs once the application stands, before the first
// benchmark: what it builds is not counted in any.
inline int RunQtBenchmarks(int argc, char** argv, void (*prepare)() = nullptr) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (prepare) prepare();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
