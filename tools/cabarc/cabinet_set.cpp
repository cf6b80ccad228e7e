#include "cabinet_set.h"

#include "stored_name.h"

#include <algorithm>
#include <map>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace fm::tool {

namespace {

std::string folderOf(const std::string& path) {
    size_t cut = path.rfind('/');
    if (cut == std::string::npos)
        return ".";
    return cut == 0 ? "/" : path.substr(0, cut);
}

} // namespace

std::unique_ptr<CabinetSet> CabinetSet::open(CabIo& io, const std::string& posixPath, bool wholeSet,
                                             std::string* error, int* code,
                                             const fm::CabinetSource& within) {
    int selftest;
    MSPACK_SYS_SELFTEST(selftest);
    if (selftest != MSPACK_ERR_OK) {
        *error = "the cabinet library was built for another file offset size";
        if (code)
            *code = selftest;
        return nullptr;
    }
    std::unique_ptr<CabinetSet> set(new CabinetSet(io, posixPath, wholeSet, within));
    if (!set->load(error, code))
        return nullptr;
    return set;
}

CabinetSet::CabinetSet(CabIo& io, std::string path, bool wholeSet, fm::CabinetSource within)
    : io_(io), path_(std::move(path)), wholeSet_(wholeSet), within_(std::move(within)) {}

CabinetSet::~CabinetSet() {
    close();
    for (const auto& [index, fd] : innerFds_)
        ::close(fd);
}

// The part beside `end` (inner_[from]) in the walk's direction among the cabinets of within_'s
// file: the nearest whose header has end's set ID, the index next to end's and the mark back
// towards it. Its index in inner_, or SIZE_MAX; its bytes stay open in innerFds_.
size_t CabinetSet::innerPart(size_t from, const mscabd_cabinet* end, bool backwards) {
    const unsigned wanted = backwards ? end->set_index - 1u : end->set_index + 1u;
    // Past the first, i wraps to SIZE_MAX.
    for (size_t i = backwards ? from - 1 : from + 1; i < inner_.size(); backwards ? --i : ++i) {
        auto it = innerFds_.find(i);
        if (it == innerFds_.end()) {
            std::string why;
            const int fd = fm::OpenCabinetSource(inner_[i], &why);
            if (fd < 0)
                continue;
            it = innerFds_.emplace(i, fd).first;
        }
        unsigned char h[36];
        if (::pread(it->second, h, sizeof h, 0) == sizeof h &&
            unsigned(h[32] | h[33] << 8) == end->set_id && unsigned(h[34] | h[35] << 8) == wanted &&
            ((h[30] | h[31] << 8) & (backwards ? MSCAB_HDR_NEXTCAB : MSCAB_HDR_PREVCAB)))
            return i;
        ::close(it->second);
        innerFds_.erase(it);
    }
    return SIZE_MAX;
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
    records_.clear();
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
        // Inside a larger file the parts are that file's other cabinets, each read from a copy.
        const bool inner = !within_.whole();
        if (inner && !innerFound_) {
            inner_ = fm::FindCabinets(within_.file);
            innerFound_ = true;
        }
        const size_t self =
            size_t(std::find(inner_.begin(), inner_.end(), within_) - inner_.begin());

        // Walks one direction of the set: each step opens the part the end cabinet names.
        auto extend = [&](bool backwards) {
            mscabd_cabinet* end = cab_;
            size_t at = self;
            for (;;) {
                const char* wanted = backwards ? end->prevname : end->nextname;
                if (!(end->flags & (backwards ? MSCAB_HDR_PREVCAB : MSCAB_HDR_NEXTCAB)) || !wanted)
                    return;
                std::string path;
                if (inner) {
                    at = at < inner_.size() ? innerPart(at, end, backwards) : SIZE_MAX;
                    if (at != SIZE_MAX)
                        path = "/proc/self/fd/" + std::to_string(innerFds_[at]);
                } else if (path = FindCabinetPart(folder, wanted);
                           !path.empty() && (::stat(path.c_str(), &st) != 0 ||
                                             !seen.insert({st.st_dev, st.st_ino}).second)) {
                    path.clear();
                }
                if (path.empty()) {
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
    setFiles_ = std::move(all);
    matchRecords();
    return true;
}

// The records of the opened part, as the program lists them, each matched with libmspack's file
// of the same folder, offset, length and name bytes. The part's folders are a run of the joined
// set's: libmspack joins the last folder of a part with the first of the next when either holds
// a record continued across, so the run starts after the earlier parts' folders less one per
// such join. A record libmspack puts elsewhere or drops (it drops those that start in a joined
// folder after its first part) matches nothing, and nothing else stands in for it.
void CabinetSet::matchRecords() {
    std::vector<const mscabd_cabinet*> chain; // the joined parts, first to last
    for (const mscabd_cabinet* c = cab_; c; c = c->prevcab)
        chain.insert(chain.begin(), c);
    const size_t own = chain.size() - 1;
    for (const mscabd_cabinet* c = cab_->nextcab; c; c = c->nextcab)
        chain.push_back(c);
    std::vector<const mscabd_folder*> joined;
    for (const mscabd_folder* f = cab_->folders; f; f = f->next)
        joined.push_back(f);

    fm::CabinetTable directory = fm::ReadCabinetDirectory(path_);
    records_ = std::move(directory.records);
    files_.assign(records_.size(), nullptr);
    size_t base = 0, total = 0;
    fm::CabinetTable left;
    for (size_t i = 0; i < chain.size(); ++i) {
        fm::CabinetTable part = i == own ? directory : fm::ReadCabinetDirectory(chain[i]->filename);
        const bool merged = i > 0 && (left.marksNext || part.marksPrevious);
        total += part.folders - merged;
        if (i <= own)
            base = total - part.folders;
        left = std::move(part);
    }
    if (total != joined.size() || directory.folders == 0)
        return; // the parts' tables and the library's folders do not line up

    // Files of one place in set order: a multimap keeps equal keys in the order inserted, at a
    // node a file (65,535 files cost a few megabytes).
    using Key = std::tuple<const mscabd_folder*, unsigned, unsigned, std::string_view>;
    std::multimap<Key, mscabd_file*> byPlace;
    for (mscabd_file* f : setFiles_)
        byPlace.emplace(Key{f->folder, f->offset, f->length, f->filename}, f);
    for (size_t i = 0; i < records_.size(); ++i) {
        const fm::CabinetFileRecord& r = records_[i];
        // libmspack's folder for the continuation marks: the first for 0xFFFD and 0xFFFF, the
        // last for 0xFFFE.
        const size_t local = r.folder < directory.folders ? r.folder
                             : r.folder == 0xFFFE         ? directory.folders - 1u
                             : r.folder >= 0xFFFD         ? 0u
                                                          : SIZE_MAX;
        if (local == SIZE_MAX)
            continue;
        const Key key{joined[base + local], r.offset, r.size, r.name};
        auto it = byPlace.lower_bound(key);
        if (it == byPlace.end() || it->first != key)
            continue;
        files_[i] = it->second;
        byPlace.erase(it);
    }
}

} // namespace fm::tool
