#pragma once

// The cabinet tool's tests share this: a scratch folder, cabinets written into it, and the tool
// run in-process (RunTool) or as a program; and what those tests reach for besides.

#include "platform/cabinet_directory.h"
#include "platform/command_line.h"
#include "platform/tool_link.h"
#include "stored_name.h"
#include "support/cab_writer.h"
#include "support/temp_dir.h"
#include "tool_main.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fm::test {

using Strings = std::vector<std::string>;

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a program (looked up in PATH) with arguments in `folder` and waits for it.
ToolRun runProgram(const std::string& program, const Strings& args, const std::string& folder);

// The entries below `folder`, relative, sorted, joined by spaces; folders end in '/'.
std::string treeOf(const std::string& folder);

// Text that compresses, different per seed; with `noise`, bytes that deflate stores as they are.
std::string sampleData(size_t size, unsigned seed, bool noise = false);

// A cabinet of these names as stored, each file's content "data of " and its name.
CabPlan namedPlan(const Strings& names);

// File offset of data block `n` of a cabinet's first folder.
size_t blockOffset(const std::string& cab, const CabPlan& plan, int n);

class ToolTest : public ::testing::Test {
protected:
    TempDir tmp;
    fm::tool::ToolEnvironment env;

    ToolTest() {
        env.workingFolder = tmp.path();
        env.isalFromBytes = 0; // ISA-L for the small cabinets of the tests too
    }
    // Writes the cabinet as tmp/`name` and returns its path.
    std::string cabinet(const CabPlan& plan, const std::string& name = "a.cab") {
        writeCabinet(tmp.file(name), plan);
        return tmp.file(name);
    }
    ToolRun run(const Strings& args) const;
    // Writes the link as tmp/link.txt and returns its path.
    std::string link(const std::vector<fm::LinkedRecord>& records,
                     const Strings& mounts = {}) const {
        writeFile(tmp.file("link.txt"), fm::WriteToolLink({mounts, records}));
        return tmp.file("link.txt");
    }
    // tmp/out/`sub`
    std::string out(const std::string& sub = "") const { return tmp.file("out/" + sub); }
};

} // namespace fm::test

namespace fs = std::filesystem;
using namespace fm::test;
