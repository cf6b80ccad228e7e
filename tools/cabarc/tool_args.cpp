#include "tool_args.h"

#include "platform/cabinet_directory.h"

#include <charconv>

namespace fm::tool {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

ParsedArgs ParseToolArgs(const std::vector<std::string>& args) {
    ToolArgs out;
    size_t i = 0;
    for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
        const std::string& opt = args[i];
        if (opt.size() != 2)
            return {std::nullopt, "unknown option " + opt};
        switch (lower(opt[1])) {
        case 'p':
            out.keepFolders = true;
            break;
        case 'o':
            out.overwrite = true;
            break;
        case 'n':
            out.skipExisting = true;
            break;
        case 'q':
            out.quiet = true;
            break;
        case '@':
            if (++i == args.size() || args[i].empty())
                return {std::nullopt, "-@ needs the path of a link"};
            out.link = args[i];
            break;
        case 'c': {
            const std::string* a = ++i < args.size() ? &args[i] : nullptr;
            if (!a ||
                std::from_chars(a->data(), a->data() + a->size(), out.codePage).ptr !=
                    a->data() + a->size() ||
                !fm::IsNameCodePage(out.codePage))
                return {std::nullopt, "-c needs one of the code pages 1252, 437, 850, 866, 932, "
                                      "936, 949, 950, 1250, 1251 and 1253"};
            break;
        }
        case 'm': {
            const std::string m = ++i < args.size() ? args[i] : "";
            std::string upper;
            for (char c : m)
                upper += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
            int bits = 0;
            if (upper == "NONE") {
                out.method = Method::None;
            } else if (upper == "MSZIP") {
                out.method = Method::MsZip;
            } else if (upper.starts_with("LZX:") &&
                       std::from_chars(upper.data() + 4, upper.data() + upper.size(), bits).ptr ==
                           upper.data() + upper.size() &&
                       bits >= 15 && bits <= 21) {
                out.method = Method::Lzx;
                out.lzxWindowBits = bits;
            } else {
                return {std::nullopt, "-m needs NONE, MSZIP or LZX:<15..21>"};
            }
            out.methodGiven = true;
            break;
        }
        case 'r':
        case 'd': {
            int fd = -1;
            const std::string* a = ++i < args.size() ? &args[i] : nullptr;
            if (!a ||
                std::from_chars(a->data(), a->data() + a->size(), fd).ptr !=
                    a->data() + a->size() ||
                fd < 0)
                return {std::nullopt, opt + " needs the number of a descriptor"};
            (lower(opt[1]) == 'r' ? out.progressFd : out.folderFd) = fd;
            break;
        }
        default:
            return {std::nullopt, "unknown option " + opt};
        }
    }
    if (i == args.size())
        return {std::nullopt, "no command given"};
    const std::string& command = args[i++];
    if (command == "L" || command == "l")
        out.command = Command::List;
    else if (command == "X" || command == "x")
        out.command = Command::Extract;
    else if (command == "T" || command == "t")
        out.command = Command::Test;
    else if (command == "N" || command == "n")
        out.command = Command::New;
    else
        return {std::nullopt, "unknown command " + command};

    if (i == args.size() || args[i].empty())
        return {std::nullopt, "no cabinet given"};
    out.cabinet = args[i++];
    if (out.command == Command::Test && i < args.size())
        return {std::nullopt, "T tests the whole cabinet and takes nothing after it"};
    if (out.methodGiven && out.command != Command::New)
        return {std::nullopt, "-m is for N only"};
    if (out.command == Command::New && i == args.size())
        return {std::nullopt, "N needs the files or folders to put in the cabinet"};

    size_t end = args.size();
    if (out.command == Command::Extract && end > i) {
        const std::string& last = args[end - 1];
        if (!last.empty() && (last.back() == '\\' || last.back() == '/')) {
            out.destination = last;
            --end;
        }
    }
    for (; i < end; ++i) {
        if (args[i].empty())
            return {std::nullopt, "empty file name"};
        out.patterns.push_back(args[i]);
    }
    return {std::move(out), {}};
}

