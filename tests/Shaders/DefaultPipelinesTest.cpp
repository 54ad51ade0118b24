// The default pipelines: their records after a real shader load, what other
// parts of the editor look up by name, and what happens to pipelines a user
// owns.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Editor/Json.h"
#include "Editor/ProjectFile.h"
#include "Editor/ZandelleEditor.h"
#include "Shaders/DefaultPipelines.h"
#include "Shaders/ShaderLoading.h"
#include "Support/EditorFixture.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;

namespace {

std::string featuresOf(const ValueAccess& pipeline) {
    std::string out;
    for(const ValueAccess& f: pipeline["features"].range())
        out += f.key() + (f.asBool() ? "=1 " : "=0 ");
    return out;
}

ValueAccess byName(ProjectFile& file, std::string_view name) {
    const std::string key = file.pipelines().resourceByName(name);
    EXPECT_NE(key, "") << name;
    return file.pipelines()[key];
}

class DefaultPipelinesTest: public Testing::EditorTest {
    protected:
        ProjectFile& file() { return editor.data().projectFile(); }
        std::string shader(std::string_view path) {
            return file().shaders().firstResourceWithLink(FileLink{"default", std::string{path}});
        }
};

TEST_F(DefaultPipelinesTest, Records) {
    loadShaders(editor);
    /* The names other parts look up (the 0.8.5 migration maps old shader
       names onto them, a new project's text material uses "Text"), with
       members as read; "@X" is the record of shader file X. The Phong
       copies are the textured one with one more feature. */
    const struct { const char* name; const char* members; } Expected[]{
        {"Phong Opaque", R"({"shader": "@Phong.frag", "castShadows": true, "features": {"ALPHA_MASKED": false,
            "LIGHTMAP": false, "NORMAL_MAPPING": false, "SHADOW_NORMAL_OFFSET_SLOPE_SCALE": true,
            "SHADOW_NORMAL_OFFSET_UV_ONLY": true, "TEXTURED": false, "VERTEX_COLORS": false, "WITH_EMISSIVE": false,
            "WITH_FOG": true}})"},
        {"Phong Opaque Textured", R"({"shader": "@Phong.frag", "castShadows": true, "features/TEXTURED": true,
            "features/WITH_EMISSIVE": true, "features/WITH_FOG": true})"},
        {"Phong Normalmapped", R"({"name": "Phong Normalmapped", "shader": "@Phong.frag", "castShadows": true,
            "features/WITH_EMISSIVE": true, "features/NORMAL_MAPPING": true, "features/LIGHTMAP": false})"},
        {"Phong Lightmapped", R"({"features/LIGHTMAP": true, "features/NORMAL_MAPPING": false})"},
        {"Flat Opaque Textured", R"({"features": {"ALPHA_MASKED": false, "TEXTURED": true, "VERTEX_COLORS": false}})"},
        {"Physical Opaque Textured", R"({"shader": "@Physical.frag", "features/TEXTURED": true})"},
        {"DistanceFieldVector", R"({"blending": true, "blendSrcRgb": "source alpha", "blendSrcAlpha": "one",
            "blendDestRgb": "one minus source alpha", "blendDestAlpha": "zero", "depthFunction": "less or equal",
            "sampleAlphaToCoverage": true, "depthTest": true})"},
        {"MeshVisualizer", R"({"depthTest": false, "depthFunction": "less", "sampleAlphaToCoverage": true})"},
        {"Foliage", R"({"shader": "@Phong.frag", "doubleSided": true,
            "features": {"WITH_FOG": true, "TEXTURED": true, "WITH_EMISSIVE": true}})"},
        {"Particle", R"({"shader": "@Particle.frag", "depthWrite": false, "blendDestRgb": "one minus source alpha"})"},
        {"Sky", R"({"shader": "@Sky.frag", "viewVertexShader": "@FullScreenTriangle.vert",
            "depthFunction": "less or equal"})"},
        {"Text", R"({"shader": "@Text.frag", "viewVertexShader": "@Text.vert", "sampleAlphaToCoverage": true})"},
    };
    for(const auto& row: Expected) {
        SCOPED_TRACE(row.name);
        const ValueAccess pipeline = byName(file(), row.name);
        JsonDocument members;
        ASSERT_FALSE(Json::parse(members, row.members));
        for(const auto& m: members.GetObject()) {
            const std::string_view value = m.value.IsString() ? m.value.GetString() : "";
            const std::string expected = value.starts_with("@") ?
                "\"" + shader(value.substr(1)) + "\"" : *Json::toString(m.value, 0);
            const JsonValue* got = pipeline[m.name.GetString()].readValue();
            ASSERT_TRUE(got) << m.name.GetString();
            EXPECT_EQ(*Json::toString(*got, 0), expected) << m.name.GetString();
        }
    }

    /* Excluded shaders get only their fixed pipeline */
    for(const char* name: {"Background", "Sky Textured", "Particle Textured"})
        EXPECT_EQ(file().pipelines().resourceByName(name), "") << name;
    /* A material without a pipeline of its own uses "Phong Opaque" */
    const std::string material = file().materials().addResource();
    EXPECT_EQ(file().materials()[material]["pipeline"].asString(), file().pipelines().resourceByName("Phong Opaque"));

    /* Only originals: the project document holds no pipeline values */
    for(const ValueAccess& record: file().pipelines().range())
        EXPECT_EQ(record.keys(), (std::vector<std::string>{"link"})) << record.key();
}

