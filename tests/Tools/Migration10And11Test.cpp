// Migrations of 1.0 and 1.1 whose logic goes beyond renaming a key.

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

TEST(Migration1_0, BundlerSettings) {
    const std::string Lib = R"("libraryPaths":["/js/lib/"],)";
    const struct { const char* scripting; std::string expected; } Data[]{
        {R"({"useInternalBundler": false})", "{" + Lib + R"("bundlingType":"npm"})"},
        {R"({"useInternalBundler": true})", "{" + Lib + R"("bundlingType":"esbuild"})"},
        {"{}", "{" + Lib + R"("bundlingType":"esbuild"})"},
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

TEST(Migration1_0, EsbuildFlagsGetTheModuleFormat) {
    const struct { const char* flags; const char* expected; } Data[]{
        {R"("--minify")", R"("--minify --format=esm")"}, {R"("")", R"(" --format=esm")"},
        {R"("--minify --format=esm --sourcemap")", R"("--minify --format=esm --sourcemap")"}, {"5", "5"}};
    for(const auto& d: Data) {
        auto file = project(std::string{R"({"settings": {"scripting": {"esbuildFlags": )"} + d.flags + "}}}");
        migration_1_0_0_updateEsbuildFlags(*file);
        EXPECT_EQ(jsonAt(*file, "settings/scripting/esbuildFlags"), d.expected);
    }
    /* Not set: the default stays a default */
    auto file = project(R"({"settings": {}})");
    migration_1_0_0_updateEsbuildFlags(*file);
    EXPECT_FALSE(file->projectFile()["settings"].HasMember("scripting"));
}

TEST(Migration1_0, LightAttenuationBecomesIntensity) {
    const struct { const char* light; float intensity; } Data[]{
        {R"("type": "point", "attenuation": 0.5)", 0.6666f}, {R"("type": "point", "attenuation": 0)", 33.33f},
        {R"("type": "spot", "attenuation": 0.005)", 33.33f}, {R"("type": "point")", 33.33f},
        {R"("type": "sun", "attenuation": 0.5)", 1.0f},
        {R"("type": "point", "attenuation": 0.5, "intensity": 7)", 7.0f}};
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
    {
        /* A project opened by bare file name: the note lands beside it */
        Testing::TempDirectory cwd;
        Testing::ScopedWorkingDirectory scope{cwd.path()};
        auto file = project(R"({"settings": {"ar": {"8thwall": {"apiToken": "T"}}}})");
        Testing::LogCapture log;
        migration_1_0_0_arFramework(*file, "");
        EXPECT_EQ(log.warning(), warning + "8thwall_migrate_to_1.0.0.txt for more information.\n");
        EXPECT_TRUE(Path::exists(cwd / "8thwall_migrate_to_1.0.0.txt"));
    }
    /* Without a token: no note, no line */
    auto file = project(R"({"settings": {"ar": {"framework": "none", "8thwall": {"apiToken": ""}}}})");
    Testing::TempDirectory other;
    Testing::LogCapture log;
    migration_1_0_0_arFramework(*file, other.path());
    EXPECT_EQ(jsonAt(*file, "settings/ar"), "{}");
    EXPECT_EQ(log.all(), "");
    EXPECT_TRUE(Path::list(other.path())->empty());
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

TEST(Migration1_1, FilesBecomeRecordsWithImporters) {
    auto file = project(R"({"files": ["a.fbx", "b.FBX", "c.obj", "d.gltf",
        {"fileName": "e.fbx", "importerName": "Other"}, 3], "settings": {}})");
    migration_1_0_4_addImporterToFiles(*file);
    migration_1_1_0_convertFilesToResourceSection(*file);
    ZE_EXPECT_JSON(*file->files().readValue(), R"({"1": {"fileName": "a.fbx", "importerName": "AssimpImporter"},
        "2": {"fileName": "b.FBX", "importerName": ""}, "3": {"fileName": "c.obj", "importerName": "AssimpImporter"},
        "4": {"fileName": "d.gltf", "importerName": ""}, "5": {"fileName": "e.fbx", "importerName": "Other"},
        "6": 3})");
    /* Already a section: nothing to do */
    migration_1_1_0_convertFilesToResourceSection(*file);
    EXPECT_EQ(file->files().keys().size(), 6u);

    /* Keys follow the project's id scheme */
    file = project(R"({"files": [{"fileName": "a.fbx", "importerName": ""}], "settings": {}})");
    file->setIdScheme(IdScheme::Uuid);
    migration_1_1_0_convertFilesToResourceSection(*file);
    const std::vector<std::string> keys = file->files().keys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].size(), 36u);
    EXPECT_EQ(file->files()[keys[0]]["fileName"].asString(), "a.fbx");
}
