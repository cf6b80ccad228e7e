#include "tool_args.h"

namespace fm::tool {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

ParsedArgs ParseToolArgs(const std::vector<std::string>& args) {
    ToolArgs out;
    size_t i = 0;
    for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
        const std::string& opt = args[i];
        if (opt.size() != 2)
            return {std::nullopt, "unknown option " + opt};
        switch (lower(opt[1])) {
        case 'p':
            out.keepFolders = true;
            break;
        case 'o':
            out.overwrite = true;
            break;
        case 'q':
            out.quiet = true;
            break;
        default:
            return {std::nullopt, "unknown option " + opt};
        }
    }
    if (i == args.size())
        return {std::nullopt, "no command given"};
    const std::string& command = args[i++];
    if (command == "L" || command == "l")
        out.command = Command::List;
    else if (command == "X" || command == "x")
        out.command = Command::Extract;
    else
        return {std::nullopt, "unknown command " + command};

    if (i == args.size() || args[i].empty())
        return {std::nullopt, "no cabinet given"};
    out.cabinet = args[i++];

    size_t end = args.size();
    if (out.command == Command::Extract && end > i) {
        const std::string& last = args[end - 1];
        if (!last.empty() && (last.back() == '\\' || last.back() == '/')) {
            out.destination = last;
            --end;
        }
    }
    for (; i < end; ++i) {
        if (args[i].empty())
            return {std::nullopt, "empty file name"};
        out.patterns.push_back(args[i]);
    }
    return {std::move(out), {}};
}

const char* UsageText() {
    return "usage: cabarc [-p] [-o] [-q] <command> <cabinet> [<file> ...] [<dest>\\]\n"
           "commands:\n"
           "  L   list the files stored in the cabinet\n"
           "  X   extract files (all, or those matching the <file> patterns with * and ?)\n"
           "patterns:\n"
           "  * and ? match without regard to case; * and *.* match every file. A pattern\n"
           "  without a backslash is matched against the last part of each stored name, one\n"
           "  with a backslash against the whole name, leading backslashes left out:\n"
           "  \"\\readme.txt\" is only the readme.txt stored at the top. A pattern other than\n"
           "  * and *.* that matches nothing is an error (exit status 1).\n"
           "options:\n"
           "  -p  keep the stored folders below the destination\n"
           "  -o  replace existing files without asking (always done)\n"
           "  -q  do not print a line per extracted file\n";
}

} // namespace fm::tool
