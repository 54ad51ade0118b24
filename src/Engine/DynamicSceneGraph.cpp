#include "Engine/DynamicSceneGraph.h"

#include <algorithm>

namespace ZandelleEngine {

namespace {
const std::vector<Data::Id> NoIds;
const std::vector<std::uint8_t> NoTypes;
}

DynamicSceneGraph::DynamicSceneGraph(std::uint32_t capacity) {
    _objects.resize(1);
    reallocateCapacity(capacity);
}

DynamicSceneGraph::~DynamicSceneGraph() = default;

void DynamicSceneGraph::reallocateCapacity(std::uint32_t capacity) {
    capacity = std::min(capacity, Data::MaxObjects);
    const std::uint32_t old = this->capacity();
    if(capacity <= old) return;
    _objects.resize(std::size_t(capacity) + 1);
    /* Free list is a stack: the lowest new id comes out first, after the
       ids freed by deletions */
    std::vector<Data::Id> fresh;
    fresh.reserve(capacity - old);
    for(std::uint32_t i = capacity; i > old; --i) fresh.push_back(Data::Id(i));
    _free.insert(_free.begin(), fresh.begin(), fresh.end());
}

Data::Id DynamicSceneGraph::addObject(Data::Id parent) {
    if(parent && !isObject(parent)) return 0;
    if(_free.empty()) {
        if(capacity() >= Data::MaxObjects) return 0;
        reallocateCapacity(std::max<std::uint32_t>(16, capacity()*2));
    }
    const Data::Id id = _free.back();
    _free.pop_back();
    Object& o = _objects[id];
    o = Object{};
    o.alive = true;
    o.parent = parent;
    _objects[parent].children.push_back(id);
    ++_objectCount;
    setDirty(id);
    return id;
}

const std::vector<Data::Id>& DynamicSceneGraph::children(Data::Id object) const {
    if(object >= _objects.size()) return NoIds;
    return _objects[object].children;
}

void DynamicSceneGraph::detachFromParent(Data::Id object) {
    std::vector<Data::Id>& siblings = _objects[_objects[object].parent].children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), object));
}

bool DynamicSceneGraph::reparent(Data::Id object, Data::Id parent) {
    if(!isObject(object) || (parent && !isObject(parent))) return false;
    for(Data::Id p = parent; p; p = _objects[p].parent)
        if(p == object) return false;
    if(_objects[object].parent == parent) return true;
    detachFromParent(object);
    _objects[object].parent = parent;
    _objects[parent].children.push_back(object);
    setDirty(object);
    return true;
}

void DynamicSceneGraph::setDirty(Data::Id object) {
    if(!isObject(object) || _objects[object].dirty) return;
    _objects[object].dirty = true;
    _dirty.push_back(object);
}

void DynamicSceneGraph::updateWorld(Data::Id object, std::vector<std::uint8_t>& done) {
    if(done[object]) return;
    Object& o = _objects[object];
    if(o.parent) {
        updateWorld(o.parent, done);
        const Object& p = _objects[o.parent];
        /* The parent's scaling applies to the child's translation, not to
           its rotation: scale the local translation, then compose */
        DualQuaternion local = o.local;
        const Quaternion t = local.dual*glm::conjugate(local.real)*2.0f;
        const Vector3 scaledTranslation = Vector3{t.x, t.y, t.z}*p.worldScaling;
        local.dual = Quaternion{0.0f, scaledTranslation}*local.real*0.5f;
        o.world = p.world*local;
        o.worldScaling = p.worldScaling*o.localScaling;
    } else {
        o.world = o.local;
        o.worldScaling = o.localScaling;
    }
    done[object] = 1;
}

void DynamicSceneGraph::updateTransformations() {
    /* Everything below a dirty object changes with it */
    std::vector<Data::Id> stack = _dirty;
    std::vector<Data::Id> affected;
    std::vector<std::uint8_t> seen(_objects.size(), 0);
    while(!stack.empty()) {
        const Data::Id id = stack.back();
        stack.pop_back();
        if(!isObject(id) || seen[id]) continue;
        seen[id] = 1;
        affected.push_back(id);
        for(Data::Id child: _objects[id].children) stack.push_back(child);
    }
    /* Objects outside the affected set keep their world transform */
    std::vector<std::uint8_t> done(_objects.size(), 1);
    for(Data::Id id: affected) done[id] = 0;
    for(Data::Id id: affected) updateWorld(id, done);
    for(Data::Id id: _dirty) if(id < _objects.size()) _objects[id].dirty = false;
    _dirty.clear();
}

const std::vector<Data::Id>& DynamicSceneGraph::components(Data::Id object) const {
    if(!isObject(object)) return NoIds;
    return _objects[object].components;
}

const std::vector<std::uint8_t>& DynamicSceneGraph::componentTypes(Data::Id object) const {
    if(!isObject(object)) return NoTypes;
    return _objects[object].componentTypes;
}

std::size_t DynamicSceneGraph::addComponentManager(std::unique_ptr<ComponentManager> manager) {
    const std::size_t index = _managers.size();
    manager->_scene = this;
    manager->_index = std::uint16_t(index);
    _managers.push_back(std::move(manager));
    return index;
}

void DynamicSceneGraph::replaceComponentManager(std::size_t index, std::unique_ptr<ComponentManager> manager) {
    if(index >= _managers.size()) return;
    for(Object& o: _objects) {
        for(std::size_t i = o.components.size(); i-- > 0; ) if(o.componentTypes[i] == index) {
            o.components.erase(o.components.begin() + i);
            o.componentTypes.erase(o.componentTypes.begin() + i);
        }
    }
    manager->_scene = this;
    manager->_index = std::uint16_t(index);
    _managers[index] = std::move(manager);
}

int DynamicSceneGraph::componentManagerIndex(std::string_view name) const {
    for(std::size_t i = 0; i != _managers.size(); ++i)
        if(_managers[i]->name() == name) return int(i);
    return -1;
}

void DynamicSceneGraph::attachComponent(Data::Id object, std::uint16_t managerIndex, Data::Id component) {
    if(!isObject(object)) return;
    _objects[object].components.push_back(component);
    _objects[object].componentTypes.push_back(std::uint8_t(managerIndex));
}

bool DynamicSceneGraph::deleteComponent(Data::Id object, std::size_t managerIndex, Data::Id component) {
    if(!isObject(object) || managerIndex >= _managers.size()) return false;
    Object& o = _objects[object];
    for(std::size_t i = 0; i != o.components.size(); ++i) {
        if(o.components[i] != component || o.componentTypes[i] != managerIndex) continue;
        o.components.erase(o.components.begin() + i);
        o.componentTypes.erase(o.componentTypes.begin() + i);
        _managers[managerIndex]->removeComponent(component);
        return true;
    }
    return false;
}

void DynamicSceneGraph::deleteObjects(std::span<const Data::Id> objects) {
    for(const Data::Id id: objects) {
        if(!isObject(id)) continue;
        Object& o = _objects[id];
        for(std::size_t i = 0; i != o.components.size(); ++i)
            _managers[o.componentTypes[i]]->removeComponent(o.components[i]);
        for(const Data::Id child: std::vector<Data::Id>{o.children}) reparent(child, 0);
        detachFromParent(id);
        o = Object{};
        _free.push_back(id);
        --_objectCount;
    }
}

}
