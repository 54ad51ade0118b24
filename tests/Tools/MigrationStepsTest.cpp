// Migrations whose logic goes beyond renaming a key, one by one, on records
// of every shape they meet.

#include <gtest/gtest.h>

#include "Base/Path.h"
#include "Support/LogCapture.h"
#include "Support/TempDirectory.h"
#include "Tools/MigrationTestHelpers.h"
#include "Tools/Migrations.h"

using namespace ZandelleEngine;
using namespace ZandelleEngine::Migration;
using Testing::jsonAt;
using Testing::project;

TEST(Migration0_7, CollisionGroupsBecomeABitMask) {
    /* Only the boolean true sets a bit; what is no array stays */
    const struct { const char* groups; const char* mask; } Data[]{
        {"[true, false, true]", "5"}, {"[true, true, true, true, true, true, true, true, true, true]", "255"},
        {"[false, false, false]", "0"}, {"[]", "0"}, {"[1, \"true\", true, null]", "4"}, {"3", "3"},
        {"\"all\"", "\"all\""}};
    for(const auto& d: Data) {
        auto file = project(std::string{R"({"objects": {"1": {"components": [
            {"type": "mesh", "mesh": {"groups": [true]}},
            {"type": "collision", "collision": {"groups": )"} + d.groups + R"(, "extents": [1, 2, 3]}}]}}})");
        migration_0_7_2_updateCollisionGroup(*file);
        EXPECT_EQ(jsonAt(*file, "objects/1/components"), R"([{"type":"mesh","mesh":{"groups":[true]}},)"
            R"({"type":"collision","collision":{"groups":)" + std::string{d.mask} + R"(,"extents":[1,2,3]}}])")
            << d.groups;
    }
}

/* Ordinary links, and the lines announcing each section, are in the frozen 0.6.0 project */
TEST(Migration0_7, ResourceLinkFilesBecomePaths) {
    auto file = project(R"({"objects": {"1": {"link": {"file": 0, "name": "Child<Root<scene.gltf"}},
            "2": {"link": {"file": "models/scene.gltf", "name": "Kept<scene.gltf"}},
            "3": {"link": {"file": 1, "name": "Orphan<nowhere.gltf"}}, "4": {"link": {"file": 2, "name": ""}}},
        "images": {"1": {"link": {"file": 0, "name": "wood.png>0"}},
            "2": {"link": {"file": 0, "name": "sub/wood.png"}}},
        "files": ["models/scene.gltf", "textures/sub/wood.png"], "settings": {}})");
    migration_0_7_3_updateResourceLinksFile(*file);
    ZE_EXPECT_JSON(*file->objects().readValue(),
        R"({"1": {"link": {"file": "models\\scene.gltf", "name": "Child<Root"}},
        "2": {"link": {"file": "models/scene.gltf", "name": "Kept<scene.gltf"}},
        "3": {"link": {"file": "default", "name": "Orphan<nowhere.gltf"}},
        "4": {"link": {"file": "default", "name": ""}}})");
    ZE_EXPECT_JSON(*file->images().readValue(),
        R"({"1": {"link": {"file": "textures\\sub\\wood.png", "name": "0"}},
        "2": {"link": {"file": "textures\\sub\\wood.png", "name": "wood.png"}}})");
}

TEST(Migration0_8, ComponentObjectsBecomeArrays) {
    auto file = project(R"({"objects": {
        "1": {"name": "a", "components": {"0": {"type": "mesh"}, "2": {"type": "light"}}},
        "2": {"components": {"1": {"type": "mesh"}, "0": {"type": "text"}}}, "3": {"components": "broken"},
        "4": {"components": [{"type": "mesh"}]}, "5": {"components": {"4000000000": {"type": "mesh"}}}},
        "settings": {}})");
    migration_0_8_5_fixComponentArrays(*file);
    /* Compared as text, so that the records keep their member order */
    EXPECT_EQ(jsonAt(*file, "objects"),
        R"({"1":{"name":"a","components":[{"type":"mesh"},null,{"type":"light"}]},)"
        R"("2":{"components":[{"type":"text"},{"type":"mesh"}]},"3":{"components":"broken"},)"
        R"("4":{"components":[{"type":"mesh"}]},"5":{"components":[null]}})");
}

