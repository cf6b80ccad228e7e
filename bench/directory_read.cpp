// Listing a folder full of cabinets: IterateCabinet against libmspack's bare open/close over the
// same files, so the cost of our layer (quiet I/O, record building, the callback) shows.

#include "platform/cabinet_directory.h"

#include "support/cab_writer.h"
#include "support/temp_dir.h"

#include <benchmark/benchmark.h>
#include <mspack.h>

#include <string>
#include <vector>

namespace {

constexpr int kCabinets = 1000;
constexpr int kFilesPerCabinet = 30;

// 1,000 cabinets of 30 small files in three folders, written once per run.
struct CabinetFolder {
    fm::test::TempDir dir;
    std::vector<std::string> paths;

    CabinetFolder() {
        using namespace fm::test;
        for (int c = 0; c < kCabinets; ++c) {
            CabPlan plan;
            plan.folders = {CabCompression::Stored, CabCompression::MsZip, CabCompression::Stored};
            for (int f = 0; f < kFilesPerCabinet; ++f) {
                CabFilePlan file;
                file.name =
                    "setup\\part" + std::to_string(f % 4) + "\\file" + std::to_string(f) + ".dat";
                file.data = std::string(100 + 37 * f, static_cast<char>('a' + f % 26));
                file.folder = f % 3;
                plan.files.push_back(file);
            }
            paths.push_back(dir.file("c" + std::to_string(c) + ".cab"));
            writeCabinet(paths.back(), plan);
        }
    }
};

const CabinetFolder& cabinets() {
    static const CabinetFolder folder;
    return folder;
}

void BM_IterateCabinet(benchmark::State& state) {
    const auto& paths = cabinets().paths;
    for (auto _ : state) {
        std::size_t records = 0;
        for (const std::string& path : paths) {
            records += fm::IterateCabinet(path, [](const fm::CabinetFileRecord& r) {
                           benchmark::DoNotOptimize(r.name.data());
                       }).files;
        }
        if (records != paths.size() * kFilesPerCabinet)
            state.SkipWithError("records went missing");
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(paths.size()));
    state.SetLabel("1000 cabinets x 30 files");
}

void BM_BareMspackOpenClose(benchmark::State& state) {
    const auto& paths = cabinets().paths;
    mscab_decompressor* d = mspack_create_cab_decompressor(nullptr);
    for (auto _ : state) {
        std::size_t records = 0;
        for (const std::string& path : paths) {
            mscabd_cabinet* cab = d->open(d, path.c_str());
            for (mscabd_file* f = cab ? cab->files : nullptr; f; f = f->next, ++records)
                benchmark::DoNotOptimize(f->filename);
            if (cab)
                d->close(d, cab);
        }
        if (records != paths.size() * kFilesPerCabinet)
            state.SkipWithError("records went missing");
    }
    mspack_destroy_cab_decompressor(d);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(paths.size()));
    state.SetLabel("1000 cabinets x 30 files");
}

BENCHMARK(BM_IterateCabinet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareMspackOpenClose)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
