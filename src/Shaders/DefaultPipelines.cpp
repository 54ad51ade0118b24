#include "Shaders/DefaultPipelines.h"

#include <algorithm>

#include <rapidjson/pointer.h>

#include "Editor/ProjectFile.h"

namespace ZandelleEngine {

namespace {

bool hasFeature(const std::vector<std::string>& features, std::string_view name) {
    return std::find(features.begin(), features.end(), name) != features.end();
}

/* The pipeline's original record, reused across loads */
OriginalAccess defaultRecord(ProjectFile& file, std::string_view name) {
    OriginalAccess record = file.pipelines().getOrAddOriginal(FileLink{"default", std::string{name}});
    record["name"].setString(name);
    return record;
}

/* A resource only where the project has no pipeline of that name: a user's
   own pipeline of the same name wins */
void addResourceUnlessNamed(ProjectFile& file, std::string_view name) {
    if(file.pipelines().resourceByName(name).empty())
        file.pipelines().addResource(FileLink{"default", std::string{name}});
}

/* Every feature of the shader listed and switched off. Other keys stay as
   they are: a user or a plug-in may have set them. */
void resetFeatures(OriginalAccess& record, const std::vector<std::string>& features) {
    if(JsonValue& object = record["features"].writeValue(); !object.IsObject()) object.SetObject();
    for(const std::string& feature: features) record["features"][feature].setBool(false);
}

void setAlphaBlending(OriginalAccess& record) {
    record["blending"].setBool(true);
    record["blendSrcRgb"].setString("source alpha");
    record["blendSrcAlpha"].setString("one");
    record["blendDestRgb"].setString("one minus source alpha");
    record["blendDestAlpha"].setString("zero");
}

void setShadows(OriginalAccess& record) {
    record["castShadows"].setBool(true);
    record["features/SHADOW_NORMAL_OFFSET_SLOPE_SCALE"].setBool(true);
    record["features/SHADOW_NORMAL_OFFSET_UV_ONLY"].setBool(true);
}

/* A deep copy of the "Phong Opaque Textured" record under another name;
   an empty record when there is nothing to copy */
OriginalAccess copyOfPhongTextured(ProjectFile& file, std::string_view name) {
    ProjectSection& pipelines = file.pipelines();
    OriginalAccess copy = pipelines.addOriginal(FileLink{"default", std::string{name}});
    /* Looked up after adding: originals are kept in nodes that stay put */
    const OriginalAccess source = pipelines.getOriginal(FileLink{"default", "Phong Opaque Textured"});
    if(source.exists())
        if(const JsonValue* value = source.readValue(); value && value->IsObject())
            copy.writeValue().CopyFrom(*value, copy.allocator());
    copy["name"].setString(name);
    return copy;
}

}

void addShaderDefaultPipelines(ProjectFile& file, std::string_view baseName, std::string_view shaderKey,
    const std::vector<std::string>& features)
{
    if(baseName == "Particle" || baseName == "Sky" || baseName == "Background") return;

    const bool phong = baseName == "Phong";
    const bool litModel = phong || baseName == "Physical";

    const std::string name = std::string{baseName} + (hasFeature(features, "ALPHA_MASKED") ? " Opaque" : "");
    OriginalAccess record = defaultRecord(file, name);
    record["shader"].setString(shaderKey);
    if(baseName == "DistanceFieldVector" || baseName == "MeshVisualizer") {
        setAlphaBlending(record);
        record["sampleAlphaToCoverage"].setBool(true);
        if(baseName == "DistanceFieldVector") record["depthFunction"].setString("less or equal");
        else record["depthTest"].setBool(false);
    }
    resetFeatures(record, features);
    if(phong) record["features/WITH_FOG"].setBool(true);
    if(litModel) setShadows(record);
    addResourceUnlessNamed(file, name);

    if(!hasFeature(features, "TEXTURED")) return;

    const std::string texturedName = name + " Textured";
    OriginalAccess textured = defaultRecord(file, texturedName);
    textured["shader"].setString(shaderKey);
    resetFeatures(textured, features);
    textured["features/TEXTURED"].setBool(true);
    if(litModel) setShadows(textured);
    if(phong) {
        textured["features/WITH_FOG"].setBool(true);
        textured["features/WITH_EMISSIVE"].setBool(true);
    }
    addResourceUnlessNamed(file, texturedName);
}

void addFixedDefaultPipelines(ProjectFile& file) {
    ProjectSection& shaders = file.shaders();

    for(const char* name: {"Phong Normalmapped", "Phong Lightmapped"}) {
        OriginalAccess record = copyOfPhongTextured(file, name);
        record[name == std::string_view{"Phong Normalmapped"} ? "features/NORMAL_MAPPING" : "features/LIGHTMAP"].setBool(true);
        addResourceUnlessNamed(file, name);
    }

    {
        OriginalAccess foliage = defaultRecord(file, "Foliage");
        foliage["shader"].setString(shaders.resourceByName("Phong"));
        foliage["features/WITH_FOG"].setBool(true);
        foliage["features/TEXTURED"].setBool(true);
        foliage["features/WITH_EMISSIVE"].setBool(true);
        foliage["sampleAlphaToCoverage"].setBool(true);
        foliage["doubleSided"].setBool(true);
        addResourceUnlessNamed(file, "Foliage");
    } {
        OriginalAccess particle = defaultRecord(file, "Particle");
        particle["shader"].setString(shaders.resourceByName("Particle"));
        particle["features/TEXTURED"].setBool(true);
        setAlphaBlending(particle);
        particle["doubleSided"].setBool(true);
        particle["depthWrite"].setBool(false);
        addResourceUnlessNamed(file, "Particle");
    } {
        OriginalAccess sky = defaultRecord(file, "Sky");
        sky["shader"].setString(shaders.firstResourceWithLink(FileLink{"default", "Sky.frag"}));
        sky["viewVertexShader"].setString(shaders.firstResourceWithLink(FileLink{"default", "FullScreenTriangle.vert"}));
        sky["features/TEXTURED"].setBool(true);
        sky["depthTest"].setBool(true);
        sky["depthFunction"].setString("less or equal");
        addResourceUnlessNamed(file, "Sky");
    } {
        OriginalAccess text = defaultRecord(file, "Text");
        text["shader"].setString(shaders.firstResourceWithLink(FileLink{"default", "Text.frag"}));
        text["viewVertexShader"].setString(shaders.firstResourceWithLink(FileLink{"default", "Text.vert"}));
        text["sampleAlphaToCoverage"].setBool(true);
        addResourceUnlessNamed(file, "Text");
    }
}

void setDefaultMaterialPipeline(ProjectFile& file) {
    const std::string key = file.pipelines().resourceByName("Phong Opaque");
    JsonDocument& defaults = file.defaults();
    JsonValue value{key.data(), rapidjson::SizeType(key.size()), defaults.GetAllocator()};
    rapidjson::Pointer{"/materials/pipeline"}.Set(defaults, value);
}

}
