#include "cabinet_set.h"
#include "decode_plan.h"
#include "fast_route.h"
#include "mszip_decoder.h"
#include "name_pattern.h"
#include "output_file.h"
#include "platform/cabinet_directory.h"
#include "platform/tool_link.h"
#include "problem_words.h"
#include "progress_report.h"
#include "stored_name.h"
#include "tool_args.h"
#include "tool_main.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

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

bool startsLikeCabinet(const std::string& path) {
    char head[4] = {};
    const int fd = OpenCabinetFile(path);
    const bool yes = fd >= 0 && ::read(fd, head, 4) == 4 && std::memcmp(head, "MSCF", 4) == 0;
    if (fd >= 0)
        ::close(fd);
    return yes;
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

int RunExtract(const ToolArgs& args, const ExtractRequest& request, const ToolEnvironment& env,
               TextOut& out, TextOut& err) {
    const bool linked = request.linked;
    int failed = 0;
    // One line per problem. Linked, the program's user reads them after the cabinet's name.
    auto report = [&](const std::string& name, const std::string& problem) {
        err << (linked ? "" : "cabarc: ") << Printable(name) << ": " << Printable(problem) << "\n";
        ++failed;
    };
    // A system error: linked in the user's words, by hand as the C library words it.
    auto systemProblem = [&](const char* byHand, int error) {
        return linked ? ErrnoWords(error) : std::string(byHand) + std::strerror(error);
    };
    auto reportCabinet = [&](const std::string& problem) {
        if (!linked)
            err << "cabarc: " << Printable(args.cabinet) << ": ";
        err << Printable(problem) << "\n";
    };

    CabIo io;
    std::string error;
    int code = 0;
    auto set = CabinetSet::open(io, request.cabinetPath, true, &error, &code, request.within);
    if (!set) {
        // Too short for a header is "cut short" to the library; without the signature it is no
        // cabinet at all.
        if (!startsLikeCabinet(request.cabinetPath))
            code = MSPACK_ERR_SIGNATURE;
        reportCabinet(linked ? CabinetMspackWords(code) : error);
        return kExitCannotStart;
    }

    PatternSet patterns(args.patterns);
    // The exact selection: the name the program listed for each chosen file, by its index.
    constexpr std::string_view kChanged = "the cabinet has changed since it was listed";
    const std::vector<fm::CabinetFileRecord>& records = set->records();
    auto nameOf = [&](size_t i) {
        return fm::StoredNameToUtf8(records[i].name, records[i].nameIsUtf8, args.codePage);
    };
    std::vector<const std::string*> chosen;
    if (request.records) {
        chosen.assign(records.size(), nullptr);
        std::vector<const LinkedRecord*> stray;
        for (const LinkedRecord& r : *request.records) {
            const std::string** slot = r.index < chosen.size() ? &chosen[r.index] : nullptr;
            if (slot && !*slot)
                *slot = &r.name;
            else if (!slot || **slot != r.name)
                stray.push_back(&r);
        }
        // All files: exactly the records listed, or nothing at all.
        bool same = stray.empty() && request.records->size() == records.size();
        for (size_t i = 0; same && request.allRecords && i < records.size(); ++i)
            same = chosen[i] && *chosen[i] == nameOf(i);
        if (request.allRecords && !same) {
            reportCabinet(std::string(kChanged));
            return kExitSomeFailed;
        }
        for (const LinkedRecord* r : stray)
            report(r->name, std::string(kChanged));
    }
    std::vector<size_t> selected;
    for (size_t i = 0; i < records.size(); ++i) {
        if (request.records ? chosen[i] != nullptr : patterns.matches(nameOf(i)))
            selected.push_back(i);
    }
    DecodePlan plan(set->cabinet(), set->files(), selected);

    FastRoute fast(*set, request.cabinetPath, env);
    fast.expect(set->files(), plan.order());
    DestinationDir destination;
    struct stat toolFolder {};
    if (!env.toolFolder.empty() && ::stat(env.toolFolder.c_str(), &toolFolder) == 0)
        destination.avoid(toolFolder.st_dev, toolFolder.st_ino);
    bool destinationOpen = false;
    // Each output file of this run and the first record that went to it: a second record for the
    // same file is a collision, reported, never written over the first.
    std::unordered_map<std::string, std::string> outputs;
    // The files this run created, so that a name the device takes for another (letter case on
    // FAT) is still found to be one of them.
    std::map<std::pair<dev_t, ino_t>, std::string> written;

    // The bytes written, against those the selection holds.
    std::optional<ProgressReport> progress;
    WriteFunction write = env.write;
    if (args.progressFd) {
        std::uint64_t total = 0;
        for (size_t i : selected)
            total += set->files()[i] ? set->files()[i]->length : 0;
        progress.emplace(*args.progressFd, total);
        write = [&progress, base = env.write](int fd, const void* data, size_t size) {
            const ssize_t n = base ? base(fd, data, size) : ::write(fd, data, size);
            if (n > 0)
                progress->add(static_cast<std::uint64_t>(n));
            return n;
        };
    }

    for (size_t i : plan.order()) {
        mscabd_file* f = set->files()[i];
        const std::string name = nameOf(i);
        if (request.records && *chosen[i] != name) {
            report(*chosen[i], std::string(kChanged));
            continue;
        }
        if (!f) {
            report(name, "its data cannot be found in the cabinet");
            continue;
        }

        if (!destinationOpen) {
            if (request.destinationFd >= 0 ? !destination.adopt(request.destinationFd)
                                           : !destination.open(request.destinationPath, !linked)) {
                if (destination.hitAvoided())
                    reportCabinet(linked ? "cannot extract into the folder of the extraction tool"
                                         : "the destination is the tool's own folder");
                else if (linked)
                    reportCabinet("the destination folder: " + ErrnoWords(errno));
                else
                    err << "cabarc: " << Printable(request.destinationPath)
                        << ": cannot open the destination: " << std::strerror(errno) << "\n";
                return kExitSomeFailed;
            }
            destinationOpen = true;
        }

        std::vector<std::string> parts = OutputNameParts(name);
        if (parts.empty()) {
            report(name, "the name leaves nothing to extract to");
            continue;
        }
        if (!args.keepFolders)
            parts.erase(parts.begin(), parts.end() - 1);
        std::string outputPath;
        for (const std::string& p : parts)
            outputPath.append(outputPath.empty() ? "" : "/").append(p);
        auto [first, fresh] = outputs.try_emplace(std::move(outputPath), name);
        if (!fresh) {
            report(name, "same output file as " + first->second);
            continue;
        }
        const std::string fileName = parts.back();
        parts.pop_back();

        int folder = destination.folder(parts);
        if (folder < 0) {
            report(name, destination.hitAvoided()
                             ? std::string("would go into the folder of the extraction tool")
                             : systemProblem("cannot make its folder: ", errno));
            continue;
        }
        PendingFile file(write);
        const PendingFile::Created created = file.create(folder, fileName, args.skipExisting);
        if (created == PendingFile::Created::Failed) {
            report(name, systemProblem("cannot create the file: ", file.error()));
            continue;
        }
        if (created != PendingFile::Created::Fresh) {
            // A file of this run under another name, as the device sees it: a collision too. A
            // folder is in the way, whether kept or not.
            struct stat st {};
            if (::fstatat(folder, fileName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
                auto it = written.find({st.st_dev, st.st_ino});
                if (it != written.end() || S_ISDIR(st.st_mode)) {
                    file.discard();
                    report(name, it != written.end()
                                     ? "same output file as " + it->second
                                     : systemProblem("cannot create the file: ", EISDIR));
                    continue;
                }
            }
            if (created == PendingFile::Created::Kept)
                continue; // the user chose to keep the files already there
        }

        if (const auto verdict = plan.admit(i, f); verdict != DecodePlan::Verdict::Decode) {
            file.discard();
            report(name, verdict == DecodePlan::Verdict::FolderDamaged
                             ? "damaged (the data before it in the cabinet cannot be read)"
                             : "not extracted: its data overlaps other files' and decoding it "
                               "again would take too long");
            continue;
        }
        std::optional<int> zrc = fast.extract(f, &file);
        int rc =
            zrc ? *zrc : set->decompressor()->extract(set->decompressor(), f, io.outputName(&file));
        io.clearOutput();
        std::string message = io.takeMessage();
        std::string problem;
        if (file.error()) {
            problem = systemProblem("cannot write: ", file.error());
        } else if (rc != MSPACK_ERR_OK) {
            if (linked && !set->missingParts().empty()) {
                problem =
                    "needs " + set->missingParts().front() + ", a part of its set that is missing";
            } else if (linked) {
                problem = MspackWords(rc);
            } else {
                problem = MspackErrorText(rc);
                if (!message.empty())
                    problem += " (" + message + ")";
                if (!set->missingParts().empty())
                    problem += " (missing part " + set->missingParts().front() + ")";
            }
        } else if (file.size() != f->length) {
            problem = linked ? std::string("damaged (it holds less data than its record says)")
                             : "got " + std::to_string(file.size()) + " of " +
                                   std::to_string(f->length) + " bytes";
        } else if (!file.commit(storedTime(f))) {
            problem = systemProblem("cannot write: ", file.error());
        } else if (struct stat st{}; file.statCreated(&st)) {
            written.emplace(std::pair{st.st_dev, st.st_ino}, name);
        }

        if (!problem.empty()) {
            file.discard();
            report(name, problem);
            // A decoder that failed stops there; the rest of its folder would fail alike. A
            // write that failed leaves the library mid-stream: the next file starts afresh.
            if (rc != MSPACK_ERR_OK && !file.error())
                plan.failed(i);
            else if (rc != MSPACK_ERR_OK && !zrc) {
                if (!set->reopen(&error, &code)) {
                    reportCabinet(linked ? CabinetMspackWords(code) : error);
                    return kExitSomeFailed;
                }
                fast.refresh(*set);
            }
            continue;
        }
        if (!args.quiet) {
            parts.push_back(fileName);
            out << joinStored(parts) << "\n";
        }
    }

    // A name the caller asked for and the cabinet does not hold is a failure: a row the tool
    // cannot find must not pass for extracted.
    for (const auto& p : patterns.unmatched()) {
        err << (linked ? "" : "cabarc: ") << "no file matches " << Printable(p) << "\n";
        ++failed;
    }
    if (progress)
        progress->finish();
    out.flush();
    return failed ? kExitSomeFailed : kExitOk;
}

} // namespace fm::tool
