#pragma once

// What the run benchmarks share: a window with the real launcher, process list and tool over a
// folder of cabinets, the tool started by hand beside it, and a 100 MB cabinet.

#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "controls/vb_check_box.h"
#include "support/cab_writer.h"
#include "support/window_fixture.h"

#include <fcntl.h>
#include <filesystem>
#include <spawn.h>

extern char** environ;

namespace fm::test {

struct World {
    SpawnLauncher launcher;
    ProcFsProcessList processes;
    WindowWorld world;
    std::string folder;
    explicit World(const std::string& name) : folder(world.startFolder() + "/" + name) {
        for (const char* tool : {"/Cabarc1.exe", "/Cabarc2.exe"})
            std::filesystem::copy_file(FM_PROGRAM_FOLDER + std::string(tool),
                                       world.programFolder() + tool);
        world.useLauncher = &launcher;
        world.useProcesses = &processes;
        std::filesystem::create_directories(folder);
    }
    frmFendlemark& window() {
        frmFendlemark& w = world.loaded();
        w.StgExtrObName = QStringLiteral("obSamePlus");
        w.Dir1->setPath(world.drivePath(folder));
        w.ckSelAllCabs->setValue(1); // every cabinet, no row: all files
        return w;
    }
    void clean() {
        for (const auto& e : std::filesystem::directory_iterator(folder))
            if (e.is_directory())
                std::filesystem::remove_all(e.path());
    }
    std::vector<std::string> cabinets() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(folder))
            if (e.path().extension() == ".cab")
                out.push_back(e.path().string());
        return out;
    }
};

// One MSZIP cabinet holding 100 MB of text-like runs and noise in turn, as a setup cabinet does.
inline void writeLargeCabinet(const std::string& path) {
    CabPlan plan;
    plan.folders = {CabCompression::MsZip};
    std::string data(100u << 20, '\0');
    uint32_t x = 1;
    for (size_t i = 0; i < data.size(); ++i) {
        x = x * 1103515245u + 12345u;
        data[i] = (i >> 16) % 2 ? static_cast<char>(x >> 24) : static_cast<char>('a' + i % 23);
    }
    plan.files = {cabFile("big.bin", data)};
    writeCabinet(path, plan);
}

// Cabarc<n>.exe on all files of `cabinet` into "<cabinet> Extracted/", as a user would start it;
// with `progress` >= 0, its progress reports go to that descriptor.
inline pid_t startTool(World& w, const std::string& cabinet, int n, int progress = -1) {
    const std::string dest = cabinet.substr(0, cabinet.size() - 4) + " Extracted/";
    std::filesystem::create_directory(dest);
    const std::string tool = w.world.programFolder() + "/Cabarc" + std::to_string(n) + ".exe";
    std::vector<std::string> args = {tool, "X", cabinet, "*.*", dest};
    if (progress >= 0)
        args.insert(args.begin() + 1, {"-r", "4"});
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    if (progress >= 0)
        posix_spawn_file_actions_adddup2(&quiet, progress, 4);
    pid_t pid = 0;
    posix_spawn(&pid, tool.c_str(), &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    return pid;
}

} // namespace fm::test
