// A settings file of 200 MB (foreign sections and comments around the program's own keys) loaded
// and saved by the real window. Each load reads the file once, each save writes it once; the
// process's peak resident size is reported as peak_MB. Run one benchmark per process
// (--benchmark_filter) for a peak that is that benchmark's own.

#include "support/window_fixture.h"
#include "window_main.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFileBytes = 200u << 20;

// Built once: a foreign section of short lines, the program's section, then a long comment tail.
const std::string& bigSettingsFile() {
    static fm::test::TempDir dir;
    static const std::string path = [] {
        const std::string p = dir.file("Fendlemark.ini");
        std::ofstream out(p, std::ios::binary);
        out << "[Other]\n";
        std::size_t written = 8;
        for (std::size_t i = 0; written < kFileBytes / 2; ++i) {
            const std::string line = "key" + std::to_string(i) + "=some value of a line\n";
            out << line;
            written += line.size();
        }
        out << "[Fendlemark]\nInitialPath=C:\\\nExtrAlwaysSame=0\nExtrPreservePath=1\n"
               "ExtrObName=obSamePlus\nExtrSetFolder=C:\\out\n";
        const std::string comment = "; " + std::string(76, 'c') + "\n";
        for (; written < kFileBytes; written += comment.size())
            out << comment;
        return p;
    }();
    return path;
}

double peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_LoadSettings(benchmark::State& state) {
    const std::string& big = bigSettingsFile();
    for (auto _ : state) {
        state.PauseTiming();
        fm::test::WindowWorld world;
        fs::create_hard_link(big, world.iniPath());
        state.ResumeTiming();
        world.loaded();
        state.PauseTiming();
        world.close();
        state.ResumeTiming();
    }
    state.counters["peak_MB"] = peakMegabytes();
}

void BM_SaveSettings(benchmark::State& state) {
    const std::string& big = bigSettingsFile();
    for (auto _ : state) {
        state.PauseTiming();
        fm::test::WindowWorld world;
        fs::create_hard_link(big, world.iniPath());
        world.loaded().StgExtrPreservePath = 0;
        state.ResumeTiming();
        world.close();
    }
    state.counters["peak_MB"] = peakMegabytes();
}

BENCHMARK(BM_LoadSettings)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SaveSettings)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    return fm::test::RunWindowBenchmarks(argc, argv);
}
