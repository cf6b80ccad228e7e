#include "tool_main.h"

#include "cab_io.h"
#include "platform/cabinet_source.h"
#include "platform/tool_link.h"
#include "problem_words.h"
#include "stored_name.h"
#include "tool_args.h"
#include "tool_paths.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fm::tool {

namespace {

constexpr size_t kLinkMax = 64 * 1024 * 1024; // far more than 65,535 records of 255-byte names

// The link's text from `path`: a regular file or a pipe (the program's descriptor), opened without
// blocking so that a FIFO nobody writes to cannot hold the tool.
std::optional<std::string> readLinkText(const std::string& path, std::string* why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *why = errno == ENOENT || errno == EBADF ? "not found" : ErrnoWords(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode))) {
        ::close(fd);
        *why = "not a file or a pipe";
        return std::nullopt;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<size_t>(n));
            if (text.size() <= kLinkMax)
                continue;
            *why = "too large";
        } else if (n == 0) {
            ::close(fd);
            return text;
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN) { // a pipe whose writer has not written yet
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, -1);
            continue;
        } else {
            *why = ErrnoWords(errno);
        }
        ::close(fd);
        return std::nullopt;
    }
}

bool sameFolder(const struct stat& a, const std::string& folder) {
    struct stat b {};
    return !folder.empty() && ::stat(folder.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

} // namespace

ToolEnvironment SystemEnvironment() {
    ToolEnvironment env;
    env.drives = DriveMap::system();
    char buf[PATH_MAX];
    if (::getcwd(buf, sizeof buf))
        env.workingFolder = buf;
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) {
        env.toolFolder.assign(buf, static_cast<size_t>(n));
        env.toolFolder.erase(std::max<size_t>(env.toolFolder.rfind('/'), 1));
    }
    return env;
}

int RunTool(const std::vector<std::string>& args, const ToolEnvironment& env, TextOut& out,
            TextOut& err) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "-?")) {
        out << UsageText();
        return kExitOk;
    }
    ParsedArgs parsed = ParseToolArgs(args);
    if (!parsed.args) {
        err << "cabarc: " << Printable(parsed.error) << "\n" << UsageText();
        return kExitCannotStart;
    }
    ToolArgs& a = *parsed.args;
    const bool linked = a.link.has_value();
    // Refuses the run with one line: by hand naming the tool and what is wrong; launched through
    // a link only the reason, which the program shows after the cabinet's name.
    auto refuse = [&](std::string_view what, std::string_view why) {
        if (!linked)
            err << "cabarc: " << Printable(what) << ": ";
        err << why << "\n";
        return kExitCannotStart;
    };

    DriveMap drives = env.drives;
    std::optional<ToolLink> link;
    if (linked) {
        std::string why;
        if (auto text = readLinkText(*a.link, &why))
            link = ReadToolLink(*text, &why);
        if (!link)
            return refuse(*a.link, "cannot read the list of files to extract (" + why + ")");
        // Every drive-form path means what it meant to the program, every name likewise.
        drives = link->drives();
        if (link->codePage != 1252)
            a.codePage = link->codePage;
        const bool named = !link->records.empty() || link->allRecords;
        const bool allPattern = link->allRecords && a.patterns == std::vector<std::string>{"*.*"};
        if (named && (a.command != Command::Extract || (!a.patterns.empty() && !allPattern))) {
            err << "cabarc: a link that names files takes no file patterns and is for X only\n"
                << UsageText();
            return kExitCannotStart;
        }
    }

    if (a.command == Command::New) {
        if (linked)
            return refuse(*a.link, "a link is not for N");
        return RunNew(a, drives, env, out, err);
    }
    auto cabinet = ResolveToolPath(a.cabinet, drives, env.workingFolder);
    if (!cabinet)
        return refuse(a.cabinet, linked ? "its drive is not known" : "no such drive or path");
    // Refused here, with the reason, rather than as an unreadable cabinet further on.
    std::string why;
    // A cabinet inside a larger file is read from a copy of its bytes in memory (gone with the
    // descriptor), so every reader below sees exactly that cabinet and nothing else of the file.
    struct Copy {
        int fd = -1;
        ~Copy() {
            if (fd >= 0)
                ::close(fd);
        }
    } copy;
    CabinetSource within;
    if (link && (link->sourceOffset != 0 || !link->sourceStream.empty())) {
        within = {*cabinet, link->sourceOffset, link->sourceStream};
        copy.fd = OpenCabinetSource(within, &why);
        if (copy.fd < 0)
            return refuse(a.cabinet, why);
        cabinet = "/proc/self/fd/" + std::to_string(copy.fd);
    }
    int fd = OpenCabinetFile(*cabinet, &why);
    if (fd < 0) {
        if (!linked)
            return refuse(a.cabinet, why);
        return refuse(a.cabinet, errno == EINVAL ? "not a cabinet" : ErrnoWords(errno));
    }
    ::close(fd);
    if (a.command == Command::List)
        return RunList(a, *cabinet, out, err);
    if (a.command == Command::Test)
        return RunTest(a, *cabinet, linked, env, out, err, within);

    ExtractRequest request;
    request.cabinetPath = *cabinet;
    request.within = within;
    request.linked = linked;
    request.records =
        link && (!link->records.empty() || link->allRecords) ? &link->records : nullptr;
    request.allRecords = link && link->allRecords;
    request.destinationPath = env.workingFolder;
    if (linked) {
        // Launched by the program, the destination is one it chose and made: stated in full,
        // never a default, a bare root or a path relative to wherever the tool started.
        const std::string& d = a.destination.value_or("");
        const bool driveForm =
            DriveMap::hasDriveDesignation(d) && d.size() > 2 && (d[2] == '\\' || d[2] == '/');
        if (!a.destination)
            return refuse("", "no destination folder was given");
        if (!driveForm && d.front() != '/')
            return refuse(d, "the destination folder is not a full path");
    }
    if (a.destination) {
        auto d = ResolveToolPath(*a.destination, drives, env.workingFolder);
        if (!d)
            return refuse(*a.destination, linked ? "the destination's drive is not known"
                                                 : "no such drive or path");
        request.destinationPath = *d;
    }
    const std::string shown = a.destination.value_or(env.workingFolder);
    struct stat st {};
    // A folder handed over open is the one written into: its path is never looked up again.
    request.destinationFd = a.folderFd.value_or(-1);
    if (a.folderFd ? ::fstat(*a.folderFd, &st) != 0
                   : ::stat(request.destinationPath.c_str(), &st) != 0) {
        if (a.folderFd && errno == EBADF)
            return refuse(shown, "the destination folder was not handed over");
        if (linked)
            return refuse(shown,
                          errno == ENOENT    ? std::string("the destination folder does not exist")
                          : errno == ENOTDIR ? std::string("the destination is not a folder")
                                             : "the destination folder: " + ErrnoWords(errno));
    } else if (!S_ISDIR(st.st_mode)) {
        if (linked)
            return refuse(shown, "the destination is not a folder");
    } else if (sameFolder(st, env.toolFolder)) {
        // A cabinet holding the tool's own name must never replace it.
        return refuse(shown, linked ? "cannot extract into the folder of the extraction tool"
                                    : "the destination is the tool's own folder");
    }
    return RunExtract(a, request, env, out, err);
}

} // namespace fm::tool
