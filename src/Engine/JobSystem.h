#pragma once
// A pool of worker threads running jobs with dependencies.
//
// dispatchFunc() queues a function and returns its job id at once. A job runs
// when every job it depends on has ended (ids of jobs that already ended, or
// that never existed, count as ended). A job logs where the thread that
// dispatched it logged at that moment (see LogRedirect). cancelAll() drops every job that has
// not started and marks the running ones cancelled; a long job polls
// cancelled() and returns early. No thread is started per job.
//
// Threading contract of the editor data. The project document (ProjectFile),
// the compiled arrays and the scene of EditorSceneData and the asset
// compiler's indices have one owner at a time, and only the owner reads or
// writes them:
// - the calling (main) thread, for edits, imports, saves and single
//   recompiles, while no load's finishing job or shader reload is queued or
//   running;
// - the finishing job of a load, or a shader reload job (it loads the
//   shaders into the document and recompiles them), on a worker, from its
//   start to its end; the main thread waits for it (wait() or waitForIdle())
//   before touching the data again.
// Other jobs (image compression, font building, npm) neither read nor write
// the document or the project: what they need is handed to them when they
// are dispatched. They publish results through what they alone write: an
// atomic counter or flag, a slot of a compiled array reserved for them
// before they were dispatched (checked against the slot's revision or a
// claim the owner withdraws, under a lock), or a follow-up job that runs as
// the owner.
// Checked where it is cheap: waitForIdle() on one of this system's workers
// ends the process (it would wait for itself), and so does a compile step
// entered while another thread runs one.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "Base/Export.h"
#include "Base/Result.h"
#include "Base/Log.h"

namespace ZandelleEngine {

class JobSystem;

enum class JobResult: std::uint8_t {
    Success,
    Failure,
    Cancelled   /**< dropped by cancelAll() before it ran, or gave up */
};

/** Dispatch flags */
enum JobFlag: int {
    JobFlagNone = 0,
    /** Queued ahead of ordinary jobs (a load's finishing job uses it) */
    JobFlagHighPriority = 1
};

using JobFunction = std::function<JobResult(JobSystem&, int workerIndex)>;

class ZANDELLE_EXPORT JobSystem {
    public:
        /** @p workerCount 0 picks the number of hardware threads, at least 2. */
        explicit JobSystem(int workerCount = 0);

        /** A worker count as a user writes it: a whole number of at least
            1, or an error that says what is wrong in one line */
        static Result<int> parseWorkerCount(std::string_view text);
        ~JobSystem();
        JobSystem(const JobSystem&) = delete;
        JobSystem& operator=(const JobSystem&) = delete;

        /** Queues @p function; returns its job id (ids start at 1). */
        int dispatchFunc(JobFunction function, const std::vector<int>& dependencies = {}, int flags = JobFlagNone);

        /** Drops queued jobs (their result is Cancelled) and marks running
            ones cancelled. Jobs dispatched afterwards run normally. */
        void cancelAll();

        /** Blocks until no job is queued, waiting or running. Called from
            a worker of this job system it ends the process, as it would
            wait for itself forever. */
        void waitForIdle();

        /** Blocks until job @p id has ended; its result (Success for an id
            that is unknown or long gone). Must not be called from a worker
            for a job queued behind the caller. */
        JobResult wait(int id);

        /** Whether job @p id has ended. */
        bool isDone(int id) const;

        /** True inside a job that was running when cancelAll() was called. */
        bool cancelled() const;

        /** Index of the calling worker thread, -1 on any other thread. */
        static int workerId();

        int workerCount() const { return int(_workers.size()); }

        /** Jobs queued, waiting or running. */
        std::size_t pendingCount() const;

    private:
        struct Job {
            JobFunction function;
            int flags;
            std::size_t unfinishedDependencies = 0;
            std::vector<int> dependents;
            std::uint64_t cancelGeneration;
            /* The dispatching thread's log redirect, the job's while it runs */
            LogRedirect::Handle log;
        };

        void workerLoop(int index);
        void finish(int id, JobResult result, std::unique_lock<std::mutex>& lock);
        void enqueueReady(int id, const Job& job);

        mutable std::mutex _mutex;
        std::condition_variable _workAvailable, _jobEnded;
        std::unordered_map<int, Job> _jobs;             /* not yet ended */
        std::unordered_map<int, JobResult> _results;     /* ended */
        std::deque<int> _ready;
        int _nextId = 1;
        std::size_t _running = 0;
        std::uint64_t _cancelGeneration = 0;
        bool _stopping = false;
        std::vector<std::thread> _workers;
};

}
