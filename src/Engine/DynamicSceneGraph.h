#pragma once
// A scene of objects that can be added, reparented and deleted at any time:
// parents, local transforms (unit dual quaternion plus a separate scaling),
// world transforms updated from dirty marks, the components each object owns
// and the component managers they live in, and three name tables (object
// names, record keys, skin names).
//
// Object ids start at 1; 0 is "no object" and the parent of root objects.
// Capacity counts object slots; adding beyond it grows the scene, up to
// Data::MaxObjects.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Base/Math.h"
#include "Engine/ComponentManager.h"
#include "Engine/FontStorage.h"
#include "Engine/LanguageData.h"
#include "Engine/Id.h"
#include "Engine/NameManager.h"

namespace ZandelleEngine {

class ZANDELLE_EXPORT DynamicSceneGraph {
    public:
        explicit DynamicSceneGraph(std::uint32_t capacity = 0);
        ~DynamicSceneGraph();
        DynamicSceneGraph(const DynamicSceneGraph&) = delete;
        DynamicSceneGraph& operator=(const DynamicSceneGraph&) = delete;

        /** Object slots, live or free */
        std::uint32_t capacity() const { return std::uint32_t(_objects.size()) - 1; }
        /** Live objects */
        std::uint32_t objectCount() const { return _objectCount; }
        /** Objects that can be added without growing */
        std::uint32_t freeCapacity() const { return capacity() - _objectCount; }
        /** Grows the object storage to @p capacity slots (clamped to
            Data::MaxObjects); never shrinks. */
        void reallocateCapacity(std::uint32_t capacity);

        /** A new root or child object with the identity transform; 0 when
            the id space is exhausted or @p parent is not an object. */
        Data::Id addObject(Data::Id parent = 0);
        bool isObject(Data::Id object) const { return object && object < _objects.size() && _objects[object].alive; }

        Data::Id parent(Data::Id object) const { return isObject(object) ? _objects[object].parent : Data::Id(0); }
        const std::vector<Data::Id>& children(Data::Id object) const;
        /** Moves @p object under @p parent (0: to the root). Refused, with
            false, when @p parent is @p object or one of its descendants. */
        bool reparent(Data::Id object, Data::Id parent);

        DualQuaternion& localTransformation(Data::Id object) { return _objects[object].local; }
        Vector3& localScaling(Data::Id object) { return _objects[object].localScaling; }
        const DualQuaternion& worldTransformation(Data::Id object) const { return _objects[object].world; }
        const Vector3& worldScaling(Data::Id object) const { return _objects[object].worldScaling; }

        /** Marks the world transform of @p object (and so of its
            descendants) for update */
        void setDirty(Data::Id object);
        bool isDirty(Data::Id object) const { return isObject(object) && _objects[object].dirty; }
        /** Recomputes the world transforms of dirty objects and their
            descendants, then clears the marks */
        void updateTransformations();

        /** Component ids of an object and, in the same order, the indices
            of their managers */
        const std::vector<Data::Id>& components(Data::Id object) const;
        const std::vector<std::uint8_t>& componentTypes(Data::Id object) const;

        /** Registers @p manager; returns its index */
        std::size_t addComponentManager(std::unique_ptr<ComponentManager> manager);
        /** Replaces the manager at @p index; the components of the old one
            are dropped from their objects. */
        void replaceComponentManager(std::size_t index, std::unique_ptr<ComponentManager> manager);
        /** Index of the manager registered under @p name, -1 when none */
        int componentManagerIndex(std::string_view name) const;
        std::size_t componentManagerCount() const { return _managers.size(); }
        ComponentManager& componentManager(std::size_t index) { return *_managers[index]; }
        /** The manager registered under T::Name; must exist */
        template<class T> T& manager() {
            return static_cast<T&>(*_managers[std::size_t(componentManagerIndex(T::Name))]);
        }

        /** Removes @p component of manager @p managerIndex from @p object
            and from its manager; false when the object does not own it */
        bool deleteComponent(Data::Id object, std::size_t managerIndex, Data::Id component);

        /** Deletes objects with their components. Their children move to
            the root, keeping their local transforms. */
        void deleteObjects(std::span<const Data::Id> objects);

        /** Object names, record keys and skin names, indexed by object id */
        NameManager& names() { return _names; }
        NameManager& keys() { return _keys; }
        NameManager& skinNames() { return _skinNames; }

        /** Glyph data of the scene's fonts, by font id */
        FontStorage& fonts() { return _fonts; }
        /** Language data and term links */
        Data::LanguageStorage& languages() { return _languages; }

    private:
        friend class ComponentManager;
        void attachComponent(Data::Id object, std::uint16_t managerIndex, Data::Id component);

        struct Object {
            DualQuaternion local{Quaternion{1.0f, 0.0f, 0.0f, 0.0f}, Quaternion{0.0f, 0.0f, 0.0f, 0.0f}};
            DualQuaternion world{Quaternion{1.0f, 0.0f, 0.0f, 0.0f}, Quaternion{0.0f, 0.0f, 0.0f, 0.0f}};
            Vector3 localScaling{1.0f};
            Vector3 worldScaling{1.0f};
            Data::Id parent = 0;
            bool alive = false;
            bool dirty = false;
            std::vector<Data::Id> children;
            std::vector<Data::Id> components;
            std::vector<std::uint8_t> componentTypes;
        };

        void updateWorld(Data::Id object, std::vector<std::uint8_t>& done);
        void detachFromParent(Data::Id object);

        /* Slot 0 is the root: never alive, holds the children of no parent */
        std::vector<Object> _objects;
        std::vector<Data::Id> _free;
        std::vector<Data::Id> _dirty;
        std::uint32_t _objectCount = 0;
        std::vector<std::unique_ptr<ComponentManager>> _managers;
        NameManager _names, _keys, _skinNames;
        FontStorage _fonts;
        Data::LanguageStorage _languages;
};

}
