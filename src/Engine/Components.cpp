#include "Engine/Components.h"

#include <algorithm>
#include <cstring>

namespace ZandelleEngine {

/* GroupedComponentManager */

void GroupedComponentManager::allocate(std::uint32_t capacity, std::uint32_t groupCount) {
    reserve(capacity);
    if(groupCount > _groupCount) {
        _groupCount = groupCount;
        _members.resize(std::size_t(groupCount)*2);
    }
}

void GroupedComponentManager::resize(std::uint32_t capacity) {
    _groups.resize(capacity);
    _grouped.resize(capacity, 0);
}

void GroupedComponentManager::resetComponent(Data::Id c) {
    _groups[c] = {};
    _grouped[c] = 0;
}

void GroupedComponentManager::releaseComponent(Data::Id c) { leaveGroup(c); }

void GroupedComponentManager::leaveGroup(Data::Id c) {
    if(!_grouped[c]) return;
    std::vector<Data::Id>& members = _members[std::size_t(_groups[c].pipeline)*2 + _groups[c].skinned];
    members.erase(std::find(members.begin(), members.end(), c));
    _grouped[c] = 0;
}

void GroupedComponentManager::setGroup(Data::Id c, Data::Id pipeline, std::uint8_t skinned) {
    if(!isAlive(c)) return;
    skinned = skinned ? 1 : 0;
    if(_grouped[c] && _groups[c] == ComponentGroup{pipeline, skinned}) return;
    leaveGroup(c);
    if(pipeline >= _groupCount) allocate(0, std::uint32_t(pipeline) + 1);
    _groups[c] = {pipeline, skinned};
    _members[std::size_t(pipeline)*2 + skinned].push_back(c);
    _grouped[c] = 1;
}

const std::vector<Data::Id>& GroupedComponentManager::groupComponents(Data::Id pipeline, std::uint8_t skinned) const {
    static const std::vector<Data::Id> none;
    const std::size_t index = std::size_t(pipeline)*2 + (skinned ? 1 : 0);
    return index < _members.size() ? _members[index] : none;
}

/* MeshManager */

void MeshManager::resize(std::uint32_t capacity) {
    GroupedComponentManager::resize(capacity);
    _data.resize(capacity);
}

void MeshManager::resetComponent(Data::Id c) {
    GroupedComponentManager::resetComponent(c);
    _data[c] = {};
}

/* TextManager */

void TextManager::allocate(std::uint32_t capacity, std::uint32_t groupCount, std::size_t characters) {
    GroupedComponentManager::allocate(capacity, groupCount);
    if(characters > _characters.capacity()) _characters.reserve(characters);
}

void TextManager::resize(std::uint32_t capacity) {
    GroupedComponentManager::resize(capacity);
    _data.resize(capacity);
}

void TextManager::resetComponent(Data::Id c) {
    GroupedComponentManager::resetComponent(c);
    _data[c] = {};
}

void TextManager::releaseComponent(Data::Id c) {
    GroupedComponentManager::releaseComponent(c);
    releaseText(_data[c]);
}

void TextManager::releaseText(Text& t) {
    if(t.room) _used -= t.room + 1;
    t.offset = t.size = t.room = 0;
}

void TextManager::setText(Data::Id c, std::string_view text) {
    if(!isAlive(c)) return;
    Text& t = _data[c];
    if(t.room && text.size() <= t.room) {
        if(!text.empty()) std::memcpy(_characters.data() + t.offset, text.data(), text.size());
        _characters[t.offset + text.size()] = '\0';
        t.size = std::uint32_t(text.size());
        return;
    }
    releaseText(t);

    /* Out of room: pack the live texts before the storage grows */
    if(_characters.size() + text.size() + 1 > _characters.capacity() && _used < _characters.size()) {
        std::vector<char> packed;
        packed.reserve(std::max(_characters.capacity(), _used + text.size() + 1));
        for(Text& other: _data) {
            if(!other.room) continue;
            const std::uint32_t offset = std::uint32_t(packed.size());
            packed.insert(packed.end(), _characters.begin() + other.offset, _characters.begin() + other.offset + other.size);
            packed.push_back('\0');
            other.offset = offset;
            other.room = other.size;
        }
        _characters = std::move(packed);
        _used = _characters.size();
    }

    t.offset = std::uint32_t(_characters.size());
    t.size = t.room = std::uint32_t(text.size());
    _characters.insert(_characters.end(), text.begin(), text.end());
    _characters.push_back('\0');
    _used += text.size() + 1;
}

std::string_view TextManager::text(Data::Id c) const {
    if(!isAlive(c) || !_data[c].room) return {};
    return {_characters.data() + _data[c].offset, _data[c].size};
}

/* JavaScriptManager */

std::uint8_t JavaScriptManager::registerType(std::string_view name, std::vector<std::string> parameterNames) {
    const std::uint8_t existing = typeIndex(name);
    if(existing != NoType) {
        _types[existing].second = std::move(parameterNames);
        return existing;
    }
    if(_types.size() >= NoType) return NoType;
    _types.emplace_back(std::string{name}, std::move(parameterNames));
    return std::uint8_t(_types.size() - 1);
}

std::uint8_t JavaScriptManager::typeIndex(std::string_view name) const {
    for(std::size_t i = 0; i != _types.size(); ++i)
        if(_types[i].first == name) return std::uint8_t(i);
    return NoType;
}

std::string_view JavaScriptManager::typeName(std::uint8_t index) const {
    return index < _types.size() ? std::string_view{_types[index].first} : std::string_view{};
}

const std::vector<std::string>& JavaScriptManager::parameterNames(std::uint8_t index) const {
    static const std::vector<std::string> none;
    return index < _types.size() ? _types[index].second : none;
}

Data::Id JavaScriptManager::addComponent(Data::Id object, std::uint8_t type) {
    const Data::Id c = ComponentManager::addComponent(object);
    if(c != Data::NoComponent) data(c) = type;
    return c;
}

}
