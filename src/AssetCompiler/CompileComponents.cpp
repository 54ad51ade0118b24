#include "AssetCompiler/AssetCompiler.h"

#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "AssetCompiler/CompileHelpers.h"
#include "AssetCompiler/ComponentEntry.h"
#include "Base/Log.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/AnimationManager.h"
#include "Engine/Components.h"
#include "Engine/PhysXManager.h"

namespace ZandelleEngine {

using namespace CompileHelpers;


namespace {

/* Index of @p value in @p names, @p fallback when absent */
template<std::size_t N> std::uint8_t enumValue(std::string_view value, const char* const (&names)[N], std::uint8_t fallback = 0) {
    for(std::size_t i = 0; i != N; ++i) if(value == names[i]) return std::uint8_t(i);
    return fallback;
}

constexpr const char* ColliderNames[]{"sphere", "aabb", "box"};
constexpr const char* InputNames[]{"head", "eye left", "eye right", "hand left", "hand right", "ray left", "ray right"};
constexpr const char* LightNames[]{"point", "spot", "sun"};
constexpr const char* AlignmentNames[]{"left", "center", "right"};
constexpr const char* JustificationNames[]{"line", "middle", "top", "bottom"};
constexpr const char* EffectNames[]{"none", "outline"};

/* The matched component, or a new one of @p manager */
Data::Id reuseOrAdd(ComponentManager& manager, Data::Id matched, Data::Id object, std::string_view objectKey) {
    if(matched != Data::NoComponent) return matched;
    const Data::Id c = manager.addComponent(object);
    if(c == Data::NoComponent)
        Error{} << "AssetCompiler::compileObjects(): No room for another" << manager.name()
            << "component, skipping the entry on object" << objectKey;
    return c;
}

}

void AssetCompiler::compileComponents(Data::Id object, std::string_view objectKey, std::string_view objectName, const JsonValue& components) {
    /* The component rules by type, in the order of the managers */
    static const std::pair<std::string_view, void (AssetCompiler::*)(const ComponentEntry&)> ComponentRules[]{
        {"collision", &AssetCompiler::compileCollisionComponent},
        {"physx", &AssetCompiler::compilePhysXComponent},
        {"input", &AssetCompiler::compileInputComponent},
        {"view", &AssetCompiler::compileViewComponent},
        {"animation", &AssetCompiler::compileAnimationComponent},
        {"text", &AssetCompiler::compileTextComponent},
        {"light", &AssetCompiler::compileLightComponent},
        {"mesh", &AssetCompiler::compileMeshComponent},
    };

    EditorSceneData& sceneData = data().scene();
    DynamicSceneGraph& scene = sceneData.main();
    JavaScriptManager& js = scene.manager<JavaScriptManager>();
    const int jsIndex = scene.componentManagerIndex(JavaScriptManager::Name);

    /* Components not matched by an entry yet */
    std::vector<Data::Id> ids = scene.components(object);
    std::vector<std::uint8_t> types = scene.componentTypes(object);

    for(rapidjson::SizeType i = 0; i != components.Size(); ++i) {
        const JsonValue& e = components[i];
        const std::string_view type = Json::asString(member(&e, "type"));
        if(type.empty()) continue;

        Data::Id matched = Data::NoComponent;
        for(std::size_t j = 0; j != ids.size(); ++j) {
            const std::string_view name = types[j] == jsIndex ?
                js.typeName(js.componentType(ids[j])) : std::string_view{scene.componentManager(types[j]).name()};
            if(name != type) continue;
            matched = ids[j];
            std::swap(ids[j], ids.back());
            std::swap(types[j], types.back());
            ids.pop_back();
            types.pop_back();
            break;
        }

        sceneData.setAssetTypeDirty(AssetType::Components);
        const JsonValue* props = JsonPointer::member(&e, type);
        const ComponentEntry entry{object, objectKey, objectName, type, i, props,
            Json::asBool(member(&e, "active")), matched};
        /* The rule of the type; any other type is a script component */
        void (AssetCompiler::*rule)(const ComponentEntry&) = &AssetCompiler::compileJavaScriptComponent;
        for(const auto& [name, typeRule]: ComponentRules) if(type == name) rule = typeRule;
        (this->*rule)(entry);
    }

    if(ids.empty()) {
        sceneData.setAssetTypeDirty(AssetType::Components);
        return;
    }
    const int physx = scene.componentManagerIndex(PhysXManager::Name);
    for(std::size_t j = 0; j != ids.size(); ++j) {
        if(types[j] == physx) releaseCookedMesh(ids[j]);
        else if(types[j] == jsIndex && ids[j] < scriptComponentOrigins.size()) scriptComponentOrigins[ids[j]] = {};
        scene.deleteComponent(object, types[j], ids[j]);
    }
}

void AssetCompiler::compileCollisionComponent(const ComponentEntry& entry) {
    CollisionManager& m = data().scene().main().manager<CollisionManager>();
    const Data::Id c = reuseOrAdd(m, entry.component, entry.object, entry.objectKey);
    if(c == Data::NoComponent) return;

    const std::string_view collider = entry["collider"].asString();
    m.collider(c) = ColliderType(enumValue(collider, ColliderNames));
    if(m.collider(c) == ColliderType::AxisAlignedBox || m.collider(c) == ColliderType::Box)
        m.extents(c) = entry[std::string{collider} + "/extents"].asVector3();
    else m.extents(c).x = entry["sphere/radius"].asFloat();
    m.group(c) = std::uint8_t(entry["groups"].asUnsignedInt());
    m.setActive(c, entry.active);
}

void AssetCompiler::compileInputComponent(const ComponentEntry& entry) {
    InputManager& m = data().scene().main().manager<InputManager>();
    const Data::Id c = reuseOrAdd(m, entry.component, entry.object, entry.objectKey);
    if(c == Data::NoComponent) return;
    m.inputType(c) = InputType(enumValue(entry["type"].asString(), InputNames));
    m.setActive(c, entry.active);
}

void AssetCompiler::compileViewComponent(const ComponentEntry& entry) {
    ViewManager& m = data().scene().main().manager<ViewManager>();
    const Data::Id c = reuseOrAdd(m, entry.component, entry.object, entry.objectKey);
    if(c == Data::NoComponent) return;

    const float near = m.near(c) = entry["near"].asFloat();
    const float far = m.far(c) = entry["far"].asFloat();
    const float fov = m.fov(c) = entry["fov"].asFloat();

    /* Perspective projection, aspect ratio 1; the far plane at infinity
       when "far" is too large for a float */
    const float f = 1.0f/std::tan(fov*glm::pi<float>()/180.0f/2.0f);
    Matrix4 p{0.0f};
    p[0][0] = p[1][1] = f;
    p[2][3] = -1.0f;
    if(std::isinf(far)) {
        p[2][2] = -1.0f;
        p[3][2] = -2.0f*near;
    } else {
        p[2][2] = (far + near)/(near - far);
        p[3][2] = 2.0f*far*near/(near - far);
    }
    m.projectionMatrix(c) = p;
    m.setActive(c, entry.active);
}

void AssetCompiler::compileLightComponent(const ComponentEntry& entry) {
    LightManager& m = data().scene().main().manager<LightManager>();
    const float intensity = entry["intensity"].asFloat();
    const Vector3 color = entry["color"].asVector3();
    const std::string_view type = entry["type"].asString();
    const float outerAngle = entry["outerAngle"].asFloat();
    const float innerAngle = entry["innerAngle"].asFloat();
    const bool shadows = entry["shadows"].asBool();
    const float shadowRange = entry["shadowRange"].asFloat();
    const float shadowBias = entry["shadowBias"].asFloat();
    const float shadowNormalBias = entry["shadowNormalBias"].asFloat();
    const float shadowTexelSize = entry["shadowTexelSize"].asFloat();
    const std::int32_t cascadeCount = entry["cascadeCount"].asInt(0);

    const Data::Id c = reuseOrAdd(m, entry.component, entry.object, entry.objectKey);
    if(c == Data::NoComponent) return;

    m.color(c) = Vector4{color, intensity};
    Vector4& parameters = m.parameters(c);
    parameters.x = outerAngle;
    parameters.y = innerAngle;
    parameters.z = shadows ? 1.0f : 0.0f;
    m.shadowRange(c) = shadowRange;
    m.shadowParameters(c) = Vector4{shadowBias, shadowNormalBias, shadowTexelSize, float(cascadeCount)};

    const std::uint8_t lightType = enumValue(type, LightNames, 255);
    if(lightType == 255) {
        Error{} << "Unknown light type" << type;
        m.setActive(c, false);
        return;
    }
    m.setLightType(c, LightType(lightType));
    m.setActive(c, entry.active);
}

void AssetCompiler::compileTextComponent(const ComponentEntry& entry) {
    TextManager& m = data().scene().main().manager<TextManager>();
    const std::string_view text = entry["text"].asString();

    /* Room for the text and its zero beyond what the reused component holds,
       and for one more component when one is added */
    {
        const bool reused = entry.component != Data::NoComponent && m.isAlive(entry.component);
        const std::size_t held = reused ? m.text(entry.component).size() + 1 : 0;
        const std::size_t characters = m.characterCount() + text.size() + 1 - std::min(held, m.characterCount());
        const std::uint32_t components = reused ? m.capacity() : std::max(m.capacity(), m.size() + 1);
        if(characters > m.characterCapacity() || components > m.capacity())
            m.allocate(components, m.groupCount(), characters);
    }

    const Data::Id c = reuseOrAdd(m, entry.component, entry.object, entry.objectKey);
    if(c == Data::NoComponent) return;
    m.setText(c, text);
    m.alignment(c) = TextHorizontalAlignment(enumValue(entry["alignment"].asString(), AlignmentNames));
    m.justification(c) = TextVerticalAlignment(enumValue(entry["justification"].asString(), JustificationNames));
    m.characterSpacing(c) = entry["characterSpacing"].asFloat();
    m.lineSpacing(c) = entry["lineSpacing"].asFloat();
    m.effect(c) = TextEffect(enumValue(entry["effect"].asString(), EffectNames));

    const std::string_view material = entry["material"].asString();
    if(material.empty()) {
        m.setActive(c, false);
        return;
    }
    m.material(c) = materialId(material);
    const ValueAccess record = projectFile().materials().member(material);
    const Data::Id pipeline = pipelineId(record["pipeline"].asString());
    if(!pipeline) {
        m.setActive(c, false);
        return;
    }
    m.setGroup(c, pipeline, 0);
    const std::string_view font = record["Text/font"].asString();
    if(font.empty()) {
        m.setActive(c, false);
        return;
    }
    m.setFont(c, fontId(font));
    m.setActive(c, entry.active);
}

void AssetCompiler::compileMeshComponent(const ComponentEntry& entry) {
    EditorSceneData& sceneData = data().scene();
    MeshManager& m = sceneData.main().manager<MeshManager>();
    const std::string_view material = entry["material"].asString();
    const std::string_view mesh = entry["mesh"].asString();
    const std::string_view skin = entry["skin"].asString();
    const Data::Id pipeline = material.empty() ? Data::Id(0) :
        pipelineId(projectFile().materials().member(material)["pipeline"].asString());

    const Data::Id c = reuseOrAdd(m, entry.component, entry.object, entry.objectKey);
    if(c == Data::NoComponent) return;
    if(material.empty() || !pipeline) {
        m.setActive(c, false);
        return;
    }
    m.material(c) = materialId(material);
    if(mesh.empty()) {
        m.setActive(c, false);
        return;
    }
    const Data::Id meshId = m.mesh(c) = this->meshId(mesh);

    std::uint8_t skinned = 0;
    if(meshId && meshId < sceneData.meshes.size() && !skin.empty() &&
       sceneData.meshes[meshId].attribute(Trade::MeshAttribute::JointIds)) {
        const Data::Id skinId = this->skinId(skin);
        if(!skinId) {
            Debug{} << "While compiling mesh component on object" << entry.objectKey << Debug::nospace
                << ", skin" << skin << "is not compiled";
            m.setActive(c, false);
            return;
        }
        m.setSkin(c, skinId);
        skinned = 1;
    }
    m.setGroup(c, pipeline, skinned);
    m.setActive(c, entry.active);
}

void AssetCompiler::compileJavaScriptComponent(const ComponentEntry& entry) {
    JavaScriptManager& m = data().scene().main().manager<JavaScriptManager>();
    const std::uint8_t type = m.typeIndex(entry.type);
    if(type == JavaScriptManager::NoType) {
        Warning{} << "Skipping component with missing JavaScript component:" << entry.type << "on object" << entry.objectName;
        return;
    }

    Data::Id c = entry.component;
    if(c != Data::NoComponent) m.componentType(c) = type;
    else {
        c = m.addComponent(entry.object, type);
        if(c == Data::NoComponent) {
            Error{} << "AssetCompiler::compileObjects(): No room for another js component, skipping the entry on object" << entry.objectKey;
            return;
        }
    }
    if(scriptComponentOrigins.size() <= c) scriptComponentOrigins.resize(std::size_t(c) + 1);
    scriptComponentOrigins[c] = {std::string{entry.objectKey}, entry.index};
    m.setActive(c, entry.active);
}

void AssetCompiler::compileAnimationComponent(const ComponentEntry& entry) {
    EditorSceneData& sceneData = data().scene();
    AnimationManager& m = sceneData.main().manager<AnimationManager>();
    const bool preview = entry["preview"].asBool();
    const std::string_view skin = entry["skin"].asString();

    const Data::Id c = reuseOrAdd(m, entry.component, entry.object, entry.objectKey);
    if(c == Data::NoComponent) return;
    const bool wasActive = m.isActive(c);
    m.playCount(c) = entry["playCount"].asInt(0);
    m.setSpeed(c, entry["speed"].asFloat());
    const bool retarget = entry["retarget"].asBool();
    m.setRetarget(c, retarget);
    m.skin(c) = skinId(skin);

    const std::string_view animation = entry["animation"].asString();
    if(animation.empty()) {
        m.setActive(c, false);
        return;
    }

    const bool wasPlaying = m.isPlaying(c);
    m.player(c) = OzzPlayer{};
    const Data::Id animationId = ResourceIndex::lookup(resourceIndex.animations, animation);
    if(!animationId || animationId >= sceneData.targetedAnimations.size()) {
        Warning{} << "Animation not compiled yet.";
    } else {
        ProjectFile& file = projectFile();
        m.animation(c) = animationId;
        const std::vector<Data::Id>& compiledTargets = sceneData.targetedAnimations[animationId].targets;
        const std::size_t trackCount = compiledTargets.size();
        const std::vector<std::string_view> targetKeys = file.animations().member(animation)["targets"].asStringViewArray();

        if(!retarget) {
            m.setAnimation(c, animationId, compiledTargets);
        } else if(skin.empty()) {
            Warning{} << "No skin selected on animation with retarget enabled, this may produce an invalid animation";
            m.setAnimation(c, animationId, std::vector<Data::Id>(trackCount, entry.object));
        } else {
            /* Joint names of the skin and of their ancestors, to their keys */
            ProjectSection& objects = file.objects();
            std::unordered_map<std::string, std::string> keyByName;
            for(const std::string_view joint: file.skins().member(skin)["joints"].asStringViewArray()) {
                if(joint.empty()) continue;
                keyByName[std::string{objects.member(joint)["name"].asString()}] = std::string{joint};
                for(std::string ancestor{objects.member(joint)["parent"].asString()}; !ancestor.empty();
                    ancestor = std::string{objects.member(ancestor)["parent"].asString()}) {
                    if(!keyByName.emplace(std::string{objects.member(ancestor)["name"].asString()}, ancestor).second) break;
                }
            }

            std::vector<Data::Id> targets(trackCount, Data::NoComponent);
            std::unordered_set<std::string_view> seen;
            std::size_t position = 0;
            for(const std::string_view key: targetKeys) {
                if(!seen.insert(key).second) continue;
                auto found = keyByName.find(std::string{objects.member(key)["name"].asString()});
                if(found != keyByName.end() && !found->second.empty()) {
                    if(position < trackCount) targets[position] = objectId(found->second);
                } else Warning{} << "While retargeting animation, could not find a match for joint" << key;
                ++position;
            }
            m.setAnimation(c, animationId, std::move(targets));
        }

        /* Stopping a preview puts the animated objects back where the
           document has them */
        if((!entry.active && wasActive) || (wasPlaying && !preview)) {
            ValueAccessRange range;
            for(const std::string_view key: targetKeys)
                for(ValueAccess& record: file.objects().rangeForKey(key)) range.push_back(std::move(record));
            compileObjects(range, false);
        }
    }

    m.setAutoplay(c, entry["autoplay"].asBool());
    if(preview) m.play(c);
    m.setActive(c, entry.active);
}

}
