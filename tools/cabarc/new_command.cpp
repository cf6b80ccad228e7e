// N: a new cabinet of the files and folders given.
//
// The files are gathered first (folders with all their subfolders, each folder's entries in name
// order), so every limit of the format is checked before anything is written. The cabinet is
// then written without a name (PendingFile) and takes its name only when complete: a run that
// fails or is stopped leaves nothing behind, and an existing cabinet is replaced only with -o.
// Its header and folder table, which hold sizes known only at the end, are written last.

#include "cabinet_layout.h"
#include "folder_encoder.h"
#include "output_file.h"
#include "problem_words.h"
#include "progress_report.h"
#include "stored_name.h"
#include "tool_args.h"
#include "tool_main.h"
#include "tool_paths.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace fm::tool {

namespace {

constexpr std::size_t kMaxFiles = 65535;
constexpr std::size_t kMaxName = 255;
// A folder counts its data blocks in 16 bits, so one file can be at most this large.
constexpr std::uint64_t kMaxFolderBytes = 65535ull * kFrameSize;
constexpr std::uint64_t kMaxCabinet = 0xFFFFFFFFull;
constexpr std::size_t kHeaderSize = 36, kFolderEntrySize = 8;

constexpr std::uint16_t kReadOnly = 0x01, kHidden = 0x02, kArchive = 0x20, kExecutable = 0x40,
                        kUtf8Name = 0x80;

struct Entry {
    std::string path;   // POSIX
    std::string stored; // folders separated by backslashes
    std::uint64_t size = 0;
    std::uint16_t date = 0, time = 0, attributes = 0;
    std::uint16_t folder = 0;
    std::uint32_t offset = 0; // in its folder's uncompressed bytes
};

void put16(std::string& s, std::uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8 & 0xFF);
}

void put32(std::string& s, std::uint64_t v) {
    put16(s, static_cast<std::uint32_t>(v & 0xFFFF));
    put16(s, static_cast<std::uint32_t>(v >> 16 & 0xFFFF));
}

void set32(std::string& s, std::size_t at, std::uint64_t v) {
    std::string b;
    put32(b, v);
    s.replace(at, 4, b);
}

// The file's details as the cabinet stores them: DOS date and time (local time, clamped to the
// years DOS dates hold), and attributes from the mode bits and the name.
void describe(Entry& e, const struct stat& st) {
    std::tm tm{};
    const std::time_t t = st.st_mtime;
    ::localtime_r(&t, &tm);
    if (tm.tm_year < 80)
        tm = std::tm{0, 0, 0, 1, 0, 80, 0, 0, 0, 0, nullptr};
    else if (tm.tm_year > 207)
        tm = std::tm{58, 59, 23, 31, 11, 207, 0, 0, 0, 0, nullptr};
    e.date = static_cast<std::uint16_t>((tm.tm_year - 80) << 9 | (tm.tm_mon + 1) << 5 | tm.tm_mday);
    e.time = static_cast<std::uint16_t>(tm.tm_hour << 11 | tm.tm_min << 5 | tm.tm_sec / 2);
    e.size = static_cast<std::uint64_t>(st.st_size);
    e.attributes = kArchive;
    if (!(st.st_mode & S_IWUSR))
        e.attributes |= kReadOnly;
    if (st.st_mode & S_IXUSR)
        e.attributes |= kExecutable;
    if (LastNamePart(e.stored).starts_with('.'))
        e.attributes |= kHidden;
    if (std::any_of(e.stored.begin(), e.stored.end(), [](char c) { return c & 0x80; }))
        e.attributes |= kUtf8Name;
}

class Gatherer {
public:
    Gatherer(bool keepPaths, TextOut& err) : keepPaths_(keepPaths), err_(err) {}

    // Leaves the file `st` out (the cabinet being replaced, when it lies among the inputs).
    void skip(const struct stat& st) { skip_ = {st.st_dev, st.st_ino}; }

