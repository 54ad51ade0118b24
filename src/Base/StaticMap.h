#pragma once
// A fixed-capacity map from string keys to values: filled with put(), sorted
// once by compile() and searched by bisection with find(). Exceeding the
// capacity and searching before compiling are programming errors.

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Base/Assert.h"

namespace ZandelleEngine {

template<class T> class StaticMap {
    public:
        explicit StaticMap(std::size_t capacity = 0) { _entries.reserve(capacity); _capacity = capacity; }

        std::size_t size() const { return _entries.size(); }
        std::size_t capacity() const { return _capacity; }
        bool isCompiled() const { return _compiled; }

        /** Grows (never shrinks) the capacity; keeps the entries. The storage
            at least doubles, so that a map grown by a few entries at a time
            does not copy all of them on every growth. */
        void setCapacity(std::size_t capacity) {
            if(capacity <= _capacity) return;
            _capacity = capacity;
            if(capacity > _entries.capacity()) _entries.reserve(std::max(capacity, 2*_entries.capacity()));
        }

        /** Adds an entry; the map must be compiled again before find(). */
        T& put(const char* key, T value) {
            if(key == nullptr) fatal("StaticMap::put(): key cannot be nullptr.");
            return put(std::string_view{key}, std::move(value));
        }
        T& put(std::string_view key, T value) {
            if(_entries.size() >= _capacity) fatal("StaticMap::put(): capacity exhausted.");
            _compiled = false;
            _entries.emplace_back(std::string{key}, std::move(value));
            return _entries.back().second;
        }

        /** Sorts the entries by key (stable, so equal keys keep put order). */
        void compile() {
            std::stable_sort(_entries.begin(), _entries.end(),
                [](const auto& a, const auto& b) { return a.first < b.first; });
            _compiled = true;
        }

        /** The value of the first entry with @p key, or nullptr. */
        T* find(std::string_view key) {
            if(!_compiled) fatal("StaticMap::find(): Map needs to be compiled.");
            auto it = std::lower_bound(_entries.begin(), _entries.end(), key,
                [](const auto& entry, std::string_view k) { return entry.first < k; });
            if(it == _entries.end() || it->first != key) return nullptr;
            return &it->second;
        }
        const T* find(std::string_view key) const { return const_cast<StaticMap*>(this)->find(key); }

        void clear() { _entries.clear(); _compiled = false; }

        auto begin() { return _entries.begin(); }
        auto end() { return _entries.end(); }
        auto begin() const { return _entries.begin(); }
        auto end() const { return _entries.end(); }

    private:
        std::vector<std::pair<std::string, T>> _entries;
        std::size_t _capacity = 0;
        bool _compiled = false;
};

}
