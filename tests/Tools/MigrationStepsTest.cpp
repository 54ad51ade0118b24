// Migrations whose logic goes beyond renaming a key, one by one. What a frozen
// per-version project already shows end to end is named beside each test.

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

/* Plain masks: frozen 0.6.0 and 0.7.2 projects; groups that are no array: wrong-shapes test */
TEST(Migration0_7, CollisionGroupsBecomeABitMask) {
    /* Only the boolean true sets a bit, and only the first eight count */
    const struct { const char* groups; const char* mask; } Data[]{
        {"[true, true, true, true, true, true, true, true, true, true]", "255"}, {"[1, \"true\", true, null]", "4"}};
    for(const auto& d: Data) {
        auto file = project(std::string{R"({"objects": {"1": {"components": [{"type": "collision",
            "collision": {"groups": )"} + d.groups + "}}]}}}");
        migration_0_7_2_updateCollisionGroup(*file);
        EXPECT_EQ(jsonAt(*file, "objects/1/components/0/collision/groups"), d.mask) << d.groups;
    }
}

/* Links to listed files, files given by name, each section's line: frozen 0.6.0 and 0.7.2 projects */
TEST(Migration0_7, ResourceLinkFilesBecomePaths) {
    /* An empty name matches no file: it would end every path */
    auto file = project(R"({"objects": {"3": {"link": {"file": 1, "name": "Orphan<nowhere.gltf"}},
            "4": {"link": {"file": 2, "name": ""}}},
        "images": {"1": {"link": {"file": 0, "name": "wood.png>0"}}},
        "files": ["textures/sub/wood.png"], "settings": {}})");
    migration_0_7_3_updateResourceLinksFile(*file);
    EXPECT_EQ(jsonAt(*file, "objects"), R"({"3":{"link":{"file":"default","name":"Orphan<nowhere.gltf"}},)"
        R"("4":{"link":{"file":"default","name":""}}})");
    EXPECT_EQ(jsonAt(*file, "images/1/link"), R"({"file":"textures\\sub\\wood.png","name":"0"})");
}

/* Gaps and arrays: frozen 0.8.6-rc1 project; keys that are no index: wrong-shapes test */
TEST(Migration0_8, ComponentObjectsBecomeArrays) {
    auto file = project(R"({"objects": {"2": {"name": "b", "components": {"1": {"type": "mesh"},
        "0": {"type": "text"}}}, "5": {"components": {"4000000000": {"type": "mesh"}}}}, "settings": {}})");
    migration_0_8_5_fixComponentArrays(*file);
    /* Compared as text, so that the records keep their member order */
    EXPECT_EQ(jsonAt(*file, "objects"),
        R"({"2":{"name":"b","components":[{"type":"text"},{"type":"mesh"}]},"5":{"components":[null]}})");
}

/* Each shader's pipeline, an unknown one's, opaque Phong alphas: frozen 0.6.0 and 0.8.2 projects */
TEST(Migration0_8, ShadersToPipelinesOnlyFourElementDiffuseBecomesOpaque) {
    auto file = project(R"({"materials": {"2": {"Phong": {"diffuseColor": [0.5, 0.5, 0.5]}},
        "5": {"pipeline": "9", "Phong": {"diffuseColor": {"3": 0.5}}}}, "settings": {}})");
    Testing::addDefaultPipelines(*file);
    ASSERT_TRUE(migration_0_8_5_updateShadersToPipelines(*file));
    EXPECT_EQ(jsonAt(*file, "materials"), R"({"2":{"Phong":{"diffuseColor":[0.5,0.5,0.5]}},)"
        R"("5":{"pipeline":"9","Phong":{"diffuseColor":{"3":0.5}}}})");
}

