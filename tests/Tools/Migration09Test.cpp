// Migrations of 0.9 whose logic goes beyond renaming a key.

#include <gtest/gtest.h>

#include "Support/LogCapture.h"
#include "Tools/MigrationTestHelpers.h"
#include "Tools/Migrations.h"

using namespace ZandelleEngine;
using namespace ZandelleEngine::Migration;
using Testing::jsonAt;
using Testing::project;

TEST(Migration0_9, BlendFunctionsNeedingAConstantAreDroppedBeforeTheSplit) {
    auto file = project(R"({"pipelines": {
        "1": {"blendSrc": "constant color", "blendDest": "one minus source alpha"},
        "2": {"blendSrc": "source alpha saturate", "blendDest": 7}, "3": {"name": "untouched"}}, "settings": {}})");
    migration_0_9_0_unsupportedBlendFunctions(*file);
    migration_0_9_0_separateBlendFunctions(*file);
    ZE_EXPECT_JSON(*file->pipelines().readValue(), R"({
        "1": {"blendDestRgb": "one minus source alpha", "blendDestAlpha": "one minus source alpha"},
        "2": {"blendSrcRgb": "source alpha saturate", "blendSrcAlpha": "source alpha saturate"},
        "3": {"name": "untouched"}})");
}

TEST(Migration0_9, TextMaterialToTextPipeline) {
    /* A wide enough outline range turns the outline on; a material without
       a pipeline gets none */
    const std::string Dfv = R"("pipeline": "old", "DistanceFieldVector": {"color": [1, 0, 0, 1], "outlineRange": )";
    const std::string Text = R"("pipeline": "t", "Text": {"color": [1, 0, 0, 1]})";
    const struct { std::string material, expected; bool outline; } Data[]{
        {Dfv + "[0.5, 0.48]}", Text, false}, {Dfv + "[0.5, 0.47]}", Text, true}, {Dfv + "[0.5]}", Text, false},
        {Dfv + "\"wide\"}", Text, false},
        {R"("DistanceFieldVector": {"effectColor": [0, 0, 1, 1]})", R"("Text": {"outlineColor": [0, 0, 1, 1]})",
         false}};
    for(const auto& d: Data) {
        SCOPED_TRACE(d.material);
        auto file = project(R"({"objects": {"1": {"components": [
                {"type": "text", "text": {"material": "m", "text": "Hi"}},
                {"type": "text", "text": {"material": ""}}]}},
            "materials": {"m": {)" + d.material + R"(}},
            "pipelines": {"old": {"name": "DistanceFieldVector"}, "t": {"name": "Text"}},
            "settings": {"rendering": {"fontSize": 20, "usePreZ": true}}})");
        migration_0_9_0_textMaterialToSlug(*file);
        ZE_EXPECT_JSON(*file->materials().readValue(), R"({"m": {)" + d.expected + "}}");
        EXPECT_EQ(jsonAt(*file, "objects/1/components/0/text/effect"), d.outline ? "\"outline\"" : "");
        EXPECT_EQ(jsonAt(*file, "settings/rendering"),
            d.outline ? R"({"usePreZ":true,"fontOutline":true})" : R"({"usePreZ":true})");
    }
}

TEST(Migration0_9, DeletedObjectsTakeTheirDescendants) {
    auto file = project(R"({"objects": {"grandchild": {"parent": "child"}, "child": {"parent": "root"},
        "root": {"deleted": true}, "kept": {"deleted": false, "parent": "missing"}, "a": {"parent": "b"},
        "b": {"parent": "a"}, "self": {"parent": "self"}, "numbered": {"parent": 5}}, "settings": {}})");
    migration_0_9_0_deletedObjects(*file);
    EXPECT_EQ(file->objects().keys(), (std::vector<std::string>{"kept", "a", "b", "self", "numbered"}));
}

TEST(Migration0_9, UnnamedResourcesAreNumberedPerFile) {
    auto file = project(R"({"textures": {"1": {"link": {"file": "models\\a.gltf", "name": "texture_0"}},
            "2": {"link": {"file": "models\\b.gltf", "name": "texture_1"}},
            "3": {"link": {"file": "models\\b.gltf", "name": "texture_2"}},
            "4": {"link": {"file": "models\\b.gltf", "name": "texture_9"}},
            "5": {"link": {"file": "models\\b.gltf", "name": "texture_x"}},
            "6": {"link": {"file": "models\\b.gltf", "name": "texture_"}},
            "7": {"link": {"file": "models\\c.gltf", "name": "texture_5"}}},
        "skins": {"1": {"link": {"file": "models\\b.gltf", "name": "skin_0"}},
            "2": {"link": {"file": "models\\a.gltf", "name": ""}}},
        "files": ["models/a.gltf", "models/b.gltf", "models/c.gltf"], "settings": {}})");
    migration_0_9_0_perFileUnnamedResourceIndices(*file);
    std::vector<std::string_view> textures;
    for(const ValueAccess& t: file->textures().range()) textures.push_back(t["link/name"].asString());
    /* a: one name, base 0 -> 1; b: five names counting 1..5 map to 0..4 -> base 6;
       c: texture_5 is below the base and stays */
    EXPECT_EQ(textures, (std::vector<std::string_view>{"texture_0", "texture_0", "texture_1", "texture_9",
        "texture_x", "texture_", "texture_5"}));
    /* The skins count on their own: b holds skin_0 while a, first, holds
       only an unnamed one */
    EXPECT_EQ(file->skins()["1"]["link/name"].asString(), "skin_0");
}

