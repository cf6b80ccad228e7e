// The test mode (command T): every file of the cabinet is decoded as an extraction would decode
// it (block checksums, block sizes, the length each record gives), and nothing is written
// anywhere. A part of a spanned set is tested with its whole set, whose files cross the parts.

#include "cabinet_set.h"
#include "decode_plan.h"
#include "fast_route.h"
#include "output_file.h"
#include "platform/cabinet_directory.h"
#include "problem_words.h"
#include "stored_name.h"
#include "tool_args.h"
#include "tool_main.h"

namespace fm::tool {

int RunTest(const ToolArgs& args, const std::string& cabinetPath, bool linked,
            const ToolEnvironment& env, TextOut& out, TextOut& err,
            const fm::CabinetSource& within) {
    CabIo io;
    std::string error;
    int code = 0;
    auto set = CabinetSet::open(io, cabinetPath, true, &error, &code, within);
    if (!set) {
        if (!linked)
            err << "cabarc: " << Printable(args.cabinet) << ": " << Printable(error) << "\n";
        else
            err << CabinetMspackWords(code) << "\n";
        return kExitCannotStart;
    }
    FastRoute fast(*set, cabinetPath, env);
    size_t damaged = 0;
    const size_t count = set->setFiles().size();
    std::vector<size_t> all(count);
    for (size_t i = 0; i < count; ++i)
        all[i] = i;
    DecodePlan plan(set->cabinet(), set->setFiles(), all);
    fast.expect(set->setFiles(), plan.order());
    for (size_t i : plan.order()) {
        mscabd_file* f = set->setFiles()[i];
        const std::string name =
            fm::StoredNameToUtf8(f->filename, f->attribs & MSCAB_ATTRIB_UTF_NAME, args.codePage);
        PendingFile sink(env.write);
        std::string problem;
        std::optional<int> zrc;
        int rc = MSPACK_ERR_OK;
        const DecodePlan::Verdict verdict = plan.admit(i, f);
        if (verdict == DecodePlan::Verdict::FolderDamaged) {
            problem = "damaged (the data before it in the cabinet cannot be read)";
        } else if (verdict == DecodePlan::Verdict::TooMuchWork) {
            problem = "not tested: its data overlaps other files' and decoding it again would "
                      "take too long";
        } else if (!sink.openDiscarding()) {
            problem = ErrnoWords(sink.error());
        } else {
            zrc = fast.extract(f, &sink);
            rc = zrc ? *zrc
                     : set->decompressor()->extract(set->decompressor(), f, io.outputName(&sink));
            io.clearOutput();
            const std::string message = io.takeMessage();
            if (rc != MSPACK_ERR_OK && linked && !set->missingParts().empty()) {
                problem =
                    "needs " + set->missingParts().front() + ", a part of its set that is missing";
            } else if (rc != MSPACK_ERR_OK && linked) {
                problem = MspackWords(rc);
            } else if (rc != MSPACK_ERR_OK) {
                problem = MspackErrorText(rc);
                if (!message.empty())
                    problem += " (" + message + ")";
                if (!set->missingParts().empty())
                    problem += " (missing part " + set->missingParts().front() + ")";
            } else if (sink.size() != f->length) {
                problem = linked ? std::string("damaged (it holds less data than its record says)")
                                 : "got " + std::to_string(sink.size()) + " of " +
                                       std::to_string(f->length) + " bytes";
            }
        }
        sink.discard();
        if (problem.empty()) {
            if (!args.quiet)
                out << name << ": ok\n";
            continue;
        }
        ++damaged;
        err << (linked ? "" : "cabarc: ") << Printable(name) << ": " << Printable(problem) << "\n";
        // A decoder that failed stops there; the rest of its folder would fail alike. A write
        // that failed leaves the library mid-stream: the next file starts afresh.
        if (rc != MSPACK_ERR_OK && !sink.error())
            plan.failed(i);
        else if (rc != MSPACK_ERR_OK && !zrc) {
            if (!set->reopen(&error, &code)) {
                err << (linked ? CabinetMspackWords(code) : "cabarc: " + error) << "\n";
                return kExitSomeFailed;
            }
            fast.refresh(*set);
        }
    }
    if (!args.quiet) {
        if (damaged == 0)
            out << "all " << std::to_string(count) << " files intact\n";
        else
            out << std::to_string(damaged) << " of " << std::to_string(count) << " files damaged\n";
    }
    out.flush();
    return damaged ? kExitSomeFailed : kExitOk;
}

} // namespace fm::tool
