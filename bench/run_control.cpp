// A run's own cost, with nothing faked (the real window offscreen, the real launcher, process list
// and tool), beside the same tool started by hand with as many at once as the run allows
// (RunQueue::defaultConcurrency(), the next one as soon as one ends):
//  - 5,000 cabinets of one file each;
//  - one MSZIP cabinet of 100 MB, which the run shows as a share of its bytes.
// What progress costs the tool: the 100 MB cabinet by hand with and without -r (its reports
// written into a pipe that is drained meanwhile).

#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "controls/vb_check_box.h"
#include "controls/vb_label.h"
#include "extract/run_queue.h"
#include "run_world.h"
#include "support/cab_writer.h"
#include "window_main.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>

namespace {

using namespace fm;
using namespace fm::test;
namespace fs = std::filesystem;

constexpr int kCabinets = 5000;

std::unique_ptr<World> gMany, gLarge; // dropped before the application object

World& many() {
    if (!gMany) {
        gMany = std::make_unique<World>("many");
        for (int c = 0; c < kCabinets; ++c) {
            CabPlan plan;
            plan.folders = {CabCompression::MsZip};
            plan.files = {cabFile("dir\\file.txt", std::string(2000 + c % 100, 'a' + c % 26))};
            writeCabinet(gMany->folder + "/c" + std::to_string(c) + ".cab", plan);
        }
    }
    return *gMany;
}

World& large() {
    if (!gLarge) {
        gLarge = std::make_unique<World>("large");
        writeLargeCabinet(gLarge->folder + "/large.cab");
    }
    return *gLarge;
}

// CPU seconds of the children collected so far (the tools).
double childCpu() {
    rusage r{};
    ::getrusage(RUSAGE_CHILDREN, &r);
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

// Wall time is at the mercy of whatever else the machine runs; the tools' own CPU time is not.
void countToolCpu(benchmark::State& state, double before) {
    state.counters["tools_cpu_ms"] =
        benchmark::Counter((childCpu() - before) * 1000, benchmark::Counter::kAvgIterations);
}

void runThrough(benchmark::State& state, World& w) {
    frmFendlemark& win = w.window();
    const double cpu = childCpu();
    for (auto _ : state) {
        state.PauseTiming();
        w.clean();
        state.ResumeTiming();
        extractSelected(win);
        if (!w.world.prompt.shown.isEmpty() || !win.lblFiles->text().endsWith("extracted."))
            state.SkipWithError("the run failed");
    }
    countToolCpu(state, cpu);
}

// The tools by hand, `concurrency` at a time; with `progress` each writes its reports into a pipe
// that a thread drains meanwhile.
void byHand(benchmark::State& state, World& w, size_t concurrency, bool progress = false) {
    const std::vector<std::string> cabs = w.cabinets();
    int pipeFds[2] = {-1, -1};
    std::thread drain;
    if (progress) {
        if (::pipe2(pipeFds, O_CLOEXEC) != 0)
            state.SkipWithError("no pipe");
        drain = std::thread([fd = pipeFds[0]] {
            char sink[4096];
            while (::read(fd, sink, sizeof sink) > 0) {
            }
        });
    }
    const double cpu = childCpu();
    for (auto _ : state) {
        state.PauseTiming();
        w.clean();
        state.ResumeTiming();
        size_t running = 0, next = 0;
        while (next < cabs.size() || running > 0) {
            while (running < concurrency && next < cabs.size()) {
                startTool(w, cabs[next], static_cast<int>(next % 2 + 1), pipeFds[1]);
                ++next;
                ++running;
            }
            ::waitpid(-1, nullptr, 0);
            --running;
        }
    }
    countToolCpu(state, cpu);
    if (progress) {
        ::close(pipeFds[1]);
        drain.join();
        ::close(pipeFds[0]);
    }
}

size_t concurrency() {
    return static_cast<size_t>(RunQueue::defaultConcurrency());
}

void BM_Run_5000x1(benchmark::State& s) {
    runThrough(s, many());
}
void BM_Tools_5000x1_SameConcurrency(benchmark::State& s) {
    byHand(s, many(), concurrency());
}
void BM_Run_100MB(benchmark::State& s) {
    runThrough(s, large());
}
void BM_Tool_100MB(benchmark::State& s) {
    byHand(s, large(), 1);
}
void BM_Tool_100MB_WithProgress(benchmark::State& s) {
    byHand(s, large(), 1, true);
}

} // namespace

BENCHMARK(BM_Run_5000x1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Tools_5000x1_SameConcurrency)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK(BM_Run_100MB)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_Tool_100MB)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_Tool_100MB_WithProgress)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

int main(int argc, char** argv) {
    return fm::test::RunWindowBenchmarks(argc, argv, [] {
        gMany.reset();
        gLarge.reset();
    });
}
