#pragma once
// Shared pieces of the migration sources: safe record lookup by a key read
// from the document, and the component arrays of objects. Not exported.

#include <optional>
#include <string>
#include <string_view>

#include "Editor/ProjectFile.h"
#include "Editor/RecordView.h"

namespace ZandelleEngine { namespace Migration { namespace Implementation {

/* The member @p key of @p section, whatever it holds */
inline ValueAccess memberOf(const ProjectSection& section, std::string_view key) {
    return section.member(key);
}

/* The record @p key of @p section when the document holds it as an object.
   Keys come from the document itself (a material's `pipeline`, an object's
   `parent`), so an empty key or one naming nothing gives no record instead
   of addressing the section itself or a member below some other record. */
inline std::optional<ValueAccess> recordOf(const ProjectSection& section, std::string_view key) {
    if(key.empty()) return {};
    const JsonValue* record = RecordView::byKey(section.file(), section.name(), key).record();
    if(!record || !record->IsObject()) return {};
    return section.member(key);
}

/* The records of a section that are objects, in document order */
inline ValueAccessRange recordsOf(const ProjectSection& section) {
    ValueAccessRange out;
    for(ValueAccess& record: section.range()) if(record.isObject()) out.push_back(std::move(record));
    return out;
}

/* The elements of an object's `components` when it is set and an array */
inline ValueAccessRange componentsOf(const ValueAccess& object) {
    const ValueAccess components = object["components"];
    if(!components.isSetInProject() || !components.isArray()) return {};
    return components.range();
}

/* Components of one type: elements that are objects whose `type` is @p type */
inline ValueAccessRange componentsOfType(const ValueAccess& object, std::string_view type) {
    ValueAccessRange out;
    for(ValueAccess& component: componentsOf(object))
        if(component.isObject() && component["type"].isString() && component["type"].asString() == type)
            out.push_back(std::move(component));
    return out;
}

/* True when members can be written below @p value without replacing data
   of another kind: the document does not hold it yet, or holds an object */
inline bool canHoldMembers(const ValueAccess& value) {
    return !value.isSetInProject() || value.isObject();
}

/* The record's `link/name` (empty when the link is missing or malformed) */
inline std::string_view linkName(const ValueAccess& record) {
    return record["link"].isObject() ? record["link/name"].asString() : std::string_view{};
}

}}}
