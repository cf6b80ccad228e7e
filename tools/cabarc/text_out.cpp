#include "text_out.h"

#include <cerrno>
#include <unistd.h>

namespace fm::tool {

void FdOut::write(std::string_view text) {
    buffer_.append(text);
    if (buffer_.size() >= 64 * 1024)
        flush();
}

void FdOut::flush() {
    const char* p = buffer_.data();
    size_t left = buffer_.size();
    while (left > 0) {
        ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // a closed pipe or full disk: nothing better to do with the text
        p += n;
        left -= static_cast<size_t>(n);
    }
    buffer_.clear();
}

} // namespace fm::tool
