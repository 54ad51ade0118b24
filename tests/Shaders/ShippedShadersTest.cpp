#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Base/Resource.h"
#include "Base/String.h"
#include "Shaders/MaterialDefinition.h"
#include "Shaders/Preprocessor.h"
#include "Shaders/ShaderDefines.h"
#include "Support/LogCapture.h"

using namespace ZandelleEngine;

namespace {

struct Shader {
    std::string origin; /* "editor" or the group name */
    std::string path;
    std::string source;
};

bool isShaderPath(const std::string& path) {
    return String::endsWith(path, ".vert") || String::endsWith(path, ".frag") || String::endsWith(path, ".glsl");
}

const std::vector<Shader>& shippedShaders() {
    static const std::vector<Shader> shaders = [] {
        std::vector<Shader> out;
        const std::filesystem::path root{ZANDELLE_RESOURCES_DIR "/shaders"};
        for(const auto& entry: std::filesystem::recursive_directory_iterator(root)) {
            const std::string path = std::filesystem::relative(entry.path(), root).generic_string();
            if(!entry.is_regular_file() || !isShaderPath(path)) continue;
            std::ifstream file{entry.path(), std::ios::binary};
            std::ostringstream text;
            text << file.rdbuf();
            out.push_back({"editor", path, text.str()});
        }
        for(const char* group: {"ZandelleEngineInternalShaders", "ZandelleEditorShaders"})
            for(const std::string& path: Resource{group}.list())
                out.push_back({group, path, Resource{group}.getString(path).value_or("")});
        return out;
    }();
    return shaders;
}

std::string baseName(const std::string& path) {
    const std::string file = path.substr(path.rfind('/') + 1);
    return file.substr(0, file.find('.'));
}

}

TEST(ShippedShaders, CompiledInGroupsHoldExactlyTheirFiles) {
    EXPECT_EQ(Resource{"ZandelleEngineInternalShaders"}.list(), (std::vector<std::string>{
        "Bloom.frag", "ComponentId.frag", "CopyAtlasTile.frag", "CopyDepth.frag", "Dynamic.vert",
        "FullScreenTriangle.vert", "IrradianceIBLBaker.frag", "Overdraw.frag", "SpecularIBLBaker.frag",
        "VisualizeTileFeedback.frag", "VisualizeVirtualAtlas.frag"}));
    EXPECT_EQ(Resource{"ZandelleEditorShaders"}.list(), (std::vector<std::string>{
        "Depth.frag", "OutlineDraw.frag", "OutlineInit.frag", "OutlineStep.frag", "Skinning.vert",
        "TileFeedback.frag", "lib/Slug.frag", "lib/Slug.vert"}));
}

TEST(ShippedShaders, CompiledInMarkers) {
    const std::vector<std::string> recorded{"Depth.frag", "TileFeedback.frag", "Skinning.vert",
        "Dynamic.vert", "FullScreenTriangle.vert", "lib/Slug.frag", "lib/Slug.vert"};
    for(const Shader& shader: shippedShaders()) {
        if(shader.origin == "editor") continue;
        Preprocessor p;
        p.process(shader.source);
        SCOPED_TRACE(shader.path);
        const bool isRecorded = std::find(recorded.begin(), recorded.end(), shader.path) != recorded.end();
        EXPECT_EQ(p.isDefined("SHADER_INTERNAL"), !isRecorded);
        EXPECT_EQ(p.isDefined("SHADER_TYPE_SCREENSPACE_QUAD"), !isRecorded);
    }
    const std::pair<const char*, const char*> typed[]{
        {"Depth.frag", "SHADER_TYPE_DEPTH"}, {"TileFeedback.frag", "SHADER_TYPE_TILE_FEEDBACK"},
        {"Skinning.vert", "SHADER_TYPE_SKINNING"}};
    for(const auto& [path, marker]: typed) {
        const std::string source = Resource{"ZandelleEditorShaders"}.getString(path).value_or("");
        Preprocessor p;
        p.process(source);
        EXPECT_TRUE(p.isDefined(marker)) << path;
        /* Written, but only inside a comment */
        EXPECT_NE(source.find("SHADER_INTERNAL"), std::string::npos) << path;
    }
}

