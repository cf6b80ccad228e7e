#include "cabinet_set.h"
#include "name_pattern.h"
#include "output_file.h"
#include "stored_name.h"
#include "tool_args.h"
#include "tool_main.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace fm::tool {

namespace {

// The stored date and time as local time, as cabinet tools have always read them.
std::time_t storedTime(const mscabd_file* f) {
    std::tm tm{};
    tm.tm_year = f->date_y - 1900;
    tm.tm_mon = f->date_m - 1;
    tm.tm_mday = f->date_d;
    tm.tm_hour = f->time_h;
    tm.tm_min = f->time_m;
    tm.tm_sec = f->time_s;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

std::string joinStored(const std::vector<std::string>& parts) {
    std::string s;
    for (const auto& p : parts) {
        if (!s.empty())
            s += '\\';
        s += p;
    }
    return s;
}

} // namespace

int RunExtract(const ToolArgs& args, const std::string& cabinetPath,
               const std::string& destinationPath, const ToolEnvironment& env, std::ostream& out,
               std::ostream& err) {
    CabIo io;
    std::string error;
    auto set = CabinetSet::open(io, cabinetPath, true, &error);
    if (!set) {
        err << "cabarc: " << args.cabinet << ": " << error << "\n";
        return kExitCannotStart;
    }

    DestinationDir destination;
    bool destinationOpen = false;
    PatternSet patterns(args.patterns);
    int failed = 0;

    auto report = [&](const std::string& name, const std::string& problem) {
        err << "cabarc: " << name << ": " << problem << "\n";
        ++failed;
    };

    for (size_t i = 0; i < set->files().size(); ++i) {
        mscabd_file* f = set->files()[i];
        const std::string name = StoredNameText(f->filename, f->attribs & MSCAB_ATTRIB_UTF_NAME);
        if (!patterns.matches(name))
            continue;

        if (!destinationOpen) {
            if (!destination.open(destinationPath)) {
                err << "cabarc: " << destinationPath
                    << ": cannot open the destination: " << std::strerror(errno) << "\n";
                return kExitSomeFailed;
            }
            destinationOpen = true;
        }

        std::vector<std::string> parts = SafeNameParts(name);
        if (parts.empty()) {
            report(name, "the name leaves nothing to extract to");
            continue;
        }
        if (!args.keepFolders)
            parts.erase(parts.begin(), parts.end() - 1);
        const std::string fileName = parts.back();
        parts.pop_back();

        int folder = destination.folder(parts);
        if (folder < 0) {
            report(name, std::string("cannot make its folder: ") + std::strerror(errno));
            continue;
        }
        PendingFile file(env.write);
        if (!file.create(folder)) {
            report(name, std::string("cannot create the file: ") + std::strerror(file.error()));
            continue;
        }

        int rc = set->decompressor()->extract(set->decompressor(), f, io.outputName(&file));
        io.clearOutput();
        std::string message = io.takeMessage();
        std::string problem;
        if (file.error()) {
            problem = std::string("cannot write: ") + std::strerror(file.error());
        } else if (rc != MSPACK_ERR_OK) {
            problem = MspackErrorText(rc);
            if (!message.empty())
                problem += " (" + message + ")";
            if (!set->missingParts().empty())
                problem += " (missing part " + set->missingParts().front() + ")";
        } else if (file.size() != f->length) {
            problem = "got " + std::to_string(file.size()) + " of " + std::to_string(f->length) +
                      " bytes";
        } else if (!file.commit(fileName, storedTime(f))) {
            problem = std::string("cannot write: ") + std::strerror(file.error());
        }

        if (!problem.empty()) {
            file.discard();
            report(name, problem);
            // A failed decode leaves the library mid-stream; start the next file afresh.
            if (rc != MSPACK_ERR_OK && !set->reopen(&error)) {
                err << "cabarc: " << args.cabinet << ": " << error << "\n";
                return kExitSomeFailed;
            }
            continue;
        }
        if (!args.quiet) {
            parts.push_back(fileName);
            out << joinStored(parts) << "\n";
        }
    }

    for (const auto& p : patterns.unmatched())
        err << "cabarc: no file matches " << p << "\n";
    out.flush();
    return failed ? kExitSomeFailed : kExitOk;
}

} // namespace fm::tool
