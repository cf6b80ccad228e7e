#pragma once

// Running the cabinet tool from tests: in-process through RunTool, or the built program.

#include "tool_main.h"

#include <string>
#include <vector>

namespace fm::test {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// An environment with drive c: only and the given working folder.
fm::tool::ToolEnvironment toolEnvironment(const std::string& workingFolder);

// Runs the tool in this process.
ToolRun runTool(const std::vector<std::string>& args, const fm::tool::ToolEnvironment& env);

// Runs a program with arguments in `workingFolder` and waits for it.
ToolRun runProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& workingFolder);

// Every entry below `folder` as a relative path with '/', sorted; folders end in '/', symbolic
// links are listed and not followed.
std::vector<std::string> treeOf(const std::string& folder);

// `posixPath` in drive form for drive c: ("/tmp/x" -> "C:\tmp\x").
std::string driveForm(const std::string& posixPath);

} // namespace fm::test
