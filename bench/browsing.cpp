// Browsing at scale, in the real main window (offscreen):
//  - Select All over 1,000 cabinets of 30 files each, beside the bare libmspack directory read
//    of the same files in the same run;
//  - filling the contents list with 32,767 rows, and sorting them by each column;
//  - the process's resident memory with that list.

#include "cabinet/cabinet_enumeration.h"
#include "cabinet/contents_list.h"
#include "controls/list_view.h"
#include "controls/vb_check_box.h"
#include "support/cab_writer.h"
#include "support/window_fixture.h"
#include "window_main.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <fstream>
#include <mspack.h>

namespace {

using namespace fm;
using namespace fm::test;

constexpr int kCabinets = 1000;
constexpr int kFilesPerCabinet = 30;
constexpr int kRows = 32767;

struct World {
    WindowWorld world;
    std::vector<std::string> paths;
    World() {
        for (int c = 0; c < kCabinets; ++c) {
            CabPlan plan;
            for (int f = 0; f < kFilesPerCabinet; ++f) {
                CabFilePlan file;
                file.name = "disk" + std::to_string(c) + "\\file" + std::to_string(f) + ".dll";
                file.data = std::string(static_cast<size_t>(50 + f), 'x');
                file.date = dosDate(1995 + f % 20, 1 + f % 12, 1 + f % 28);
                plan.files.push_back(file);
            }
            paths.push_back(world.startFolder() + "/c" + std::to_string(c) + ".cab");
            writeCabinet(paths.back(), plan);
        }
        world.loaded();
    }
};

World& world() {
    static World w;
    return w;
}

void BM_SelectAll_1000x30(benchmark::State& state) {
    frmFendlemark& win = world().world.window();
    for (auto _ : state) {
        win.ckSelAllCabs->setValue(1); // raises Click: lists every cabinet
        if (win.lvwFiles->rowCount() != kCabinets * kFilesPerCabinet)
            state.SkipWithError("rows went missing");
        state.PauseTiming();
        win.ckSelAllCabs->setValue(0);
        win.ClearContents();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["rows"] = win.lvwFiles->rowCount();
}

void BM_BareLibmspackRead_1000x30(benchmark::State& state) {
    const auto& paths = world().paths;
    for (auto _ : state) {
        mscab_decompressor* d = mspack_create_cab_decompressor(nullptr);
        size_t files = 0;
        for (const std::string& p : paths) {
            if (mscabd_cabinet* cab = d->open(d, p.c_str())) {
                for (mscabd_file* f = cab->files; f; f = f->next) {
                    benchmark::DoNotOptimize(f->filename);
                    ++files;
                }
                d->close(d, cab);
            }
        }
        mspack_destroy_cab_decompressor(d);
        if (files != paths.size() * kFilesPerCabinet)
            state.SkipWithError("files went missing");
    }
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

CabEntry entry(int i) {
    CabEntry e;
    e.Name = QStringLiteral("folder%1\\file%2.dat").arg(i % 97).arg(i);
    e.Size = static_cast<quint32>((i * 7919) % 1000003);
    e.Modified = QDate(1990 + i % 30, 1 + i % 12, 1 + i % 28);
    e.CabinetPath = QStringLiteral("C:\\Downloads\\Drivers\\cab%1.cab").arg(i % 50);
    return e;
}

void fill(ListView& list) {
    for (int i = 0; i < kRows; ++i)
        AddCabEntry(list, entry(i));
    list.rowCount();
    QApplication::processEvents(); // the view takes the rows and paints
}

void BM_Fill_32767(benchmark::State& state) {
    frmFendlemark& win = world().world.window();
    win.show();
    for (auto _ : state) {
        state.PauseTiming();
        win.ClearContents();
        QApplication::processEvents();
        state.ResumeTiming();
        fill(*win.lvwFiles);
    }
    state.counters["rss_MiB"] = static_cast<double>(residentKiB()) / 1024.0;
}

void BM_Sort_32767(benchmark::State& state) {
    frmFendlemark& win = world().world.window();
    win.show();
    win.ClearContents();
    fill(*win.lvwFiles);
    const QString keys[] = {QStringLiteral("Name"), QStringLiteral("Size"),
                            QStringLiteral("Modified")};
    const QString key = keys[state.range(0)];
    for (auto _ : state) {
        // One header click: the rows reorder and the view repaints.
        emit win.lvwFiles->columnClick(static_cast<int>(state.range(0)) + 1, key);
        QApplication::processEvents();
    }
    state.SetLabel(key.toStdString());
}

} // namespace

BENCHMARK(BM_BareLibmspackRead_1000x30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectAll_1000x30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fill_32767)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort_32767)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    return fm::test::RunWindowBenchmarks(argc, argv);
}