/* Siblings counted and one renamed parent are in the frozen 0.8.5 project */
TEST(Migration0_8, EmptyNamesFollowRenamedParents) {
    /* The renamed path of "c<<root" is the new parent of its unnamed child;
       an unnamed ancestor that was never seen stays */
    auto file = project(R"({"objects": {"1": {"link": {"file": "a", "name": "<root"}},
        "3": {"link": {"file": "a", "name": "c<<root"}}, "4": {"link": {"file": "a", "name": "<c<<root"}},
        "5": {"link": {"file": "a", "name": "<<gone"}}}, "settings": {}})");
    migration_0_8_6_updateLinksObjectsEmptyNames(*file);
    std::vector<std::string_view> names;
    for(const ValueAccess& o: file->objects().range()) names.push_back(o["link/name"].asString());
    EXPECT_EQ(names, (std::vector<std::string_view>{"object_0<root", "c<object_0<root",
        "object_0<c<object_0<root", "object_0<<gone"}));
}

/* Factors needing a constant, kept ones, none at all: frozen 0.8.5 and 0.8.9 projects */
TEST(Migration0_9, BlendFactorsThatAreNoStringAreDropped) {
    auto file = project(R"({"pipelines": {"1": {"blendSrc": "source alpha saturate", "blendDest": 7}}})");
    migration_0_9_0_unsupportedBlendFunctions(*file);
    migration_0_9_0_separateBlendFunctions(*file);
    EXPECT_EQ(jsonAt(*file, "pipelines/1"),
        R"({"blendSrcRgb":"source alpha saturate","blendSrcAlpha":"source alpha saturate"})");
}

/* An outline and its setting, both colours, the Text pipeline: frozen 0.6.0 project; no setting: 0.8.5 */
TEST(Migration0_9, TextMaterialToTextPipeline) {
    /* [0.5, 0.48] is just too narrow for an outline in single precision; a material without a pipeline gets none */
    const char* const Components =
        R"([{"type":"text","text":{"material":"m"}},{"type":"text","text":{"material":"n"}}])";
    auto file = project(std::string{R"({"objects": {"1": {"components": )"} + Components + R"(}},
        "materials": {"m": {"pipeline": "old", "DistanceFieldVector": {"outlineRange": [0.5, 0.48]}},
            "n": {"DistanceFieldVector": {"effectColor": [0, 0, 1, 1]}}},
        "pipelines": {"old": {"name": "DistanceFieldVector"}, "t": {"name": "Text"}}, "settings": {}})");
    migration_0_9_0_textMaterialToSlug(*file);
    EXPECT_EQ(jsonAt(*file, "materials"), R"({"m":{"pipeline":"t"},"n":{"Text":{"outlineColor":[0,0,1,1]}}})");
    EXPECT_EQ(jsonAt(*file, "objects/1/components"), Components);
}

/* A deleted object's child is in the frozen 0.6.0 project */
TEST(Migration0_9, DeletedObjectsTakeTheirDescendants) {
    auto file = project(R"({"objects": {"grandchild": {"parent": "child"}, "child": {"parent": "root"},
        "root": {"deleted": true}, "kept": {"deleted": false, "parent": "missing"}, "a": {"parent": "b"},
        "b": {"parent": "a"}}, "settings": {}})");
    migration_0_9_0_deletedObjects(*file);
    EXPECT_EQ(file->objects().keys(), (std::vector<std::string>{"kept", "a", "b"}));
}

/* Skins, numbered on their own, are in the frozen 0.6.0 project */
TEST(Migration0_9, UnnamedResourcesAreNumberedPerFile) {
    /* a: one name counts from 0, the unnamed one not at all; b: three from 1,
       texture_9 beyond them; c: texture_0 below its base of 4 */
    auto file = project(R"({"textures": {"1": {"link": {"file": "models\\a.gltf", "name": "texture_0"}},
            "2": {"link": {"file": "models\\a.gltf", "name": ""}},
            "3": {"link": {"file": "models\\b.gltf", "name": "texture_1"}},
            "4": {"link": {"file": "models\\b.gltf", "name": "texture_2"}},
            "5": {"link": {"file": "models\\b.gltf", "name": "texture_9"}},
            "6": {"link": {"file": "models\\c.gltf", "name": "texture_0"}}},
        "files": ["models/a.gltf", "models/b.gltf", "models/c.gltf"], "settings": {}})");
    migration_0_9_0_perFileUnnamedResourceIndices(*file);
    std::vector<std::string_view> textures;
    for(const ValueAccess& t: file->textures().range()) textures.push_back(t["link/name"].asString());
    EXPECT_EQ(textures,
        (std::vector<std::string_view>{"texture_0", "", "texture_0", "texture_1", "texture_9", "texture_0"}));
}