TEST(Migration0_8, ShadersToPipelinesOpaquesPhongDiffuse) {
    auto file = project(R"({"materials": {
        "1": {"shader": "Phong", "Phong": {"diffuseColor": [0.5, 0.5, 0.5, 0.2]}},
        "2": {"Phong": {"diffuseColor": [0.5, 0.5, 0.5]}},
        "3": {"shader": "Flat Textured", "Phong": {"diffuseColor": [0.5, 0.5, 0.5, 0.2]}},
        "4": {"shader": "Unknown"},
        "5": {"pipeline": "9", "Phong": {"diffuseColor": {"3": 0.5}}}}, "settings": {}})");
    Testing::addDefaultPipelines(*file);
    ASSERT_TRUE(migration_0_8_5_updateShadersToPipelines(*file));
    const std::string phong = file->pipelines().resourceByName("Phong Opaque");
    const std::string flat = file->pipelines().resourceByName("Flat Opaque Textured");
    ZE_EXPECT_JSON(*file->materials().readValue(),
        R"({"1": {"Phong": {"diffuseColor": [0.5, 0.5, 0.5, 1.0]}, "pipeline": ")" + phong + R"("},
        "2": {"Phong": {"diffuseColor": [0.5, 0.5, 0.5]}},
        "3": {"Phong": {"diffuseColor": [0.5, 0.5, 0.5, 0.2]}, "pipeline": ")" + flat + R"("},
        "4": {"pipeline": ""}, "5": {"pipeline": "9", "Phong": {"diffuseColor": {"3": 0.5}}}})");
}

TEST(Migration0_8, EmptyNamesFollowRenamedParents) {
    /* The renamed path of "c<<root" is the new parent of its unnamed child;
       an unnamed ancestor that was never seen stays */
    auto file = project(R"({"objects": {"1": {"link": {"file": "a", "name": "<root"}},
        "2": {"link": {"file": "a", "name": "<root"}}, "3": {"link": {"file": "a", "name": "c<<root"}},
        "4": {"link": {"file": "a", "name": "<c<<root"}}, "5": {"link": {"file": "a", "name": "<<gone"}},
        "6": {"link": 42}, "7": {"link": {"file": "a", "name": "plain"}}}, "settings": {}})");
    migration_0_8_6_updateLinksObjectsEmptyNames(*file);
    std::vector<std::string_view> names;
    for(const ValueAccess& o: file->objects().range()) names.push_back(o["link/name"].asString());
    EXPECT_EQ(names, (std::vector<std::string_view>{"object_0<root", "object_1<root", "c<object_1<root",
        "object_0<c<object_1<root", "object_0<<gone", "", "plain"}));
    EXPECT_EQ(jsonAt(*file, "objects/6/link"), "42");
}

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
            "2": {"link": {"file": "models\\b.gltf", "name": "texture_1"}}, "3": {"link": {"file": "models\\b.gltf",
            "name": "texture_2"}}, "4": {"link": {"file": "models\\b.gltf", "name": "texture_9"}},
            "5": {"link": {"file": "models\\b.gltf", "name": "texture_x"}}, "6": {"link": {"file": "models\\b.gltf",
            "name": "texture_"}}, "7": {"link": {"file": "models\\c.gltf", "name": "texture_5"}}},
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

/* Rotated, scaled and sheared matrices are in the frozen 0.9.4 project */
TEST(Migration0_9, TransformationsBecomeTranslationRotationScaling) {
    auto file = project(R"({"objects": {"3": {"name": "Five", "transformation": [1, 2, 3, 4, 5]},
        "4": {"name": "Mirrored", "transformation": [-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]}}})");
    Testing::LogCapture log;
    migration_0_9_5_transformationToTRS(*file);
    EXPECT_EQ(log.warning(),
        "Transform migration skipped for object 'Five' (3): 'transformation' is not a 4x4 matrix\n");
    EXPECT_EQ(jsonAt(*file, "objects/3/transformation"), "[1,2,3,4,5]");
    EXPECT_FALSE(file->objects()["3"]["translation"].isSetInProject());
    EXPECT_EQ(file->objects()["4"]["scaling"].asVector3(), (Vector3{-1.0f, 1.0f, 1.0f}));
}

/* The deprecated flag alone, either way, and no flag at all are in the
   frozen 0.6.0, 0.7.5 and 0.7.2 projects */
TEST(Migration1_0, BundlerSettings) {
    const std::string Lib = R"("libraryPaths":["/js/lib/"],)";
    const struct { const char* scripting; std::string expected; } Data[]{
        {R"({"useInternalBundler": false, "bundlingType": "esbuild"})",
         R"({"bundlingType":"esbuild","libraryPaths":["/js/lib/"]})"},
        {R"({"useInternalBundler": false, "autoManageEntryPoint": true, "libraryPaths": ["mine"]})",
         "{" + Lib + R"("bundlingType":"npm"})"},
        {R"({"sourcePaths": ["/js/editor-components-bundle.js", "js/", "/js/editor-components-bundle.js"]})",
         R"({"sourcePaths":["js/","/js/editor-components-bundle.js"],)" + Lib + R"("bundlingType":"esbuild"})"},
    };
    for(const auto& d: Data) {
        auto file = project(std::string{R"({"settings": {"scripting": )"} + d.scripting + "}}");
        migration_1_0_0_automaticEntryPointJs(*file);
        migration_1_0_0_deprecateUseInternalBundler(*file);
        migration_1_0_0_removeAutomaticEntryPointJsFlag(*file);
        EXPECT_EQ(jsonAt(*file, "settings/scripting"), d.expected) << d.scripting;
    }
}

