// The default pipelines: their records after a real shader load, what other
// parts of the editor look up by name, and what happens to pipelines a user
// owns.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Base/Path.h"
#include "Editor/ProjectFile.h"
#include "Editor/ZandelleEditor.h"
#include "Shaders/DefaultPipelines.h"
#include "Shaders/ShaderLoading.h"
#include "Support/EditorFixture.h"
#include "Support/LogCapture.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;

namespace {

std::string featuresOf(const ValueAccess& pipeline) {
    std::string out;
    for(const ValueAccess& f: pipeline["features"].range())
        out += f.key() + (f.asBool() ? "=1 " : "=0 ");
    return out;
}

class DefaultPipelinesTest: public Testing::EditorTest {
    protected:
        ProjectFile& file() { return editor.data().projectFile(); }
        ValueAccess pipeline(std::string_view name) {
            const std::string key = file().pipelines().resourceByName(name);
            EXPECT_NE(key, "") << name;
            return file().pipelines()[key];
        }
        std::string shader(std::string_view path) {
            return file().shaders().firstResourceWithLink(FileLink{"default", std::string{path}});
        }
};

TEST_F(DefaultPipelinesTest, NamesOthersLookUp) {
    loadShaders(editor);
    /* The 0.8.5 migration maps old shader names onto these, project
       initialisation gives the text material "Text" */
    for(const char* name: {"Phong Opaque", "Phong Opaque Textured", "Flat Opaque", "Flat Opaque Textured",
        "DistanceFieldVector", "MeshVisualizer", "Particle", "Text", "Physical Opaque", "Physical Opaque Textured",
        "Phong Normalmapped", "Phong Lightmapped", "Foliage", "Sky"})
        EXPECT_NE(file().pipelines().resourceByName(name), "") << name;
    /* Excluded shaders get only their fixed pipeline */
    for(const char* name: {"Background", "Sky Textured", "Particle Textured"})
        EXPECT_EQ(file().pipelines().resourceByName(name), "") << name;

    /* A material without a pipeline of its own uses "Phong Opaque" */
    const std::string material = file().materials().addResource();
    EXPECT_EQ(file().materials()[material]["pipeline"].asString(), file().pipelines().resourceByName("Phong Opaque"));
}

TEST_F(DefaultPipelinesTest, Records) {
    loadShaders(editor);
    const std::string phong = shader("Phong.frag");

    ValueAccess opaque = pipeline("Phong Opaque");
    EXPECT_EQ(opaque["shader"].asString(), phong);
    EXPECT_TRUE(opaque["castShadows"].asBool());
    EXPECT_EQ(featuresOf(opaque), "ALPHA_MASKED=0 LIGHTMAP=0 NORMAL_MAPPING=0 SHADOW_NORMAL_OFFSET_SLOPE_SCALE=1 "
        "SHADOW_NORMAL_OFFSET_UV_ONLY=1 TEXTURED=0 VERTEX_COLORS=0 WITH_EMISSIVE=0 WITH_FOG=1 ");

    ValueAccess textured = pipeline("Phong Opaque Textured");
    EXPECT_EQ(textured["shader"].asString(), phong);
    EXPECT_EQ(featuresOf(textured), "ALPHA_MASKED=0 LIGHTMAP=0 NORMAL_MAPPING=0 SHADOW_NORMAL_OFFSET_SLOPE_SCALE=1 "
        "SHADOW_NORMAL_OFFSET_UV_ONLY=1 TEXTURED=1 VERTEX_COLORS=0 WITH_EMISSIVE=1 WITH_FOG=1 ");

    /* Copies of the textured one with one more feature */
    ValueAccess normalmapped = pipeline("Phong Normalmapped");
    EXPECT_EQ(normalmapped["name"].asString(), "Phong Normalmapped");
    EXPECT_EQ(normalmapped["shader"].asString(), phong);
    EXPECT_TRUE(normalmapped["castShadows"].asBool());
    EXPECT_EQ(featuresOf(normalmapped), "ALPHA_MASKED=0 LIGHTMAP=0 NORMAL_MAPPING=1 SHADOW_NORMAL_OFFSET_SLOPE_SCALE=1 "
        "SHADOW_NORMAL_OFFSET_UV_ONLY=1 TEXTURED=1 VERTEX_COLORS=0 WITH_EMISSIVE=1 WITH_FOG=1 ");
    EXPECT_TRUE(pipeline("Phong Lightmapped")["features/LIGHTMAP"].asBool());
    EXPECT_FALSE(pipeline("Phong Lightmapped")["features/NORMAL_MAPPING"].asBool());

    EXPECT_EQ(featuresOf(pipeline("Flat Opaque Textured")), "ALPHA_MASKED=0 TEXTURED=1 VERTEX_COLORS=0 ");

    ValueAccess dfv = pipeline("DistanceFieldVector");
    EXPECT_TRUE(dfv["blending"].asBool());
    EXPECT_EQ(dfv["blendSrcRgb"].asString(), "source alpha");
    EXPECT_EQ(dfv["blendSrcAlpha"].asString(), "one");
    EXPECT_EQ(dfv["blendDestRgb"].asString(), "one minus source alpha");
    EXPECT_EQ(dfv["blendDestAlpha"].asString(), "zero");
    EXPECT_EQ(dfv["depthFunction"].asString(), "less or equal");
    EXPECT_TRUE(dfv["sampleAlphaToCoverage"].asBool());
    EXPECT_TRUE(dfv["depthTest"].asBool());

    ValueAccess visualizer = pipeline("MeshVisualizer");
    EXPECT_FALSE(visualizer["depthTest"].asBool());
    EXPECT_EQ(visualizer["depthFunction"].asString(), "less");
    EXPECT_TRUE(visualizer["sampleAlphaToCoverage"].asBool());

    ValueAccess foliage = pipeline("Foliage");
    EXPECT_EQ(foliage["shader"].asString(), phong);
    EXPECT_EQ(featuresOf(foliage), "WITH_FOG=1 TEXTURED=1 WITH_EMISSIVE=1 ");
    EXPECT_TRUE(foliage["doubleSided"].asBool());

    ValueAccess particle = pipeline("Particle");
    EXPECT_EQ(particle["shader"].asString(), shader("Particle.frag"));
    EXPECT_FALSE(particle["depthWrite"].asBool());
    EXPECT_EQ(particle["blendDestRgb"].asString(), "one minus source alpha");

    ValueAccess sky = pipeline("Sky");
    EXPECT_EQ(sky["shader"].asString(), shader("Sky.frag"));
    EXPECT_EQ(sky["viewVertexShader"].asString(), shader("FullScreenTriangle.vert"));
    EXPECT_EQ(sky["depthFunction"].asString(), "less or equal");

    ValueAccess text = pipeline("Text");
    EXPECT_EQ(text["shader"].asString(), shader("Text.frag"));
    EXPECT_EQ(text["viewVertexShader"].asString(), shader("Text.vert"));
    EXPECT_TRUE(text["sampleAlphaToCoverage"].asBool());
    /* Text.frag's own pipeline is the alpha masked one */
    EXPECT_EQ(pipeline("Text Opaque")["shader"].asString(), shader("Text.frag"));

    /* Only originals: the project document holds no pipeline values */
    for(const ValueAccess& record: file().pipelines().range())
        EXPECT_EQ(record.keys(), (std::vector<std::string>{"link"})) << record.key();
}

TEST(DefaultPipelines, WithoutAlphaMask) {
    ProjectFile file;
    const std::string key = file.shaders().addResource(FileLink{"default", "Phong.frag"});
    addShaderDefaultPipelines(file, "Phong", key, {"TEXTURED", "WITH_FOG"});
    addFixedDefaultPipelines(file);
    setDefaultMaterialPipeline(file);

    EXPECT_NE(file.pipelines().resourceByName("Phong"), "");
    EXPECT_NE(file.pipelines().resourceByName("Phong Textured"), "");
    EXPECT_EQ(file.pipelines().resourceByName("Phong Opaque"), "");
    EXPECT_EQ(file.pipelines().resourceByName("Phong Opaque Textured"), "");
    EXPECT_EQ(file.materials()[file.materials().addResource()]["pipeline"].asString(), "");

    /* No textured Phong to copy: the two copies start empty */
    const ValueAccess normalmapped = file.pipelines()[file.pipelines().resourceByName("Phong Normalmapped")];
    EXPECT_EQ(normalmapped["shader"].asString(), "");
    EXPECT_TRUE(normalmapped["features/NORMAL_MAPPING"].asBool());
    EXPECT_FALSE(normalmapped["features/TEXTURED"].asBool());
    /* Shaders that do not exist leave the fixed ones without one */
    EXPECT_EQ(file.pipelines()[file.pipelines().resourceByName("Text")]["shader"].asString(), "");
}

TEST(DefaultPipelines, UserPipelinesStay) {
    ProjectFile file;
    ASSERT_TRUE(file.parse(R"({"pipelines": {
        "mine": {"name": "Foliage", "shader": "x", "doubleSided": false, "link": {"file": "mine.zdp", "name": "Foliage"}}
    }})"));
    const std::string key = file.shaders().addResource(FileLink{"default", "Phong.frag"});
    file.shaders().getOrAddOriginal(FileLink{"default", "Phong.frag"})["name"].setString("Phong");

