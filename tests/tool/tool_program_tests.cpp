// The built tool as the program launches it: argument splitting, exit statuses, stopping.

#include "tool_runner.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

TEST_F(ToolTest, TheProgramsCommandLines) {
    // Cabarc1.exe with the arguments the program's launcher makes of the parameter string (quoted
    // destinations and collisions: EndToEnd and LinkedTool).
    auto launch = [&](const std::string& parameters) {
        return runProgram(TOOL_DIR "/Cabarc1.exe", fm::SplitCommandLine(parameters), tmp.path());
    };
    // A cabinet large enough that the tool loads ISA-L for it.
    const CabPlan large{
        {cabFile("large.bin", sampleData(2500000, 1, true) + sampleData(500000, 2))},
        {CabCompression::MsZip}};
    cabinet(large, "large.cab");
    EXPECT_EQ(launch(" -q X large.cab large\\").status, 0);
    EXPECT_TRUE(readFile(tmp.file("large/large.bin")) == large.files[0].data);
    // A listing longer than the output buffer comes out once and whole.
    CabPlan many;
    for (int i = 0; i < 3000; ++i)
        many.files.push_back(cabFile("folder\\a file named " + std::to_string(i) + ".txt", "x"));
    cabinet(many, "many.cab");
    const ToolRun listed = launch(" L many.cab");
    EXPECT_GT(listed.out.size(), 64u * 1024);
    EXPECT_EQ(listed.out, run({"L", "many.cab"}).out);
    // Nothing can start: status 2, with the reason.
    ToolRun usage = launch(" Y a.cab");
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("usage:"), std::string::npos);
}

// Stopped mid-file, politely or killed, the tool leaves nothing under the file's name: a new file
// is nameless until complete, and one it was replacing keeps its old content.
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
        const std::string dest = out() + "/";
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(progress[1], 5);
            ::execl(TOOL_PATH, TOOL_PATH, "-r", "5", "X", cab.c_str(), dest.c_str(), nullptr);
            ::_exit(127);
        }
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

// N with each method over edge files: the cabinet passes cabextract's and 7-Zip's tests (when
// installed) and our T, extracts byte-equal with our X and with cabextract, and is not replaced
// without -o.
class NewCabinet : public ToolTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(NewCabinet, PassesEveryReaderAndExtractsEqual) {
    std::string x86; // CALLs (E8) with small targets, up to the last bytes of each frame
    for (unsigned i = 0; x86.size() < 70000; ++i)
        x86 += i % 3 ? std::string("\xE8\x10\0\0\0\x8B\x45", 7) : sampleData(9, i, true);
    const std::string noise = sampleData(100000, 7, true);
    std::string pattern;
    while (pattern.size() < 1000000)
        pattern += "a short pattern ";
    const std::map<std::string, std::string> files = {
        {"empty", ""},
        {"one", "x"},
        {"frame", sampleData(32768, 1)},
        {"frame plus one", sampleData(32769, 2)},
        {"pattern", pattern},
        {"noise twice", noise + noise}, // 100 KB back: past the 32 KiB window of LZX:15
        {"x86.exe", x86},
        {"name with spaces \xC3\xA9\xE2\x82\xAC.txt", sampleData(5000, 3)},
        {"sub/deeper/in sub.txt", sampleData(40000, 4) + x86.substr(0, 9000)},
    };
    for (const auto& [name, data] : files)
        writeFile(tmp.file("in/" + name), data);
    const std::string cab = tmp.file("made.cab");
    Strings args = {"-m", GetParam(), "-p", "-q", "N", cab};
    for (const auto& entry : fs::directory_iterator(tmp.file("in"))) // the files and sub/
        args.push_back(entry.path());
    ToolRun made = runProgram(TOOL_PATH, args, tmp.path());
    ASSERT_EQ(made.status, 0) << made.err;
    if (runProgram("cabextract", {"-v"}, "/").status == 0) { // scripts/install-deps installs it
        EXPECT_EQ(runProgram("cabextract", {"-t", cab}, "/").status, 0);
        ASSERT_EQ(runProgram("cabextract", {"-q", "-d", tmp.file("ce"), cab}, "/").status, 0);
    }
    if (runProgram("7zz", {"i"}, "/").status == 0) {
        EXPECT_EQ(runProgram("7zz", {"t", cab}, "/").status, 0);
    }
    ToolRun tested = run({"T", cab});
    EXPECT_EQ(tested.status, 0) << tested.err;
    EXPECT_EQ(run({"-p", "-q", "X", cab, out() + "/"}).status, 0);
    for (const auto& [name, data] : files) {
        const std::string stored = name.substr(name.find('/') + 1); // -p: below the folder given
        EXPECT_TRUE(readFile(out(stored)) == data) << name;
        if (fs::exists(tmp.file("ce"))) {
            EXPECT_TRUE(readFile(tmp.file("ce/" + stored)) == data) << name;
        }
    }
    // Without -o an existing cabinet is refused and left as it was.
    const std::string before = readFile(cab);
    args.erase(args.begin() + 2); // -p
    ToolRun again = runProgram(TOOL_PATH, args, tmp.path());
    EXPECT_EQ(again.status, 2);
    EXPECT_NE(again.err.find("already exists (-o replaces it)"), std::string::npos);
    EXPECT_TRUE(readFile(cab) == before);
    EXPECT_EQ(treeOf(tmp.path()).find(".~"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Methods, NewCabinet,
                         ::testing::Values("NONE", "MSZIP", "LZX:15", "LZX:21"));
