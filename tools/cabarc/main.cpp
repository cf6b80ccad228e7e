// The command-line cabinet tool; see tool_main.h.

#include "tool_main.h"

#include <iostream>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    return fm::tool::RunTool(args, fm::tool::SystemEnvironment(), std::cout, std::cerr);
}
