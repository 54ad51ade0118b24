#include "AssetCompiler/AssetCompiler.h"

#include <algorithm>
#include <cstring>

#include "AssetCompiler/CompileHelpers.h"
#include "Base/Log.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/BoundingSphere.h"
#include "Engine/MeshClone.h"
#include "Engine/MeshOptimizer.h"
#include "Engine/MeshTools.h"

namespace ZandelleEngine {

using namespace CompileHelpers;

namespace {

void scalePositions(Trade::MeshData& mesh, float scaling) {
    const Trade::MeshAttributeData& a = *mesh.attribute(Trade::MeshAttribute::Position);
    for(std::uint32_t v = 0; v != mesh.vertexCount; ++v) {
        std::uint8_t* at = mesh.vertexData.data() + a.offset + std::size_t(a.stride)*v;
        float p[3];
        std::memcpy(p, at, 12);
        for(float& f: p) f *= scaling;
        std::memcpy(at, p, 12);
    }
}

}

bool AssetCompiler::compileMeshes(const ValueAccessRange& range) {
    EditorData& d = data();
    EditorSceneData& scene = d.scene();

    if(!meshOptimizer)
        Warning{} << "AssetCompiler::compileMeshes(): meshoptimizer not available. Skipping optimization and simplify.";

    /* Skinning attributes stay whatever the pipelines use */
    const MeshTools::MeshDataFlags wanted = scene.meshLayout | MeshTools::MeshDataFlag::JointIds | MeshTools::MeshDataFlag::Weights;

    SectionCursor cursor{d.projectFile(), d.projectFile().meshes().readValue()};
    for(const ValueAccess& r: range) {
        const std::string key = r.key();
        const JsonValue* json = cursor.find(key);
        const FileLink link = r.fileLink();
        const Resource<Trade::MeshData> resource = d.resources().meshes.resolveLink(link);
        Data::Id& slot = resourceIndex.meshes[key];
        if(!resource) {
            Warning{} << "AssetCompiler::compileMeshes(): Missing mesh " << link.name << "from file" << link.file;
            continue;
        }

        const Trade::MeshData& source = resource.get();
        const MeshTools::MeshDataFlags flags = MeshTools::getMeshFlags(source);
        const Trade::MeshAttributeData* position = source.attribute(Trade::MeshAttribute::Position);
        if(source.primitive != Trade::MeshPrimitive::Triangles || !(flags >= MeshTools::MeshDataFlag::Position) ||
           !(flags >= MeshTools::MeshDataFlag::Normals) || position->format != Trade::VertexFormat::Vector3) {
            Warning{} << "AssetCompiler::compileMeshes(): Skipping mesh" << link.name << "from file" << link.file
                << Debug::nospace << ": not a triangle mesh with positions and normals";
            continue;
        }

        Trade::MeshData mesh = MeshTools::cloneMeshData(source, flags & wanted);
        if(!mesh.attribute(Trade::MeshAttribute::Position)) {
            Warning{} << "AssetCompiler::compileMeshes(): Skipping mesh" << link.name << "from file" << link.file
                << Debug::nospace << ": positions lie outside its vertex data";
            continue;
        }

        const RecordReader record{d.projectFile(), "meshes", r, json ? json : r.readValue()};
        const float scaling = record["importScaling"].asFloat(1.0f);
        if(scaling != 1.0f) scalePositions(mesh, scaling);

        if(meshOptimizer && mesh.isIndexed()) {
            const bool simplify = record["simplify"].asBool();
            meshOptimizer->setValue("simplify", simplify);
            if(simplify) {
                meshOptimizer->setValue("simplifyTargetIndexCountThreshold", std::clamp(record["simplifyTarget"].asFloat(), 0.0f, 1.0f));
                meshOptimizer->setValue("simplifyTargetError", record["simplifyTargetError"].asFloat());
                if(std::optional<Trade::MeshData> simplified = meshOptimizer->convert(mesh)) mesh = std::move(*simplified);
            } else meshOptimizer->convertInPlace(mesh);
        }

        const std::vector<Vector3> positions = MeshTools::positions3D(mesh);
        const std::pair<Vector3, float> sphere = MeshTools::boundingSphereBouncingBubble(positions);

        storeInSlot(slot, {"compileMeshes", "mesh", key}, std::tie(scene.meshes, scene.meshBoundingSpheres),
            std::move(mesh), Vector4{sphere.first, sphere.second});
    }

    scene.setAssetTypeDirty(AssetType::Meshes);
    return true;
}

}
