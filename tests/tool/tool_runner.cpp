#include "tool_runner.h"

#include "support/temp_dir.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace fm::test {

fm::tool::ToolEnvironment toolEnvironment(const std::string& workingFolder) {
    fm::tool::ToolEnvironment env;
    env.workingFolder = workingFolder;
    return env;
}

ToolRun runTool(const std::vector<std::string>& args, const fm::tool::ToolEnvironment& env) {
    fm::tool::StringOut out, err;
    ToolRun run;
    run.status = fm::tool::RunTool(args, env, out, err);
    run.out = out.text();
    run.err = err.text();
    return run;
}

ToolRun runProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& workingFolder) {
    TempDir capture;
    const std::string outFile = capture.file("out"), errFile = capture.file("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());

    std::vector<char*> argv;
    std::string argv0 = program;
    argv.push_back(argv0.data());
    std::vector<std::string> copies = args;
    for (auto& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + program);
    int status = 0;
    waitpid(pid, &status, 0);
    ToolRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = readFile(outFile);
    run.err = readFile(errFile);
    return run;
}

std::vector<std::string> treeOf(const std::string& folder) {
    std::vector<std::string> entries;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string rel = it->path().lexically_relative(folder).generic_string();
        if (it->is_directory() && !it->is_symlink())
            rel += '/';
        entries.push_back(rel);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::string driveForm(const std::string& posixPath) {
    std::string s = "C:" + posixPath;
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

} // namespace fm::test