const char* UsageText() {
    return "usage: cabarc [-p] [-o] [-n] [-q] [-c <codepage>] [-@ <link>] [-r <fd>] [-d <fd>]\n"
           "              <command> <cabinet> [<file> ...] [<dest>\\]\n"
           "       cabarc [-m NONE|MSZIP|LZX:<15..21>] [-p] [-o] [-q] [-r <fd>]\n"
           "              N <cabinet> <file or folder> ...\n"
           "commands:\n"
           "  L   list the files stored in the cabinet\n"
           "  X   extract files (all, those matching the <file> patterns with * and ?, or\n"
           "      exactly those the link names)\n"
           "  T   test: decode every file of the cabinet (of its whole set, for a part of a\n"
           "      spanned set), checking block checksums and sizes, and write nothing; one\n"
           "      line per damaged file on the error output, exit status 1 when any is\n"
           "      damaged\n"
           "  N   new: make the cabinet of the files given and of the folders given with\n"
           "      all their subfolders; an existing cabinet is replaced only with -o.\n"
           "      Names outside ASCII are stored as UTF-8. Nothing is left behind when it\n"
           "      fails; more than 65,535 files or a cabinet past 4 GiB is refused\n"
           "patterns:\n"
           "  * and ? match without regard to case; * and *.* match every file. A pattern\n"
           "  without a backslash is matched against the last part of each stored name, one\n"
           "  with a backslash against the whole name, leading backslashes left out:\n"
           "  \"\\readme.txt\" is only the readme.txt stored at the top. A pattern other than\n"
           "  * and *.* that matches nothing is an error (exit status 1).\n"
           "options:\n"
           "  -p  keep the stored folders below the destination; for N, store the paths\n"
           "      below each folder given (without it, the bare file names)\n"
           "  -o  replace existing files without asking (done unless -n is given); for N,\n"
           "      replace an existing cabinet\n"
           "  -m  for N, the compression: MSZIP (the default), NONE, or LZX:<bits> with a\n"
           "      window of 2^bits bytes, 15 to 21 (LZX:21 packs best)\n"
           "  -n  never replace an existing file: leave it and go on\n"
           "  -q  do not print a line per extracted file\n"
           "  -c  read names stored without the UTF-8 flag in <codepage>: 1252 (the default),\n"
           "      437, 850, 866, 932, 936, 949, 950, 1250, 1251 or 1253\n"
           "  -@  read the link at <link> (a file or a pipe; the program passes /dev/fd/3)\n"
           "  -r  write the progress of X (or N) to descriptor <fd> as it goes: lines\n"
           "      \"<bytes done>/<bytes in all>\" (the program passes 4)\n"
           "  -d  extract into the folder open on descriptor <fd>, which the caller checked;\n"
           "      <dest>\\ then only names it (the program passes 5)\n"
           "the link (how the program launches the tool):\n"
           "  Its first line is \"fendlemark-link 1\"; a second line \"codepage <codepage>\"\n"
           "  acts as -c. \"drive d <mount>\", \"drive e <mount>\", "
           "...\n"
           "  give the drive map (c: is /): every drive-form path on the command line is read\n"
           "  with it instead of the mount table. \"file <index> <name>\" lines choose records\n"
           "  exactly: <index> counts the files that start in this cabinet in stored order from\n"
           "  0, and <name> must be the record's name as listed, or the record fails (\"the\n"
           "  cabinet has changed since it was listed\"). With file lines no <file> pattern\n"
           "  may be given, but *.* when a last line \"files <count> all\" says they are every\n"
           "  record listed: then a cabinet whose records are others is not extracted at all.\n"
           "  In every field \\ooo (three octal digits) stands for a backslash,\n"
           "  a space or a control character. With a link the destination must be given, end\n"
           "  in \\, be a full path (drive form or /...) and be an existing folder, and each\n"
           "  problem is one line of plain words without the tool's name.\n"
           "always:\n"
           "  Two records that would be written to the same file are a collision: the first\n"
           "  is written, the others are reported (exit status 1). The tool never writes into\n"
           "  the folder it runs from, and never leaves a partial file behind.\n";
}

} // namespace fm::tool