    // Adds the file or folder `path`; false (with a line on the error output) when it cannot be
    // read.
    bool add(const std::string& path, const std::string& shown) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return problem(shown, errno == ENOENT ? "no such file or folder" : ErrnoWords(errno));
        if (S_ISDIR(st.st_mode))
            return walk(path, shown, "");
        if (!S_ISREG(st.st_mode))
            return problem(shown, "not a file or a folder");
        std::string name(LastNamePart(path));
        addFile(path, name, st);
        return true;
    }

    std::vector<Entry>& entries() { return entries_; }

private:
    bool problem(const std::string& shown, const std::string& why) {
        err_ << "cabarc: " << Printable(shown) << ": " << why << "\n";
        return false;
    }

    void addFile(const std::string& path, const std::string& stored, const struct stat& st) {
        if (st.st_dev == skip_.first && st.st_ino == skip_.second)
            return;
        Entry e;
        e.path = path;
        e.stored = stored;
        describe(e, st);
        entries_.push_back(std::move(e));
    }

    bool walk(const std::string& folder, const std::string& shown, const std::string& below) {
        DIR* dir = ::opendir(folder.c_str());
        if (!dir)
            return problem(shown, ErrnoWords(errno));
        std::vector<std::string> names;
        errno = 0;
        while (const dirent* d = ::readdir(dir)) {
            const std::string n = d->d_name;
            if (n != "." && n != "..")
                names.push_back(n);
        }
        const int readError = errno;
        ::closedir(dir);
        if (readError)
            return problem(shown, ErrnoWords(readError));
        std::sort(names.begin(), names.end());
        for (const auto& n : names) {
            const std::string path = folder + "/" + n;
            const std::string inside = below.empty() ? n : below + "\\" + n;
            const std::string shownPath = shown + "/" + n;
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0)
                return problem(shownPath, ErrnoWords(errno));
            if (S_ISDIR(st.st_mode)) {
                if (!walk(path, shownPath, inside))
                    return false;
                continue;
            }
            // A link is taken for the file it leads to; a link to a folder is not followed, so
            // that no folder is taken twice or for ever.
            if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) != 0)
                return problem(shownPath, "a link that leads nowhere");
            if (!S_ISREG(st.st_mode)) {
                err_ << "cabarc: " << Printable(shownPath) << ": not a file, left out\n";
                continue;
            }
            addFile(path, keepPaths_ ? inside : n, st);
        }
        return true;
    }

    bool keepPaths_;
    TextOut& err_;
    std::pair<dev_t, ino_t> skip_{};
    std::vector<Entry> entries_;
};

} // namespace

