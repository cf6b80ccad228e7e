// The run queue on the fake launcher: cancel and progress.

#include "extract/run_queue.h"
#include "support/fake_launcher.h"

#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

using namespace fm;
using namespace fm::test;
using State = JobResult::State;

namespace {

std::vector<RunJob> jobs(std::vector<std::uint64_t> weights) {
    std::vector<RunJob> out;
    for (size_t i = 0; i < weights.size(); ++i)
        out.push_back({"/p", "Cabarc1.exe", " X " + std::to_string(i), "", weights[i], {}, {}});
    return out;
}

bool until(const std::function<bool()>& done, int ms = 5000) {
    return QTest::qWaitFor(done, ms);
}

std::vector<State> states(const RunQueue& q) {
    std::vector<State> out;
    for (const JobResult& r : q.results())
        out.push_back(r.state);
    return out;
}

} // namespace

// Cancel: the waiting job never starts, the running ones are asked, the one that does not listen
// is forced after the grace time; a job that had ended well keeps its end.
TEST(RunQueue, CancelAsksThenForces) {
    FakeLauncher l;
    l.held = {1, 2};
    l.deaf = {2};
    RunQueue q(l);
    q.setConcurrency(2);
    q.start(jobs({1, 1, 1, 1}));
    ASSERT_TRUE(until([&] { return l.calls.size() == 3 && q.done() == 1; }));
    QElapsedTimer t;
    t.start();
    q.cancel();
    ASSERT_TRUE(until([&] { return q.isFinished(); }));
    EXPECT_GE(t.elapsed(), RunQueue::kCancelGraceMs - 50);
    EXPECT_EQ(l.calls.size(), 3u);
    EXPECT_EQ(l.signalsSent,
              (std::vector<std::pair<size_t, int>>{{1, SIGTERM}, {2, SIGTERM}, {2, SIGKILL}}));
    EXPECT_EQ(states(q), (std::vector<State>{State::Ended, State::Cancelled, State::Cancelled,
                                             State::Cancelled}));
    EXPECT_TRUE(q.isCancelled() && q.results()[0].succeeded());
    // One that ends well after it was asked to stop has ended, not been stopped.
    FakeLauncher m;
    m.held = m.deaf = {0};
    RunQueue r(m);
    r.start(jobs({1}));
    ASSERT_TRUE(until([&] { return m.calls.size() == 1; }));
    r.cancel();
    m.finish(0);
    ASSERT_TRUE(until([&] { return r.isFinished(); }));
    EXPECT_TRUE(r.results()[0].succeeded());
}

// The share of bytes shows only while a job holding most of the run's weight runs and reports.
TEST(RunQueue, DominantJobProgress) {
    const struct {
        std::vector<std::uint64_t> weights;
        LaunchProgress reported;
        std::optional<int> shown;
    } cases[] = {
        {{90, 5, 5}, {45, 100}, 45},
        {{90, 5, 5}, {300, 200}, 100},
        {{90, 5, 5}, {0, 0}, std::nullopt},
        {{50, 30, 20}, {45, 100}, std::nullopt}, // half is not most
    };
    for (const auto& c : cases) {
        FakeLauncher l;
        l.held = {0};
        l.progressOf[0] = c.reported;
        RunQueue q(l);
        q.start(jobs(c.weights));
        ASSERT_TRUE(until([&] { return q.done() == 2; }));
        EXPECT_EQ(q.dominantPercent(), c.shown) << c.weights[0];
        l.finish(0);
        ASSERT_TRUE(until([&] { return q.isFinished(); }));
        EXPECT_EQ(q.dominantPercent(), std::nullopt);
    }
}
