#include "Engine/ComponentManager.h"

#include <algorithm>

#include "Engine/DynamicSceneGraph.h"

namespace ZandelleEngine {

Data::Id ComponentManager::addComponent(Data::Id object) {
    if(_free.empty()) {
        const std::uint32_t cap = capacity();
        if(cap >= Data::NoComponent) return Data::NoComponent;
        /* Nobody reserved room: grow geometrically so adding stays cheap */
        reserve(std::min<std::uint32_t>(std::max<std::uint32_t>(16, cap*2), Data::NoComponent));
    }
    const Data::Id id = _free.back();
    _free.pop_back();
    _objects[id] = object;
    _alive[id] = 1;
    _active[id] = 0;
    resetComponent(id);
    ++_size;
    if(_scene) _scene->attachComponent(object, _index, id);
    return id;
}

void ComponentManager::reserve(std::uint32_t capacity) {
    capacity = std::min<std::uint32_t>(capacity, Data::NoComponent);
    const std::uint32_t old = std::uint32_t(_objects.size());
    if(capacity <= old) return;
    _objects.resize(capacity, 0);
    _alive.resize(capacity, 0);
    _active.resize(capacity, 0);
    resize(capacity);
    /* New slots become free, lowest id first out of the free list */
    std::vector<Data::Id> fresh;
    for(std::uint32_t i = capacity; i-- > old; ) fresh.push_back(Data::Id(i));
    _free.insert(_free.begin(), fresh.begin(), fresh.end());
}

void ComponentManager::setActive(Data::Id component, bool active) {
    if(!isAlive(component)) return;
    _active[component] = active;
}

void ComponentManager::removeComponent(Data::Id component) {
    if(!isAlive(component)) return;
    releaseComponent(component);
    _alive[component] = 0;
    _active[component] = 0;
    _objects[component] = 0;
    _free.push_back(component);
    --_size;
}

}
