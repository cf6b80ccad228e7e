#pragma once

// The extraction's progress, written to a descriptor the caller named (-r): lines
// "<bytes done>/<bytes in all>\n", decimal. A line goes out for each further hundredth of the
// whole and once at the end, so a large cabinet costs about a hundred small writes. Reporting
// never disturbs the extraction: once a write fails (the reader has gone) it stops.

#include <cstdint>

namespace fm::tool {

class ProgressReport {
public:
    ProgressReport(int fd, std::uint64_t total);
    void add(std::uint64_t bytes);
    void finish();

private:
    void write();

    int fd_;
    std::uint64_t total_, done_ = 0, next_ = 0;
};

} // namespace fm::tool
