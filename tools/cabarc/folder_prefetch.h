#pragma once

// LZX folders decoded on other cores. An LZX folder is one stream, decoded from its start, but
// folders are independent: worker threads each decode a folder into memory, the next ones in
// the run's order, while the run writes out what has been decoded of the one it is at. So the
// run's writing overlaps the decoding, and several folders decode side by side. The memory held
// is bounded (Budget()); a folder larger than that is left to the run, which decodes it itself.
// A file is written out as it is decoded. A folder is held in chunks of kChunk bytes, and those
// the run has written out (when each file it takes starts where those before it end, or after)
// are taken again for what is decoded next: fresh memory costs about as much to touch as the
// decoding that fills it.
//
// A folder is decoded in one call, from its start up to the end of the last file the run takes
// from it. That call decodes the same frames, and fails at the same frame with the same code, as
// the calls a file at a time would (the decoder always works in whole frames and reads its input
// the same way whatever a call asks for), so a file is whole when every frame it needs was decoded
// and otherwise fails with the folder's code, as it would have alone.

#include "cabinet_layout.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace fm::tool {

class PendingFile;

class FolderPrefetch {
public:
    struct Folder {
        unsigned index = 0; // in the cabinet's folder table
        FolderLayout layout;
        std::uint32_t reach = 0; // bytes to decode: the end of the last file taken from it
        bool inOrder = true;     // each file taken starts where those before end, or after
    };

    // Starts `workers` threads on `folders`, in the order the run visits them, holding at most
    // `budget` bytes at once. `frames`, when set, counts the frames decoded (added up on the
    // calling thread).
    FolderPrefetch(std::string cabinetPath, unsigned blockReserve, std::vector<Folder> folders,
                   unsigned workers, std::uint64_t budget, std::uint64_t* frames);
    ~FolderPrefetch(); // stops and joins the workers
    FolderPrefetch(const FolderPrefetch&) = delete;
    FolderPrefetch& operator=(const FolderPrefetch&) = delete;

    // Writes the `length` bytes at `offset` of folder `index` to `out`, once they are decoded: a
    // libmspack error code, or nullopt when this folder is not decoded here (not one of those
    // given, already left behind, or no memory for it after all). Asking for a folder lets those
    // before it go.
    std::optional<int> extract(unsigned index, std::uint32_t offset, std::uint32_t length,
                               PendingFile* out);

    // How many worker threads a run should use (0: not worth it), and the memory they may hold.
    static unsigned Workers();
    static std::uint64_t Budget();

private:
    static constexpr std::uint32_t kChunk = 1 << 20;
    using Chunk = std::unique_ptr<unsigned char[]>;
    struct Job {
        Folder folder;
        enum class State { Waiting, Running, Done, Dropped } state = State::Waiting;
        int code = 0;
        bool unheld = false; // no memory for it: the run decodes it itself
        std::uint64_t frames = 0;
        bool held = false;         // its memory is counted in held_
        std::vector<Chunk> chunks; // byte i in chunks[i / kChunk]; the worker's until decoded
        size_t freed = 0;          // chunks below this have gone back to spare_
        std::atomic<std::uint64_t> decoded{0};         // bytes ready
        std::atomic<std::uint64_t> wanted{UINT64_MAX}; // the run waits for more than this
        std::atomic<bool> cancelled{false};
    };
    void work();
    void release(Job& job);
    Chunk chunk();

    std::string path_;
    unsigned blockReserve_;
    std::uint64_t* frames_;
    std::vector<std::unique_ptr<Job>> jobs_;
    std::map<unsigned, size_t> place_; // folder index -> job
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t next_ = 0;    // the next job a worker takes
    size_t current_ = 0; // the job the run reads from; those before it are let go
    std::uint64_t budget_, held_ = 0;
    std::vector<Chunk> spare_; // chunks written out, to be taken again
    bool stop_ = false;
    std::vector<std::thread> workers_;
};

} // namespace fm::tool
