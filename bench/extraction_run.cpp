// The extraction run with nothing faked (the real window offscreen, the real launcher, process
// list and tool), beside the same tool run by hand on the same files:
//  - 1,000 cabinets of 20 files each, all launched back to back by the run;
//    by hand one after another, and all started at once and then waited for;
//  - one MSZIP cabinet of 100 MB;
//  - one MSZIP cabinet of 20,000 small files: all of them, against 19,999 chosen rows (one launch
//    either way, the rows named exactly in the link).
// The run's own cost is its time less the tools' back-to-back time; its wait polls every 125 ms,
// so up to that much of the difference is the poll. Any other process named like the tool on the
// machine also keeps the run waiting.

#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "controls/list_view.h"
#include "controls/vb_check_box.h"
#include "controls/vb_label.h"
#include "extract/run_fixture.h"
#include "support/cab_writer.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

using namespace fm;
using namespace fm::test;
namespace fs = std::filesystem;

constexpr int kCabinets = 1000;
constexpr int kFilesPerCabinet = 20;
constexpr int kWideFiles = 20000;

struct World {
    SpawnLauncher launcher;
    ProcFsProcessList processes;
    WindowWorld world;
    std::string folder;
    explicit World(const std::string& name) : folder(world.startFolder() + "/" + name) {
        for (const char* tool : {"/Cabarc1.exe", "/Cabarc2.exe"})
            fs::copy_file(FM_PROGRAM_FOLDER + std::string(tool), world.programFolder() + tool);
        world.useLauncher = &launcher;
        world.useProcesses = &processes;
        fs::create_directories(folder);
    }
    frmFendlemark& window() {
        frmFendlemark& w = world.loaded();
        w.StgExtrObName = QStringLiteral("obSamePlus");
        w.Dir1->setPath(world.drivePath(folder));
        w.ckSelAllCabs->setValue(1); // every cabinet, no row: all files
        return w;
    }
    void clean() {
        for (const auto& e : fs::directory_iterator(folder))
            if (e.is_directory())
                fs::remove_all(e.path());
    }
    std::vector<std::string> cabinets() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(folder))
            if (e.path().extension() == ".cab")
                out.push_back(e.path().string());
        return out;
    }
};

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
        CabPlan plan;
        plan.folders = {CabCompression::MsZip};
        std::string data(100u << 20, '\0');
        uint32_t x = 1;
        for (size_t i = 0; i < data.size(); ++i) {
            x = x * 1103515245u + 12345u;
            // Text-like runs and noise in turn, as a setup cabinet holds them.
            data[i] = (i >> 16) % 2 ? static_cast<char>(x >> 24) : static_cast<char>('a' + i % 23);
        }
        plan.files = {cabFile("big.bin", data)};
        writeCabinet(gLarge->folder + "/large.cab", plan);
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

pid_t startTool(World& w, const std::string& cabinet, int n) {
    const std::string dest = cabinet.substr(0, cabinet.size() - 4) + " Extracted/";
    fs::create_directory(dest);
    const std::string tool = w.world.programFolder() + "/Cabarc" + std::to_string(n) + ".exe";
    std::vector<std::string> args = {tool, "X", cabinet, "*.*", dest};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    posix_spawn(&pid, tool.c_str(), &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    return pid;
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gMany.reset();
    gLarge.reset();
    gWide.reset();
    return 0;
}
