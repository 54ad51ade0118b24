#include "AssetCompiler/AssetCompiler.h"

#include "AssetCompiler/CompileHelpers.h"
#include "Base/Log.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/Animation.h"

namespace ZandelleEngine {

using namespace CompileHelpers;

/* Binds each imported animation's tracks to the objects its "targets" name
   (one object key per track) and packs it. The slot of a key stays the same
   while the project is open, so animation components that point at it pick
   up the new data when they are compiled again. */
bool AssetCompiler::compileAnimations(const ValueAccessRange& range) {
    EditorData& d = data();
    EditorSceneData& scene = d.scene();

    SectionCursor cursor{d.projectFile(), d.projectFile().animations().readValue()};
    for(const ValueAccess& r: range) {
        const std::string key = r.key();
        const JsonValue* json = cursor.find(key);
        Data::Id& slot = resourceIndex.animations[key];
        const FileLink link = r.fileLink();
        const Resource<Trade::AnimationData> resource = d.resources().animations.resolveLink(link);
        if(!resource) {
            Warning{} << "AssetCompiler::compileAnimations(): missing animation" << link.name;
            continue;
        }
        const Trade::AnimationData& animation = resource.get();
        const RecordReader record{d.projectFile(), "animations", r, json ? json : r.readValue()};

        /* A track past the end of "targets" has no target; a key without
           an object binds its track to no object */
        std::vector<Data::Id> targets(animation.tracks.size(), Data::NoComponent);
        const std::vector<std::string_view> targetKeys = record["targets"].asStringViewArray();
        for(std::size_t t = 0; t < targets.size() && t < targetKeys.size(); ++t) {
            const Data::Id id = objectId(targetKeys[t]);
            if(!id && !targetKeys[t].empty())
                Warning{} << "AssetCompiler::compileAnimations(): missing animation target" << targetKeys[t] << "in animation" << key;
            targets[t] = id;
        }

        const Data::AnimationCheck check = Data::checkAnimation(animation);
        if(check.error == Data::AnimationError::NotNormalized) {
            Error{} << "Quaternion not normalized in track" << check.track;
            continue;
        }
        if(check.error != Data::AnimationError::None) {
            Error{} << "AssetCompiler::compileAnimations(): unusable keyframes in track" << check.track << "of animation" << key;
            continue;
        }

        Data::ByteArray packed = Data::createAnimationData(animation, targets, !record["pack"].asBool());
        const Data::AnimationData view{packed};
        Data::Animation runtime = view.animation();
        std::vector<Data::Id> boundTargets = view.targets();
        const Data::Id id = slotFor(slot, scene.animations.size(), {"compileAnimations", "animation", key});
        if(id) storeInSlot(slot, {}, std::tie(scene.animations, scene.runtimeAnimations, scene.targetedAnimations),
            std::move(packed), std::move(runtime), Data::TargetedAnimation{id, std::move(boundTargets)});
    }

    scene.setAssetTypeDirty(AssetType::Animations);
    return true;
}

}
