#include <algorithm>
#include <tuple>

#include "CompilerFixture.h"
#include "Engine/RuntimeData.h"
#include "Support/LogCapture.h"

namespace ZandelleEngine { namespace Testing { namespace {

class PipelinesTest: public CompilerTest {
    protected:
        std::string pipeline(std::string_view name) { return file().pipelines().resourceByName(name); }
        Data::PipelineDataView compiled(std::string_view name) {
            return *Data::readPipelineData(sceneData().pipelines.at(compiler().pipelineId(pipeline(name))));
        }
        std::vector<std::uint8_t> materialBytes(std::string_view key) {
            const std::span<const std::uint8_t> bytes =
                Data::readMaterialData(sceneData().materials.at(compiler().materialId(key)))->parameters;
            return {bytes.begin(), bytes.end()};
        }
        void addMaterial(std::string_view key, std::string_view pipelineName, std::string_view phong = "{}") {
            setRecord("materials", key, R"({"name": ")" + std::string{key} + R"(", "pipeline": ")" +
                pipeline(pipelineName) + R"(", "Phong": )" + std::string{phong} + "}");
        }
};

TEST_F(PipelinesTest, OnlyNeededPipelinesCompile) {
    setSection("materials", "{}");
    compiler().compile("shaders");
    compiler().compile("pipelines");
    EXPECT_NE(compiler().pipelineId(pipeline("MeshVisualizer")), 0);
    EXPECT_EQ(compiler().pipelineId(pipeline("Phong Opaque")), 0);
    EXPECT_EQ(sceneData().pipelines.size(), 2u);

    file()["settings/runtime/enableRuntimeGltf"].setBool(true);
    compiler().compile("pipelines");
    for(const char* name: {"Flat Opaque", "Flat Opaque Textured", "Phong Opaque", "Phong Opaque Textured",
                           "Physical Opaque", "Physical Opaque Textured"})
        EXPECT_NE(compiler().pipelineId(pipeline(name)), 0) << name;
    EXPECT_EQ(compiler().pipelineId(pipeline("Foliage")), 0);
}

TEST_F(PipelinesTest, DescriptionFeaturesAndDefaults) {
    const std::string phong = file().shaders().resourceByName("Phong");
    setRecord("pipelines", "custom", R"({"name": "Custom", "shader": ")" + phong + R"(",
        "blendSrcRgb": "one minus source alpha", "blendDestRgb": "bogus", "depthFunction": "greater",
        "blendEqAlpha": "max", "features": {"TEXTURED": true, "ALPHA_MASKED": true, "NOT_LISTED": true}})");
    addMaterial("m", "Custom");
    addMaterial("phong", "Phong Opaque");
    /* Defaults of the right kind stay, others are replaced */
    JsonDocument kept;
    kept.Parse(R"({"shininess": "high", "specularColor": [1, 1, 1], "ambientColor": [0.5, 0.5, 0.5, 0.5],
        "lightmapFactor": 2.5, "diffuseTexture": "t"})");
    JsonValue& materials = file().defaults()["materials"];
    materials.RemoveMember("Phong");
    materials.AddMember("Phong", JsonValue{kept, file().defaults().GetAllocator()}, file().defaults().GetAllocator());
    compiler().compileAll();

    const Data::PipelineDataView view = compiled("Custom");
    EXPECT_EQ(view.index, compiler().pipelineId("custom"));
    EXPECT_TRUE(view.alphaMasked);
    EXPECT_EQ(view.features, (std::vector<std::string_view>{"ALPHA_MASKED", "TEXTURED"}));
    const Data::Pipeline& p = view.pipeline;
    EXPECT_EQ(p.shader, compiler().resourceIndex.shaders.at(phong));
    /* blendSrcAlpha from the project defaults */
    EXPECT_EQ(std::tuple(p.blendSrcRgb, p.blendDestRgb, p.blendSrcAlpha, p.depthFunction, p.blendEqAlpha),
        std::tuple(8u, 0u, 1u, 7u, 4u));
    /* Only the pipelines that say so cast shadows */
    EXPECT_EQ(std::tuple(p.castShadows, compiled("Phong Opaque").pipeline.castShadows), std::tuple(0, 1));
    EXPECT_EQ(p.reserved1, 1u);
    EXPECT_EQ(p.reserved2[1], 0xFF);
    /* Texture coordinates, normals */
    EXPECT_EQ(sceneData().pipelineAttributes[view.index], 0x7u);

    /* Defaults a Phong material falls back to; textures get a null entry */
    EXPECT_EQ(*Json::toString(file().defaults()["materials"]["Phong"], 0),
        R"({"shininess":0,"specularColor":[0,0,0,1],"ambientColor":[0.5,0.5,0.5,0.5],"lightmapFactor":2.5,)"
        R"("diffuseTexture":"t","diffuseColor":[0,0,0,1],"emissiveColor":[0,0,0,1],"fogColor":[0,0,0,1],)"
        R"("emissiveTexture":null,"normalTexture":null,"lightmapTexture":null,"alphaMaskTexture":null,)"
        R"("alphaMaskThreshold":0})");
}

