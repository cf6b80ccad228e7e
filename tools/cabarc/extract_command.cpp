#include "cabinet_layout.h"
#include "cabinet_set.h"
#include "mszip_decoder.h"
#include "name_pattern.h"
#include "output_file.h"
#include "platform/cabinet_directory.h"
#include "platform/tool_link.h"
#include "stored_name.h"
#include "tool_args.h"
#include "tool_main.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <sys/stat.h>

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

// Which files our own MSZIP decoder takes: those in MSZIP folders of a cabinet that is not part
// of a set, once its own folder table agrees with what libmspack read.
class FastRoute {
public:
    FastRoute(const CabinetSet& set, const std::string& path, const ToolEnvironment& env) {
        MsZipRoute route = env.msZip;
        const mscabd_cabinet* cab = set.cabinet();
        if (route == MsZipRoute::Libmspack || set.partPaths().size() != 1 ||
            (cab->flags & (MSCAB_HDR_PREVCAB | MSCAB_HDR_NEXTCAB)))
            return;
        bool anyMsZip = false;
        for (const mscabd_folder* f = cab->folders; f; f = f->next)
            anyMsZip = anyMsZip || (f->comp_type & 0x0F) == MSCAB_COMP_MSZIP;
        if (!anyMsZip)
            return;
        layout_ = ReadCabinetLayout(path);
        if (!layout_)
            return;
        struct stat st {};
        if (route == MsZipRoute::Isal &&
            (::stat(path.c_str(), &st) != 0 || std::uint64_t(st.st_size) < env.isalFromBytes))
            route = MsZipRoute::Zlib;
        decoder_ = std::make_unique<MsZipDecoder>(
            path, layout_->blockReserve,
            route == MsZipRoute::Zlib        ? MsZipDecoder::Inflater::Zlib
            : route == MsZipRoute::IsalDrill ? MsZipDecoder::Inflater::IsalDrill
                                             : MsZipDecoder::Inflater::Isal,
            env.zlibBlocks);
        refresh(set);
    }

    // Learns the folder pointers again (after the set was reopened).
    void refresh(const CabinetSet& set) {
        index_.clear();
        if (!layout_)
            return;
        unsigned i = 0;
        for (const mscabd_folder* f = set.cabinet()->folders; f; f = f->next, ++i) {
            if (i >= layout_->folders.size() || f->comp_type != layout_->folders[i].compression ||
                f->num_blocks != layout_->folders[i].blockCount) {
                index_.clear(); // tables disagree: leave everything to libmspack
                return;
            }
            if ((f->comp_type & 0x0F) == MSCAB_COMP_MSZIP)
                index_[f] = i;
        }
        if (i != layout_->folders.size())
            index_.clear();
    }

    // Extracts `f` when it is this route's; nullopt when it is not.
    std::optional<int> extract(const mscabd_file* f, PendingFile* out) {
        auto it = index_.find(f->folder);
        if (it == index_.end())
            return std::nullopt;
        return decoder_->extract(it->second, layout_->folders[it->second], f->offset, f->length,
                                 out);
    }

private:
    std::optional<CabinetLayout> layout_;
    std::unique_ptr<MsZipDecoder> decoder_;
    std::map<const mscabd_folder*, unsigned> index_;
};

} // namespace

int RunExtract(const ToolArgs& args, const std::string& cabinetPath,
               const std::string& destinationPath, const ToolEnvironment& env, TextOut& out,
               TextOut& err) {
    CabIo io;
    std::string error;
    auto set = CabinetSet::open(io, cabinetPath, true, &error);
    if (!set) {
        err << "cabarc: " << Printable(args.cabinet) << ": " << Printable(error) << "\n";
        return kExitCannotStart;
    }

    FastRoute fast(*set, cabinetPath, env);
    DestinationDir destination;
    bool destinationOpen = false;
    PatternSet patterns(args.patterns);
    int failed = 0;

    auto report = [&](const std::string& name, const std::string& problem) {
        err << "cabarc: " << Printable(name) << ": " << Printable(problem) << "\n";
        ++failed;
    };

    for (size_t i = 0; i < set->files().size(); ++i) {
        mscabd_file* f = set->files()[i];
        const std::string name =
            fm::StoredNameToUtf8(f->filename, f->attribs & MSCAB_ATTRIB_UTF_NAME);
        if (!patterns.matches(name))
            continue;

        if (!destinationOpen) {
            if (!destination.open(destinationPath)) {
                err << "cabarc: " << Printable(destinationPath)
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

        std::optional<int> zrc = fast.extract(f, &file);
        int rc =
            zrc ? *zrc : set->decompressor()->extract(set->decompressor(), f, io.outputName(&file));
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
            if (rc != MSPACK_ERR_OK && !zrc) {
                if (!set->reopen(&error)) {
                    err << "cabarc: " << Printable(args.cabinet) << ": " << Printable(error)
                        << "\n";
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

    // A name the caller asked for and the cabinet does not hold is a failure: the program passes
    // the rows it lists, so a row the tool cannot find must not pass for extracted.
    for (const auto& p : patterns.unmatched()) {
        err << "cabarc: no file matches " << Printable(p) << "\n";
        ++failed;
    }
    out.flush();
    return failed ? kExitSomeFailed : kExitOk;
}

} // namespace fm::tool
