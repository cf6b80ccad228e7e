#pragma once

// This program's own running processes by executable name, as the process watch asks for them.

#include <functional>
#include <string>
#include <string_view>

namespace fm {

class ProcessList {
public:
    virtual ~ProcessList() = default;

    // Takes a fresh listing and hands the executable name of each running process this program
    // started (directly or through the programs it started) to `visit` until it returns true.
    // Processes that have ended (zombies included) are not listed, nor is any other process,
    // whatever its name. False when the listing cannot be taken.
    virtual bool visit(const std::function<bool(std::string_view name)>& visit) const = 0;
};

// The listing of /proc (or a folder laid out like it): the descendants of process `self`, found
// by following each process's parent (PPid) up the tree.
//
// A process's name is the file name of its executable (/proc/PID/exe), the name it was started
// from. That link can be read only for this user's processes; for the others the kernel's
// command name stands in, which is the same file name cut to 15 bytes, and when it was cut, the
// file name of the first command-line argument is taken instead if it begins with the cut name.
// Nothing stays open between two listings.
class ProcFsProcessList : public ProcessList {
public:
    explicit ProcFsProcessList(std::string root = "/proc", int self = 0); // 0: this process
    bool visit(const std::function<bool(std::string_view name)>& visit) const override;

private:
    std::string root_;
    int self_;
};

} // namespace fm
