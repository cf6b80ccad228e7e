#include "tool_main.h"

#include "cab_io.h"
#include "stored_name.h"
#include "tool_args.h"
#include "tool_paths.h"

#include <climits>
#include <unistd.h>

namespace fm::tool {

ToolEnvironment SystemEnvironment() {
    ToolEnvironment env;
    env.drives = DriveMap::system();
    char buf[PATH_MAX];
    if (::getcwd(buf, sizeof buf))
        env.workingFolder = buf;
    return env;
}

int RunTool(const std::vector<std::string>& args, const ToolEnvironment& env, TextOut& out,
            TextOut& err) {
    ParsedArgs parsed = ParseToolArgs(args);
    if (!parsed.args) {
        err << "cabarc: " << Printable(parsed.error) << "\n" << UsageText();
        return kExitCannotStart;
    }
    const ToolArgs& a = *parsed.args;

    auto cabinet = ResolveToolPath(a.cabinet, env.drives, env.workingFolder);
    if (!cabinet) {
        err << "cabarc: " << Printable(a.cabinet) << ": no such drive or path\n";
        return kExitCannotStart;
    }
    // Refused here, with the reason, rather than as an unreadable cabinet further on.
    std::string why;
    int fd = OpenCabinetFile(*cabinet, &why);
    if (fd < 0) {
        err << "cabarc: " << Printable(a.cabinet) << ": " << why << "\n";
        return kExitCannotStart;
    }
    ::close(fd);
    if (a.command == Command::List)
        return RunList(a, *cabinet, out, err);

    std::string destination = env.workingFolder;
    if (a.destination) {
        auto d = ResolveToolPath(*a.destination, env.drives, env.workingFolder);
        if (!d) {
            err << "cabarc: " << Printable(*a.destination) << ": no such drive or path\n";
            return kExitCannotStart;
        }
        destination = *d;
    }
    return RunExtract(a, *cabinet, destination, env, out, err);
}

} // namespace fm::tool
