#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Base/Path.h"
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

const std::vector<Shader>& shippedShaders() {
    static const std::vector<Shader> shaders = [] {
        std::vector<Shader> out;
        const std::filesystem::path root{ZANDELLE_RESOURCES_DIR "/shaders"};
        for(const auto& entry: std::filesystem::recursive_directory_iterator(root)) {
            const std::string path = std::filesystem::relative(entry.path(), root).generic_string();
            if(entry.is_regular_file() && (String::endsWith(path, ".vert") || String::endsWith(path, ".frag") ||
                                           String::endsWith(path, ".glsl")))
                out.push_back({"editor", path, *Path::readString(entry.path().string())});
        }
        for(const char* group: {"ZandelleEngineInternalShaders", "ZandelleEditorShaders"})
            for(const std::string& path: Resource{group}.list())
                out.push_back({group, path, Resource{group}.getString(path).value_or("")});
        return out;
    }();
    return shaders;
}

/* @p source run through a preprocessor after @p defines */
Preprocessor preprocessed(const std::string& source, const std::string& defines = {}) {
    Preprocessor p;
    p.processOwned(defines);
    p.process(source);
    return p;
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

TEST(ShippedShaders, BothPassesAndIncludes) {
    ASSERT_GE(shippedShaders().size(), 19u + 14u);
    IncludeMap includes{64};
    for(const Shader& shader: shippedShaders())
        if(String::beginsWith(shader.path, "lib/")) includes.put(shader.path, shader.source);
    includes.compile();

    for(const Shader& shader: shippedShaders()) {
        SCOPED_TRACE(shader.origin + " " + shader.path);
        Testing::LogCapture log;
        const Preprocessor first = preprocessed(shader.source);
        EXPECT_TRUE(first.isOk());
        const std::vector<std::string> features = shaderFeatures(first);
        EXPECT_TRUE(preprocessed(shader.source, featureDefines(features)).isOk());
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
        EXPECT_EQ(resolveIncludes(shader.source, includes).find("#include"), std::string::npos);
        EXPECT_EQ(log.all(), "");
    }
}

TEST(ShippedShaders, PhongVertexAttributesFollowTheFeatures) {
    const std::string phong = *Path::readString(ZANDELLE_RESOURCES_DIR "/shaders/Phong.frag");
    const Preprocessor plain = preprocessForPipeline(phong, 1, 1, 1, {}, 0);
    EXPECT_TRUE(plain.isDefined("USE_NORMAL"));
    EXPECT_FALSE(plain.isDefined("USE_TEXTURE_COORDS"));
    const Preprocessor mapped = preprocessForPipeline(phong, 1, 1, 1, {"TEXTURED", "NORMAL_MAPPING"}, 0);
    EXPECT_TRUE(mapped.isDefined("USE_TEXTURE_COORDS"));
    EXPECT_TRUE(mapped.isDefined("USE_TANGENT"));
}
