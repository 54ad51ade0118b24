#include "Editor/ChangeTracker.h"

#include <algorithm>

#include "Base/String.h"

namespace ZandelleEngine {

void ChangeTracker::reset(ProjectFile* document) {
    _document = document;
    _registry = StaticMap<std::vector<std::unique_ptr<ChangeHandler>>>{};
    _currentRevision = -1;
    _pendingChanges.clear();
}

void ChangeTracker::registerHandler(std::string_view path, FunctionChangeHandler::Function function, void* userData) {
    auto handler = std::make_unique<FunctionChangeHandler>(std::move(function), userData);
    if(_registry.isCompiled() || _registry.size()) {
        if(auto* list = (_registry.compile(), _registry.find(path))) {
            list->push_back(std::move(handler));
            return;
        }
    }
    if(_registry.size() == _registry.capacity()) _registry.setCapacity(_registry.capacity() + 16);
    _registry.put(path, {}).push_back(std::move(handler));
    _registry.compile();
}

void ChangeTracker::change(std::string_view path, const JsonValue* value) {
    ++_currentRevision;
    if(!_registry.size()) return;
    const Change c{value, path, _currentRevision};
    const std::vector<std::string> components = String::split(path, '/');
    /* Each registered path is called once even when it occurs twice */
    std::vector<std::string_view> called;
    for(const std::string& component: components) {
        if(component.empty()) continue;
        if(std::find(called.begin(), called.end(), component) != called.end()) continue;
        if(auto* list = _registry.find(component)) {
            called.push_back(component);
            for(auto& handler: *list) handler->handle(c);
        }
    }
}

std::vector<std::string> ChangeTracker::registeredPaths() const {
    std::vector<std::string> out;
    for(const auto& entry: _registry) out.push_back(entry.first);
    return out;
}

std::size_t ChangeTracker::handlerCount(std::string_view path) const {
    for(const auto& entry: _registry) if(entry.first == path) return entry.second.size();
    return 0;
}

}