TEST(ShippedShaders, BothPassesAndIncludes) {
    ASSERT_GE(shippedShaders().size(), 19u + 14u);
    IncludeMap includes{64};
    for(const Shader& shader: shippedShaders())
        if(String::beginsWith(shader.path, "lib/")) includes.put(shader.path, shader.source);
    includes.compile();

    for(const Shader& shader: shippedShaders()) {
        SCOPED_TRACE(shader.origin + " " + shader.path);
        Testing::LogCapture log;
        Preprocessor first;
        first.process(shader.source);
        EXPECT_TRUE(first.isOk());
        const std::vector<std::string> features = shaderFeatures(first);

        Preprocessor second;
        second.processOwned(featureDefines(features));
        second.process(shader.source);
        EXPECT_TRUE(second.isOk());

        /* As pipelines see it, with every feature and with none */
        for(const std::vector<std::string>& enabled: {features, std::vector<std::string>{}}) {
            const Preprocessor p = preprocessForPipeline(shader.source, 1, 1, 1, enabled, 0);
            EXPECT_TRUE(p.isOk());
            if(shader.source.find("{{decoder}}") != std::string::npos) {
                EXPECT_GT(parseMaterialDefinition(shader.path, p.output()).parameterCount(), 0u);
            }
        }

        const Result<std::vector<std::string>> paths = listIncludes(shader.source);
        ASSERT_TRUE(paths) << paths.error();
        for(const std::string& path: *paths) EXPECT_TRUE(includes.find(path)) << path;
        const std::string resolved = resolveIncludes(shader.source, includes);
        EXPECT_EQ(resolved.find("#include"), std::string::npos);
        EXPECT_EQ(log.all(), "");
    }
}

TEST(ShippedShaders, ShadingModelsValidateWithTheirFeatures) {
    const std::pair<const char*, std::vector<std::string>> models[]{
        {"Flat.frag", {"ALPHA_MASKED", "TEXTURED", "VERTEX_COLORS"}},
        {"Phong.frag", {"ALPHA_MASKED", "LIGHTMAP", "NORMAL_MAPPING", "SHADOW_NORMAL_OFFSET_SLOPE_SCALE",
            "SHADOW_NORMAL_OFFSET_UV_ONLY", "TEXTURED", "VERTEX_COLORS", "WITH_EMISSIVE", "WITH_FOG"}},
        {"Physical.frag", {"ALPHA_MASKED", "NORMAL_MAPPING", "SHADOW_NORMAL_OFFSET_SLOPE_SCALE",
            "SHADOW_NORMAL_OFFSET_UV_ONLY", "TEXTURED", "WITH_EMISSIVE", "WITH_FOG"}},
    };
    for(const auto& entry: models) {
        const auto& path = entry.first;
        const auto& expectedFeatures = entry.second;
        const auto found = std::find_if(shippedShaders().begin(), shippedShaders().end(),
            [&](const Shader& s) { return s.origin == "editor" && s.path == path; });
        ASSERT_NE(found, shippedShaders().end()) << path;
        Testing::LogCapture log;
        Preprocessor first;
        first.process(found->source);
        const std::vector<std::string> features = shaderFeatures(first);
        EXPECT_EQ(features, expectedFeatures) << path;
        Preprocessor second;
        second.processOwned(featureDefines(features));
        second.process(found->source);
        const ShadingModelParameters* model = builtinShadingModelParameters(baseName(path));
        ASSERT_TRUE(model);
        EXPECT_EQ(validateMaterialParameters(second.output(), model->names, model->types), std::vector<std::string>{}) << path;
        EXPECT_EQ(log.all(), "");
    }

    /* Vertex attributes follow the features */
    const auto phong = std::find_if(shippedShaders().begin(), shippedShaders().end(),
        [](const Shader& s) { return s.path == "Phong.frag"; });
    const Preprocessor plain = preprocessForPipeline(phong->source, 1, 1, 1, {}, 0);
    EXPECT_TRUE(plain.isDefined("USE_NORMAL"));
    EXPECT_FALSE(plain.isDefined("USE_TEXTURE_COORDS"));
    const Preprocessor mapped = preprocessForPipeline(phong->source, 1, 1, 1, {"TEXTURED", "NORMAL_MAPPING"}, 0);
    EXPECT_TRUE(mapped.isDefined("USE_TEXTURE_COORDS"));
    EXPECT_TRUE(mapped.isDefined("USE_TANGENT"));
}
