// The built tool as the program launches it: its names, argument splitting, exit statuses.

#include "tool_runner.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(ToolNames, LaunchedNamesAreRealCopiesOfTheTool) {
    for (const char* name : {"/Cabarc1.exe", "/Cabarc2.exe"}) {
        const std::string path = TOOL_DIR + std::string(name);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path))) << path;
        EXPECT_TRUE(readFile(path) == readFile(TOOL_PATH)) << path;
        EXPECT_EQ(fs::status(path).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
    }
}

TEST_F(ToolTest, TheProgramsCommandLines) {
    // Cabarc1.exe with the arguments the program's launcher makes of the parameter string (quoted
    // destinations and collisions: EndToEnd and LinkedTool).
    auto launch = [&](const std::string& parameters) {
        return runProgram(TOOL_DIR "/Cabarc1.exe", fm::SplitCommandLine(parameters), tmp.path());
    };
    // A cabinet large enough that the tool loads ISA-L for it.
    CabPlan large;
    large.folders = {CabCompression::MsZip};
    large.files = {cabFile("large.bin", sampleData(2500000, 1, true) + sampleData(500000, 2))};
    cabinet(large, "large.cab");
    EXPECT_EQ(launch(" -q X large.cab large\\").status, 0);
    EXPECT_TRUE(readFile(tmp.file("large/large.bin")) == large.files[0].data);
    // Nothing can start: status 2, with the reason.
    ToolRun usage = launch(" Y a.cab");
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("usage:"), std::string::npos);
}

// Stopped mid-file, politely or killed (as a cancelled run stops it), the tool leaves nothing
// under the file's name: a new file is nameless until complete, and one it was replacing keeps
// its old content.
TEST_F(ToolTest, StoppedMidFileLeavesNoPartialFile) {
    CabPlan plan;
    plan.files = {cabFile("big.bin", std::string(64 << 20, 'x'))};
    const std::string cab = cabinet(plan);
    plan.files.clear(); // the data is not needed any more
    for (auto [existing, signal] :
         {std::pair{false, SIGTERM}, {true, SIGTERM}, {false, SIGKILL}, {true, SIGKILL}}) {
        fs::remove_all(out());
        fs::create_directories(out());
        if (existing)
            writeFile(out("big.bin"), "old");
        const std::string before = treeOf(out());
        int progress[2];
        ASSERT_EQ(::pipe(progress), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, progress[1], 5);
        pid_t pid = 0;
        const std::string dest = out() + "/";
        const char* argv[] = {TOOL_PATH, "-r", "5", "X", cab.c_str(), dest.c_str(), nullptr};
        ASSERT_EQ(
            ::posix_spawn(&pid, TOOL_PATH, &actions, nullptr, const_cast<char**>(argv), environ),
            0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(progress[1]);
        // As soon as the first bytes are written (a report past "0/"), stop the tool.
        FILE* reports = ::fdopen(progress[0], "r");
        char line[64] = "";
        while (std::strncmp(line, "0/", 2) == 0 || !line[0])
            ASSERT_TRUE(std::fgets(line, sizeof line, reports));
        ::kill(pid, signal);
        int status = 0;
        ::waitpid(pid, &status, 0);
        std::fclose(reports);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal)
            << "the tool was not stopped mid-file: " << status;
        EXPECT_EQ(treeOf(out()), before) << strsignal(signal);
        if (existing) {
            EXPECT_EQ(readFile(out("big.bin")), "old");
        }
    }
}
