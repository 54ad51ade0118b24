#include "Engine/FontStorage.h"

#include <algorithm>

namespace ZandelleEngine {

Data::Id FontStorage::add() {
    std::lock_guard<std::mutex> lock{_mutex};
    if(_slots.size() > 0xFFFF) return 0;
    _slots.emplace_back();
    return Data::Id(_slots.size() - 1);
}

bool FontStorage::set(Data::Id id, std::vector<char> data) {
    std::lock_guard<std::mutex> lock{_mutex};
    if(!id || id >= _slots.size()) return false;
    _slots[id] = std::move(data);
    return true;
}

std::vector<char> FontStorage::data(Data::Id id) const {
    std::lock_guard<std::mutex> lock{_mutex};
    return id && id < _slots.size() ? _slots[id] : std::vector<char>{};
}

std::size_t FontStorage::filledCount() const {
    std::lock_guard<std::mutex> lock{_mutex};
    return std::size_t(std::count_if(_slots.begin(), _slots.end(), [](const std::vector<char>& s) { return !s.empty(); }));
}

std::size_t FontStorage::size() const {
    std::lock_guard<std::mutex> lock{_mutex};
    return _slots.size();
}

}
