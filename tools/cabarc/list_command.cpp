#include "cabinet_set.h"
#include "name_pattern.h"
#include "platform/cabinet_directory.h"
#include "stored_name.h"
#include "tool_args.h"
#include "tool_main.h"

#include <cstdio>

namespace fm::tool {

int RunList(const ToolArgs& args, const std::string& cabinetPath, TextOut& out, TextOut& err) {
    CabIo io;
    std::string error;
    // Only this cabinet's own records: a part of a set lists what it holds.
    auto set = CabinetSet::open(io, cabinetPath, false, &error);
    if (!set) {
        err << "cabarc: " << Printable(args.cabinet) << ": " << Printable(error) << "\n";
        return kExitCannotStart;
    }
    PatternSet patterns(args.patterns);
    std::string text;
    for (const mscabd_file* f : set->files()) {
        if (!f)
            continue; // a record the library does not read: nothing to list it by
        std::string name =
            fm::StoredNameToUtf8(f->filename, f->attribs & MSCAB_ATTRIB_UTF_NAME, args.codePage);
        if (!patterns.matches(name))
            continue;
        char head[64];
        int n = std::snprintf(head, sizeof head, "%10u  %04d-%02d-%02d %02d:%02d:%02d  ", f->length,
                              f->date_y, f->date_m, f->date_d, f->time_h, f->time_m, f->time_s);
        text.append(head, static_cast<size_t>(n));
        text += Printable(name);
        text += '\n';
        if (text.size() > 65536) {
            out.write(text);
            text.clear();
        }
    }
    out.write(text);
    out.flush();
    return kExitOk;
}

} // namespace fm::tool
