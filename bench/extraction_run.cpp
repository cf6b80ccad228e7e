// The extraction run with nothing faked (the real window offscreen, the real launcher, process
// list and tool), beside the same tool run by hand on the same files:
//  - 1,000 cabinets of 20 files each, all launched back to back by the run;
//    by hand one after another, and all started at once and then waited for;
//  - one MSZIP cabinet of 100 MB;
//  - one MSZIP cabinet of 20,000 small files: all of them, against 19,999 chosen rows (one launch
//    either way, the rows named exactly in the link).
// The run's own cost is its time less the tools' back-to-back time.

#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "controls/list_view.h"
#include "controls/vb_check_box.h"
#include "controls/vb_label.h"
#include "run_world.h"
#include "support/cab_writer.h"
#include "window_main.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>

namespace {

using namespace fm;
using namespace fm::test;
namespace fs = std::filesystem;

constexpr int kCabinets = 1000;
constexpr int kFilesPerCabinet = 20;
constexpr int kWideFiles = 20000;

std::unique_ptr<World> gMany, gLarge, gWide; // dropped before the application object

World& many() {
    if (!gMany) {
        gMany = std::make_unique<World>("many");
        for (int c = 0; c < kCabinets; ++c) {
            CabPlan plan;
            plan.folders = {CabCompression::MsZip};
            for (int f = 0; f < kFilesPerCabinet; ++f)
                plan.files.push_back(cabFile("dir\\file" + std::to_string(f) + ".txt",
                                             std::string(static_cast<size_t>(2000 + f), 'a' + f)));
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

World& wide() {
    if (!gWide) {
        gWide = std::make_unique<World>("wide");
        CabPlan plan;
        plan.folders = {CabCompression::MsZip};
        for (int f = 0; f < kWideFiles; ++f)
            plan.files.push_back(
                cabFile("dir" + std::to_string(f % 50) + "\\file" + std::to_string(f) + ".txt",
                        std::string(static_cast<size_t>(100 + f % 400), 'a' + f % 26)));
        writeCabinet(gWide->folder + "/wide.cab", plan);
    }
    return *gWide;
}

void runThrough(benchmark::State& state, World& w, frmFendlemark& win) {
    for (auto _ : state) {
        state.PauseTiming();
        w.clean();
        state.ResumeTiming();
        extractSelected(win);
        if (!w.world.prompt.shown.isEmpty() || !win.lblFiles->text().endsWith("extracted."))
            state.SkipWithError("the run failed");
    }
}

void byHand(benchmark::State& state, World& w, bool allAtOnce) {
    const std::vector<std::string> cabs = w.cabinets();
    for (auto _ : state) {
        state.PauseTiming();
        w.clean();
        state.ResumeTiming();
        std::vector<pid_t> pids;
        int n = 0;
        for (const auto& c : cabs) {
            pids.push_back(startTool(w, c, ++n % 2 + 1));
            if (!allAtOnce)
                ::waitpid(pids.back(), nullptr, 0);
        }
        if (allAtOnce)
            for (pid_t p : pids)
                ::waitpid(p, nullptr, 0);
    }
}

void runThrough(benchmark::State& state, World& w) {
    runThrough(state, w, w.window());
}

void BM_Run_1000x20(benchmark::State& s) {
    runThrough(s, many());
}
void BM_Tools_1000x20_OneAfterAnother(benchmark::State& s) {
    byHand(s, many(), false);
}
void BM_Tools_1000x20_AllAtOnce(benchmark::State& s) {
    byHand(s, many(), true);
}
void BM_Run_100MB(benchmark::State& s) {
    runThrough(s, large());
}
void BM_Tool_100MB(benchmark::State& s) {
    byHand(s, large(), false);
}
// The window is built once for both: the listing is not what is measured.
frmFendlemark& wideWindow() {
    static frmFendlemark& win = wide().window();
    return win;
}
void BM_Run_20000Files_All(benchmark::State& s) {
    frmFendlemark& win = wideWindow();
    win.lvwFiles->setSelectionFlags({});
    runThrough(s, wide(), win);
}
void BM_Run_20000Files_19999Rows(benchmark::State& s) {
    frmFendlemark& win = wideWindow();
    std::vector<bool> all(static_cast<size_t>(win.lvwFiles->rowCount()), true);
    all[0] = false;
    win.lvwFiles->setSelectionFlags(all);
    runThrough(s, wide(), win);
}

} // namespace

BENCHMARK(BM_Run_1000x20)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Tools_1000x20_OneAfterAnother)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK(BM_Tools_1000x20_AllAtOnce)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Run_100MB)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Tool_100MB)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Run_20000Files_All)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Run_20000Files_19999Rows)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

int main(int argc, char** argv) {
    return fm::test::RunWindowBenchmarks(argc, argv, [] {
        gMany.reset();
        gLarge.reset();
        gWide.reset();
    });
}
