// The command-line cabinet tool; see tool_main.h.

#include "tool_main.h"

#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv) {
    fm::tool::InstallStopHandlers();
    // Without TZ the C library looks at the time zone file again on every mktime(), a system
    // call per extracted file; naming the file it reads by default spares them.
    ::setenv("TZ", ":/etc/localtime", 0);
    std::vector<std::string> args(argv + 1, argv + argc);
    fm::tool::FdOut out(STDOUT_FILENO), err(STDERR_FILENO);
    return fm::tool::RunTool(args, fm::tool::SystemEnvironment(), out, err);
}