TEST(DefaultPipelines, WithoutAlphaMaskAndFeatureKeysOfOthers) {
    ProjectFile file;
    const std::string key = file.shaders().addResource(FileLink{"default", "Phong.frag"});
    addShaderDefaultPipelines(file, "Phong", key, {"TEXTURED", "WITH_FOG"});
    /* Only the shader's features are written; a key set by a user or a
       plug-in, or one the shader no longer lists, survives a reload */
    addShaderDefaultPipelines(file, "Custom", "s", {"TEXTURED", "WITH_GLOW"});
    file.pipelines().getOriginal(FileLink{"default", "Custom"})["features/MINE"].setBool(true);
    addShaderDefaultPipelines(file, "Custom", "s", {"TEXTURED"});
    addFixedDefaultPipelines(file);
    setDefaultMaterialPipeline(file);
    EXPECT_EQ(featuresOf(byName(file, "Custom")), "TEXTURED=0 WITH_GLOW=0 MINE=1 ");
    EXPECT_EQ(featuresOf(byName(file, "Custom Textured")), "TEXTURED=1 WITH_GLOW=0 ");

    for(const char* name: {"Phong", "Phong Textured"}) EXPECT_NE(file.pipelines().resourceByName(name), "") << name;
    for(const char* name: {"Phong Opaque", "Phong Opaque Textured"})
        EXPECT_EQ(file.pipelines().resourceByName(name), "") << name;
    EXPECT_EQ(file.materials()[file.materials().addResource()]["pipeline"].asString(), "");

    /* No textured Phong to copy: the two copies start empty */
    const ValueAccess normalmapped = byName(file, "Phong Normalmapped");
    EXPECT_EQ(normalmapped["shader"].asString(), "");
    EXPECT_EQ(featuresOf(normalmapped), "NORMAL_MAPPING=1 ");
    /* Shaders that do not exist leave the fixed ones without one */
    EXPECT_EQ(byName(file, "Text")["shader"].asString(), "");
}

TEST(DefaultPipelines, UserPipelinesStay) {
    ProjectFile file;
    ASSERT_TRUE(file.parse(R"({"pipelines": {"mine": {"name": "Foliage", "shader": "x", "doubleSided": false,
        "link": {"file": "mine.zdp", "name": "Foliage"}}}})"));
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
    const OriginalAccess foliage = file.pipelines().getOriginal(FileLink{"default", "Foliage"});
    ASSERT_TRUE(foliage.exists());
    EXPECT_EQ(foliage["shader"].asString(), key);
    EXPECT_TRUE(foliage["doubleSided"].asBool());

    /* Twice run, one resource each */
    for(const auto& [name, count]: {std::pair{"Foliage", 0u}, {"Phong Opaque", 1u}, {"Phong Normalmapped", 1u}})
        EXPECT_EQ(file.pipelines().resourcesWithLink(FileLink{"default", name}).size(), count) << name;
}

}