TEST_F(PipelinesTest, FeaturesFallBackOneByOne) {
    /* A feature set on a pipeline linked to a default one keeps the others
       of the default */
    const std::string key = pipeline("Phong Opaque Textured");
    file().pipelines()[key]["features/WITH_EMISSIVE"].setBool(false);
    addMaterial("m", "Phong Opaque Textured");
    compiler().compileAll();
    const Data::PipelineDataView view = compiled("Phong Opaque Textured");
    EXPECT_EQ(view.features, (std::vector<std::string_view>{"SHADOW_NORMAL_OFFSET_SLOPE_SCALE",
        "SHADOW_NORMAL_OFFSET_UV_ONLY", "TEXTURED", "WITH_FOG"}));
    EXPECT_EQ(sceneData().pipelineAttributes[view.index], 0x7u);
}

TEST_F(PipelinesTest, FailureLinesSkipTheRecord) {
    editor.data().resources().shaderSources.add(FileLink{"default", "Bad.frag"}, "#endif\n");
    setSection("shaders", R"({"bad": {"link": {"file": "default", "name": "Bad.frag"}, "name": "Bad"},
        "gone": {"link": {"file": "shaders", "name": "Gone.frag"}, "name": "Gone"}})");
    setSection("pipelines", R"({"p": {"name": "Broken", "shader": "bad"}, "q": {"name": "Lost", "shader": "gone"}})");
    setSection("materials", R"({"m": {"pipeline": "p"}, "n": {"pipeline": "q"}})");
    LogCapture log;
    compiler().compile("pipelines");
    EXPECT_EQ(log.problems(),
        "Preprocessor: found #endif without #if or #ifdef\n"
        "AssetCompiler::compilePipelines(): Syntax error in shader Bad.frag\n"
        "AssetCompiler::compilePipelines(): Missing shader Gone.frag from file shaders for pipeline Lost\n");
    EXPECT_EQ(std::tuple(compiler().pipelineId("p"), compiler().pipelineId("q")), std::tuple(0, 0));
}

