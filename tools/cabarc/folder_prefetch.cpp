#include "folder_prefetch.h"

#include "lzx_decoder.h"
#include "output_file.h"

#include <mspack.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <new>
#include <pthread.h>
#include <system_error>
#include <unistd.h>

namespace fm::tool {

FolderPrefetch::FolderPrefetch(std::string cabinetPath, unsigned blockReserve,
                               std::vector<Folder> folders, unsigned workers, std::uint64_t budget,
                               std::uint64_t* frames)
    : path_(std::move(cabinetPath)), blockReserve_(blockReserve), frames_(frames), budget_(budget) {
    for (const Folder& f : folders) {
        if (f.reach == 0 || f.reach > budget_ || !place_.emplace(f.index, jobs_.size()).second)
            continue;
        jobs_.push_back(std::make_unique<Job>());
        jobs_.back()->folder = f;
    }
    // The workers leave the stop signals to the run's thread, whose handler knows the file being
    // written; they inherit the mask from here.
    sigset_t stops, before;
    sigemptyset(&stops);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&stops, signal);
    ::pthread_sigmask(SIG_BLOCK, &stops, &before);
    try {
        for (unsigned i = 0; i < workers && i < jobs_.size(); ++i)
            workers_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
        if (workers_.empty()) // no thread at all: the run decodes every folder itself
            place_.clear();
    }
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

FolderPrefetch::~FolderPrefetch() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        for (auto& job : jobs_)
            job->cancelled = true;
    }
    changed_.notify_all();
    for (std::thread& t : workers_)
        t.join();
}

unsigned FolderPrefetch::Workers() {
    // The run writes on one core what the others decode; with one core there is nothing to gain.
    const unsigned cores = std::thread::hardware_concurrency();
    return cores < 2 ? 0 : std::min(cores, 4u);
}

std::uint64_t FolderPrefetch::Budget() {
    const long pages = ::sysconf(_SC_PHYS_PAGES), size = ::sysconf(_SC_PAGESIZE);
    const std::uint64_t memory = pages > 0 && size > 0 ? std::uint64_t(pages) * size : 0;
    return std::min<std::uint64_t>(memory / 16, 512u << 20);
}

void FolderPrefetch::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        // The next folder, once the memory it needs is free (or nothing else is held).
        changed_.wait(lock, [this] {
            return stop_ || (next_ < jobs_.size() &&
                             (held_ == 0 || held_ + jobs_[next_]->folder.reach <= budget_));
        });
        if (stop_)
            return;
        Job& job = *jobs_[next_++];
        if (job.state != Job::State::Waiting)
            continue; // let go before it was begun
        job.state = Job::State::Running;
        held_ += job.folder.reach;
        job.held = true;
        job.chunks.resize((job.folder.reach + kChunk - 1) / kChunk);
        lock.unlock();

        std::uint64_t frames = 0, decoded = 0;
        bool noMemory = false;
        int code = MSPACK_ERR_OK;
        try {
            LzxDecoder decoder(path_, blockReserve_, &frames);
            code = decoder.extract(job.folder.index, job.folder.layout, 0, job.folder.reach,
                                   [&](const unsigned char* data, size_t n) {
                                       if (job.cancelled.load(std::memory_order_relaxed))
                                           return false;
                                       while (n > 0) {
                                           Chunk& to = job.chunks[decoded / kChunk];
                                           if (!to && !(to = chunk())) {
                                               noMemory = true;
                                               return false;
                                           }
                                           const size_t at = decoded % kChunk,
                                                        take = std::min<size_t>(n, kChunk - at);
                                           std::memcpy(to.get() + at, data, take);
                                           data += take;
                                           n -= take;
                                           decoded += take;
                                       }
                                       job.decoded.store(decoded, std::memory_order_release);
                                       if (decoded > job.wanted.load(std::memory_order_acquire)) {
                                           std::lock_guard wake(mutex_);
                                           changed_.notify_all();
                                       }
                                       return true;
                                   });
        } catch (const std::bad_alloc&) {
            noMemory = true;
        }

        lock.lock();
        job.code = noMemory ? MSPACK_ERR_NOMEMORY : code;
        job.frames = frames;
        job.unheld = noMemory;
        if (job.state == Job::State::Dropped) // the run moved on while it was decoded
            release(job);
        else
            job.state = Job::State::Done;
        changed_.notify_all();
    }
}

