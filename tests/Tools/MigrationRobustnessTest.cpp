// Records of the wrong shape go through the whole sequence without a crash,
// and what the migrations do not own survives with its value.

#include <gtest/gtest.h>

#include "Support/LogCapture.h"
#include "Support/TempDirectory.h"
#include "Tools/MigrationTestHelpers.h"
#include "Tools/Migrations.h"

using namespace ZandelleEngine;
using Testing::jsonAt;

TEST(MigrationRobustness, WrongShapesSurviveTheWholeSequence) {
    const char* const WrongShapes = R"({"objects": {
        "1": {"name": "Odd", "components": "not an array", "link": 42, "transformation": [1, 2, 3, 4, 5],
              "scale": "big", "deleted": "yes", "parent": 7, "skin": 5, "mine": {"a": [1]}},
        "2": {"components": [1, "x", null, {"type": 5}, {"type": "light", "light": "bright"},
            {"type": "text", "text": {"material": 3}}, {"type": "text", "text": "hello"},
            {"type": "collision", "collision": {"groups": "all"}}, {"type": "mesh", "mesh": {"skin": ["a"]}},
            {"type": "animation", "animation": "x"}]},
        "3": "not a record", "4": {"components": {"0": "weird", "x": 1}},
        "5": {"link": {"file": [1], "name": {"n": 1}}},
        "": {"deleted": true}, "a/b": {"parent": "1"}},
      "skins": {"1": {"joints": {"a": 1}}, "2": {"joints": {"a": 1}}, "3": [1, 2]},
      "materials": {"1": {"shader": 5, "Phong": "red"}, "2": {"pipeline": "missing", "DistanceFieldVector": 3},
        "3": {"shader": "Phong", "Phong": {"diffuseColor": "grey"}}},
      "pipelines": {"p": {"features": [1, 2], "blendSrc": 3, "blendEqRgb": null,
        "link": {"file": "default", "name": "X Opaque Textured"}}},
      "images": {"1": {"link": {"file": 3.5, "name": 7}, "compress": "maybe"}, "2": 5},
      "textures": {"1": {"link": "DefaultFont"}}, "shaders": {"1": {"link": "Phong"}}, "fonts": {"1": 17},
      "files": [1, {"x": 2}, "ok.fbx", null],
      "settings": {"project": {"version": "new"}, "rendering": "fast", "ar": {"framework": 1, "8thwall": "token"},
        "scripting": {"sourcePaths": "js/", "useInternalBundler": "no", "esbuildFlags": 5, "libraryPaths": 1}},
      "extra": {"kept": true}})";
    auto file = Testing::project(WrongShapes);
    Testing::TempDirectory root;
    Testing::LogCapture log;
    ASSERT_TRUE(runMigrations(*file, {0, 6, 0, 0}, root.path(), Testing::loggingHooks(*file)));
    EXPECT_EQ(log.problems(),
        "Transform migration skipped for object 'Odd' (1): 'transformation' is not a 4x4 matrix\n");

    /* What the migrations cannot read stays as it was; only 0.8.6 release
       candidates wrote components as objects, so objects/4 stays too */
    const struct { const char* path; const char* json; } Kept[]{
        {"objects/1/components", "\"not an array\""}, {"objects/1/link", "42"},
        {"objects/1/transformation", "[1,2,3,4,5]"}, {"objects/1/scale", "\"big\""},
        {"objects/1/mine", R"({"a":[1]})"}, {"objects/3", "\"not a record\""},
        {"objects/4/components", R"({"0":"weird","x":1})"}, {"objects/5/link", R"({"file":[1],"name":{"n":1}})"},
        {"skins/1/joints", R"({"a":1})"}, {"skins/2/joints", R"({"a":1})"}, {"skins/3", "[1,2]"},
        {"materials/1/Phong", "\"red\""}, {"materials/3/Phong", R"({"diffuseColor":"grey"})"},
        {"pipelines/p/features", "[1,2]"}, {"images/2", "5"}, {"fonts/1", "17"}, {"extra", R"({"kept":true})"},
        {"settings/rendering", "\"fast\""}, {"settings/scripting/sourcePaths", "\"js/\""},
        {"objects/2/components", R"([1,"x",null,{"type":5},{"type":"light","light":"bright"},)"
            R"({"type":"text","text":{"material":3}},{"type":"text","text":"hello"},)"
            R"({"type":"collision","collision":{"groups":"all"}},{"type":"mesh","mesh":{"skin":["a"]}},)"
            R"({"type":"animation","animation":"x"}])"}};
    for(const auto& k: Kept) EXPECT_EQ(jsonAt(*file, k.path), k.json) << k.path;
    /* The files array became records, its odd entries with it */
    std::vector<std::string> files;
    for(const ValueAccess& f: file->files().range()) files.push_back(jsonAt(*file, f.path()));
    EXPECT_EQ(files, (std::vector<std::string>{"1", R"({"x":2})",
        R"({"fileName":"ok.fbx","importerName":"AssimpImporter"})", "null"}));
    /* A record whose key holds a slash is a record, not a path */
    EXPECT_TRUE(file->projectFile()["objects"].HasMember("a/b"));

    auto candidate = Testing::project(WrongShapes);
    ASSERT_TRUE(runMigrations(*candidate, {0, 8, 6, 1}, root.path(), Testing::loggingHooks(*candidate)));
    EXPECT_EQ(jsonAt(*candidate, "objects/4/components"), R"(["weird",null])");
    EXPECT_EQ(jsonAt(*candidate, "objects/1/components"), "\"not an array\"");
}

TEST(MigrationRobustness, EveryMigrationOnAnEmptyDocument) {
    /* No sections at all, not even settings members */
    auto file = Testing::project("{}");
    Testing::LogCapture log;
    EXPECT_TRUE(runMigrations(*file, {0, 6, 0, 1}, "", Testing::loggingHooks(*file)));
    Migration::migration_0_8_5_fixComponentArrays(*file);
    Migration::migration_1_0_0_phongColorChanges(*file);
    EXPECT_EQ(log.problems(), "");
    EXPECT_EQ(jsonAt(*file, "settings/scripting/bundlingType"), "\"esbuild\"");
}
