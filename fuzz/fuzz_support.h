#pragma once

// What the fuzz targets share: a failed property stops the run with a message, the input is taken
// apart byte by byte, and bytes become a file without touching the disk.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Each target defines this; libFuzzer or replay_main.cpp calls it once per input.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fm::fuzz {

// Prints `what` and aborts, so libFuzzer keeps the input and the replay test fails.
[[noreturn]] void Fail(const std::string& what);

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
    std::uint8_t byte();
    std::uint16_t u16(); // little-endian
    // A string of up to `maxLength` bytes, its length taken from one byte first.
    std::string text(std::size_t maxLength = 255);
    // `n` bytes, or what is left.
    std::string bytes(std::size_t n);
    std::string rest();

private:
    std::string_view rest_;
};

// An anonymous file in memory, named by a path any open() accepts.
class MemoryFile {
public:
    MemoryFile();
    ~MemoryFile();
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    void assign(std::string_view bytes);
    const std::string& path() const { return path_; }

private:
    int fd_;
    std::string path_;
};

// A fresh folder, in memory where the system offers one (/dev/shm), removed with its contents.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    // Empties the folder for the next input.
    void clear();

private:
    std::string path_;
};

std::string ReadWholeFile(const std::string& path);

} // namespace fm::fuzz
