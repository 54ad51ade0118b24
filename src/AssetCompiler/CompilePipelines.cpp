#include "AssetCompiler/AssetCompiler.h"

#include <algorithm>
#include <array>
#include <unordered_map>

#include "AssetCompiler/CompileHelpers.h"
#include "Base/Log.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/MeshTools.h"
#include "Engine/RuntimeData.h"
#include "Shaders/MaterialDefinition.h"
#include "Shaders/ShaderDefines.h"

namespace ZandelleEngine {

using namespace CompileHelpers;

namespace {

constexpr std::array<std::string_view, 8> DepthFunctions{
    "never", "always", "less", "less or equal", "equal", "not equal", "greater or equal", "greater"};

constexpr std::array<std::string_view, 5> BlendEquations{"add", "subtract", "reverse subtract", "min", "max"};

/* Blend factors with their values; 2 and 3 have no name */
constexpr std::array<std::pair<std::string_view, std::uint32_t>, 11> BlendFactors{{
    {"zero", 0}, {"one", 1}, {"source color", 4}, {"one minus source color", 5}, {"source alpha", 6},
    {"source alpha saturate", 7}, {"one minus source alpha", 8}, {"destination color", 9},
    {"one minus destination color", 10}, {"destination alpha", 11}, {"one minus destination alpha", 12}}};

/* Pipelines compiled whether or not a material uses them: the first always,
   the others when glTF files may be loaded at run time */
constexpr std::string_view AlwaysNeededPipeline = "MeshVisualizer";
constexpr std::array<std::string_view, 6> RuntimeGltfPipelines{
    "Flat Opaque", "Flat Opaque Textured", "Phong Opaque", "Phong Opaque Textured",
    "Physical Opaque", "Physical Opaque Textured"};

/* Unknown names, the empty one included, give 0 */
template<std::size_t N> std::uint32_t positionOf(const std::array<std::string_view, N>& names, std::string_view name) {
    const auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? 0 : std::uint32_t(found - names.begin());
}

std::uint32_t blendFactor(std::string_view name) {
    for(const auto& factor: BlendFactors) if(factor.first == name) return factor.second;
    return 0;
}

Data::Pipeline pipelineDescription(const RecordReader& record, std::uint32_t shader) {
    Data::Pipeline p;
    p.shader = shader;
    p.doubleSided = record["doubleSided"].asBool();
    p.castShadows = record["castShadows"].asBool();
    p.depthTest = record["depthTest"].asBool();
    p.depthWrite = record["depthWrite"].asBool();
    p.depthFunction = positionOf(DepthFunctions, record["depthFunction"].asString());
    p.blending = record["blending"].asBool();
    p.sampleAlphaToCoverage = record["sampleAlphaToCoverage"].asBool();
    p.blendSrcRgb = blendFactor(record["blendSrcRgb"].asString());
    p.blendSrcAlpha = blendFactor(record["blendSrcAlpha"].asString());
    p.blendDestRgb = blendFactor(record["blendDestRgb"].asString());
    p.blendDestAlpha = blendFactor(record["blendDestAlpha"].asString());
    p.blendEqRgb = positionOf(BlendEquations, record["blendEqRgb"].asString());
    p.blendEqAlpha = positionOf(BlendEquations, record["blendEqAlpha"].asString());
    return p;
}

/* Makes sure the project defaults hold, for parameter @p name of shading
   model @p shaderName, a value a material can fall back to: a number for
   one component, an array of as many numbers for more (opaque black for
   colours). Values of the right kind are kept, others replaced; textures and
   fonts get a null entry. */
void writeDefaultParameter(JsonDocument& defaults, std::string_view shaderName, std::string_view name, const ParameterType& type) {
    using DataType = MaterialDefinition::DataType;
    JsonAllocator& allocator = defaults.GetAllocator();
    JsonValue* materials = Json::findOrAddMember(defaults, "materials", allocator, rapidjson::kObjectType);
    JsonValue* model = materials ? Json::findOrAddMember(*materials, shaderName, allocator, rapidjson::kObjectType) : nullptr;
    JsonValue* found = model ? Json::findOrAddMember(*model, name, allocator) : nullptr;
    if(!found) return;
    JsonValue& value = *found;
    if(type.componentCount == 1) {
        if(type.dataType != DataType::Sampler && type.dataType != DataType::Font && !value.IsNumber()) value.SetInt(0);
    } else if(!value.IsArray() || value.Size() != type.componentCount) {
        value.SetArray();
        for(std::size_t i = 0; i != type.componentCount; ++i) value.PushBack(0, allocator);
        if(type.componentCount == 4 && type.metaType == MetaType::Color) value[3].SetInt(1);
    }
}

MeshTools::MeshDataFlags meshLayoutForAttributes(std::uint32_t attributes) {
    using MeshTools::MeshDataFlag;
    /* Every compiled mesh keeps its positions and normals */
    MeshTools::MeshDataFlags flags = MeshDataFlag::Position | MeshDataFlag::Normals;
    if(attributes & 0x2) flags |= MeshDataFlag::TextureCoordinates;
    if(attributes & 0x8) flags |= MeshDataFlag::Tangents;
    if(attributes & 0x80) flags |= MeshDataFlag::Colors;
    if(attributes & 0x100) flags |= MeshDataFlag::SecondaryTextureCoordinates;
    return flags;
}

/* Positions in the materials section of the materials of each pipeline key */
std::unordered_map<std::string, std::vector<std::size_t>> materialsByPipeline(ProjectFile& file) {
    ProjectSection& materials = file.materials();
    std::unordered_map<std::string, std::vector<std::size_t>> out;
    const JsonValue* section = materials.readValue();
    if(!section || !section->IsObject()) return out;
    std::size_t position = 0;
    for(const auto& m: section->GetObject()) {
        const RecordReader record{file, "materials", materials, &m.value};
        out[std::string{record["pipeline"].asString()}].push_back(position++);
    }
    return out;
}

/* Build: the attribute bits the preprocessed shader asks for */
std::uint32_t pipelineAttributes(const Preprocessor& preprocessor) {
    std::uint32_t attributes = 1;
    for(const auto& use: AttributeDefines) if(preprocessor.isDefined(use.first)) attributes |= use.second;
    return attributes;
}

/* Build: the material layout of pipeline @p name, declared by a shader that
   decodes material data; store: a default for each parameter, and for the
   alpha mask, under the shading model @p shaderName */
MaterialDefinition pipelineMaterialDefinition(JsonDocument& defaults, std::string_view name, std::string_view shaderName,
    const std::string& source, const Preprocessor& preprocessor)
{
    MaterialDefinition definition{std::string{name}, {}, {}};
    if(source.find("{{decoder}}") != std::string::npos)
        definition = parseMaterialDefinition(name, preprocessor.output());
    for(std::size_t i = 0; i != definition.parameterCount(); ++i)
        writeDefaultParameter(defaults, shaderName, definition.parameterNames[i], definition.parameterTypes[i]);
    writeDefaultParameter(defaults, shaderName, "alphaMaskTexture", {MaterialDefinition::DataType::Sampler, 1, MetaType::None});
    writeDefaultParameter(defaults, shaderName, "alphaMaskThreshold", {MaterialDefinition::DataType::Float, 1, MetaType::None});
    return definition;
}

/* The records of @p section at the positions flagged in @p flagged, in
   document order */
ValueAccessRange recordsAt(ProjectSection& section, const std::vector<bool>& flagged) {
    ValueAccessRange out;
    std::size_t position = 0;
    for(ValueAccess& m: section.range())
        if(position < flagged.size() && flagged[position++]) out.push_back(std::move(m));
    return out;
}

}

bool AssetCompiler::compilePipelines(const ValueAccessRange& range) {
    EditorData& d = data();
    EditorSceneData& scene = d.scene();
    ProjectFile& file = d.projectFile();
    ProjectSection& shaders = file.shaders();
    const ResourceManager<std::string>& sources = d.resources().shaderSources;

    const bool runtimeGltf = file["settings/runtime/enableRuntimeGltf"].asBool();
    const std::unordered_map<std::string, std::vector<std::size_t>> users = materialsByPipeline(file);
    std::vector<bool> recompileMaterial;

    SectionCursor cursor{file, file.pipelines().readValue()};
    for(const ValueAccess& r: range) {
        const std::string key = r.key();
        const JsonValue* json = cursor.find(key);
        if(!json) continue;
        const RecordReader record{file, "pipelines", r, json};
        const std::string_view shaderKey = record["shader"].asString();
        if(shaderKey.empty()) continue;
        const std::string_view name = record["name"].asString();

        const ValueAccess shader = shaders[shaderKey];
        const FileLink link = shader.fileLink();
        const Resource<std::string> source = sources.resolveLink(link);
        if(!source) {
            Warning{} << "AssetCompiler::compilePipelines(): Missing shader" << link.name << "from file" << link.file << "for pipeline" << name;
            continue;
        }

        const auto usedBy = users.find(key);
        const bool needed = name == AlwaysNeededPipeline || usedBy != users.end() ||
            (runtimeGltf && std::find(RuntimeGltfPipelines.begin(), RuntimeGltfPipelines.end(), name) != RuntimeGltfPipelines.end());
        if(!needed) continue;

        const Data::Id viewVertexShader = ResourceIndex::lookup(resourceIndex.shaders, record["viewVertexShader"].asString());
        const Data::Pipeline description = pipelineDescription(record, ResourceIndex::lookup(resourceIndex.shaders, shaderKey));

        const std::vector<std::string> features = enabledPipelineFeatures(record, shader);
        const bool alphaMasked = std::find(features.begin(), features.end(), "ALPHA_MASKED") != features.end();

        const Preprocessor preprocessor = preprocessForPipeline(source.get(), 1, 1, 1, features, 0);
        if(!preprocessor.isOk()) {
            Error{} << "AssetCompiler::compilePipelines(): Syntax error in shader" << link.name;
            continue;
        }

        Data::Id& slot = resourceIndex.pipelines[key];
        const Data::Id index = slotFor(slot, scene.pipelines.size(), {"compilePipelines", "pipeline", key});
        if(!index) continue;

        auto definition = std::make_shared<const MaterialDefinition>(pipelineMaterialDefinition(file.defaults(), name,
            shader["name"].asString(), source.get(), preprocessor));
        storeInSlot(slot, {}, std::tie(scene.pipelines, scene.pipelineAttributes, pipelineMaterialDefinitions),
            Data::createPipelineData(name, description, index, alphaMasked, features, viewVertexShader),
            pipelineAttributes(preprocessor), std::move(definition));

        if(usedBy != users.end()) for(std::size_t position: usedBy->second) {
            if(recompileMaterial.size() <= position) recompileMaterial.resize(position + 1, false);
            recompileMaterial[position] = true;
        }
    }

    scene.setAssetTypeDirty(AssetType::Pipelines);

    /* The materials of the pipelines compiled now, in document order */
    if(!recompileMaterial.empty()) compileMaterials(recordsAt(file.materials(), recompileMaterial));

    /* Meshes carry only the attributes some pipeline needs: when that set
       changes, the meshes compiled so far are compiled again. Meshes not
       compiled yet get the new set when their turn comes. */
    std::uint32_t attributeUnion = 0;
    for(std::uint32_t attributes: scene.pipelineAttributes) attributeUnion |= attributes;
    if(attributeUnion != scene.pipelineAttributeUnion) {
        scene.pipelineAttributeUnion = attributeUnion;
        scene.meshLayout = meshLayoutForAttributes(attributeUnion);
        ValueAccessRange compiled;
        for(ValueAccess& m: file.meshes().range())
            if(meshId(m.key())) compiled.push_back(std::move(m));
        if(!compiled.empty()) compileMeshes(compiled);
    }

    updatePipelineKinds();
    return true;
}

void AssetCompiler::updatePipelineKinds() {
    EditorData& d = data();
    EditorSceneData& scene = d.scene();
    ProjectFile& file = d.projectFile();
    ProjectSection& pipelines = file.pipelines();
    ProjectSection& shaders = file.shaders();

    const bool skyEnabled = file["settings/rendering/sky/enabled"].asBool();
    const std::string_view skyMaterial = file["settings/rendering/sky/material"].asString();
    const std::string skyPipeline = skyMaterial.empty() ? std::string{} :
        std::string{file.materials()[skyMaterial]["pipeline"].asString()};

    scene.pipelineKinds.resize(1);
    resourceIndex.pipelineUpdates.clear();

    const JsonValue* section = pipelines.readValue();
    if(section && section->IsObject()) for(const auto& m: section->GetObject()) {
        const std::string_view key{m.name.GetString(), m.name.GetStringLength()};
        const Data::Id index = pipelineId(key);
        const RecordReader record{file, "pipelines", pipelines, &m.value};
        const std::string_view shaderKey = record["shader"].asString();
        if(!index || shaderKey.empty()) continue;

        const std::string_view shaderName = shaders[shaderKey]["name"].asString();
        Data::PipelineKind entry{0, index, index};
        if(shaderName == "Text") entry.kind = 2;
        else if(shaderName != "Sky" && shaderName != "Background") entry.kind = 1;
        else if(skyEnabled && !skyPipeline.empty() && skyPipeline == key) {
            entry.kind = 3;
            entry.value = materialId(skyMaterial);
        } else entry.value = 0;

        Data::Id& slot = resourceIndex.pipelineUpdates[std::string{key}];
        if(!slot) {
            slot = Data::Id(scene.pipelineKinds.size());
            scene.pipelineKinds.push_back(entry);
        } else scene.pipelineKinds[slot] = entry;
    }

    scene.setAssetTypeDirty(AssetType::PipelineUpdates);
}

}
