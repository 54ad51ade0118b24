#include "Editor/ChangeTracker.h"

#include <algorithm>

#include "Base/String.h"
#include "Editor/ProjectFile.h"

namespace ZandelleEngine {

void ChangeTracker::reset(ProjectFile* document) {
    _document = document;
    _registry = StaticMap<std::vector<std::unique_ptr<ChangeHandler>>>{};
    _currentRevision = -1;
    _pendingChanges.clear();
}

void ChangeTracker::registerHandler(std::string_view path, FunctionChangeHandler::Function function, void* userData) {
    auto handler = std::make_unique<FunctionChangeHandler>(std::move(function), userData);
    if(_registry.size() == _registry.capacity()) _registry.setCapacity(_registry.capacity() + 16);
    auto* list = _registry.size() ? _registry.find(path) : nullptr;
    if(!list) {
        list = &_registry.put(path, {});
        _registry.compile();
        list = _registry.find(path);
    }
    list->push_back(std::move(handler));
}

void ChangeTracker::change(std::string_view path, const JsonValue* value) {
    ++_currentRevision;
    deliver(path, value);
}

void ChangeTracker::report(std::string_view path) {
    _pendingChanges.emplace_back(path);
}

void ChangeTracker::dispatch() {
    if(_pendingChanges.empty()) return;
    ++_currentRevision;
    /* Handlers may queue further edits; those wait for the next dispatch */
    const std::vector<std::string> changes = std::move(_pendingChanges);
    _pendingChanges.clear();
    for(const std::string& path: changes) {
        const ValueAccess value = (*_document)[path];
        deliver(path, value.isSetInProject() ? value.readValue() : nullptr);
    }
}

void ChangeTracker::deliver(std::string_view path, const JsonValue* value) {
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
            if(_observer) _observer(component, c, false);
            for(auto& handler: *list) handler->handle(c);
            if(_observer) _observer(component, c, true);
        }
    }
}

bool ChangeTracker::canEdit(std::string_view pointer, const JsonValue* value) const {
    if(!_document || pointer.empty() || pointer.front() != '/') return false;
    const std::vector<std::string> tokens = String::split(pointer.substr(1), '/');
    if(tokens.size() < 2) return false;
    for(const std::string& token: tokens) if(token.empty()) return false;
    const bool settings = tokens[0] == "settings";
    if(!settings && !_document->section(tokens[0])) return false;
    /* Below a record the record itself must exist */
    if(!settings && tokens.size() > 2) {
        const ValueAccess record = (*_document)["/" + tokens[0] + "/" + tokens[1]];
        if(!record.isSetInProject() || !record.readValue()->IsObject()) return false;
    }

    if(!value) return (*_document)[pointer].isSetInProject();

    /* What already exists on the way must be an object, or an array with
       that element, so that writing replaces nothing but the target */
    std::string prefix;
    for(std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        prefix += '/';
        prefix += tokens[i];
        const ValueAccess parent = (*_document)[prefix];
        if(!parent.isSetInProject()) return true;
        const JsonValue& json = *parent.readValue();
        if(json.IsObject()) continue;
        if(!json.IsArray()) return false;
        const std::string& next = tokens[i + 1];
        if(next.size() > 9 || next.find_first_not_of("0123456789") != std::string::npos) return false;
        const std::size_t index = std::stoul(next);
        /* The last token may append one element */
        if(index > json.Size() || (index == json.Size() && i + 2 != tokens.size())) return false;
    }
    return true;
}

bool ChangeTracker::setValue(std::string_view pointer, const JsonValue& value) {
    if(!canEdit(pointer, &value)) return false;
    (*_document)[pointer].setValue(value);
    report(pointer);
    return true;
}

bool ChangeTracker::removeValue(std::string_view pointer) {
    if(!canEdit(pointer, nullptr)) return false;
    (*_document)[pointer].remove();
    report(pointer);
    return true;
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
