#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Engine/JobSystem.h"
#include "Support/LogCapture.h"

using namespace ZandelleEngine;

TEST(JobSystem, DependenciesRunFirst) {
    JobSystem jobs{2};
    std::mutex mutex;
    std::vector<int> order;
    auto record = [&](int n) {
        return [&, n](JobSystem&, int) {
            std::this_thread::sleep_for(std::chrono::milliseconds(n == 1 ? 30 : 1));
            std::lock_guard<std::mutex> lock{mutex};
            order.push_back(n);
            return JobResult::Success;
        };
    };
    const int a = jobs.dispatchFunc(record(1));
    const int b = jobs.dispatchFunc(record(2), {a});
    const int c = jobs.dispatchFunc(record(3), {a, b, 12345});
    EXPECT_EQ(jobs.wait(c), JobResult::Success);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(jobs.isDone(a));
    EXPECT_LT(a, b);
}

TEST(JobSystem, WorkersAreRealThreadsWithIds) {
    JobSystem jobs{3};
    EXPECT_EQ(JobSystem::workerId(), -1);
    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::set<int> ids;
    std::atomic<int> running{0};
    for(int i = 0; i != 3; ++i) jobs.dispatchFunc([&](JobSystem&, int worker) {
        ++running;
        /* All three run at once: none ends before the others started */
        while(running.load() < 3) std::this_thread::yield();
        std::lock_guard<std::mutex> lock{mutex};
        threads.insert(std::this_thread::get_id());
        ids.insert(worker);
        EXPECT_EQ(worker, JobSystem::workerId());
        return JobResult::Success;
    });
    jobs.waitForIdle();
    EXPECT_EQ(threads.size(), 3u);
    EXPECT_EQ(ids, (std::set<int>{0, 1, 2}));
}

TEST(JobSystem, CancelAllDropsQueuedAndFlagsRunning) {
    JobSystem jobs{1};
    std::atomic<bool> started{false}, sawCancel{false}, ranDropped{false};
    const auto dropped = [&](JobSystem&, int) {
        ranDropped = true;
        return JobResult::Success;
    };
    const int running = jobs.dispatchFunc([&](JobSystem& js, int) {
        started = true;
        while(!js.cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sawCancel = true;
        return JobResult::Cancelled;
    });
    const int queued = jobs.dispatchFunc(dropped), dependent = jobs.dispatchFunc(dropped, {running});
    while(!started) std::this_thread::yield();
    jobs.cancelAll();
    jobs.waitForIdle();
    EXPECT_TRUE(sawCancel);
    EXPECT_FALSE(ranDropped);
    EXPECT_EQ(jobs.wait(queued), JobResult::Cancelled);
    EXPECT_EQ(jobs.wait(dependent), JobResult::Cancelled);
    EXPECT_EQ(jobs.pendingCount(), 0u);
    /* Jobs dispatched afterwards run normally and are not cancelled */
    EXPECT_EQ(jobs.wait(jobs.dispatchFunc([](JobSystem& js, int) {
        return js.cancelled() ? JobResult::Cancelled : JobResult::Success;
    })), JobResult::Success);
}

TEST(JobSystem, HighPriorityJumpsTheQueue) {
    JobSystem jobs{1};
    std::atomic<bool> release{false};
    std::vector<int> order;
    jobs.dispatchFunc([&](JobSystem&, int) { while(!release) std::this_thread::yield(); return JobResult::Success; });
    jobs.dispatchFunc([&](JobSystem&, int) { order.push_back(1); return JobResult::Success; });
    jobs.dispatchFunc([&](JobSystem&, int) { order.push_back(2); return JobResult::Success; }, {},
        JobFlagHighPriority);
    release = true;
    jobs.waitForIdle();
    EXPECT_EQ(order, (std::vector<int>{2, 1}));
}

/* The threading contract's cheap checks end the process instead of hanging */
TEST(JobSystem, WaitForIdleOnOwnWorkerIsFatal) {
    EXPECT_DEATH({
        JobSystem jobs{2};
        jobs.wait(jobs.dispatchFunc([](JobSystem& s, int) { s.waitForIdle(); return JobResult::Success; }));
    }, "JobSystem::waitForIdle\\(\\): called from a worker of the same job system");
}

TEST(JobSystem, JobsLogWhereTheirDispatcherLogged) {
    JobSystem jobs{2};
    std::atomic<bool> release{false};
    /* Started before the capture: its line is not the capture's */
    const int early = jobs.dispatchFunc([&](JobSystem&, int) {
        while(!release) std::this_thread::yield();
        Warning{} << "early";
        return JobResult::Success;
    });
    Testing::LogCapture log;
    const int late = jobs.dispatchFunc([&](JobSystem& s, int) {
        Debug{} << "job";
        /* A follow-up job carries it on */
        s.dispatchFunc([](JobSystem&, int) { Error{} << "follow-up"; return JobResult::Success; });
        return JobResult::Success;
    });
    std::thread{[] { Debug{} << "other thread"; }}.join();
    jobs.wait(late);
    release = true;
    jobs.wait(early);
    jobs.waitForIdle();
    EXPECT_EQ(log.all(), "job\nfollow-up\n");
}

TEST(JobSystem, WorkerCountAsAUserWritesIt) {
    EXPECT_EQ(*JobSystem::parseWorkerCount("1"), 1);
    EXPECT_EQ(*JobSystem::parseWorkerCount("12"), 12);
    for(const char* bad: {"0", "-3", "", "two", "4x", " 4", "2.5", "99999999999"}) {
        const Result<int> count = JobSystem::parseWorkerCount(bad);
        ASSERT_FALSE(count) << bad;
        EXPECT_EQ(count.error(), "the number of jobs must be a whole number of at least 1, not '" + std::string{bad} + "'");
    }
}