/* A font file added, settings cleared, the default font, the defaults' outline: frozen 0.6.0, 0.9.0, 0.8.2 */
TEST(Migration0_9, FontSettingsBecomeAFontRecord) {
    auto file = project(R"({"files": ["fonts/Mine.ttf"], "settings": {"rendering": {"font": "fonts/Mine.ttf",
        "fontOutlineSize": 0.25}}})");
    migration_0_9_4_moveFontToResource(*file);
    const FileLink link{"fonts/Mine.ttf", "font_0"};
    EXPECT_TRUE(file->fonts().getOriginal(link).exists());
    /* The file was already listed */
    EXPECT_EQ(jsonAt(*file, "files"), R"(["fonts/Mine.ttf"])");
    EXPECT_EQ(jsonAt(*file, "fonts/" + file->fonts().firstResourceWithLink(link)),
        R"({"link":{"file":"fonts/Mine.ttf","name":"font_0"},"outline":false,"outlineSize":0.25})");
}

/* The first font, a font already set, other shaders: frozen 0.6.0 and 0.9.0 projects */
TEST(Migration0_9, TextMaterialPrefersTheDefaultFont) {
    const struct { const char* fonts; const char* font; } Data[]{{R"("a": {"link": {"file": "x.ttf", "name": "font_0"}},
        "b": {"link": {"file": "default", "name": "DejaVuSans.ttf"}})", "\"b\""}, {"", ""}};
    for(const auto& d: Data) {
        auto file = project(std::string{R"({"shaders": {"s": {"link": {"file": "default", "name": "Text.frag"}}},
            "pipelines": {"text": {"shader": "s"}}, "materials": {"1": {"pipeline": "text"}},
            "fonts": {)"} + d.fonts + R"(}, "settings": {}})");
        migration_0_9_4_textMaterialAddFont(*file);
        EXPECT_EQ(jsonAt(*file, "materials/1/Text/font"), d.font) << d.fonts;
    }
}

/* A copy merged into a used skin, with its meshes; other joints kept: frozen 0.6.0 and 0.9.0 projects */
TEST(Migration0_9, UsedSkinsAndOddJointListsAreNeverMerged) {
    auto file = project(R"({"objects": {"1": {"skin": "used"}, "2": {"skin": "alsoUsed"}},
        "skins": {"used": {"joints": ["1", "2"]}, "alsoUsed": {"joints": ["1", "2"]},
            "odd": {"joints": {"0": "1", "1": "2"}}}, "settings": {}})");
    Testing::LogCapture log;
    migration_0_9_4_mergeDuplicateSkins(*file);
    EXPECT_EQ(log.debug(), "");
    EXPECT_EQ(file->skins().keys(), (std::vector<std::string>{"used", "alsoUsed", "odd"}));
}

/* Rotated, scaled, sheared: frozen 0.9.4 project; a matrix of the wrong size: wrong-shapes test */
TEST(Migration0_9, MirroredTransformationKeepsItsNegativeScaling) {
    auto file = project(R"({"objects": {"4": {"transformation": [-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]}}})");
    Testing::LogCapture log;
    migration_0_9_5_transformationToTRS(*file);
    EXPECT_EQ(log.warning(), "");
    EXPECT_EQ(file->objects()["4"]["scaling"].asVector3(), (Vector3{-1.0f, 1.0f, 1.0f}));
}

