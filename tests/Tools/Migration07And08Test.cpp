// Migrations of 0.7 and 0.8 whose logic goes beyond renaming a key.

#include <gtest/gtest.h>

#include "Support/LogCapture.h"
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

TEST(Migration0_7, ResourceLinkFilesBecomePaths) {
    auto file = project(R"({"objects": {"1": {"link": {"file": 0, "name": "Child<Root<scene.gltf"}},
            "2": {"link": {"file": "models/scene.gltf", "name": "Kept<scene.gltf"}},
            "3": {"link": {"file": 1, "name": "Orphan<nowhere.gltf"}}, "4": {"link": {"file": 2, "name": ""}}},
        "images": {"1": {"link": {"file": 0, "name": "wood.png>0"}},
            "2": {"link": {"file": 0, "name": "sub/wood.png"}}},
        "files": ["models/scene.gltf", "textures/sub/wood.png"], "settings": {}})");
    Testing::LogCapture log;
    migration_0_7_3_updateResourceLinksFile(*file);
    EXPECT_EQ(log.debug(), "Migrating animations\nMigrating objects\nMigrating meshes\nMigrating textures\n"
        "Migrating images\nMigrating materials\nMigrating shaders\nMigrating skins\n");
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
