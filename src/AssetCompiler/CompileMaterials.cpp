#include "AssetCompiler/AssetCompiler.h"

#include <algorithm>
#include <array>

#include "AssetCompiler/CompileHelpers.h"
#include "Base/Log.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/RuntimeData.h"
#include "Shaders/Material.h"

namespace ZandelleEngine {

using namespace CompileHelpers;

namespace {

/* Up to four components of a JSON array, zeros where it has fewer */
template<class T, class Read> std::array<T, 4> components(const JsonValue* value, Read read) {
    std::array<T, 4> out{};
    const auto values = read(value);
    std::copy_n(values.begin(), std::min(values.size(), out.size()), out.begin());
    return out;
}

/* Build: numeric parameter @p index from @p value when it has the kind the
   parameter wants (a whole number for integers, an array for vectors);
   anything else keeps the default */
void setNumericParameter(Material& material, int index, const ParameterType& type, const JsonObject& value) {
    using DataType = MaterialDefinition::DataType;
    const JsonValue* v = value.readValue();
    const bool single = type.componentCount == 1;
    const bool vector = type.componentCount >= 2 && type.componentCount <= 4 && value.isArray();
    if(type.dataType == DataType::Int) {
        if(single && v && v->IsNumber() && !v->IsDouble()) {
            const std::int32_t one = value.asInt();
            material.setParamValue(index, &one);
        } else if(vector)
            material.setParamValue(index, components<std::int32_t>(v, Json::asIntArray).data());
    } else if(type.dataType == DataType::UnsignedInt) {
        if(single && v && v->IsNumber() && !v->IsDouble()) {
            const std::uint32_t one = value.asUnsignedInt();
            material.setParamValue(index, &one);
        } else if(vector)
            material.setParamValue(index, components<std::uint32_t>(v, Json::asUnsignedIntArray).data());
    } else if(type.dataType == DataType::Float) {
        if(single && value.isNumber()) {
            const float one = value.asFloat();
            material.setParamValue(index, &one);
        } else if(vector)
            material.setParamValue(index, components<float>(v, Json::asFloatArray).data());
    }
}

/* Read and build: the parameters and the alpha mask of a material drawn by
   the shading model of @p prefix ("Phong/") */
void readParameters(Material& material, Data::AlphaMask& alphaMask, const MaterialDefinition& definition,
    const RecordView& record, const std::string& prefix, ResourceIndex& ids)
{
    using DataType = MaterialDefinition::DataType;
    const std::string_view alphaMaskTexture = record[prefix + "alphaMaskTexture"].asString();
    alphaMask.texture = alphaMaskTexture.empty() ? 0 : ids.textures[std::string{alphaMaskTexture}];
    alphaMask.threshold = record[prefix + "alphaMaskThreshold"].asFloat();

    bool samplerStored = false;
    for(std::size_t i = 0; i != definition.parameterCount(); ++i) {
        const ParameterType& type = definition.parameterTypes[i];
        const JsonObject value = record[prefix + definition.parameterNames[i]];
        const int index = int(i);
        if(type.dataType == DataType::Int || type.dataType == DataType::UnsignedInt || type.dataType == DataType::Float) {
            setNumericParameter(material, index, type, value);
            continue;
        }
        if(type.componentCount != 1 || !(value.isString() || value.isNull())) continue;
        /* Textures and fonts not compiled yet are 0 until their step
           compiles them and this material again */
        const std::string_view name = value.asString();
        std::array<std::uint32_t, 4> id{};
        if(type.dataType == DataType::Sampler) {
            id[0] = name.empty() ? 0 : ids.textures[std::string{name}];
            if(!samplerStored && !alphaMask.texture) alphaMask.texture = id[0];
            samplerStored = true;
        } else if(type.dataType == DataType::Font) id[0] = ResourceIndex::lookup(ids.fonts, name);
        else continue;
        material.setParamValue(index, id.data());
    }
}

}

bool AssetCompiler::compileMaterials(const ValueAccessRange& range) {
    EditorData& d = data();
    EditorSceneData& scene = d.scene();
    ProjectFile& file = d.projectFile();

    SectionCursor cursor{file, file.materials().readValue()};
    for(const ValueAccess& r: range) {
        const std::string key = r.key();
        const JsonValue* json = cursor.find(key);
        if(!json) continue;
        /* The map keeps its nodes in place, so the reference survives the
           pipeline compilation below */
        Data::Id& slot = resourceIndex.materials[key];
        const RecordReader record{file, "materials", r, json};

        /* Check: a pipeline, compiled */
        const JsonObject pipelineValue = record["pipeline"];
        if(!pipelineValue.isString()) {
            Warning{} << "AssetCompiler::compileMaterials(): While compiling material " + std::string{record["name"].asString()} + ": No pipeline set";
            continue;
        }
        const std::string_view pipelineKey = pipelineValue.asString();
        const Data::Id pipeline = pipelineId(pipelineKey);
        if(!pipeline) {
            /* Compiling the pipeline compiles the materials that use it, this
               one among them */
            compile("pipelines", {std::string{pipelineKey}});
            continue;
        }

        /* Build: values of an earlier compilation are dropped */
        const std::shared_ptr<const MaterialDefinition> definition = pipelineMaterialDefinitions[pipeline];
        Material material{*definition};
        Data::AlphaMask alphaMask;
        const std::string_view shaderKey = file.pipelines()[pipelineKey]["shader"].asString();
        if(!shaderKey.empty())
            readParameters(material, alphaMask, *definition, record, std::string{file.shaders()[shaderKey]["name"].asString()} + "/", resourceIndex);

        storeInSlot(slot, {"compileMaterials", "material", key}, std::tie(scene.materials, scene.materialAlphaMasks),
            Data::createMaterialData(pipeline, material.data()), alphaMask);
    }

    scene.setAssetTypeDirty(AssetType::Materials);
    return true;
}

}
