// Extracting MSZIP cabinets with the tool's inflaters: ISA-L (the tool's own way) and zlib, each
// with the history carried from block to block, against libmspack's own inflater, through the
// same extraction code and output files; per kind of data.

#include "support/cab_writer.h"
#include "support/temp_dir.h"
#include "tool_args.h"
#include "tool_main.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>

namespace {

constexpr size_t kBytes = 24 * 1024 * 1024;

enum class Kind { Text, Random, Mixed };

std::string makeData(Kind kind, size_t size) {
    std::mt19937 rng(42);
    std::string s;
    s.reserve(size + 64);
    static const char* words[] = {"cabinet", "folder",  "setup",  "driver",  "the",
                                  "of",      "install", "window", "history", "block",
                                  "file",    "data",    "readme"};
    while (s.size() < size) {
        bool text = kind == Kind::Text || (kind == Kind::Mixed && (s.size() / 65536) % 2 == 0);
        if (text) {
            s += words[rng() % 13];
            s += (rng() % 9 == 0) ? '\n' : ' ';
        } else {
            for (int i = 0; i < 16; ++i)
                s += static_cast<char>(rng());
        }
    }
    s.resize(size);
    return s;
}

struct Cabinet {
    fm::test::TempDir dir;
    std::string path;
    explicit Cabinet(Kind kind) {
        fm::test::CabPlan plan;
        plan.folders = {fm::test::CabCompression::MsZip};
        for (int i = 0; i < 4; ++i) {
            fm::test::CabFilePlan f;
            f.name = "data\\part" + std::to_string(i) + ".bin";
            f.data = makeData(kind, kBytes / 4);
            plan.files.push_back(std::move(f));
        }
        path = dir.file("bench.cab");
        fm::test::writeCabinet(path, plan);
    }
};

void extract(benchmark::State& state, Kind kind, fm::tool::MsZipRoute route) {
    static Cabinet text(Kind::Text), random(Kind::Random), mixed(Kind::Mixed);
    const Cabinet& cab = kind == Kind::Text ? text : kind == Kind::Random ? random : mixed;
    fm::test::TempDir out;
    fm::tool::ToolEnvironment env;
    env.workingFolder = out.path();
    env.msZip = route;
    for (auto _ : state) {
        fm::tool::StringOut o, e;
        int status = fm::tool::RunTool({"-q", "-p", "X", cab.path, out.path() + "/"}, env, o, e);
        if (status != 0)
            state.SkipWithError("extraction failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}

} // namespace

using fm::tool::MsZipRoute;
BENCHMARK_CAPTURE(extract, text_isal, Kind::Text, MsZipRoute::Isal)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(extract, text_zlib, Kind::Text, MsZipRoute::Zlib)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(extract, text_libmspack, Kind::Text, MsZipRoute::Libmspack)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(extract, random_isal, Kind::Random, MsZipRoute::Isal)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(extract, random_zlib, Kind::Random, MsZipRoute::Zlib)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(extract, random_libmspack, Kind::Random, MsZipRoute::Libmspack)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(extract, mixed_isal, Kind::Mixed, MsZipRoute::Isal)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(extract, mixed_zlib, Kind::Mixed, MsZipRoute::Zlib)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(extract, mixed_libmspack, Kind::Mixed, MsZipRoute::Libmspack)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
