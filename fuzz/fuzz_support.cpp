#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fm::fuzz {

void Fail(const std::string& what) {
    std::fprintf(stderr, "property failed: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

void ScratchFolder::clear() {
    for (const auto& entry : std::filesystem::directory_iterator(path()))
        std::filesystem::remove_all(entry.path());
}

} // namespace fm::fuzz
