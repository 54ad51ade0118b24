#include "Engine/JobSystem.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "Base/Assert.h"

namespace ZandelleEngine {

namespace {
thread_local int currentWorker = -1;
thread_local std::uint64_t currentJobGeneration = 0;
thread_local const JobSystem* currentSystem = nullptr;
}

JobSystem::JobSystem(int workerCount) {
    if(workerCount <= 0) workerCount = std::max(2, int(std::thread::hardware_concurrency()));
    for(int i = 0; i != workerCount; ++i) _workers.emplace_back([this, i]{ workerLoop(i); });
}

JobSystem::~JobSystem() {
    cancelAll();
    {
        std::lock_guard<std::mutex> lock{_mutex};
        _stopping = true;
    }
    _workAvailable.notify_all();
    for(std::thread& t: _workers) t.join();
}

Result<int> JobSystem::parseWorkerCount(std::string_view text) {
    int count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if(text.empty() || error != std::errc{} || end != text.data() + text.size() || count < 1)
        return resultError("the number of jobs must be a whole number of at least 1, not '" + std::string{text} + "'");
    return count;
}

void JobSystem::enqueueReady(int id, const Job& job) {
    if(job.flags & JobFlagHighPriority) _ready.push_front(id);
    else _ready.push_back(id);
}

int JobSystem::dispatchFunc(JobFunction function, const std::vector<int>& dependencies, int flags) {
    std::unique_lock<std::mutex> lock{_mutex};
    const int id = _nextId++;
    Job job{std::move(function), flags, 0, {}, _cancelGeneration, LogRedirect::current()};
    for(int dependency: dependencies) {
        auto found = _jobs.find(dependency);
        if(found == _jobs.end()) continue;
        found->second.dependents.push_back(id);
        ++job.unfinishedDependencies;
    }
    const bool ready = job.unfinishedDependencies == 0;
    auto& stored = _jobs.emplace(id, std::move(job)).first->second;
    if(ready) {
        enqueueReady(id, stored);
        lock.unlock();
        _workAvailable.notify_one();
    }
    return id;
}

void JobSystem::finish(int id, JobResult result, std::unique_lock<std::mutex>&) {
    auto found = _jobs.find(id);
    if(found == _jobs.end()) return;
    std::vector<int> dependents = std::move(found->second.dependents);
    _jobs.erase(found);
    _results[id] = result;
    /* Keep the results of the most recent jobs only */
    if(_results.size() > 4096) {
        const int oldest = _nextId - 2048;
        for(auto it = _results.begin(); it != _results.end();)
            it = it->first < oldest ? _results.erase(it) : std::next(it);
    }
    bool woke = false;
    for(int dependent: dependents) {
        auto d = _jobs.find(dependent);
        if(d == _jobs.end()) continue;
        if(--d->second.unfinishedDependencies == 0) {
            enqueueReady(dependent, d->second);
            woke = true;
        }
    }
    if(woke) _workAvailable.notify_all();
    _jobEnded.notify_all();
}

void JobSystem::workerLoop(int index) {
    currentWorker = index;
    currentSystem = this;
    std::unique_lock<std::mutex> lock{_mutex};
    for(;;) {
        _workAvailable.wait(lock, [this]{ return _stopping || !_ready.empty(); });
        if(_ready.empty()) {
            if(_stopping) return;
            continue;
        }
        const int id = _ready.front();
        _ready.pop_front();
        auto found = _jobs.find(id);
        if(found == _jobs.end()) continue;
        JobFunction function = std::move(found->second.function);
        LogRedirect::Handle log = std::move(found->second.log);
        currentJobGeneration = found->second.cancelGeneration;
        ++_running;
        lock.unlock();
        JobResult result = JobResult::Failure;
        {
            LogRedirect redirect{std::move(log)};
            if(function) result = function(*this, index);
        }
        lock.lock();
        --_running;
        finish(id, result, lock);
    }
}

void JobSystem::cancelAll() {
    std::unique_lock<std::mutex> lock{_mutex};
    ++_cancelGeneration;
    /* Drop everything that has not started: queued jobs and jobs waiting on
       dependencies. Running jobs end on their own. */
    std::vector<int> dropped;
    for(const auto& job: _jobs) {
        if(std::find(_ready.begin(), _ready.end(), job.first) != _ready.end() ||
           job.second.unfinishedDependencies != 0)
            dropped.push_back(job.first);
    }
    _ready.clear();
    for(int id: dropped) {
        _jobs.erase(id);
        _results[id] = JobResult::Cancelled;
    }
    _jobEnded.notify_all();
}

void JobSystem::waitForIdle() {
    if(currentSystem == this)
        fatal("JobSystem::waitForIdle(): called from a worker of the same job system, which would wait for itself");
    std::unique_lock<std::mutex> lock{_mutex};
    _jobEnded.wait(lock, [this]{ return _jobs.empty(); });
}

JobResult JobSystem::wait(int id) {
    std::unique_lock<std::mutex> lock{_mutex};
    _jobEnded.wait(lock, [&]{ return _jobs.find(id) == _jobs.end(); });
    auto found = _results.find(id);
    return found == _results.end() ? JobResult::Success : found->second;
}

bool JobSystem::isDone(int id) const {
    std::lock_guard<std::mutex> lock{_mutex};
    return _jobs.find(id) == _jobs.end();
}

bool JobSystem::cancelled() const {
    if(currentSystem != this) return false;
    std::lock_guard<std::mutex> lock{_mutex};
    return currentJobGeneration != _cancelGeneration;
}

int JobSystem::workerId() { return currentWorker; }

std::size_t JobSystem::pendingCount() const {
    std::lock_guard<std::mutex> lock{_mutex};
    return _jobs.size();
}

}
