// The launcher, the /proc process list and the process watch, on real processes where it matters.

#include "extract/process_watch.h"
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
    const std::string folder = dir.file("program folder"), tmp = dir.file("tmp"), sh = "probe.exe";
    fs::create_directories(tmp);
    fs::create_directories(folder);
    fs::copy_file("/bin/sh", folder + "/probe.exe", fs::copy_options::none);
    writeFile(folder + "/text.exe", "not a program");
    writeFile(folder + "/junk.exe", std::string(64, '\x7f'));
    fs::permissions(folder + "/junk.exe", fs::perms::owner_exec, fs::perm_options::add);
    setenv("TMPDIR", tmp.c_str(), 1); // where the error-output files go
    struct Case {
        std::string folder, file, parameters;
        int error;
        LaunchEnd end;
        std::string attachment = {};
    } cases[] = {
        // Split as the C runtime splits: $1 = "a b", $2 = c"d.
        {folder, sh, R"( -c "echo \"$1|$2\" >&2" zero "a b" c\"d)", 0, {false, 0, "a b|c\"d"}},
        {folder, sh, R"( -c "pwd >&2; exit 3")", 0, {false, 3, folder}},
        {folder, sh, R"( -c "printf 'one\r\ntwo' >&2; kill -9 $$")", 0, {true, 9, "one"}},
        // The attachment on descriptor 3 from its start, by path too; nothing past it inherited.
        {folder,
         sh,
         R"( -c "[ -e /dev/fd/4 ] && exit 5; head -c 3 <&3 >&2; cat /dev/fd/3 >&2")",
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
    for (size_t i = 0; i < 5; ++i) {
        std::optional<LaunchEnd> end;
        for (int t = 0; t < 2000 && !(end = launcher.takeEnd(ids[i])); ++t)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(end) << cases[i].parameters;
        EXPECT_EQ(end->signaled, cases[i].end.signaled) << cases[i].parameters;
        EXPECT_EQ(end->code, cases[i].end.code) << cases[i].parameters;
        if (i < 4) {
            EXPECT_EQ(end->firstErrorLine, cases[i].end.firstErrorLine);
        } else { // collected without being asked: nothing left to wait for
            EXPECT_EQ(::waitpid(std::stoi(end->firstErrorLine), nullptr, WNOHANG), -1);
        }
        EXPECT_FALSE(launcher.takeEnd(ids[i])) << "handed out once";
    }
    EXPECT_TRUE(fs::is_empty(tmp));
    unsetenv("TMPDIR");
}

TEST(ProcFsProcessList, NamesFromAProcFolder) {
    TempDir proc;
    auto process = [&](const std::string& pid, const std::string& stat, const char* exe,
                       const std::string& cmdline = "") {
        writeFile(proc.file(pid + "/stat"), pid + " " + stat + " 1 1 1 0 -1");
        if (exe)
            fs::create_symlink(exe, proc.file(pid + "/exe"));
        writeFile(proc.file(pid + "/cmdline"), cmdline);
    };
    process("10", "(Cabarc1.exe) S", "/opt/program/Cabarc1.exe");
    process("11", "(Cabarc2.exe) R", "/opt/program/Cabarc2.exe (deleted)");
    process("12", "(Cabarc1.exe) Z", nullptr); // a zombie has no executable link
    // Another user's: the command name (15 bytes at most), made whole from argv[0] if it fits.
    process("13", "(FmLongNamedTool) S", nullptr, std::string("/bin/FmLongNamedTool.exe\0x", 26));
    process("14", "(FmLongNamedTool) S", nullptr, std::string("bash\0", 5));
    process("15", "(odd) (name) S", nullptr);
    fs::create_directories(proc.file("16")); // ended while listed
    writeFile(proc.file("self/stat"), "1 (self) S");
    std::vector<std::string> names;
    EXPECT_TRUE(ProcFsProcessList(proc.path()).visit([&](std::string_view n) {
        names.emplace_back(n);
        return false;
    }));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Cabarc1.exe", "Cabarc2.exe", "FmLongNamedTool",
                                               "FmLongNamedTool.exe", "odd) (name"}));
}

TEST(ExeRunning, RealProcessByFullNameNothingKeptOpen) {
    TempDir dir;
    const std::string name = "FmWatchProbe-" + std::to_string(::getpid()) + "-Sleeper.exe";
    fs::copy_file("/bin/sleep", dir.file(name));
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(dir.file(name).c_str(), name.c_str(), "30", nullptr);
        ::_exit(127);
    }
    const ProcFsProcessList list;
    const QString text = QString::fromStdString(name).toUpper(); // past the 15-byte command name
    bool seen = false;
    for (int i = 0; i < 200 && !(seen = ExeRunning(list, text)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(seen);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    EXPECT_FALSE(ExeRunning(list, text));

    auto openFiles = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
    };
    const auto before = openFiles();
    for (int i = 0; i < 20; ++i)
        ExeRunning(list, QStringLiteral("Cabarc"));
    EXPECT_EQ(openFiles(), before);
}
