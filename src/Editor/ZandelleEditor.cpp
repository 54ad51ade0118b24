#include "Editor/ZandelleEditor.h"

#include <cstdlib>

#include "Editor/SceneLoader.h"

namespace ZandelleEngine {

ZandelleEditor::ZandelleEditor(int workerCount):
    jobSystem{std::make_unique<JobSystem>(workerCount)},
    fileWatch{std::make_unique<FileWatch>()},
    service{std::make_unique<EditorService>()},
    scripting{std::make_unique<JavaScripting>()},
    sceneLoader{std::make_unique<SceneLoader>()},
    changeTracker{std::make_unique<ChangeTracker>()},
    dialogs{std::make_unique<HeadlessDialogs>()}
{
    if(const char* npm = std::getenv("ZANDELLE_NPM")) npmExecutable = npm;
    _data.emplace();
}

ZandelleEditor::~ZandelleEditor() {
    /* Jobs hold references into the editor data: end them first */
    if(jobSystem) {
        jobSystem->cancelAll();
        jobSystem->waitForIdle();
    }
    /* The objects of the layers above go before the editor data they use */
    tools.reset();
}

bool ZandelleEditor::setJobCount(std::string_view value) {
    const Result<int> count = JobSystem::parseWorkerCount(value);
    if(!count) {
        Error{} << "ZandelleEditor::setJobCount():" << count.error();
        return false;
    }
    if(jobSystem && jobSystem->workerCount() == *count) return true;
    if(jobSystem) {
        jobSystem->cancelAll();
        jobSystem->waitForIdle();
    }
    jobSystem = std::make_unique<JobSystem>(*count);
    for(const Listener& listener: jobSystemReplacedListeners) listener(*this);
    return true;
}

void ZandelleEditor::resetData() {
    _data.reset();
    _data.emplace();
}

std::shared_ptr<Progress> ZandelleEditor::addTask(std::string title, std::uint32_t total) {
    auto task = std::make_shared<Progress>(std::move(title), total);
    std::lock_guard<std::mutex> lock{_tasksMutex};
    _tasks.push_back(task);
    return task;
}

void ZandelleEditor::pruneTasks() {
    std::lock_guard<std::mutex> lock{_tasksMutex};
    std::erase_if(_tasks, [](const std::shared_ptr<Progress>& t) {
        return t.use_count() == 1 && t->references.load() == 0;
    });
}

std::vector<std::shared_ptr<Progress>> ZandelleEditor::tasks() const {
    std::lock_guard<std::mutex> lock{_tasksMutex};
    return _tasks;
}

}
