#include "extract/run_queue.h"

#include "extract/process_watch.h"

#include <QSocketNotifier>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace fm {

namespace {

// Without an event to wait on, ends are looked for this often.
constexpr int kPollWithoutEventsMs = 5;

} // namespace

int RunQueue::defaultConcurrency() {
    return std::max(2, 2 * QThread::idealThreadCount());
}

RunQueue::RunQueue(Launcher& launcher, const ProcessList* processes, QString lingerName,
                   QObject* parent)
    : QObject(parent), launcher_(launcher), processes_(processes),
      lingerName_(std::move(lingerName)), concurrency_(defaultConcurrency()) {
    retry_.setSingleShot(true);
    grace_.setSingleShot(true);
    grace_.setTimerType(Qt::PreciseTimer);
    connect(&watch_, &QTimer::timeout, this, &RunQueue::pump);
    connect(&retry_, &QTimer::timeout, this, &RunQueue::pump);
    connect(&grace_, &QTimer::timeout, this, &RunQueue::force);
}

RunQueue::~RunQueue() {
    for (const Running& r : running_) {
        launcher_.kill(r.id);
        launcher_.forget(r.id);
    }
}

void RunQueue::start(std::vector<RunJob> jobs) {
    if (started_)
        return;
    started_ = true;
    jobs_ = std::move(jobs);
    results_.assign(jobs_.size(), {});
    for (size_t i = 0; i < jobs_.size(); ++i) {
        waiting_.push_back(i);
        totalWeight_ += jobs_[i].weight;
    }
    if (const int fd = launcher_.eventDescriptor(); fd >= 0) {
        events_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(events_, &QSocketNotifier::activated, this, &RunQueue::pump);
        watch_.start(kWatchIntervalMs);
    } else {
        watch_.start(kPollWithoutEventsMs);
    }
    QTimer::singleShot(0, this, &RunQueue::pump);
}

void RunQueue::cancel() {
    if (!started_ || finished_ || cancelling_)
        return;
    cancelling_ = true;
    retry_.stop();
    for (size_t job : waiting_)
        settle(job, JobResult::State::Cancelled);
    waiting_.clear();
    for (const Running& r : running_)
        launcher_.terminate(r.id);
    grace_.start(kCancelGraceMs);
    QTimer::singleShot(0, this, &RunQueue::pump);
}

void RunQueue::force() {
    if (!forced_) {
        forced_ = true;
        for (const Running& r : running_)
            launcher_.kill(r.id);
        grace_.start(kCancelGraceMs);
        return;
    }
    // Killed and still not gone (stuck in the kernel): the run does not wait for them; the
    // launcher collects them if they ever end.
    for (const Running& r : running_) {
        launcher_.forget(r.id);
        results_[r.job].end = LaunchEnd{true, SIGKILL, {}};
        settle(r.job, JobResult::State::Cancelled);
    }
    running_.clear();
    finishWhenQuiet();
}

void RunQueue::pump() {
    if (finished_)
        return;
    launcher_.collect();
    reap();
    fill();
    finishWhenQuiet();
}

void RunQueue::reap() {
    bool ended = false;
    for (size_t i = 0; i < running_.size();) {
        std::optional<LaunchEnd> end = launcher_.takeEnd(running_[i].id);
        if (!end) {
            ++i;
            continue;
        }
        const size_t job = running_[i].job;
        // A job that failed after it was asked to stop was stopped, not broken.
        const bool stopped = cancelling_ && end->failed();
        results_[job].end = std::move(*end);
        settle(job, stopped ? JobResult::State::Cancelled : JobResult::State::Ended);
        running_.erase(running_.begin() + static_cast<std::ptrdiff_t>(i));
        ended = true;
    }
    if (ended) // whatever was short may have been given back: a waiting start goes now
        retry_.stop();
}

void RunQueue::fill() {
    while (!cancelling_ && !retry_.isActive() && !waiting_.empty() &&
           running_.size() < static_cast<size_t>(concurrency_)) {
        const size_t job = waiting_.front();
        const RunJob& j = jobs_[job];
        const LaunchStart s = launch(j);
        if (s.error == 0) {
            waiting_.pop_front();
            running_.push_back({job, s.id});
            results_[job].state = JobResult::State::Running;
            retryDelayMs_ = 0;
            lonelyRetries_ = 0;
            continue;
        }
        results_[job].startError = s.error;
        const bool giveUp =
            !s.shortOfResources() || (running_.empty() && ++lonelyRetries_ > kLonelyRetries);
        if (!giveUp) {
            retryDelayMs_ =
                retryDelayMs_ == 0 ? kRetryFirstMs : std::min(2 * retryDelayMs_, kRetryMaxMs);
            retry_.start(retryDelayMs_);
            break;
        }
        waiting_.pop_front();
        settle(job, JobResult::State::NotStarted);
    }
}

LaunchStart RunQueue::launch(const RunJob& j) {
    if (j.handedFolder.empty())
        return launcher_.launch(j.folder, j.file, j.parameters, j.attachment);
    const int folder = OpenCheckedFolder(j.handedFolder, j.handedId);
    if (folder < 0)
        return {errno, 0};
    const LaunchStart s = launcher_.launch(j.folder, j.file, j.parameters, j.attachment, folder);
    ::close(folder);
    return s;
}

void RunQueue::settle(size_t job, JobResult::State state) {
    results_[job].state = state;
    ++done_;
}

void RunQueue::finishWhenQuiet() {
    if (finished_ || !running_.empty() || !waiting_.empty())
        return;
    if (!cancelling_ && processes_ && !lingerName_.isEmpty() &&
        ExeRunning(*processes_, lingerName_))
        return; // the watch timer looks again
    finished_ = true;
    watch_.stop();
    retry_.stop();
    grace_.stop();
    delete events_;
    events_ = nullptr;
    emit finished();
}

std::optional<int> RunQueue::dominantPercent() const {
    const Running* biggest = nullptr;
    for (const Running& r : running_)
        if (!biggest || jobs_[r.job].weight > jobs_[biggest->job].weight)
            biggest = &r;
    if (!biggest || jobs_[biggest->job].weight * 2 <= totalWeight_)
        return std::nullopt;
    const std::optional<LaunchProgress> p = launcher_.progress(biggest->id);
    if (!p || p->total == 0)
        return std::nullopt;
    return static_cast<int>(std::min<std::uint64_t>(p->done, p->total) * 100 / p->total);
}

} // namespace fm