/* Plain flags, and none (the default stays a default), are in the frozen 0.8.5 and 0.6.0 projects */
TEST(Migration1_0, EsbuildFlagsGetTheModuleFormat) {
    const struct { const char* flags; const char* expected; } Data[]{{R"("")", R"(" --format=esm")"},
        {R"("--minify --format=esm --sourcemap")", R"("--minify --format=esm --sourcemap")"}, {"5", "5"}};
    for(const auto& d: Data) {
        auto file = project(std::string{R"({"settings": {"scripting": {"esbuildFlags": )"} + d.flags + "}}}");
        migration_1_0_0_updateEsbuildFlags(*file);
        EXPECT_EQ(jsonAt(*file, "settings/scripting/esbuildFlags"), d.expected);
    }
}

/* Sun, point and spot lights, with and without an attenuation or an
   intensity, are in the frozen 0.9.5 project; the limits are here */
TEST(Migration1_0, LightAttenuationBecomesIntensity) {
    const struct { const char* light; float intensity; } Data[]{
        {R"("type": "point", "attenuation": 0)", 33.33f}, {R"("type": "spot", "attenuation": 0.005)", 33.33f}};
    for(const auto& d: Data) {
        auto file = project(std::string{R"({"objects": {"1": {"components": [{"type": "light", "light": {)"} +
            d.light + "}}]}}}");
        migration_1_0_0_convertAttenuationToIntensity(*file);
        EXPECT_NEAR(file->objects()["1"]["components/0/light/intensity"].asFloat(), d.intensity, 1e-4f) << d.light;
    }
}

TEST(Migration1_0, AugmentedRealityFramework) {
    const std::string warning = "We removed the setting to specify 8thwall API tokens in the editor.\nPlease see ";
    Testing::TempDirectory root;
    {
        auto file = project(R"({"settings": {"ar": {"framework": "8thwall", "8thwall": {"apiToken": "T0K3N"},
            "other": 1}}})");
        Testing::LogCapture log;
        migration_1_0_0_arFramework(*file, root.path());
        EXPECT_EQ(jsonAt(*file, "settings/ar"), R"({"other":1,"enable":true})");
        const std::string note = root / "8thwall_migrate_to_1.0.0.txt";
        EXPECT_EQ(log.warning(), warning + note + " for more information.\n");
        EXPECT_EQ(Path::readString(note).value_or(""),
            "In 1.0.0, we removed the setting to specify 8thwall API tokens\n"
            "in the editor. Please go ahead and specify your token in your\n"
            "`src/index.js` file instead:\n\nconst XR8_API_TOKEN = 'T0K3N';\n");
        EXPECT_EQ(Path::list(root.path())->size(), 1u);
    }
    /* A project opened by bare file name: the note lands beside it */
    Testing::TempDirectory cwd;
    Testing::ScopedWorkingDirectory scope{cwd.path()};
    auto file = project(R"({"settings": {"ar": {"8thwall": {"apiToken": "T"}}}})");
    Testing::LogCapture log;
    migration_1_0_0_arFramework(*file, "");
    EXPECT_EQ(log.warning(), warning + "8thwall_migrate_to_1.0.0.txt for more information.\n");
    EXPECT_TRUE(Path::exists(cwd / "8thwall_migrate_to_1.0.0.txt"));
}

