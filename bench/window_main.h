#pragma once

// The main of a benchmark that works with windows: offscreen unless a platform is named.

#include <QApplication>
#include <benchmark/benchmark.h>
#include <functional>

namespace fm::test {

// `release` lets go of what the benchmarks kept (windows among it) while the application lives.
inline int RunWindowBenchmarks(int argc, char** argv, const std::function<void()>& release = {}) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (release)
        release();
    return 0;
}

} // namespace fm::test
