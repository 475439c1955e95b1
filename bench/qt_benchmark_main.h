#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>

// BENCHMARK_MAIN for benchmarks that need a QApplication (offscreen unless a platform is set).
#define VEXA_QT_BENCHMARK_MAIN()                                                                 \
  int main(int argc, char** argv) {                                                              \
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen"); \
    QApplication app(argc, argv);                                                                \
    benchmark::Initialize(&argc, argv);                                                          \
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;                            \
    benchmark::RunSpecifiedBenchmarks();                                                         \
    benchmark::Shutdown();                                                                       \
    return 0;                                                                                    \
  }                                                                                              \
  int main(int, char**)