TEST_F(PipelinesTest, AttributeUnionAndKinds) {
    addMesh("m", makeCube());
    addMaterial("sky", "Sky");
    file()["settings/rendering/sky/material"].setString("sky");
    compiler().compileAll();
    const Data::Id sky = compiler().pipelineId(pipeline("Sky")), text = compiler().pipelineId(pipeline("Text"));
    auto kindOf = [&](Data::Id id) {
        for(const Data::PipelineKind& k: sceneData().pipelineKinds)
            if(k.pipeline == id) return std::pair{k.kind, k.value};
        return std::pair{99u, 0u};
    };
    EXPECT_EQ(kindOf(sky).first, 0u);
    EXPECT_EQ(kindOf(text), std::pair(2u, std::uint32_t(text)));
    file()["settings/rendering/sky/enabled"].setBool(true);
    compiler().updatePipelineKinds();
    EXPECT_EQ(kindOf(sky), std::pair(3u, std::uint32_t(compiler().materialId("sky"))));

    /* A pipeline that needs tangents recompiles the meshes, once */
    const std::uint32_t meshes = counter(AssetType::Meshes);
    EXPECT_FALSE(sceneData().meshLayout >= MeshTools::MeshDataFlag::Tangents);
    addMaterial("bumpy", "Phong Normalmapped");
    compiler().compile("materials", {"bumpy"});
    EXPECT_EQ(counter(AssetType::Meshes), meshes + 1);
    EXPECT_TRUE(sceneData().meshLayout >= MeshTools::MeshDataFlag::Tangents);
    compiler().compile("pipelines", {pipeline("Phong Normalmapped")});
    EXPECT_EQ(counter(AssetType::Meshes), meshes + 1);
}

TEST_F(PipelinesTest, MaterialValues) {
    compiler().compileAll();
    compiler().resourceIndex.textures["tex"] = 7;
    addMaterial("orange", "Phong Opaque", R"({"diffuseColor": [1, 0.5, 0, 1], "shininess": 3.5, "diffuseTexture": "tex",
        "ambientColor": "red", "specularColor": [1, 1]})");
    addMaterial("plain", "Phong Opaque", R"({"shininess": 9, "alphaMaskTexture": "tex", "alphaMaskThreshold": 0.25})");
    /* Nobody used this pipeline before: compiling it compiles the material */
    addMaterial("textured", "Phong Opaque Textured", R"({"emissiveTexture": "tex"})");
    compiler().compile("materials");
    const auto mask = [&](std::string_view key) { return sceneData().materialAlphaMasks[compiler().materialId(key)]; };

    const std::vector<std::uint8_t> orange = materialBytes("orange");
    ASSERT_EQ(orange.size(), 30u);
    EXPECT_EQ((std::vector<std::uint8_t>(orange.begin(), orange.begin() + 12)),
        (std::vector<std::uint8_t>{0, 0, 0, 0, 255, 127, 0, 255, 255, 255, 0, 0}));
    EXPECT_EQ(orange[20], 7);   /* diffuse texture, two bytes */
    EXPECT_EQ(orange[29], 0);   /* shininess is not an integer */
    EXPECT_EQ(mask("orange").texture, 7u);

    const std::vector<std::uint8_t> plain = materialBytes("plain");
    EXPECT_EQ(plain[7], 255);   /* the default diffuse colour is opaque black */
    EXPECT_EQ(plain[29], 9);
    EXPECT_EQ(mask("plain").texture, 7u);
    EXPECT_EQ(mask("plain").threshold, 0.25f);
    /* A later texture never supplies the alpha mask */
    EXPECT_EQ(mask("textured").texture, 0u);
    EXPECT_EQ(materialBytes("textured")[22], 7);

    /* A recompiled pipeline recompiles exactly its materials */
    for(Data::ByteArray& data: sceneData().materials) data.clear();
    compiler().compile("pipelines", {pipeline("Phong Opaque")});
    EXPECT_EQ(std::count_if(sceneData().materials.begin(), sceneData().materials.end(),
        [](const Data::ByteArray& data) { return !data.empty(); }), 2);

    /* Without a pipeline of its own or by default */
    file().defaults()["materials"]["pipeline"].SetNull();
    setRecord("materials", "lost", R"({"name": "Lost"})");
    LogCapture log;
    compiler().compile("materials", {"lost"});
    EXPECT_EQ(log.warning(), "AssetCompiler::compileMaterials(): While compiling material Lost: No pipeline set\n");
    EXPECT_EQ(compiler().materialId("lost"), 0);
}

}}}
