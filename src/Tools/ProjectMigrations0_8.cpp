// Migrations of editor versions 0.8.x: default font records, shaders replaced
// by pipelines, component arrays, names of unnamed nodes, blend equations.

#include <algorithm>
#include <array>
#include <charconv>
#include <string>
#include <unordered_map>

#include "Base/Log.h"
#include "Editor/ProjectFile.h"
#include "Tools/Migrations.h"
#include "Tools/ProjectMigrationsHelpers.h"

namespace ZandelleEngine { namespace Migration {

using namespace Implementation;

void migration_0_8_2_updateFontTextures(ProjectFile& file) {
    const FileLink fontImage{"default", "DefaultFontImage"};
    OriginalAccess original = file.images().addOriginal(fontImage);
    original["name"].setString("DefaultFontImage");
    original["compress"].setBool(false);

    if(file.images().resourceByName("DefaultFontImage").empty())
        file.images().addResource(fontImage, "f0");
    if(file.textures().resourceByName("DefaultFont").empty())
        file.textures().addResource(FileLink{"default", "DefaultFont"}, "t0");
}

void migration_0_8_5_updateScriptingSourcePaths(ProjectFile& file) {
    const ValueAccess sourcePaths = file["/settings/scripting/sourcePaths"];
    if(!sourcePaths.isSetInProject()) return;
    for(ValueAccess path: sourcePaths.range())
        if(path.isString() && path.asString() == "/js/components/")
            path.setString("/js/editor-components-bundle.js");
}

void migration_0_8_5_removeShaders(ProjectFile& file) {
    for(const std::string& key: file.shaders().keys())
        memberOf(file.shaders(), key).remove();
}

bool migration_0_8_5_updateShadersToPipelines(ProjectFile& file) {
    struct Mapping {
        const char* shader;
        const char* pipeline;
        const char* id;
    };
    constexpr std::array<Mapping, 7> Mappings{{
        {"Phong", "Phong Opaque", "pipelineIdPhongOpaque"},
        {"Phong Textured", "Phong Opaque Textured", "pipelineIdPhongOpaqueTextured"},
        {"Flat", "Flat Opaque", "pipelineIdFlatOpaque"},
        {"Flat Textured", "Flat Opaque Textured", "pipelineIdFlatOpaqueTextured"},
        {"DistanceFieldVector Textured", "DistanceFieldVector", "pipelineIdDistanceFieldVector"},
        {"MeshVisualizer", "MeshVisualizer", "pipelineIdMeshVisualizer"},
        {"Particle Textured", "Particle", "pipelineIdParticle"},
    }};

    /* The default pipelines come from shader loading, which runs before
       this; without one of them the materials cannot be mapped */
    std::unordered_map<std::string_view, std::string> pipelineOfShader;
    for(const Mapping& m: Mappings) {
        std::string key = file.pipelines().resourceByName(m.pipeline);
        if(key.empty()) {
            Error{} << "Tools/ProjectMigrations: migration_0_8_5_updateShadersToPipelines(): missing default pipeline"
                << m.id << Debug::nospace << ", no pipeline named" << m.pipeline;
            return false;
        }
        pipelineOfShader.emplace(m.shader, std::move(key));
    }

    for(ValueAccess material: recordsOf(file.materials())) {
        ValueAccess shader = material["shader"];
        std::string shaderName = "Phong";
        if(shader.isSetInProject()) {
            shaderName = std::string{shader.asString()};
            auto found = pipelineOfShader.find(shaderName);
            material["pipeline"].setString(found == pipelineOfShader.end() ? std::string{} : found->second);
            shader.remove();
        }
        /* Phong diffuse colours used to ignore their alpha; make it opaque */
        if(shaderName == "Phong") {
            ValueAccess diffuse = material["Phong/diffuseColor"];
            if(diffuse.isSetInProject() && diffuse.isArray() && diffuse["3"].isSetInProject())
                diffuse[3].setFloat(1.0f);
        }
    }
    return true;
}

void migration_0_8_5_fixComponentArrays(ProjectFile& file) {
    for(ValueAccess object: recordsOf(file.objects())) {
        ValueAccess components = object["components"];
        /* Only objects keyed by index were written by mistake; any other
           kind is left for the compile step to reject */
        if(!components.isSetInProject() || !components.isObject()) continue;

        JsonValue& old = components.writeValue();
        JsonAllocator& allocator = file.allocator();
        JsonValue array{rapidjson::kArrayType};
        /* Missing indices become null elements: {"0", "2"} gives three
           elements. Indices beyond what a component id can address are not
           indices but garbage; they do not size the array. */
        std::size_t count = old.MemberCount();
        for(const auto& m: old.GetObject()) {
            const std::string_view key{m.name.GetString(), m.name.GetStringLength()};
            std::size_t index = 0;
            const auto result = std::from_chars(key.data(), key.data() + key.size(), index);
            if(result.ec == std::errc{} && result.ptr == key.data() + key.size() && index < 0xffff)
                count = std::max(count, index + 1);
        }
        for(std::size_t i = 0; i != count; ++i) {
            const std::string key = std::to_string(i);
            auto found = old.FindMember(key.c_str());
            if(found == old.MemberEnd()) array.PushBack(JsonValue{}, allocator);
            else array.PushBack(JsonValue{found->value, allocator}, allocator);
        }
        /* Swapped in place, so the record keeps its member order */
        old.Swap(array);
    }
}

void migration_0_8_6_updateLinksObjectsEmptyNames(ProjectFile& file) {
    std::unordered_map<std::string, std::string> renamed;
    std::unordered_map<std::string, int> counters;

    for(ValueAccess object: recordsOf(file.objects())) {
        ValueAccess link = object["link"];
        if(!link.isSetInProject() || !link.isObject()) continue;
        ValueAccess nameValue = link["name"];
        const std::string name{nameValue.asString()};
        const std::size_t split = name.find('<');
        if(split == std::string::npos) continue;

        std::string own = name.substr(0, split);
        std::string parent = name.substr(split + 1);
        /* An unnamed ancestor was renamed earlier in this run */
        if(parent.starts_with('<') || parent.find("<<") != std::string::npos) {
            auto found = renamed.find(parent);
            if(found != renamed.end()) parent = found->second;
        }
        if(own.empty()) own = "object_" + std::to_string(counters[parent]++);

        std::string newName = own + "<" + parent;
        renamed[name] = newName;
        counters[newName] = 0;
        if(newName != name) nameValue.setString(newName);
    }
}

void migration_0_8_9_updatePipelineBlendEquations(ProjectFile& file) {
    constexpr std::array<std::string_view, 5> Supported{"add", "subtract", "reverse subtract", "min", "max"};
    for(const ValueAccess& pipeline: recordsOf(file.pipelines())) {
        for(const char* key: {"blendEqRgb", "blendEqAlpha"}) {
            ValueAccess equation = pipeline[key];
            if(!equation.hasValue()) continue;
            const bool supported = equation.isString() &&
                std::find(Supported.begin(), Supported.end(), equation.asString()) != Supported.end();
            if(!supported) equation.remove();
        }
    }
}

void migration_0_8_10_removeObsoleteMeshDataSettings(ProjectFile& file) {
    file["/settings/rendering/meshData"].remove();
}

}}
