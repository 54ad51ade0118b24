#include "AssetCompiler/AssetCompiler.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "AssetCompiler/CompileHelpers.h"
#include "Base/Log.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/Components.h"
#include "Engine/PhysXManager.h"

namespace ZandelleEngine {

using namespace CompileHelpers;

namespace {

/* State of the outermost compileObjects() call, shared by the calls it
   makes for missing parents */
struct ObjectPass {
    /* Keys whose parent pre-pass is running, so that a parent cycle in the
       document ends instead of recursing forever */
    std::unordered_set<std::string> chain;
    /* Objects whose parent did not resolve: reported once, and not tried
       again for each of their descendants */
    std::unordered_set<std::string> unresolved;
    /* Set by the parent pre-pass for the call it makes: the parent's
       record, found already, whose key has no object yet */
    const JsonValue* parentRecord = nullptr;
};
thread_local ObjectPass* currentPass = nullptr;

/* Read: the key and own value of each record of @p range (the value the
   parent pre-pass found for its call); how many have no object yet */
std::uint32_t readObjectRecords(ProjectFile& file, const JsonValue* section, const ValueAccessRange& range,
    ResourceIndex::Map& ids, std::vector<std::string>& keys, std::vector<const JsonValue*>& records)
{
    keys.resize(range.size());
    records.resize(range.size());
    if(const JsonValue* parentRecord = std::exchange(currentPass->parentRecord, nullptr)) {
        keys[0] = range[0].key();
        records[0] = parentRecord;
        return 1;
    }
    std::uint32_t newObjects = 0;
    SectionCursor cursor{file, section};
    for(std::size_t i = 0; i != range.size(); ++i) {
        keys[i] = range[i].key();
        records[i] = cursor.find(keys[i]);
        if(!records[i]) records[i] = range[i].readValue();
        if(!ResourceIndex::lookup(ids, keys[i])) ++newObjects;
    }
    /* One rehash for the whole range instead of one per doubling (and none
       when the map has room: reserving may also shrink it) */
    if(ids.size() + newObjects > ids.bucket_count()*ids.max_load_factor()) ids.reserve(ids.size() + newObjects);
    return newObjects;
}

/* Build: room in the scene for @p newObjects more objects and their names */
void reserveObjects(DynamicSceneGraph& scene, std::uint32_t newObjects, IdScheme scheme) {
    if(scene.freeCapacity() < newObjects) scene.reallocateCapacity(scene.capacity() + newObjects);
    const std::uint32_t ids = scene.capacity() + 1;
    const std::size_t keyBytes = scheme == IdScheme::Uuid ? 37 : 4;
    scene.names().reserve(ids, std::size_t(ids)*16);
    scene.keys().reserve(ids, std::size_t(ids)*keyBytes);
    scene.skinNames().reserve(ids, std::size_t(ids)*keyBytes);
}

/* Store: the object of @p key below @p parentId, created when it has no id
   yet, with its names and local transformation; its id, 0 when the scene
   is full */
Data::Id storeObject(DynamicSceneGraph& scene, Data::Id& mapped, const std::string& key, const RecordReader& record,
    std::string_view parentKey, Data::Id parentId)
{
    Data::Id id = mapped;
    if(!id) {
        id = scene.addObject(parentId);
        if(!id) {
            Error{} << "AssetCompiler::compileObjects(): The scene is full, skipping object" << key;
            return 0;
        }
        mapped = id;
    }

    scene.setDirty(id);
    if(scene.parent(id) != parentId && !scene.reparent(id, parentId))
        Warning{} << "AssetCompiler::compileObjects(): Object" << key << "cannot move below its own descendant"
            << parentKey << Debug::nospace << ", keeping its parent";

    scene.names().set(id, record["name"].asString());
    scene.keys().set(id, key);
    scene.skinNames().set(id, record["skin"].asString());

    const Vector3 translation = record["translation"].asVector3();
    const Quaternion rotation = record["rotation"].asQuaternion();
    if(!(glm::dot(rotation, rotation) > 0.0f))
        Warning{} << "AssetCompiler::compileObjects(): Object" << key << "has a zero rotation, using the identity";
    scene.localTransformation(id) = normalized(dualQuaternion(rotation, translation));
    scene.localScaling(id) = record["scaling"].asVector3();
    scene.setDirty(id);
    return id;
}

}

bool AssetCompiler::compileObjects(const ValueAccessRange& range, bool withComponents) {
    EditorData& d = data();
    EditorSceneData& sceneData = d.scene();
    DynamicSceneGraph& scene = sceneData.main();
    ProjectFile& file = d.projectFile();
    ProjectSection& objects = file.objects();

    /* Draw groups are indexed by pipeline id */
    std::uint32_t groups = 0;
    for(const auto& pipeline: resourceIndex.pipelines) groups = std::max<std::uint32_t>(groups, pipeline.second + 1u);
    scene.manager<MeshManager>().allocate(0, groups);
    scene.manager<TextManager>().allocate(0, groups);

    ObjectPass pass;
    const bool outermost = !currentPass;
    if(outermost) currentPass = &pass;
    const JsonValue* section = objects.readValue();
    std::vector<std::string> keys;
    std::vector<const JsonValue*> records;
    const std::uint32_t newObjects = readObjectRecords(file, section, range, resourceIndex.objects, keys, records);

    /* Check: parents first. A parent without object is compiled (with its
       own ancestors) before the records that need it. A parent id found
       here stays valid for the whole pass (compiling only ever adds ids), so
       the record loop below looks up only those of parents compiled here. */
    std::vector<Data::Id> parentIds(range.size());
    for(std::size_t i = 0; i != range.size(); ++i) {
        const std::string_view parent = RecordReader{file, "objects", range[i], records[i]}["parent"].asString();
        if(parent.empty() || (parentIds[i] = objectId(parent)) || currentPass->chain.count(std::string{parent}) ||
           currentPass->unresolved.count(std::string{parent})) continue;
        currentPass->chain.insert(keys[i]);
        /* The parent's record alone (none when the section lacks it) */
        ValueAccessRange parentRange;
        if(const JsonValue* parentRecord = section ? file.findMember(*section, parent) : nullptr) {
            parentRange.push_back(objects.member(parent));
            currentPass->parentRecord = parentRecord;
        }
        compileObjects(parentRange, true);
        currentPass->chain.erase(keys[i]);
    }

    reserveObjects(scene, newObjects, file.idScheme());
    for(std::size_t i = 0; i != range.size(); ++i) {
        const std::string& key = keys[i];
        const RecordReader record{file, "objects", range[i], records[i]};
        const std::string_view parentKey = record["parent"].asString();
        const Data::Id parentId = parentIds[i] ? parentIds[i] : objectId(parentKey);
        if(!parentKey.empty() && !parentId) {
            if(currentPass->unresolved.insert(key).second)
                Warning{} << "AssetCompiler::compileObjects(): Parent" << parentKey << "of object" << key
                    << "does not resolve, skipping the object";
            continue;
        }
        const Data::Id id = storeObject(scene, resourceIndex.objects[key], key, record, parentKey, parentId);
        if(!id || !withComponents) continue;
        const JsonValue* components = record["components"].readValue();
        if(components && components->IsArray()) compileComponents(id, key, record["name"].asString(), *components);
    }

    if(outermost) currentPass = nullptr;
    sceneData.setAssetTypeDirty(AssetType::Objects);
    return true;
}

void AssetCompiler::deleteObject(std::string_view key) {
    auto found = resourceIndex.objects.find(key);
    if(found == resourceIndex.objects.end()) return;
    if(const Data::Id id = found->second) {
        EditorData& d = data();
        DynamicSceneGraph& scene = d.scene().main();
        d.deselectObject(key);

        /* Cooked meshes and script origins of its components go with it */
        const int physx = scene.componentManagerIndex(PhysXManager::Name);
        const int js = scene.componentManagerIndex(JavaScriptManager::Name);
        const std::vector<Data::Id> components = scene.components(id);
        const std::vector<std::uint8_t> types = scene.componentTypes(id);
        for(std::size_t i = 0; i != components.size(); ++i) {
            if(types[i] == physx) releaseCookedMesh(components[i]);
            else if(types[i] == js && components[i] < scriptComponentOrigins.size())
                scriptComponentOrigins[components[i]] = {};
        }

        const Data::Id ids[]{id};
        scene.deleteObjects(ids);
        scene.names().set(id, {});
        scene.keys().set(id, {});
        scene.skinNames().set(id, {});
        found->second = 0;
        d.scene().setAssetTypeDirty(AssetType::Objects);
        d.scene().setAssetTypeDirty(AssetType::Components);
    }
    resourceIndex.objects.erase(found);
}

}
