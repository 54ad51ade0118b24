#include "AssetCompiler/CheckShaders.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "AssetCompiler/AssetCompiler.h"
#include "AssetCompiler/CompileHelpers.h"
#include "Base/Format.h"
#include "Base/Log.h"
#include "Base/String.h"
#include "Editor/ZandelleEditor.h"
#include "Shaders/GlslCheck.h"
#include "Shaders/ShaderDefines.h"

namespace ZandelleEngine {

using namespace CompileHelpers;

namespace {

/* The includes @p source names, from the shader source manager; those it
   does not hold are left out, and the check reports them */
IncludeMap includesOf(std::string_view source, const ResourceManager<std::string>& sources) {
    IncludeMap includes;
    const Result<std::vector<std::string>> paths = listIncludes(source);
    if(paths) {
        includes.setCapacity(paths->size());
        std::vector<std::string> added;
        for(const std::string& path: *paths) {
            const Resource<std::string> text = sources.resolveLink(FileLink{"default", path});
            if(!text || std::find(added.begin(), added.end(), path) != added.end()) continue;
            includes.put(path, text.get());
            added.push_back(path);
        }
    }
    includes.compile();
    return includes;
}

/* The vertex shader the engine draws meshes with when a pipeline names none */
const FileLink MeshVertexShader{"default", "Dynamic.vert"};

}

std::size_t checkPipelineShaders(ZandelleEditor& editor) {
    ZE_ASSERT(editor.assetCompiler != nullptr);
    const AssetCompiler& compiler = *editor.assetCompiler;
    EditorData& d = editor.data();
    const EditorSceneData& scene = d.scene();
    ProjectFile& file = d.projectFile();
    ProjectSection& shaders = file.shaders();
    const ResourceManager<std::string>& sources = d.resources().shaderSources;

    /* Pipelines that share a shader, its features and attributes share one
       check; each distinct error is printed once, naming all the pipelines
       it was found in, in the order it was first found */
    std::map<std::tuple<ShaderStage, std::string, std::string>, std::vector<GlslError>> checked;
    std::vector<std::pair<GlslError, std::vector<std::string>>> errors;
    std::size_t pipelineCount = 0;

    auto check = [&](ShaderStage stage, const FileLink& link, const std::string& defines, const std::string& pipeline) {
        const Resource<std::string> source = sources.resolveLink(link);
        if(!source || stage == ShaderStage::Include) return;
        auto found = checked.find({stage, link.name, defines});
        if(found == checked.end()) {
            const IncludeMap includes = includesOf(source.get(), sources);
            found = checked.emplace(std::tuple{stage, link.name, defines},
                checkGlsl(stage, link.name, source.get(), includes, defines).errors).first;
        }
        for(const GlslError& error: found->second) {
            auto entry = std::find_if(errors.begin(), errors.end(), [&](const auto& e) { return e.first == error; });
            if(entry == errors.end()) entry = errors.insert(errors.end(), {error, {}});
            if(std::find(entry->second.begin(), entry->second.end(), pipeline) == entry->second.end())
                entry->second.push_back(pipeline);
        }
    };

    for(const ValueAccess& r: file.pipelines().range()) {
        const Data::Id index = compiler.pipelineId(r.key());
        if(!index) continue;
        ++pipelineCount;
        const RecordReader record{file, "pipelines", r, nullptr};
        const std::string name{record["name"].asString()};
        const ValueAccess shader = shaders[record["shader"].asString()];
        const std::string defines = pipelineDefines(0, 1, 1, 1) + featureDefines(enabledPipelineFeatures(record, shader));

        const std::string_view stageName = shader["stage"].asString();
        const std::size_t stage = std::size_t(std::find(ShaderStageNames.begin(), ShaderStageNames.end(), stageName) - ShaderStageNames.begin());
        if(stage < ShaderStageNames.size()) check(ShaderStage(stage), shader.fileLink(), defines, name);

        /* The engine tells the vertex shader which attributes the pipeline
           reads with the same USE_ defines the fragment shader declares */
        std::string vertexDefines = defines;
        const std::uint32_t attributes = index < scene.pipelineAttributes.size() ? scene.pipelineAttributes[index] : 1;
        for(const auto& use: AttributeDefines)
            if(attributes & use.second) vertexDefines += format("#define {}\n", use.first);
        const std::string_view vertexKey = record["viewVertexShader"].asString();
        check(ShaderStage::Vertex, vertexKey.empty() ? MeshVertexShader : shaders[vertexKey].fileLink(), vertexDefines, name);
    }

    for(const auto& [error, pipelines]: errors) {
        std::vector<std::string> quoted;
        for(const std::string& pipeline: pipelines) quoted.push_back("\"" + pipeline + "\"");
        const std::string location = error.line ? format("{}:{}:", error.file, error.line) : error.file + ":";
        Error{} << location << error.message << (pipelines.size() == 1 ? "(pipeline" : "(pipelines")
            << String::join(quoted, ", ") + ")";
    }
    Debug{} << "Checked the shaders of" << pipelineCount << (pipelineCount == 1 ? "pipeline:" : "pipelines:")
        << errors.size() << (errors.size() == 1 ? "GLSL error" : "GLSL errors");
    return errors.size();
}

}
