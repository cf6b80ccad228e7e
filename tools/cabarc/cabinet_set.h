#pragma once

// A cabinet opened through libmspack, alone or joined with the other parts of its set.

#include "cab_io.h"
#include "platform/cabinet_directory.h"
#include "platform/cabinet_source.h"

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fm::tool {

class CabinetSet {
public:
    // Opens the cabinet at `posixPath`. With `wholeSet`, the parts its header names before and
    // after it are looked up in the same folder (exact name first, then without regard to case)
    // and joined, so that files crossing parts come out whole. Null when the cabinet itself
    // cannot be opened; `error` says why, `code` (when given) is libmspack's error code. A cabinet
    // read from inside a larger file (`within` not whole) finds its parts among the other
    // cabinets of that file instead: the nearest ones with the same set ID and the index before
    // or after its own.
    static std::unique_ptr<CabinetSet> open(CabIo& io, const std::string& posixPath, bool wholeSet,
                                            std::string* error, int* code = nullptr,
                                            const fm::CabinetSource& within = {});
    ~CabinetSet();
    CabinetSet(const CabinetSet&) = delete;
    CabinetSet& operator=(const CabinetSet&) = delete;

    mscab_decompressor* decompressor() const { return cabd_; }
    // The opened part; its folder list is the set's.
    const mscabd_cabinet* cabinet() const { return cab_; }
    // The opened part's records as the program lists them (ReadCabinetDirectory): the numbering
    // the link's record indexes use.
    const std::vector<fm::CabinetFileRecord>& records() const { return records_; }
    // For each of records(), libmspack's file with the same folder, offset, length and name
    // bytes, through which it is extracted (also through the parts that follow); null when the
    // library holds none such. Valid until reopen() or destruction.
    const std::vector<mscabd_file*>& files() const { return files_; }
    // Every file of the set as joined, in set order, also those that start in another part: a
    // set is intact only when all of them are. Valid as files() is.
    const std::vector<mscabd_file*>& setFiles() const { return setFiles_; }
    // The parts the headers name that were not found or could not be joined.
    const std::vector<std::string>& missingParts() const { return missing_; }
    // The parts in set order, the opened cabinet included.
    const std::deque<std::string>& partPaths() const { return paths_; }

    // Drops all decoding state and reads the set again, so the next extraction starts from the
    // beginning of its folder. The file list keeps its order; old file pointers become invalid.
    bool reopen(std::string* error, int* code = nullptr);

private:
    CabinetSet(CabIo& io, std::string path, bool wholeSet, fm::CabinetSource within);
    bool load(std::string* error, int* code);
    size_t innerPart(size_t from, const mscabd_cabinet* end, bool backwards);
    void matchRecords();
    void close();

    CabIo& io_;
    std::string path_;
    bool wholeSet_;
    fm::CabinetSource within_;
    std::vector<fm::CabinetSource> inner_; // the cabinets of within_'s file, once looked for
    bool innerFound_ = false;
    std::map<size_t, int> innerFds_; // copies of the parts found in it, kept across reopen()
    mscab_decompressor* cabd_ = nullptr;
    mscabd_cabinet* cab_ = nullptr;       // the opened part; closing it frees the set
    std::deque<std::string> paths_;       // stable storage: libmspack keeps the pointers
    size_t ownIndex_ = 0;                 // the opened part's place in paths_
    std::vector<mscabd_cabinet*> strays_; // parts that could not be joined
    std::vector<fm::CabinetFileRecord> records_;
    std::vector<mscabd_file*> files_;
    std::vector<mscabd_file*> setFiles_;
    std::vector<std::string> missing_;
};

} // namespace fm::tool
