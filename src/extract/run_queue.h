#pragma once

// The launches of one extraction run, a few at a time, driven by the event loop.
//
// Every job is tried: at most `concurrency` run at once, the next starts as soon as one ends, and
// a start the system refused for lack of resources (processes, memory, descriptors) is tried
// again after a short pause, as long as something of ours still runs to free them (or a few more
// times when nothing does). How each job ended is kept for the report. Cancelling asks every
// running job's process group to stop, forces them after kCancelGraceMs, and starts nothing more.
// After the last job, the queue also waits while one of this program's own processes is named
// like the tool (the process watch), then says it has finished. Nothing started here outlives
// the queue.

#include "platform/file_system.h"
#include "platform/launcher.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

class QSocketNotifier;

namespace fm {

class ProcessList;

struct RunJob {
    std::string folder, file, parameters, attachment; // as Launcher::launch takes them
    std::uint64_t weight = 0; // the share of the run's work: the cabinet's bytes
    // A folder opened as the job starts and handed to it (kLaunchFolderDescriptor), "" for none.
    // It must still be the folder `handedId` names, or the job is not started (errno ESTALE).
    std::string handedFolder;
    FolderId handedId;
};

struct JobResult {
    enum class State { Waiting, Running, Ended, NotStarted, Cancelled };
    State state = State::Waiting;
    int startError = 0; // NotStarted: the errno of the last try
    LaunchEnd end;      // Ended: how it ended

    bool succeeded() const { return state == State::Ended && !end.failed(); }
};

class RunQueue : public QObject {
    Q_OBJECT
public:
    static constexpr int kCancelGraceMs = 2000;  // from the polite request to force
    static constexpr int kWatchIntervalMs = 125; // between looks at processes without an event
    // A start refused for lack of resources waits this long, doubling up to the second value.
    // With nothing of ours running to free them, it is given up after kLonelyRetries tries, and
    // the jobs after it get one try each until a start succeeds again.
    static constexpr int kRetryFirstMs = 10, kRetryMaxMs = 160, kLonelyRetries = 12;

    // Twice the processors, at least two.
    static int defaultConcurrency();

    // `processes` and `lingerName` drive the wait after the last job; none when null or empty.
    RunQueue(Launcher& launcher, const ProcessList* processes = nullptr,
             QString lingerName = QString(), QObject* parent = nullptr);
    ~RunQueue() override;

    void setConcurrency(int n) { concurrency_ = std::max(n, 1); }
    // Starts the jobs; finished() is emitted from the event loop, also for none.
    void start(std::vector<RunJob> jobs);
    void cancel();

    bool isFinished() const { return finished_; }
    bool isCancelled() const { return cancelling_; }
    size_t total() const { return results_.size(); }
    size_t done() const { return done_; } // jobs that ended, were not started or were cancelled
    const std::vector<JobResult>& results() const { return results_; }
    // While a job that holds most of the run's weight runs and reports its progress: the share
    // of its bytes done, 0 to 100.
    std::optional<int> dominantPercent() const;

signals:
    void finished();

private:
    struct Running {
        size_t job;
        LaunchId id;
    };
    void pump();
    void fill();
    LaunchStart launch(const RunJob& job);
    void reap();
    void settle(size_t job, JobResult::State state);
    void finishWhenQuiet();
    void force();

    Launcher& launcher_;
    const ProcessList* processes_;
    const QString lingerName_;
    int concurrency_;
    std::vector<RunJob> jobs_;
    std::vector<JobResult> results_;
    std::deque<size_t> waiting_;
    std::vector<Running> running_;
    size_t done_ = 0;
    std::uint64_t totalWeight_ = 0;
    bool started_ = false, cancelling_ = false, forced_ = false, finished_ = false;
    int retryDelayMs_ = 0, lonelyRetries_ = 0;
    QSocketNotifier* events_ = nullptr;
    QTimer watch_, retry_, grace_;
};

} // namespace fm