void FolderPrefetch::release(Job& job) {
    if (job.held)
        held_ -= job.folder.reach;
    job.held = false;
    for (Chunk& c : job.chunks)
        if (c)
            spare_.push_back(std::move(c));
    job.chunks.clear();
    job.state = Job::State::Dropped;
}

FolderPrefetch::Chunk FolderPrefetch::chunk() {
    {
        std::lock_guard lock(mutex_);
        if (!spare_.empty()) {
            Chunk c = std::move(spare_.back());
            spare_.pop_back();
            return c;
        }
    }
    return Chunk(new (std::nothrow) unsigned char[kChunk]);
}

std::optional<int> FolderPrefetch::extract(unsigned index, std::uint32_t offset,
                                           std::uint32_t length, PendingFile* out) {
    std::unique_lock lock(mutex_);
    const auto it = place_.find(index);
    if (it == place_.end() || it->second < current_)
        return std::nullopt;
    const size_t k = it->second;
    for (; current_ < k; ++current_) { // the run has moved on: let the folders before go
        Job& gone = *jobs_[current_];
        if (frames_)
            *frames_ += gone.frames;
        gone.frames = 0;
        if (gone.state == Job::State::Running) {
            gone.cancelled = true;
            gone.state = Job::State::Dropped; // its worker lets it go when it stops
        } else if (gone.state != Job::State::Dropped) {
            release(gone);
        }
    }
    changed_.notify_all();

    Job& job = *jobs_[k];
    const std::uint64_t end = std::uint64_t(offset) + length;
    if (end > job.folder.reach)
        return std::nullopt; // not a file the run announced
    // The file is written as it is decoded, and is whole once decoding has gone past its end:
    // the frames it needs are then whole (one that ends on a frame's end also needs the next
    // frame, as in libmspack).
    for (std::uint64_t at = offset;;) {
        const std::uint64_t want = std::min<std::uint64_t>(end, at + kChunk);
        job.wanted = want;
        changed_.wait(lock, [&] { return job.state == Job::State::Done || job.decoded > want; });
        job.wanted = UINT64_MAX;
        const bool done = job.state == Job::State::Done;
        if (done && frames_) {
            *frames_ += job.frames;
            job.frames = 0;
        }
        if (done && job.unheld) // no memory: the run decodes it, unless it is begun
            return at == offset ? std::nullopt : std::optional<int>(MSPACK_ERR_NOMEMORY);
        if (length == 0)
            return MSPACK_ERR_OK;
        const std::uint64_t decoded = job.decoded.load(std::memory_order_acquire);
        lock.unlock();
        for (const std::uint64_t upTo = std::min(end, decoded); at < upTo;) {
            const size_t n = std::min<std::uint64_t>(upTo - at, kChunk - at % kChunk);
            if (!out->write(job.chunks[at / kChunk].get() + at % kChunk, n))
                return MSPACK_ERR_WRITE;
            at += n;
        }
        lock.lock();
        if (job.folder.inOrder) // no later file starts before `at`: the chunks before it go again
            for (; job.freed < at / kChunk; ++job.freed)
                if (Chunk& c = job.chunks[job.freed])
                    spare_.push_back(std::move(c));
        if (decoded > end)
            return MSPACK_ERR_OK;
        if (done)
            return end > decoded || job.code != MSPACK_ERR_OK
                       ? (job.code == MSPACK_ERR_OK ? MSPACK_ERR_DECRUNCH : job.code)
                       : MSPACK_ERR_OK;
    }
}

} // namespace fm::tool
