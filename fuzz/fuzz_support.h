#pragma once

// What the fuzz targets share: a failed property stops the run with a message, the input is taken
// apart byte by byte, bytes become a file without touching the disk; and the tests' scratch
// folders and file reading (fm::test::readFile).

#include "support/temp_dir.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

// Each target defines this; libFuzzer or replay_main.cpp calls it once per input.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fm::fuzz {

// Prints `what` and aborts, so libFuzzer keeps the input and the replay test fails.
[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "property failed: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

#define FM_FUZZ_CHECK(condition, what)                                                             \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::fm::fuzz::Fail(std::string(#condition ": ") + (what));                               \
    } while (0)

// The input, consumed from the front; past its end every read gives zeros or nothing.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}

    bool empty() const { return rest_.empty(); }
    // `n` bytes, or what is left.
    std::string bytes(std::size_t n) {
        std::string out(rest_.substr(0, n));
        rest_.remove_prefix(out.size());
        return out;
    }
    std::uint8_t byte() { return empty() ? 0 : static_cast<std::uint8_t>(bytes(1)[0]); }
    std::uint16_t u16() { // little-endian
        const std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | byte() << 8);
    }
    // A string of up to `maxLength` bytes, its length taken from one byte first.
    std::string text(std::size_t maxLength = 255) {
        return bytes(std::min<std::size_t>(byte(), maxLength));
    }
    std::string rest() { return bytes(rest_.size()); }

private:
    std::string_view rest_;
};

// A file for an input's bytes in a scratch folder of its own (in memory under run-targets).
class MemoryFile {
public:
    void assign(std::string_view bytes) { test::writeFile(path_, std::string(bytes)); }
    const std::string& path() const { return path_; }

private:
    test::TempDir folder_;
    std::string path_ = folder_.file("input");
};

// A fresh folder, removed with its contents; clear() empties it for the next input.
class ScratchFolder : public fm::test::TempDir {
public:
    void clear() {
        for (const auto& entry : std::filesystem::directory_iterator(path()))
            std::filesystem::remove_all(entry.path());
    }
};

} // namespace fm::fuzz
