#include "platform/command_line.h"

namespace fm {

std::vector<std::string> SplitCommandLine(std::string_view parameters) {
    if (auto nul = parameters.find('\0'); nul != std::string_view::npos)
        parameters = parameters.substr(0, nul);

    std::vector<std::string> args;
    const size_t n = parameters.size();
    size_t i = 0;
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };

    for (;;) {
        while (i < n && isBlank(parameters[i]))
            ++i;
        if (i == n)
            break;

        std::string arg;
        bool quoted = false;
        for (;;) {
            size_t slashes = 0;
            while (i < n && parameters[i] == '\\') {
                ++slashes;
                ++i;
            }
            if (i < n && parameters[i] == '"') {
                arg.append(slashes / 2, '\\');
                if (slashes % 2 == 1) {
                    arg += '"'; // escaped quote
                } else if (quoted && i + 1 < n && parameters[i + 1] == '"') {
                    arg += '"'; // "" inside quoted text: one quote, still quoted
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
                continue;
            }
            arg.append(slashes, '\\');
            if (i == n || (!quoted && isBlank(parameters[i])))
                break;
            arg += parameters[i++];
        }
        args.push_back(std::move(arg));
    }
    return args;
}

} // namespace fm