int RunNew(const ToolArgs& args, const DriveMap& drives, const ToolEnvironment& env, TextOut& out,
           TextOut& err) {
    auto refuse = [&](const std::string& what, const std::string& why, int status) {
        err << "cabarc: " << Printable(what) << ": " << why << "\n";
        return status;
    };
    const auto cabinet = ResolveToolPath(args.cabinet, drives, env.workingFolder);
    if (!cabinet)
        return refuse(args.cabinet, "no such drive or path", kExitCannotStart);
    const std::string name(LastNamePart(*cabinet));
    if (name.empty())
        return refuse(args.cabinet, "names a folder, not a cabinet file", kExitCannotStart);
    const std::string parent = cabinet->size() > name.size() + 1
                                   ? cabinet->substr(0, cabinet->size() - name.size() - 1)
                                   : "/";
    const int folderFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return refuse(args.cabinet,
                      errno == ENOENT ? "its folder does not exist" : ErrnoWords(errno),
                      kExitCannotStart);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{folderFd};
    struct stat st {
    }, tool{};
    if (::fstat(folderFd, &st) == 0 && ::stat(env.toolFolder.c_str(), &tool) == 0 &&
        st.st_dev == tool.st_dev && st.st_ino == tool.st_ino)
        return refuse(args.cabinet, "the folder is the tool's own", kExitCannotStart);

    Gatherer gather(args.keepFolders, err);
    if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!args.overwrite)
            return refuse(args.cabinet, "already exists (-o replaces it)", kExitCannotStart);
        if (S_ISDIR(st.st_mode))
            return refuse(args.cabinet, "is a folder", kExitCannotStart);
        gather.skip(st);
    }
    for (const auto& input : args.patterns) {
        const auto path = ResolveToolPath(input, drives, env.workingFolder);
        if (!path)
            return refuse(input, "no such drive or path", kExitCannotStart);
        if (!gather.add(*path, input))
            return kExitCannotStart;
    }
    std::vector<Entry>& entries = gather.entries();
    if (entries.empty())
        return refuse(args.cabinet, "no files to put in it", kExitCannotStart);
    if (entries.size() > kMaxFiles)
        return refuse(args.cabinet,
                      std::to_string(entries.size()) +
                          " files, more than the 65,535 a cabinet can hold",
                      kExitCannotStart);

    // Folders, and the header that lists them and the files.
    // A new folder starts once one holds env.newFolderBytes (32 MiB): a single file is then
    // reached without decoding much before it, and folders decode side by side. Even LZX, which
    // looks back up to 2 MiB, loses only about 0.1% to the fresh start.
    const std::uint64_t folderBytes = env.newFolderBytes;
    std::vector<std::uint64_t> folderSizes{0};
    std::uint64_t total = 0;
    for (Entry& e : entries) {
        if (e.stored.size() > kMaxName)
            return refuse(e.path, "its name is longer than the 255 bytes a cabinet stores",
                          kExitCannotStart);
        if (e.size > kMaxFolderBytes)
            return refuse(e.path, "larger than the 2 GiB a cabinet holds in one piece",
                          kExitCannotStart);
        if (folderSizes.back() > 0 &&
            (folderSizes.back() >= folderBytes || folderSizes.back() + e.size > kMaxFolderBytes))
            folderSizes.push_back(0);
        e.folder = static_cast<std::uint16_t>(folderSizes.size() - 1);
        e.offset = static_cast<std::uint32_t>(folderSizes.back());
        folderSizes.back() += e.size;
        total += e.size;
    }
    std::string header = "MSCF";
    put32(header, 0);
    put32(header, 0); // the cabinet's size, set at the end
    put32(header, 0);
    put32(header, kHeaderSize + kFolderEntrySize * folderSizes.size());
    put32(header, 0);
    header += '\3';
    header += '\1';
    put16(header, static_cast<std::uint32_t>(folderSizes.size()));
    put16(header, static_cast<std::uint32_t>(entries.size()));
    put16(header, 0);                                                           // flags
    put16(header, static_cast<std::uint32_t>(::getpid() ^ std::time(nullptr))); // set id
    put16(header, 0);
    const std::uint16_t type = CompressionType(args.method, args.lzxWindowBits);
    for (std::size_t f = 0; f < folderSizes.size(); ++f) {
        put32(header, 0); // where its data starts, and
        put16(header, 0); // its block count: set at the end
        put16(header, type);
    }
    for (const Entry& e : entries) {
        put32(header, e.size);
        put32(header, e.offset);
        put16(header, e.folder);
        put16(header, e.date);
        put16(header, e.time);
        put16(header, e.attributes);
        header.append(e.stored).append(1, '\0');
    }
    if (args.method == Method::None &&
        header.size() + total + 8 * (total / kFrameSize + 1) > kMaxCabinet)
        return refuse(args.cabinet, "would pass the 4 GiB a cabinet can hold", kExitCannotStart);

    PendingFile file(env.write);
    switch (file.create(folderFd, name, !args.overwrite)) {
    case PendingFile::Created::Kept:
        return refuse(args.cabinet, "already exists (-o replaces it)", kExitCannotStart);
    case PendingFile::Created::Failed:
        return refuse(args.cabinet, ErrnoWords(file.error()), kExitSomeFailed);
    default:
        break;
    }
    if (!file.write(header.data(), header.size()))
        return refuse(args.cabinet, ErrnoWords(file.error()), kExitSomeFailed);
    std::optional<ProgressReport> progress;
    if (args.progressFd)
        progress.emplace(*args.progressFd, total);

    std::uint64_t size = header.size();
    std::vector<unsigned char> frame(kFrameSize);
    std::vector<DataBlock> blocks;
    std::uint32_t blockCount = 0;
    std::string failure, failed = args.cabinet;
    // Writes the blocks made so far; false, with `failure` set, when they do not fit or fail.
    auto writeBlocks = [&] {
        for (const DataBlock& b : blocks) {
            if (size + 8 + b.data.size() > kMaxCabinet) {
                failure = "would pass the 4 GiB a cabinet can hold";
                return false;
            }
            std::string h;
            std::string sizes;
            put16(sizes, static_cast<std::uint32_t>(b.data.size()));
            put16(sizes, b.size);
            const auto* s = reinterpret_cast<const unsigned char*>(sizes.data());
            put32(h, BlockChecksum(s, 4, BlockChecksum(b.data.data(), b.data.size(), 0)));
            h += sizes;
            if (!file.write(h.data(), h.size()) || !file.write(b.data.data(), b.data.size())) {
                failure = ErrnoWords(file.error());
                return false;
            }
            size += 8 + b.data.size();
            ++blockCount;
            if (progress)
                progress->add(b.size);
        }
        blocks.clear();
        return true;
    };
    try {
        std::size_t next = 0;
        for (std::size_t f = 0; f < folderSizes.size() && failure.empty(); ++f) {
            set32(header, kHeaderSize + kFolderEntrySize * f, size);
            blockCount = 0;
            auto encoder = MakeFolderEncoder(args.method, args.lzxWindowBits);
            std::uint32_t filled = 0;
            for (; next < entries.size() && entries[next].folder == f && failure.empty(); ++next) {
                const Entry& e = entries[next];
                failed = e.path;
                const int fd = ::open(e.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
                if (fd < 0) {
                    failure = ErrnoWords(errno);
                    break;
                }
                std::uint64_t left = e.size;
                for (;;) {
                    // One byte past its size is asked for, to see that it has not grown.
                    const std::size_t want =
                        left ? std::min<std::uint64_t>(kFrameSize - filled, left) : 1;
                    const ssize_t n = ::read(fd, frame.data() + filled, want);
                    if (n < 0 && errno == EINTR)
                        continue;
                    if (n < 0) {
                        failure = ErrnoWords(errno);
                    } else if (left == 0 && n > 0) {
                        failure = "it grew while the cabinet was made";
                    } else if (left > 0 && n == 0) {
                        failure = "it shrank while the cabinet was made";
                    }
                    if (!failure.empty() || left == 0)
                        break;
                    filled += static_cast<std::uint32_t>(n);
                    left -= static_cast<std::uint64_t>(n);
                    if (filled == kFrameSize) {
                        encoder->add(frame.data(), filled, blocks);
                        filled = 0;
                        if (!writeBlocks())
                            break;
                    }
                }
                ::close(fd);
                if (failure.empty() && !args.quiet)
                    out << Printable(e.stored) << "\n";
            }
            if (!failure.empty())
                break;
            failed = args.cabinet;
            if (filled)
                encoder->add(frame.data(), filled, blocks);
            encoder->finish(blocks);
            if (!writeBlocks())
                break;
            header[kHeaderSize + kFolderEntrySize * f + 4] = static_cast<char>(blockCount & 0xFF);
            header[kHeaderSize + kFolderEntrySize * f + 5] = static_cast<char>(blockCount >> 8);
        }
    } catch (const std::exception& ex) {
        failure = std::string("could not be compressed (") + ex.what() + ")";
    }
    if (failure.empty()) {
        set32(header, 8, size);
        if (!file.writeAt(0, header.data(), header.size()) || !file.commit(std::time(nullptr)))
            failure = ErrnoWords(file.error());
    }
    if (!failure.empty()) {
        file.discard();
        refuse(failed, failure, kExitSomeFailed);
        if (failed != args.cabinet)
            err << "cabarc: " << Printable(args.cabinet) << ": not made\n";
        return kExitSomeFailed;
    }
    if (progress)
        progress->finish();
    return kExitOk;
}

} // namespace fm::tool
