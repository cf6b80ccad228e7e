// The launcher, the /proc process list and the process watch, on real processes where it matters.

#include "platform/launcher.h"
#include "platform/process_list.h"
#include "support/temp_dir.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>

using namespace fm;
using namespace fm::test;
namespace fs = std::filesystem;

TEST(Launcher, ArgumentsFolderEndsAndFailures) {
    TempDir dir;
    const std::string folder = dir.file("program folder"), sh = "probe.exe";
    fs::create_directories(folder);
    fs::copy_file("/bin/sh", folder + "/probe.exe", fs::copy_options::none);
    writeFile(folder + "/text.exe", "not a program");
    writeFile(folder + "/junk.exe", std::string(64, '\x7f'));
    fs::permissions(folder + "/junk.exe", fs::perms::owner_exec, fs::perm_options::add);
    setenv("TMPDIR", dir.file("missing").c_str(), 1); // no file goes anywhere
    struct Case {
        std::string folder, file, parameters;
        int error;
        LaunchEnd end;
        std::string attachment = {};
    } cases[] = {
        {folder, sh, R"( -c "echo \"$1|$2\" >&2" zero "a b" c\"d)", 0, {false, 0, "a b|c\"d"}},
        {folder, sh, R"( -c "pwd >&2; exit 3")", 0, {false, 3, folder}},
        {folder, sh, R"( -c "printf 'one\r\ntwo' >&2; kill -9 $$")", 0, {true, 9, "one"}},
        // More than a pipe holds: the rest is read and dropped, the program never stalls.
        {folder, sh, R"( -c "yes first | head -c 300000 >&2")", 0, {false, 0, "first"}},
        // The attachment on descriptor 3, by path too; nothing inherited past the progress pipe 4.
        {folder,
         sh,
         R"( -c "[ -p /dev/fd/4 ] || exit 4; [ -e /dev/fd/5 ] && exit 5; head -c 3 <&3 >&2; cat /dev/fd/3 >&2")",
         0,
         {false, 0, "linlink\\040x"},
         "link\\040x\nmore\n"},
        {folder, sh, R"( -c "echo $$ >&2")", 0, {false, 0, ""}},
        {folder, "missing.exe", "", ENOENT, {}},
        {folder, "text.exe", "", EACCES, {}},
        {folder, "junk.exe", "", ENOEXEC, {}},
        {folder + "/gone", sh, "", ENOENT, {}},
    };
    SpawnLauncher launcher;
    std::vector<LaunchId> ids;
    for (const Case& c : cases) {
        LaunchStart s = launcher.launch(c.folder, c.file, c.parameters, c.attachment);
        EXPECT_EQ(s.error, c.error) << c.file;
        ids.push_back(s.id);
    }
    for (size_t i = 0; i < 6; ++i) {
        std::optional<LaunchEnd> end;
        for (int t = 0; t < 2000 && !(end = launcher.takeEnd(ids[i])); ++t)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(end) << cases[i].parameters;
        EXPECT_EQ(end->signaled, cases[i].end.signaled) << cases[i].parameters;
        EXPECT_EQ(end->code, cases[i].end.code) << cases[i].parameters;
        if (i < 5) {
            EXPECT_EQ(end->firstErrorLine, cases[i].end.firstErrorLine);
        } else { // collected without being asked: nothing left to wait for
            EXPECT_EQ(::waitpid(std::stoi(end->firstErrorLine), nullptr, WNOHANG), -1);
        }
        EXPECT_FALSE(launcher.takeEnd(ids[i])) << "handed out once";
    }
    unsetenv("TMPDIR");
}

// A launch runs in a group of its own: it ends when the whole group has gone, not when the program
// it started does, and its progress lines are read as they come.
TEST(Launcher, EndsWithItsGroupAndReadsProgress) {
    TempDir dir;
    fs::copy_file("/bin/sh", dir.file("probe.exe"));
    SpawnLauncher launcher;
    const LaunchStart s = launcher.launch(
        dir.path(), "probe.exe",
        " -c \"echo $$ >pid; sleep 100 & echo 5/10 >&4; echo 7/10 >&4; exit 4\"", "");
    ASSERT_EQ(s.error, 0);
    std::optional<LaunchProgress> p;
    for (int t = 0; t < 1000 && (!(p = launcher.progress(s.id)) || p->done != 7); ++t) {
        launcher.collect();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const pid_t group = std::stoi(readFile(dir.file("pid")));
    EXPECT_EQ(launcher.progress(s.id)->total, 10u);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(launcher.takeEnd(s.id)) << "the group still runs";
    siginfo_t info{};
    EXPECT_EQ(::waitid(P_PID, static_cast<id_t>(group), &info, WEXITED | WNOHANG | WNOWAIT), 0);
    EXPECT_EQ(info.si_pid, group) << "unreaped, its number stays the group's";
    launcher.terminate(s.id);
    std::optional<LaunchEnd> end;
    for (int t = 0; t < 1000 && !(end = launcher.takeEnd(s.id)); ++t)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(end);
    EXPECT_FALSE(end->signaled);
    EXPECT_EQ(end->code, 4);
    EXPECT_FALSE(ProcessGroupRuns(group)) << "nothing of the group is left";
}

// Only the descendants of the program are listed, by the executable's file name where it can be
// read, else by the kernel's command name (15 bytes at most), made whole from argv[0] if it fits.
TEST(ProcFsProcessList, OwnProcessesFromAProcFolder) {
    TempDir proc;
    auto process = [&](const std::string& pid, const std::string& name, char state,
                       const std::string& parent, const char* exe,
                       const std::string& cmdline = "") {
        writeFile(proc.file(pid + "/stat"),
                  pid + " (" + name + ") " + state + " " + parent + " 1 1 0 -1");
        if (exe)
            fs::create_symlink(exe, proc.file(pid + "/exe"));
        writeFile(proc.file(pid + "/cmdline"), cmdline);
    };
    process("100", "program", 'S', "1", "/opt/program/fendlemark");
    process("10", "Cabarc1.exe", 'S', "100", "/opt/program/Cabarc1.exe");
    process("11", "Cabarc2.exe", 'R', "10", "/opt/program/Cabarc2.exe (deleted)");
    process("12", "Cabarc1.exe", 'Z', "100", nullptr); // a zombie has no executable link
    process("13", "FmLongNamedTool", 'S', "11", nullptr,
            std::string("/bin/FmLongNamedTool.exe\0x", 26));
    process("14", "FmLongNamedTool", 'S', "100", nullptr, std::string("bash\0", 5));
    process("15", "odd) (name", 'S', "13", nullptr);
    process("20", "cabarc-sync", 'S', "1", "/usr/bin/cabarc-sync"); // a stranger and its child
    process("21", "Cabarc1.exe", 'S', "20", "/opt/program/Cabarc1.exe");
    process("22", "loop", 'S', "23", nullptr); // a listing caught mid-change may loop
    process("23", "loop", 'S', "22", nullptr);
    fs::create_directories(proc.file("16")); // ended while listed
    writeFile(proc.file("self/stat"), "100 (self) S 1");
    std::vector<std::string> names;
    EXPECT_TRUE(ProcFsProcessList(proc.path(), 100).visit([&](std::string_view n) {
        names.emplace_back(n);
        return false;
    }));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Cabarc1.exe", "Cabarc2.exe", "FmLongNamedTool",
                                               "FmLongNamedTool.exe", "odd) (name"}));
}
