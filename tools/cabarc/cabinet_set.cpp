#include "cabinet_set.h"

#include "name_pattern.h"
#include "stored_name.h"

#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace fm::tool {

namespace {

std::string folderOf(const std::string& path) {
    size_t cut = path.rfind('/');
    if (cut == std::string::npos)
        return ".";
    return cut == 0 ? "/" : path.substr(0, cut);
}

std::string join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

bool isRegularFile(const std::string& path, struct stat* st) {
    return ::stat(path.c_str(), st) == 0 && S_ISREG(st->st_mode);
}

} // namespace

std::string FindPartFile(const std::string& folder, const std::string& name) {
    std::string base(LastNamePart(name));
    if (base.empty() || base == "." || base == "..")
        return {};
    struct stat st;
    if (isRegularFile(join(folder, base), &st))
        return join(folder, base);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return {};
    std::string found;
    while (dirent* e = ::readdir(dir)) {
        if (SameNameIgnoringCase(e->d_name, base) && isRegularFile(join(folder, e->d_name), &st)) {
            found = join(folder, e->d_name);
            break;
        }
    }
    ::closedir(dir);
    return found;
}

std::unique_ptr<CabinetSet> CabinetSet::open(CabIo& io, const std::string& posixPath, bool wholeSet,
                                             std::string* error, int* code) {
    int selftest;
    MSPACK_SYS_SELFTEST(selftest);
    if (selftest != MSPACK_ERR_OK) {
        *error = "the cabinet library was built for another file offset size";
        if (code)
            *code = selftest;
        return nullptr;
    }
    std::unique_ptr<CabinetSet> set(new CabinetSet(io, posixPath, wholeSet));
    if (!set->load(error, code))
        return nullptr;
    return set;
}

CabinetSet::CabinetSet(CabIo& io, std::string path, bool wholeSet)
    : io_(io), path_(std::move(path)), wholeSet_(wholeSet) {}

CabinetSet::~CabinetSet() {
    close();
}

void CabinetSet::close() {
    if (cabd_) {
        for (auto* stray : strays_)
            cabd_->close(cabd_, stray);
        if (cab_)
            cabd_->close(cabd_, cab_);
        mspack_destroy_cab_decompressor(cabd_);
    }
    strays_.clear();
    cab_ = nullptr;
    cabd_ = nullptr;
    files_.clear();
    setFiles_.clear();
    missing_.clear();
    paths_.clear();
    ownIndex_ = 0;
}

bool CabinetSet::reopen(std::string* error, int* code) {
    close();
    return load(error, code);
}

bool CabinetSet::load(std::string* error, int* code) {
    cabd_ = mspack_create_cab_decompressor(io_.system());
    if (!cabd_) {
        *error = "cannot start the cabinet library";
        if (code)
            *code = MSPACK_ERR_NOMEMORY;
        return false;
    }
    // The decoders' input buffer stays at the library's 4 KB: they fill it ahead of need, and a
    // damaged or missing block within that reach fails the file before it too.

    paths_.push_back(path_);
    cab_ = cabd_->open(cabd_, paths_.back().c_str());
    if (!cab_) {
        const int rc = cabd_->last_error(cabd_);
        if (code)
            *code = rc;
        std::string message = io_.takeMessage();
        *error = MspackErrorText(rc);
        if (!message.empty())
            *error += " (" + message + ")";
        return false;
    }

    if (wholeSet_) {
        const std::string folder = folderOf(path_);
        std::set<std::pair<dev_t, ino_t>> seen;
        struct stat st;
        if (::stat(path_.c_str(), &st) == 0)
            seen.insert({st.st_dev, st.st_ino});

        // Walks one direction of the set: each step opens the part the end cabinet names.
        auto extend = [&](bool backwards) {
            mscabd_cabinet* end = cab_;
            for (;;) {
                const char* wanted = backwards ? end->prevname : end->nextname;
                if (!(end->flags & (backwards ? MSCAB_HDR_PREVCAB : MSCAB_HDR_NEXTCAB)) || !wanted)
                    return;
                std::string path = FindPartFile(folder, wanted);
                if (path.empty() || ::stat(path.c_str(), &st) != 0 ||
                    !seen.insert({st.st_dev, st.st_ino}).second) {
                    missing_.push_back(wanted);
                    return;
                }
                if (backwards) {
                    paths_.push_front(path);
                    ++ownIndex_;
                } else
                    paths_.push_back(path);
                const std::string& stored = backwards ? paths_.front() : paths_.back();
                mscabd_cabinet* part = cabd_->open(cabd_, stored.c_str());
                if (!part) {
                    missing_.push_back(wanted);
                    return;
                }
                int rc =
                    backwards ? cabd_->prepend(cabd_, end, part) : cabd_->append(cabd_, end, part);
                if (rc != MSPACK_ERR_OK) {
                    strays_.push_back(part);
                    missing_.push_back(wanted);
                    return;
                }
                end = part;
            }
        };
        extend(true);
        extend(false);
        io_.takeMessage();
    }

    std::vector<mscabd_file*> all;
    for (mscabd_file* f = cab_->files; f; f = f->next)
        all.push_back(f);
    files_ = startingHere(all);
    setFiles_ = std::move(all);
    return true;
}

// A file of a set is listed and extracted from the part where it starts. libmspack lists a joined
// set's files part by part, each once, from the record where it starts (also continuation records
// of the first part found, when the part before it is missing); a part read alone also yields the
// records of files continued from the part before. The parts' own records tell which is which.
// Where they cannot be read or do not line up, every file is kept.
std::vector<mscabd_file*> CabinetSet::startingHere(const std::vector<mscabd_file*>& all) const {
    auto sameRecord = [](const mscabd_file* f, const FileRecord& r) {
        return r.name == f->filename && r.length == f->length;
    };
    std::vector<mscabd_file*> starting;
    if (!wholeSet_) { // alone: records and files correspond one to one
        auto layout = ReadCabinetLayout(path_);
        if (!layout || layout->files.size() != all.size())
            return all;
        for (size_t i = 0; i < all.size(); ++i) {
            if (!sameRecord(all[i], layout->files[i]))
                return all;
            if (layout->files[i].startsHere())
                starting.push_back(all[i]);
        }
        return starting;
    }
    // Joined: the records that start in each part, in set order, met in the same order among
    // the files; a file that meets none is a continuation kept by the library.
    std::vector<std::pair<size_t, FileRecord>> expected;
    for (size_t p = 0; p < paths_.size(); ++p) {
        auto layout = ReadCabinetLayout(paths_[p]);
        if (!layout)
            return all;
        for (FileRecord& r : layout->files) {
            if (r.startsHere())
                expected.emplace_back(p, std::move(r));
        }
    }
    size_t next = 0;
    for (mscabd_file* f : all) {
        if (next < expected.size() && sameRecord(f, expected[next].second)) {
            if (expected[next].first == ownIndex_)
                starting.push_back(f);
            ++next;
        }
    }
    return next == expected.size() ? starting : all;
}

} // namespace fm::tool
