// The built tool as the program launches it: its names, argument splitting, exit statuses.

#include "platform/command_line.h"
#include "support/cab_writer.h"
#include "support/temp_dir.h"
#include "tool_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;
using namespace fm::test;

namespace {

class ToolProgram : public ::testing::Test {
protected:
    void SetUp() override {
        CabPlan plan;
        for (const char* name : {"a.txt", R"(docs\b.txt)", "c.ini"}) {
            CabFilePlan f;
            f.name = name;
            f.data = std::string("data of ") + name;
            plan.files.push_back(f);
        }
        writeCabinet(tmp.file("Setup.cab"), plan);
    }
    // Runs Cabarc1.exe with the arguments the program's launcher makes of `parameters`.
    ToolRun launch(const std::string& parameters) {
        return runProgram(std::string(TOOL_DIR) + "/Cabarc1.exe", fm::SplitCommandLine(parameters),
                          tmp.path());
    }
    TempDir tmp;
};

} // namespace

TEST(ToolNames, LaunchedNamesAreRealCopiesOfTheTool) {
    const std::string tool = readFile(TOOL_PATH);
    for (const char* name : {"Cabarc1.exe", "Cabarc2.exe"}) {
        const std::string path = std::string(TOOL_DIR) + "/" + name;
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path))) << path;
        EXPECT_TRUE(readFile(path) == tool) << path;
        EXPECT_EQ(fs::status(path).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
    }
}

TEST_F(ToolProgram, ProgramCommandLinesInDriveForm) {
    const std::string cab = driveForm(tmp.file("Setup.cab"));
    ToolRun all = launch(" X " + cab + " *.* " + driveForm(tmp.file("Setup_Extracted")) + "\\");
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.out, "a.txt\nb.txt\nc.ini\n");
    EXPECT_EQ(readFile(tmp.file("Setup_Extracted/b.txt")), "data of docs\\b.txt");

    ToolRun some =
        launch(" -p X " + cab + " \"a.txt\"  \"b.txt\" " + driveForm(tmp.file("out")) + "\\");
    EXPECT_EQ(some.status, 0) << some.err;
    EXPECT_EQ(treeOf(tmp.file("out")), (std::vector<std::string>{"a.txt", "docs/", "docs/b.txt"}));

    // Listing: the rows on standard output, nothing on standard error.
    ToolRun list = launch(" L " + cab);
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out.substr(0, 32), "        13  2002-03-15 12:34:56 ");
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 3);
    EXPECT_EQ(list.err, "");

    // No destination: the working folder the program starts the tool in.
    ToolRun here = launch(" x " + cab + " \"c.ini\"");
    EXPECT_EQ(here.status, 0) << here.err;
    EXPECT_TRUE(fs::exists(tmp.file("c.ini")));
}

TEST_F(ToolProgram, ExitStatuses) {
    ToolRun usage = launch(" Y a.cab");
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("usage:"), std::string::npos);
    EXPECT_EQ(usage.out, "");
    EXPECT_EQ(launch("").status, 2);

    EXPECT_EQ(launch(" X " + driveForm(tmp.file("absent.cab")) + " out\\").status, 2);
    writeFile(tmp.file("text.cab"), "plain text");
    EXPECT_EQ(launch(" L text.cab").status, 2);
    ToolRun notCab = launch(" X text.cab out\\");
    EXPECT_EQ(notCab.status, 2);
    EXPECT_NE(notCab.err.find("text.cab"), std::string::npos);
    EXPECT_FALSE(fs::exists(tmp.file("out")));

    // One file cannot be written (a folder stands in its place): 1, the others still come out.
    fs::create_directories(tmp.file("partly/a.txt"));
    ToolRun partly = launch(" X Setup.cab partly\\");
    EXPECT_EQ(partly.status, 1);
    EXPECT_NE(partly.err.find("a.txt"), std::string::npos);
    EXPECT_EQ(partly.out, "b.txt\nc.ini\n");

    EXPECT_EQ(launch(" -q X Setup.cab fine\\").status, 0);
}
