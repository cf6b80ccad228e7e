#include "fuzz_support.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fm::fuzz {

void Fail(const std::string& what) {
    std::fprintf(stderr, "property failed: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

std::uint8_t Input::byte() {
    if (rest_.empty())
        return 0;
    const auto b = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return b;
}

std::uint16_t Input::u16() {
    const std::uint16_t low = byte();
    return static_cast<std::uint16_t>(low | byte() << 8);
}

std::string Input::text(std::size_t maxLength) {
    return bytes(std::min<std::size_t>(byte(), maxLength));
}

std::string Input::bytes(std::size_t n) {
    n = std::min(n, rest_.size());
    std::string out(rest_.substr(0, n));
    rest_.remove_prefix(n);
    return out;
}

std::string Input::rest() {
    return bytes(rest_.size());
}

MemoryFile::MemoryFile() : fd_(::memfd_create("fuzz-input", MFD_CLOEXEC)) {
    if (fd_ < 0)
        Fail("memfd_create");
    path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemoryFile::~MemoryFile() {
    ::close(fd_);
}

void MemoryFile::assign(std::string_view bytes) {
    if (::ftruncate(fd_, 0) != 0 ||
        ::pwrite(fd_, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        Fail("writing the memory file");
}

ScratchFolder::ScratchFolder() {
    namespace fs = std::filesystem;
    std::string base = fs::is_directory("/dev/shm") && ::access("/dev/shm", W_OK) == 0
                           ? std::string("/dev/shm")
                           : fs::temp_directory_path().string();
    std::string pattern = base + "/fm-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        Fail("mkdtemp");
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void ScratchFolder::clear() {
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        std::filesystem::remove_all(entry.path());
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

} // namespace fm::fuzz
