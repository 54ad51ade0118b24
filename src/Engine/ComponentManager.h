#pragma once
// Base of the component managers: component ids, owners, active flags and
// the free list. A manager registered with a DynamicSceneGraph tells it about
// every component it adds, so the scene can list an object's components.
//
// Component ids start at 0; Data::NoComponent is "none". Removed ids are
// reused by later additions.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Engine/Id.h"

namespace ZandelleEngine {

class DynamicSceneGraph;

class ZANDELLE_EXPORT ComponentManager {
    public:
        explicit ComponentManager(std::string_view name): _name{name} {}
        virtual ~ComponentManager() = default;
        ComponentManager(const ComponentManager&) = delete;
        ComponentManager& operator=(const ComponentManager&) = delete;

        /** The name the manager is registered under ("mesh", "js", ...) */
        const std::string& name() const { return _name; }

        /** Adds an inactive component owned by @p object; Data::NoComponent
            when all 65535 ids are taken. */
        Data::Id addComponent(Data::Id object);

        /** Live components */
        std::uint32_t size() const { return _size; }
        /** Component slots allocated */
        std::uint32_t capacity() const { return std::uint32_t(_objects.size()); }
        /** Grows the component storage to at least @p capacity slots */
        void reserve(std::uint32_t capacity);

        bool isAlive(Data::Id component) const { return component < _alive.size() && _alive[component]; }
        bool isActive(Data::Id component) const { return isAlive(component) && _active[component]; }
        void setActive(Data::Id component, bool active);
        /** The owning object */
        Data::Id object(Data::Id component) const { return component < _objects.size() ? _objects[component] : Data::Id(0); }

    protected:
        /** Grows the manager's own per-component arrays */
        virtual void resize(std::uint32_t capacity) = 0;
        /** Puts a slot's data back to its defaults before it is (re)used */
        virtual void resetComponent(Data::Id component) = 0;
        /** Called before a component is removed */
        virtual void releaseComponent(Data::Id) {}

    private:
        friend class DynamicSceneGraph;
        /* Called by the scene; does not touch the object's component list */
        void removeComponent(Data::Id component);

        std::string _name;
        DynamicSceneGraph* _scene = nullptr;
        std::uint16_t _index = 0;
        std::vector<Data::Id> _objects;
        std::vector<std::uint8_t> _alive, _active;
        std::vector<Data::Id> _free;
        std::uint32_t _size = 0;
};

/** A manager whose per-component data is one record of type T */
template<class T> class TypedComponentManager: public ComponentManager {
    public:
        using ComponentManager::ComponentManager;

    protected:
        T& data(Data::Id component) { return _data[component]; }
        const T& data(Data::Id component) const { return _data[component]; }

        void resize(std::uint32_t capacity) override { _data.resize(capacity); }
        void resetComponent(Data::Id component) override { _data[component] = T{}; }

        std::vector<T> _data;
};

}
