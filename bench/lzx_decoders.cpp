// Testing (T) LZX:21 cabinets made by the tool's own N with the tool's LZX decoder, on the run's
// thread alone and with folders decoded ahead on worker threads, against libmspack's decoder;
// per kind of data: base64 text (literals almost only), a list of numbers (short repeats) and
// machine code (E8 translation). bench/tool_vs_cabextract.sh compares the whole tool with
// cabextract on larger cabinets.

#include "support/temp_dir.h"
#include "tool_args.h"
#include "tool_main.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <random>
#include <string>

namespace {

constexpr size_t kBytes = 32 * 1024 * 1024;

enum class Kind { Base64, Numbers, Code };

std::string makeData(Kind kind) {
    std::string s;
    s.reserve(kBytes + 64);
    if (kind == Kind::Base64) {
        static const char digits[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::mt19937 rng(42);
        while (s.size() < kBytes) {
            for (int i = 0; i < 76; ++i)
                s += digits[rng() % 64];
            s += '\n';
        }
    } else if (kind == Kind::Numbers) {
        for (unsigned n = 1; s.size() < kBytes; ++n)
            s += std::to_string(n) + '\n';
    } else { // the tool's own machine code, over and over
        std::ifstream in("/proc/self/exe", std::ios::binary);
        const std::string code((std::istreambuf_iterator<char>(in)), {});
        while (s.size() < kBytes)
            s += code;
    }
    s.resize(kBytes);
    return s;
}

// `kind`'s data packed by N into dir/`name`; empty when N fails.
std::string makeCabinet(const fm::test::TempDir& dir, Kind kind, const std::string& name) {
    const std::string input = dir.file(name + ".bin"), cab = dir.file(name + ".cab");
    std::ofstream(input, std::ios::binary) << makeData(kind);
    fm::tool::ToolEnvironment env;
    env.workingFolder = dir.path();
    fm::tool::StringOut o, e;
    return fm::tool::RunTool({"-q", "-m", "LZX:21", "N", cab, input}, env, o, e) == 0 ? cab : "";
}

enum class Decoder { Own, OwnAhead, Libmspack };

void test(benchmark::State& state, Kind kind, Decoder decoder) {
    static const fm::test::TempDir dir;
    static const std::string cabs[] = {makeCabinet(dir, Kind::Base64, "base64"),
                                       makeCabinet(dir, Kind::Numbers, "numbers"),
                                       makeCabinet(dir, Kind::Code, "code")};
    const std::string& cab = cabs[static_cast<int>(kind)];
    if (cab.empty()) {
        state.SkipWithError("N failed");
        return;
    }
    fm::tool::ToolEnvironment env;
    env.workingFolder = dir.path();
    env.ownLzx = decoder != Decoder::Libmspack;
    if (decoder == Decoder::Own)
        env.lzxWorkers = 0;
    for (auto _ : state) {
        fm::tool::StringOut o, e;
        if (fm::tool::RunTool({"T", cab}, env, o, e) != 0)
            state.SkipWithError("test failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}

} // namespace

// Wall time: the decoding ahead runs on other threads.
#define FM_LZX_BENCH(kind, name)                                                                   \
    BENCHMARK_CAPTURE(test, name##_own, kind, Decoder::Own)                                        \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->UseRealTime();                                                                           \
    BENCHMARK_CAPTURE(test, name##_own_ahead, kind, Decoder::OwnAhead)                             \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->UseRealTime();                                                                           \
    BENCHMARK_CAPTURE(test, name##_libmspack, kind, Decoder::Libmspack)                            \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->UseRealTime();
FM_LZX_BENCH(Kind::Base64, base64)
FM_LZX_BENCH(Kind::Numbers, numbers)
FM_LZX_BENCH(Kind::Code, code)

BENCHMARK_MAIN();
