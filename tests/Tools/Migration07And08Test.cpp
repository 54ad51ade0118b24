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
    const struct { const char* groups; const char* mask; } Data[]{
        {"[true, false, true]", "5"},
        {"[true, true, true, true, true, true, true, true, true, true]", "255"},
        {"[false, false, false]", "0"},
        {"[]", "0"},
        /* only the boolean true sets a bit */
        {"[1, \"true\", true, null]", "4"},
        /* not an array: already a mask, or nothing usable */
        {"3", "3"},
        {"\"all\"", "\"all\""},
    };
    for(const auto& d: Data) {
        auto file = project(std::string{R"({"objects": {"1": {"components": [
            {"type": "mesh", "mesh": {"groups": [true]}},
            {"type": "collision", "collision": {"groups": )"} + d.groups + R"(, "extents": [1, 2, 3]}}]}}})");
        migration_0_7_2_updateCollisionGroup(*file);
        EXPECT_EQ(jsonAt(*file, "objects/1/components/1/collision/groups"), d.mask) << d.groups;
        EXPECT_EQ(jsonAt(*file, "objects/1/components/1/collision/extents"), "[1,2,3]");
        EXPECT_EQ(jsonAt(*file, "objects/1/components/0/mesh/groups"), "[true]");
    }
}

TEST(Migration0_7, ResourceLinkFilesBecomePaths) {
    auto file = project(R"({
        "objects": {
            "1": {"link": {"file": 0, "name": "Child<Root<scene.gltf"}},
            "2": {"link": {"file": "models/scene.gltf", "name": "Kept<scene.gltf"}},
            "3": {"link": {"file": 1, "name": "Orphan<nowhere.gltf"}},
            "4": {"link": {"file": 2, "name": ""}}
        },
        "images": {
            "1": {"link": {"file": 0, "name": "wood.png>0"}},
            "2": {"link": {"file": 0, "name": "sub/wood.png"}}
        },
        "files": ["models/scene.gltf", "textures/sub/wood.png"],
        "settings": {}
    })");
    Testing::LogCapture log;
    migration_0_7_3_updateResourceLinksFile(*file);
    EXPECT_EQ(log.debug(), "Migrating animations\nMigrating objects\nMigrating meshes\nMigrating textures\n"
        "Migrating images\nMigrating materials\nMigrating shaders\nMigrating skins\n");
    ZE_EXPECT_JSON(*file->objects().readValue(), R"({
        "1": {"link": {"file": "models\\scene.gltf", "name": "Child<Root"}},
        "2": {"link": {"file": "models/scene.gltf", "name": "Kept<scene.gltf"}},
        "3": {"link": {"file": "default", "name": "Orphan<nowhere.gltf"}},
        "4": {"link": {"file": "default", "name": ""}}
    })");
    ZE_EXPECT_JSON(*file->images().readValue(), R"({
        "1": {"link": {"file": "textures\\sub\\wood.png", "name": "0"}},
        "2": {"link": {"file": "textures\\sub\\wood.png", "name": "wood.png"}}
    })");
}

TEST(Migration0_8, ComponentObjectsBecomeArrays) {
    auto file = project(R"({"objects": {
        "1": {"name": "a", "components": {"0": {"type": "mesh"}, "2": {"type": "light"}}},
        "2": {"components": {"1": {"type": "mesh"}, "0": {"type": "text"}}},
        "3": {"components": "broken"},
        "4": {"components": [{"type": "mesh"}]},
        "5": {"components": {"4000000000": {"type": "mesh"}}}
    }, "settings": {}})");
    migration_0_8_5_fixComponentArrays(*file);
    ZE_EXPECT_JSON(*file->objects().readValue(), R"({
        "1": {"name": "a", "components": [{"type": "mesh"}, null, {"type": "light"}]},
        "2": {"components": [{"type": "text"}, {"type": "mesh"}]},
        "3": {"components": "broken"},
        "4": {"components": [{"type": "mesh"}]},
        "5": {"components": [null]}
    })");
    /* The record keeps its member order */
    EXPECT_EQ(file->objects()["1"].keys(), (std::vector<std::string>{"name", "components"}));
}

TEST(Migration0_8, ShadersToPipelinesOpaquesPhongDiffuse) {
    auto file = project(R"({"materials": {
        "1": {"shader": "Phong", "Phong": {"diffuseColor": [0.5, 0.5, 0.5, 0.2]}},
        "2": {"Phong": {"diffuseColor": [0.5, 0.5, 0.5]}},
        "3": {"shader": "Flat Textured", "Phong": {"diffuseColor": [0.5, 0.5, 0.5, 0.2]}},
        "4": {"shader": "Unknown"},
        "5": {"pipeline": "9", "Phong": {"diffuseColor": {"3": 0.5}}}
    }, "settings": {}})");
    Testing::addDefaultPipelines(*file);
    ASSERT_TRUE(migration_0_8_5_updateShadersToPipelines(*file));
    const std::string phong = file->pipelines().resourceByName("Phong Opaque");
    const std::string flat = file->pipelines().resourceByName("Flat Opaque Textured");
    ZE_EXPECT_JSON(*file->materials().readValue(), R"({
        "1": {"Phong": {"diffuseColor": [0.5, 0.5, 0.5, 1.0]}, "pipeline": ")" + phong + R"("},
        "2": {"Phong": {"diffuseColor": [0.5, 0.5, 0.5]}},
        "3": {"Phong": {"diffuseColor": [0.5, 0.5, 0.5, 0.2]}, "pipeline": ")" + flat + R"("},
        "4": {"pipeline": ""},
        "5": {"pipeline": "9", "Phong": {"diffuseColor": {"3": 0.5}}}
    })");
}

TEST(Migration0_8, EmptyNamesFollowRenamedParents) {
    auto file = project(R"({"objects": {
        "1": {"link": {"file": "a", "name": "<root"}},
        "2": {"link": {"file": "a", "name": "<root"}},
        "3": {"link": {"file": "a", "name": "c<<root"}},
        "4": {"link": {"file": "a", "name": "<c<<root"}},
        "5": {"link": {"file": "a", "name": "<<gone"}},
        "6": {"link": 42},
        "7": {"link": {"file": "a", "name": "plain"}}
    }, "settings": {}})");
    migration_0_8_6_updateLinksObjectsEmptyNames(*file);
    EXPECT_EQ(file->objects()["1"]["link/name"].asString(), "object_0<root");
    EXPECT_EQ(file->objects()["2"]["link/name"].asString(), "object_1<root");
    EXPECT_EQ(file->objects()["3"]["link/name"].asString(), "c<object_1<root");
    /* The renamed path of "c<<root" is the new parent of its unnamed child */
    EXPECT_EQ(file->objects()["4"]["link/name"].asString(), "object_0<c<object_1<root");
    /* An unnamed ancestor that was never seen stays as it is */
    EXPECT_EQ(file->objects()["5"]["link/name"].asString(), "object_0<<gone");
    EXPECT_EQ(jsonAt(*file, "objects/6/link"), "42");
    EXPECT_EQ(file->objects()["7"]["link/name"].asString(), "plain");
}
