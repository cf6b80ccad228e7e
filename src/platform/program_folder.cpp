#include "platform/program_folder.h"

#include <climits>
#include <cstdlib>
#include <memory>

namespace fm {

std::string ProgramFolder() {
    // /proc/self/exe names the executable that was started, whatever link led to it.
    std::unique_ptr<char, decltype(&std::free)> real(::realpath("/proc/self/exe", nullptr),
                                                     &std::free);
    if (!real)
        return {};
    std::string path = real.get();
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace fm