TEST(Migration1_0, PhongColourModel) {
    /* Shader and pipeline records the materials below refer to */
    const std::string common = R"("shaders": {"p": {"link": {"file": "default", "name": "Phong.frag"}},
            "f": {"link": {"file": "default", "name": "Flat.frag"}}},
        "pipelines": {"plain": {"shader": "p"}, "emissive": {"shader": "p", "features": {"WITH_EMISSIVE": true}},
            "textured": {"shader": "p", "features": {"TEXTURED": true}}, "flat": {"shader": "f"}},
        "settings": {})";
    /* Before and after, and the pipeline's features afterwards, "{}" being the defaults' */
    const struct { const char* name; const char* material; const char* expected; const char* features; } Data[]{
        {"ambient folded into emissive, clamped",
         R"("pipeline": "emissive", "Phong": {"ambientColor": [0.1, 0.1, 0.1, 1],
            "emissiveColor": [0.95, 0, 0, 1]})",
         R"("pipeline": "emissive", "Phong": {"ambientColor": [0.05, 0.05, 0.05, 1],
            "emissiveColor": [1, 0.1, 0.1, 1], "diffuseColor": [0.5, 0.5, 0.5, 1]})", R"({"WITH_EMISSIVE":true})"},
        {"editor material: ambient 0.2 becomes emission",
         R"("pipeline": "plain", "Phong": {"diffuseColor": [1, 0, 0, 1], "ambientFactor": 0.1})",
         R"("pipeline": "plain", "Phong": {"diffuseColor": [1, 0, 0, 1],
            "emissiveColor": [0.2, 0.2, 0.2, 1], "ambientColor": [0.1, 0.1, 0.1, 1]})", R"({"WITH_EMISSIVE":true})"},
        {"imported material: no ambient", R"("link": {"file": "a.gltf", "name": "m"}, "pipeline": "plain")",
         R"("link": {"file": "a.gltf", "name": "m"}, "pipeline": "plain",
            "Phong": {"ambientColor": [0.05, 0.05, 0.05, 1], "diffuseColor": [0.5, 0.5, 0.5, 1]})", "{}"},
        {"black ambient", R"("pipeline": "plain", "Phong": {"ambientColor": [0.000001, 0, 0, 1]})",
         R"("pipeline": "plain", "Phong": {"ambientColor": [0.05, 0.05, 0.05, 1],
            "diffuseColor": [0.5, 0.5, 0.5, 1]})", "{}"},
        {"textured with an emissive texture",
         R"("pipeline": "textured", "Phong": {"ambientColor": [0.3, 0.3, 0.3, 1], "emissiveTexture": "t",
            "diffuseColor": [0, 0, 1, 1]})",
         R"("pipeline": "textured", "Phong": {"ambientColor": [0.05, 0.05, 0.05, 1], "emissiveTexture": "t",
            "diffuseColor": [1, 1, 1, 1]})", R"({"TEXTURED":true})"},
        {"another shader", R"("pipeline": "flat", "Phong": {"ambientColor": [0.3, 0.3, 0.3, 1]})",
         R"("pipeline": "flat", "Phong": {"ambientColor": [0.3, 0.3, 0.3, 1]})", "{}"},
    };
    for(const auto& d: Data) {
        SCOPED_TRACE(d.name);
        auto file = project(std::string{R"({"materials": {"m": {)"} + d.material + "}}, " + common + "}");
        migration_1_0_0_phongColorChanges(*file);
        ZE_EXPECT_JSON(*file->materials()["m"].readValue(), std::string{"{"} + d.expected + "}");
        const std::string pipeline{file->materials()["m"]["pipeline"].asString()};
        EXPECT_EQ(jsonAt(*file, "pipelines/" + pipeline + "/features"), d.features);
    }
}

TEST(Migration1_0, PhongFeatureDeprecatedAttenuation) {
    auto file = project(R"({"shaders": {"p": {"link": {"file": "default", "name": "Phong.frag"}},
            "n": {"name": "Phong.frag"}},
        "pipelines": {"1": {"shader": "p", "features": {"TEXTURED": true}}, "2": {"shader": "n"},
            "3": {"shader": "missing"}, "4": {"shader": "p", "features": [1]}}, "settings": {}})");
    migration_1_0_0_addPhongFeatureDeprecatedAttenuation(*file);
    ZE_EXPECT_JSON(*file->pipelines().readValue(), R"({
        "1": {"shader": "p", "features": {"TEXTURED": true, "DEPRECATED_LIGHT_ATTENUATION": true}},
        "2": {"shader": "n"}, "3": {"shader": "missing"}, "4": {"shader": "p", "features": [1]}})");
}

/* Plain names of each importer's files are in the frozen 1.0.0 project */
TEST(Migration1_1, FilesBecomeRecordsWithImporters) {
    auto file = project(R"({"files": [{"fileName": "e.fbx", "importerName": "Other"}, 3], "settings": {}})");
    migration_1_0_4_addImporterToFiles(*file);
    migration_1_1_0_convertFilesToResourceSection(*file);
    ZE_EXPECT_JSON(*file->files().readValue(), R"({"1": {"fileName": "e.fbx", "importerName": "Other"}, "2": 3})");
    /* Already a section: nothing to do */
    migration_1_1_0_convertFilesToResourceSection(*file);
    EXPECT_EQ(file->files().keys().size(), 2u);
    /* Keys follow the project's id scheme */
    file = project(R"({"files": [{"fileName": "a.fbx", "importerName": ""}], "settings": {}})");
    file->setIdScheme(IdScheme::Uuid);
    migration_1_1_0_convertFilesToResourceSection(*file);
    const std::vector<std::string> keys = file->files().keys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].size(), 36u);
    EXPECT_EQ(file->files()[keys[0]]["fileName"].asString(), "a.fbx");
}
