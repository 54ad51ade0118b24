#include "Engine/NameManager.h"

#include <algorithm>
#include <cstring>

namespace ZandelleEngine {

void NameManager::reserve(std::uint32_t capacity, std::size_t textBytes) {
    if(capacity > _entries.size()) _entries.resize(capacity);
    /* Grown at least by half its size: callers that reserve room for one
       more object at a time (a parent compiled ahead of its children) would
       otherwise copy the whole text once per object */
    if(textBytes > _text.capacity()) _text.reserve(std::max(textBytes, _text.capacity() + _text.capacity()/2));
}

void NameManager::set(Data::Id id, std::string_view text) {
    if(id >= _entries.size()) _entries.resize(std::size_t(id) + 1);
    Entry& e = _entries[id];
    if(text.size() <= e.room && e.room) {
        if(!text.empty()) std::memcpy(_text.data() + e.offset, text.data(), text.size());
        _text[e.offset + text.size()] = '\0';
        e.size = std::uint32_t(text.size());
        return;
    }

    _used -= e.room ? e.room + 1 : 0;
    e = Entry{};
    if(text.empty()) return;

    /* Appending would reallocate: drop the dead text first */
    if(_text.size() + text.size() + 1 > _text.capacity() && _used < _text.size()/2)
        compact(text.size() + 1);
    e.offset = std::uint32_t(_text.size());
    e.size = e.room = std::uint32_t(text.size());
    _text.insert(_text.end(), text.begin(), text.end());
    _text.push_back('\0');
    _used += text.size() + 1;
}

std::string_view NameManager::get(Data::Id id) const {
    if(id >= _entries.size()) return {};
    const Entry& e = _entries[id];
    if(!e.room) return {};
    return {_text.data() + e.offset, e.size};
}

Data::Id NameManager::find(std::string_view text) const {
    for(std::size_t i = 0; i != _entries.size(); ++i)
        if(_entries[i].room && get(Data::Id(i)) == text) return Data::Id(i);
    return 0;
}

void NameManager::compact(std::size_t extra) {
    std::vector<char> text;
    text.reserve(std::max(_text.capacity(), _used + extra));
    _used = 0;
    for(Entry& e: _entries) {
        if(!e.room) continue;
        const std::uint32_t offset = std::uint32_t(text.size());
        text.insert(text.end(), _text.begin() + e.offset, _text.begin() + e.offset + e.size);
        text.push_back('\0');
        e.offset = offset;
        e.room = e.size;
        _used += e.size + 1;
    }
    _text = std::move(text);
}

}
