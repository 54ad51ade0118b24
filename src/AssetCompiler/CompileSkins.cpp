#include "AssetCompiler/AssetCompiler.h"

#include <algorithm>

#include "AssetCompiler/CompileHelpers.h"
#include "Base/Log.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/RuntimeData.h"

namespace ZandelleEngine {

using namespace CompileHelpers;

bool AssetCompiler::compileSkins(const ValueAccessRange& range) {
    EditorData& d = data();
    EditorSceneData& scene = d.scene();
    ProjectSection& objects = d.projectFile().objects();

    SectionCursor cursor{d.projectFile(), d.projectFile().skins().readValue()};
    for(const ValueAccess& r: range) {
        const std::string key = r.key();
        const JsonValue* json = cursor.find(key);
        Data::Id& slot = resourceIndex.skins[key];
        const Resource<Trade::SkinData> resource = d.resources().skins.resolveLink(r.fileLink());
        if(!resource) {
            Warning{} << "Skin" << key << "was no longer found in scene files.";
            continue;
        }
        const Trade::SkinData& skin = resource.get();
        const std::size_t jointCount = std::max(skin.joints.size(), skin.inverseBindMatrices.size());

        /* Joint objects, compiled now when the skin names one that the
           object passes have not reached */
        std::vector<Data::Id> jointIds(jointCount, 0);
        const std::vector<std::string_view> joints = RecordReader{d.projectFile(), "skins", r, json ? json : r.readValue()}["joints"].asStringViewArray();
        for(std::size_t j = 0; j < jointCount && j < joints.size(); ++j) {
            Data::Id id = objectId(joints[j]);
            if(!id && !joints[j].empty()) {
                compileObjects(objects.rangeForKey(joints[j]), true);
                id = objectId(joints[j]);
            }
            jointIds[j] = id;
        }

        /* Inverse bind matrices as rotation and translation plus a separate
           scaling */
        std::vector<DualQuaternion> transforms(jointCount,
            DualQuaternion{Quaternion{1.0f, 0.0f, 0.0f, 0.0f}, Quaternion{0.0f, 0.0f, 0.0f, 0.0f}});
        std::vector<Vector3> scalings(jointCount, Vector3{0.0f});
        for(std::size_t j = 0; j != skin.inverseBindMatrices.size(); ++j) {
            const Matrix4& m = skin.inverseBindMatrices[j];
            const Vector3 translation{m[3]};
            Vector3 columns[3]{Vector3{m[0]}, Vector3{m[1]}, Vector3{m[2]}};
            const Vector3 scaling{glm::length(columns[0]), glm::length(columns[1]), glm::length(columns[2])};
            for(int i = 0; i != 3; ++i) if(scaling[i] != 0.0f) columns[i] /= scaling[i];
            const Quaternion rotation = glm::quat_cast(Matrix3{columns[0], columns[1], columns[2]});
            transforms[j] = normalized(dualQuaternion(rotation, translation));
            scalings[j] = scaling;
        }

        Data::ByteArray packed = Data::createSkinData(transforms, scalings, jointIds);
        storeInSlot(slot, {"compileSkins", "skin", key}, std::tie(scene.skins), std::move(packed));
    }

    scene.setAssetTypeDirty(AssetType::Skins);
    return true;
}

}
