// The command-line cabinet tool; see tool_main.h.

#include "tool_main.h"

#include <unistd.h>

int main(int argc, char** argv) {
    fm::tool::InstallStopHandlers();
    std::vector<std::string> args(argv + 1, argv + argc);
    fm::tool::FdOut out(STDOUT_FILENO), err(STDERR_FILENO);
    return fm::tool::RunTool(args, fm::tool::SystemEnvironment(), out, err);
}
