#include "progress_report.h"

#include <cerrno>
#include <charconv>
#include <unistd.h>

namespace fm::tool {

ProgressReport::ProgressReport(int fd, std::uint64_t total) : fd_(fd), total_(total) {
    write();
}

void ProgressReport::add(std::uint64_t bytes) {
    done_ += bytes;
    if (done_ >= next_)
        write();
}

void ProgressReport::finish() {
    write();
    fd_ = -1;
}

void ProgressReport::write() {
    next_ = done_ + total_ / 100 + 1;
    if (fd_ < 0)
        return;
    char line[48];
    char* end = std::to_chars(line, line + 20, done_).ptr;
    *end++ = '/';
    end = std::to_chars(end, end + 20, total_).ptr;
    *end++ = '\n';
    ssize_t n;
    while ((n = ::write(fd_, line, static_cast<size_t>(end - line))) < 0 && errno == EINTR) {
    }
    if (n < 0)
        fd_ = -1;
}

} // namespace fm::tool