/* The deprecated flag alone, either way, and none: frozen 0.6.0, 0.9.5 and 0.7.2 projects */
TEST(Migration1_0, BundlerSettings) {
    const std::string Lib = R"("libraryPaths":["/js/lib/"])";
    const struct { const char* scripting; std::string expected; } Data[]{
        /* A bundler that was chosen stays; the library paths are ours */
        {R"({"useInternalBundler": false, "bundlingType": "esbuild", "libraryPaths": ["mine"]})",
         R"({"bundlingType":"esbuild",)" + Lib + "}"},
        /* Only the first bundle entry goes */
        {R"({"sourcePaths": ["/js/editor-components-bundle.js", "js/", "/js/editor-components-bundle.js"]})",
         R"({"sourcePaths":["js/","/js/editor-components-bundle.js"],)" + Lib + R"(,"bundlingType":"esbuild"})"},
    };
    for(const auto& d: Data) {
        auto file = project(std::string{R"({"settings": {"scripting": )"} + d.scripting + "}}");
        migration_1_0_0_automaticEntryPointJs(*file);
        migration_1_0_0_deprecateUseInternalBundler(*file);
        migration_1_0_0_removeAutomaticEntryPointJsFlag(*file);
        EXPECT_EQ(jsonAt(*file, "settings/scripting"), d.expected) << d.scripting;
    }
}

/* Flags without the format, none: frozen 0.8.5 and 0.6.0 projects; no string: wrong-shapes test */
TEST(Migration1_0, EsbuildFlagsWithTheFormatStay) {
    auto file = project(R"({"settings": {"scripting": {"esbuildFlags": "--minify --format=esm --sourcemap"}}})");
    migration_1_0_0_updateEsbuildFlags(*file);
    EXPECT_EQ(jsonAt(*file, "settings/scripting/esbuildFlags"), R"("--minify --format=esm --sourcemap")");
}

/* Sun, point and spot lights, an intensity set, an attenuation of 0: frozen 0.9.5 project */
TEST(Migration1_0, LightAttenuationBelowTheLimitCountsAsTheLimit) {
    auto file = project(R"({"objects": {"1": {"components": [{"type": "light", "light": {"type": "spot",
        "attenuation": 0.005}}]}}})");
    migration_1_0_0_convertAttenuationToIntensity(*file);
    EXPECT_NEAR(file->objects()["1"]["components/0/light/intensity"].asFloat(), 33.33f, 1e-4f);
}

/* The switch, the token removed, warning and note beside the project: frozen 0.6.0 project. A project
   opened by bare file name has its note written to the working directory */
TEST(Migration1_0, AugmentedRealityNote) {
    Testing::TempDirectory cwd;
    Testing::ScopedWorkingDirectory scope{cwd.path()};
    auto file = project(R"({"settings": {"ar": {"8thwall": {"apiToken": "T0K3N"}}}})");
    Testing::LogCapture log;
    migration_1_0_0_arFramework(*file, "");
    EXPECT_EQ(log.warning(), "We removed the setting to specify 8thwall API tokens in the editor.\n"
        "Please see 8thwall_migrate_to_1.0.0.txt for more information.\n");
    EXPECT_EQ(Path::readString(cwd / "8thwall_migrate_to_1.0.0.txt").value_or(""),
        "In 1.0.0, we removed the setting to specify 8thwall API tokens\n"
        "in the editor. Please go ahead and specify your token in your\n"
        "`src/index.js` file instead:\n\nconst XR8_API_TOKEN = 'T0K3N';\n");
}

