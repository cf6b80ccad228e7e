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
                                             std::string* error) {
    int selftest;
    MSPACK_SYS_SELFTEST(selftest);
    if (selftest != MSPACK_ERR_OK) {
        *error = "the cabinet library was built for another file offset size";
        return nullptr;
    }
    std::unique_ptr<CabinetSet> set(new CabinetSet(io, posixPath, wholeSet));
    if (!set->load(error))
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
    missing_.clear();
    paths_.clear();
}

bool CabinetSet::reopen(std::string* error) {
    close();
    return load(error);
}

bool CabinetSet::load(std::string* error) {
    cabd_ = mspack_create_cab_decompressor(io_.system());
    if (!cabd_) {
        *error = "cannot start the cabinet library";
        return false;
    }
    // The decoders' input buffer stays at the library's 4 KB: they fill it ahead of need, and a
    // damaged or missing block within that reach fails the file before it too.

    paths_.push_back(path_);
    cab_ = cabd_->open(cabd_, paths_.back().c_str());
    if (!cab_) {
        int code = cabd_->last_error(cabd_);
        std::string message = io_.takeMessage();
        *error = MspackErrorText(code);
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
                if (backwards)
                    paths_.push_front(path);
                else
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

    for (mscabd_file* f = cab_->files; f; f = f->next)
        files_.push_back(f);
    return true;
}

} // namespace fm::tool