TEST(Migration0_9, FontSettingsBecomeAFontRecord) {
    auto file = project(R"({"files": ["fonts/Mine.ttf"], "settings": {"rendering": {"font": "fonts/Mine.ttf",
        "fontOutlineSize": 0.25, "usePreZ": true}}})");
    migration_0_9_4_moveFontToResource(*file);
    const FileLink link{"fonts/Mine.ttf", "font_0"};
    const std::string key = file->fonts().firstResourceWithLink(link);
    ASSERT_FALSE(key.empty());
    EXPECT_TRUE(file->fonts().getOriginal(link).exists());
    /* The file was already listed; fontOutline only the defaults hold still counts */
    EXPECT_EQ(jsonAt(*file, "files"), R"(["fonts/Mine.ttf"])");
    EXPECT_EQ(jsonAt(*file, "fonts/" + key),
        R"({"link":{"file":"fonts/Mine.ttf","name":"font_0"},"outline":false,"outlineSize":0.25})");
    EXPECT_EQ(jsonAt(*file, "settings/rendering"), R"({"usePreZ":true})");
}

TEST(Migration0_9, TextMaterialGetsTheDefaultOrFirstFont) {
    const std::string a = R"("a": {"link": {"file": "x.ttf", "name": "font_0"}})";
    const struct { std::string fonts; const char* font; } Data[]{
        {a + R"(, "b": {"link": {"file": "default", "name": "DejaVuSans.ttf"}})", "\"b\""}, {a, "\"a\""}, {"", ""}};
    for(const auto& d: Data) {
        auto file = project(R"({"shaders": {"s": {"link": {"file": "default", "name": "Text.frag"}},
                "p": {"link": {"file": "default", "name": "Phong.frag"}}},
            "pipelines": {"text": {"shader": "s"}, "phong": {"shader": "p"}},
            "materials": {"1": {"pipeline": "text"}, "2": {"pipeline": "phong"},
                "3": {"pipeline": "text", "Text": {"font": "mine"}}},
            "fonts": {)" + d.fonts + R"(}, "settings": {}})");
        migration_0_9_4_textMaterialAddFont(*file);
        EXPECT_EQ(jsonAt(*file, "materials/1/Text/font"), d.font) << d.fonts;
        EXPECT_EQ(jsonAt(*file, "materials/2/Text"), "");
        EXPECT_EQ(jsonAt(*file, "materials/3/Text/font"), "\"mine\"");
    }
}

TEST(Migration0_9, DuplicateSkinsAreMergedIntoUsedOnes) {
    auto file = project(R"({"objects": {"1": {"skin": "used", "components": [
            {"type": "mesh", "mesh": {"skin": "copy"}}, {"type": "mesh", "mesh": {"skin": "reversed"}}]},
            "2": {"skin": "alsoUsed"}},
        "skins": {"used": {"joints": ["1", "2"]}, "alsoUsed": {"joints": ["1", "2"]},
            "copy": {"joints": ["1", "2"]}, "reversed": {"joints": ["2", "1"]},
            "odd": {"joints": {"0": "1", "1": "2"}}},
        "settings": {}})");
    Testing::LogCapture log;
    migration_0_9_4_mergeDuplicateSkins(*file);
    EXPECT_EQ(log.debug(), "Removing duplicate skin copy - remapping to used\n");
    EXPECT_EQ(file->skins().keys(), (std::vector<std::string>{"used", "alsoUsed", "reversed", "odd"}));
    EXPECT_EQ(jsonAt(*file, "objects/1/components/0/mesh/skin"), "\"used\"");
    EXPECT_EQ(jsonAt(*file, "objects/1/components/1/mesh/skin"), "\"reversed\"");
}

TEST(Migration0_9, TransformationsBecomeTranslationRotationScaling) {
    auto file = project(R"({"objects": {
        "1": {"name": "Turned", "transformation": [0, 3, 0, 0, -3, 0, 0, 0, 0, 0, 3, 0, 1, 2, 3, 1], "custom": 1},
        "2": {"name": "Sheared", "transformation": [1, 0, 0, 0, 0.5, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]},
        "3": {"name": "Five", "transformation": [1, 2, 3, 4, 5]},
        "4": {"name": "Mirrored", "transformation": [-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]}
    }, "settings": {}})");
    Testing::LogCapture log;
    migration_0_9_5_transformationToTRS(*file);
    EXPECT_EQ(log.warning(),
        "Transform migration failed for object 'Sheared' (2). Re-composed and original matrices aren't equal. "
        "Please manually correct the object's transformation if needed\n"
        "Transform migration skipped for object 'Five' (3): 'transformation' is not a 4x4 matrix\n");
    ZE_EXPECT_JSON(*file->objects()["1"].readValue(), R"({"name": "Turned", "custom": 1,
        "translation": [1, 2, 3], "rotation": [0, 0, 0.70710678, 0.70710678], "scaling": [3, 3, 3]})");
    EXPECT_FALSE(file->objects()["2"]["transformation"].isSetInProject());
    EXPECT_EQ(jsonAt(*file, "objects/3/transformation"), "[1,2,3,4,5]");
    EXPECT_FALSE(file->objects()["3"]["translation"].isSetInProject());
    EXPECT_EQ(file->objects()["4"]["scaling"].asVector3(), (Vector3{-1.0f, 1.0f, 1.0f}));
}