TEST(Migration1_0, PhongColourModel) {
    const std::string common = R"("shaders": {"p": {"link": {"file": "default", "name": "Phong.frag"}},
            "f": {"link": {"file": "default", "name": "Flat.frag"}}},
        "pipelines": {"plain": {"shader": "p"}, "emissive": {"shader": "p", "features": {"WITH_EMISSIVE": true}},
            "textured": {"shader": "p", "features": {"TEXTURED": true}}, "flat": {"shader": "f"}})";
    /* The material's pipeline and members; its Phong values and pipeline features ("{}": defaults) after */
    const struct { const char* pipeline; const char* material; const char* phong; const char* features; } Data[]{
        /* Ambient folded into the emission, clamped */
        {"emissive", R"("Phong": {"ambientColor": [0.1, 0.1, 0.1, 1], "emissiveColor": [0.95, 0, 0, 1]})",
         R"({"ambientColor": [0.05, 0.05, 0.05, 1], "emissiveColor": [1, 0.1, 0.1, 1],
            "diffuseColor": [0.5, 0.5, 0.5, 1]})", R"({"WITH_EMISSIVE":true})"},
        /* Made in the editor: its ambient of 0.2 becomes the emission */
        {"plain", R"("Phong": {"diffuseColor": [1, 0, 0, 1], "ambientFactor": 0.1})",
         R"({"diffuseColor": [1, 0, 0, 1], "emissiveColor": [0.2, 0.2, 0.2, 1], "ambientColor": [0.1, 0.1, 0.1, 1]})",
         R"({"WITH_EMISSIVE":true})"},
        /* Imported: no ambient */
        {"plain", R"("link": {"file": "a.gltf", "name": "m"})",
         R"({"ambientColor": [0.05, 0.05, 0.05, 1], "diffuseColor": [0.5, 0.5, 0.5, 1]})", "{}"},
        /* An emissive texture stands for the emission */
        {"textured", R"("Phong": {"ambientColor": [0.3, 0.3, 0.3, 1], "emissiveTexture": "t",
            "diffuseColor": [0, 0, 1, 1]})",
         R"({"ambientColor": [0.05, 0.05, 0.05, 1], "emissiveTexture": "t", "diffuseColor": [1, 1, 1, 1]})",
         R"({"TEXTURED":true})"},
        {"flat", R"("Phong": {"ambientColor": [0.3, 0.3, 0.3, 1]})", R"({"ambientColor": [0.3, 0.3, 0.3, 1]})", "{}"},
    };
    for(const auto& d: Data) {
        SCOPED_TRACE(d.material);
        auto file = project(std::string{R"({"materials": {"m": {"pipeline": ")"} + d.pipeline + "\", " + d.material +
            "}}, " + common + "}");
        migration_1_0_0_phongColorChanges(*file);
        ZE_EXPECT_JSON(*file->materials()["m"]["Phong"].readValue(), d.phong);
        EXPECT_EQ(jsonAt(*file, std::string{"pipelines/"} + d.pipeline + "/features"), d.features);
    }
}

/* Phong pipelines: frozen 0.6.0 project; a pipeline without its shader: wrong-shapes test */
TEST(Migration1_0, PhongFeatureNeedsALinkedShaderAndAFeatureObject) {
    auto file = project(R"({"shaders": {"p": {"link": {"file": "default", "name": "Phong.frag"}},
            "n": {"name": "Phong.frag"}},
        "pipelines": {"1": {"shader": "n"}, "2": {"shader": "p", "features": [1]}}, "settings": {}})");
    migration_1_0_0_addPhongFeatureDeprecatedAttenuation(*file);
    EXPECT_EQ(jsonAt(*file, "pipelines"), R"({"1":{"shader":"n"},"2":{"shader":"p","features":[1]}})");
}

/* Files by plain name: frozen 0.6.0 and 1.0.0 projects; records: 1.0.4; odd entries: wrong-shapes test */
TEST(Migration1_1, FilesSectionFollowsTheIdScheme) {
    auto file = project(R"({"files": [{"fileName": "a.fbx", "importerName": ""}], "settings": {}})");
    file->setIdScheme(IdScheme::Uuid);
    migration_1_1_0_convertFilesToResourceSection(*file);
    const std::vector<std::string> keys = file->files().keys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].size(), 36u);
    /* Already a section: nothing to do */
    migration_1_1_0_convertFilesToResourceSection(*file);
    EXPECT_EQ(file->files().keys(), keys);
}
