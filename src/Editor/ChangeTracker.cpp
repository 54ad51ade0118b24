#include "Editor/ChangeTracker.h"

#include <algorithm>
#include <unordered_set>

#include <fmt/format.h>

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

namespace {

const char* kindName(const JsonValue& value) {
    if(value.IsObject()) return "an object";
    if(value.IsArray()) return "an array";
    if(value.IsString()) return "a string";
    if(value.IsNumber()) return "a number";
    if(value.IsBool()) return "a boolean";
    return "null";
}

/* Escapes such as a lone "\udc80" decode to bytes that are no UTF-8 even
   in valid text, so the strings are checked after parsing as well */
bool hasValidText(const JsonValue& value) {
    std::vector<const JsonValue*> stack{&value};
    while(!stack.empty()) {
        const JsonValue& v = *stack.back();
        stack.pop_back();
        if(v.IsString() && !String::isValidUtf8({v.GetString(), v.GetStringLength()})) return false;
        if(v.IsArray()) for(const JsonValue& e: v.GetArray()) stack.push_back(&e);
        if(v.IsObject()) for(const auto& m: v.GetObject()) {
            stack.push_back(&m.name);
            stack.push_back(&m.value);
        }
    }
    return true;
}

}

std::optional<std::string> ChangeTracker::parseValue(std::string_view text, JsonDocument& value) {
    if(!String::isValidUtf8(text)) return std::string{"not valid UTF-8"};
    if(std::optional<std::string> error = Json::parse(value, text)) return error;
    if(!hasValidText(value)) return std::string{"an escape that is not valid UTF-8"};
    return {};
}

std::optional<std::string> ChangeTracker::refusal(std::string_view pointer, const JsonValue* value) const {
    const std::string unnamed = std::string{pointer} +
        (value ? " does not name a record member that can be set" : " does not name a record member to remove");
    if(!_document || pointer.empty() || pointer.front() != '/' || !String::isValidUtf8(pointer)) return unnamed;
    const std::vector<std::string> tokens = String::split(pointer.substr(1), '/');
    if(tokens.size() < 2) return unnamed;
    for(const std::string& token: tokens) if(token.empty()) return unnamed;
    const bool settings = tokens[0] == "settings";
    if(!settings && !_document->section(tokens[0])) return unnamed;
    /* Below a record the record itself must exist */
    if(!settings && tokens.size() > 2) {
        const ValueAccess record = (*_document)["/" + tokens[0] + "/" + tokens[1]];
        if(!record.isSetInProject() || !record.readValue()->IsObject()) return unnamed;
    }

    if(!value) {
        if(!(*_document)[pointer].isSetInProject()) return unnamed;
        return {};
    }

    /* What already exists on the way must be an object, or an array with
       that element, so that writing replaces nothing but the target */
    std::string prefix;
    for(std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        prefix += '/';
        prefix += tokens[i];
        const ValueAccess parent = (*_document)[prefix];
        if(!parent.isSetInProject()) break;
        const JsonValue& json = *parent.readValue();
        if(json.IsObject()) continue;
        if(!json.IsArray()) return unnamed;
        const std::string& next = tokens[i + 1];
        if(next.size() > 9 || next.find_first_not_of("0123456789") != std::string::npos) return unnamed;
        const std::size_t index = std::stoul(next);
        /* The last token may append one element */
        if(index > json.Size() || (index == json.Size() && i + 2 != tokens.size())) return unnamed;
    }

    /* The compile steps read an object or an array where the document has
       one; anything else in its place would be read as if it were absent */
    if(const JsonValue* current = (*_document)[pointer].readValue();
       current && (current->IsObject() || current->IsArray()) && current->GetType() != value->GetType())
        return fmt::format("{} holds {}, not {}", pointer, kindName(*current), kindName(*value));

    /* The document's root is level 1 and each token one level deeper; a
       file nested deeper than the load accepts would never open again */
    if(tokens.size() + Json::depth(*value) > Json::MaxDepth)
        return fmt::format("{}: the value nests deeper than the {} levels a project file may hold", pointer, Json::MaxDepth);

    /* A parent must be an object, and following parents from it must not
       come back to the edited object */
    const JsonValue* parent = nullptr;
    if(tokens[0] == "objects" && tokens.size() == 3 && tokens[2] == "parent") parent = value;
    else if(tokens[0] == "objects" && tokens.size() == 2 && value->IsObject()) {
        const auto found = value->FindMember("parent");
        if(found != value->MemberEnd()) parent = &found->value;
    }
    if(parent && parent->IsString() && parent->GetStringLength()) {
        const std::string_view object = tokens[1];
        std::string ancestor{parent->GetString(), parent->GetStringLength()};
        ProjectSection& objects = _document->objects();
        if(!objects.member(ancestor).isSetInProject())
            return fmt::format("{}: there is no object {}", pointer, ancestor);
        /* A cycle elsewhere in the document ends the walk */
        std::unordered_set<std::string> seen;
        while(!ancestor.empty() && seen.insert(ancestor).second) {
            if(ancestor == object)
                return fmt::format("{}: object {} would become its own ancestor", pointer, object);
            ancestor = objects.member(ancestor)["parent"].asString();
        }
    }
    return {};
}

bool ChangeTracker::setValue(std::string_view pointer, const JsonValue& value) {
    if(refusal(pointer, &value)) return false;
    (*_document)[pointer].setValue(value);
    report(pointer);
    return true;
}

bool ChangeTracker::removeValue(std::string_view pointer) {
    if(refusal(pointer, nullptr)) return false;
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