    for(int i = 0; i != 2; ++i) {
        addShaderDefaultPipelines(file, "Phong", key, {"ALPHA_MASKED", "TEXTURED"});
        addFixedDefaultPipelines(file);
    }
    /* The user's pipeline keeps its name and values; the default original
       is written all the same */
    EXPECT_EQ(file.pipelines().resourceByName("Foliage"), "mine");
    EXPECT_FALSE(file.pipelines()["mine"]["doubleSided"].asBool());
    EXPECT_EQ(file.pipelines()["mine"]["shader"].asString(), "x");
    const OriginalAccess foliage = file.pipelines().getOriginal(FileLink{"default", "Foliage"});
    ASSERT_TRUE(foliage.exists());
    EXPECT_EQ(foliage["shader"].asString(), key);
    EXPECT_TRUE(foliage["doubleSided"].asBool());

    /* Twice run, one resource each */
    EXPECT_EQ(file.pipelines().resourcesWithLink(FileLink{"default", "Foliage"}).size(), 0u);
    EXPECT_EQ(file.pipelines().resourcesWithLink(FileLink{"default", "Phong Opaque"}).size(), 1u);
    EXPECT_EQ(file.pipelines().resourcesWithLink(FileLink{"default", "Phong Normalmapped"}).size(), 1u);
}

TEST(DefaultPipelines, FeatureKeysOfOthersStay) {
    /* Only the shader's features are written; a key set by a user or a
       plug-in, or one the shader no longer lists, survives a reload */
    ProjectFile file;
    addShaderDefaultPipelines(file, "Custom", "s", {"TEXTURED", "WITH_GLOW"});
    file.pipelines().getOriginal(FileLink{"default", "Custom"})["features/MINE"].setBool(true);
    addShaderDefaultPipelines(file, "Custom", "s", {"TEXTURED"});
    EXPECT_EQ(featuresOf(file.pipelines()[file.pipelines().resourceByName("Custom")]), "TEXTURED=0 WITH_GLOW=0 MINE=1 ");
    EXPECT_EQ(featuresOf(file.pipelines()[file.pipelines().resourceByName("Custom Textured")]), "TEXTURED=1 WITH_GLOW=0 ");
    EXPECT_EQ(file.pipelines().size(), 2u);
}

}
