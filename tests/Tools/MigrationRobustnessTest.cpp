// Records of the wrong shape go through the whole sequence without a crash,
// and what the migrations do not own survives with its value.

#include <gtest/gtest.h>

#include "Support/LogCapture.h"
#include "Support/TempDirectory.h"
#include "Tools/MigrationTestHelpers.h"
#include "Tools/Migrations.h"

using namespace ZandelleEngine;
using Testing::jsonAt;

namespace {

const char* const WrongShapes = R"({
    "objects": {
        "1": {"name": "Odd", "components": "not an array", "link": 42, "transformation": [1, 2, 3, 4, 5],
              "scale": "big", "deleted": "yes", "parent": 7, "skin": 5, "mine": {"a": [1]}},
        "2": {"components": [1, "x", null, {"type": 5}, {"type": "light", "light": "bright"},
                             {"type": "text", "text": {"material": 3}}, {"type": "text", "text": "hello"},
                             {"type": "collision", "collision": {"groups": "all"}},
                             {"type": "mesh", "mesh": {"skin": ["a"]}},
                             {"type": "animation", "animation": "x"}]},
        "3": "not a record",
        "4": {"components": {"0": "weird", "x": 1}},
        "5": {"link": {"file": [1], "name": {"n": 1}}},
        "": {"deleted": true},
        "a/b": {"parent": "1"}
    },
    "skins": {"1": {"joints": {"a": 1}}, "2": {"joints": {"a": 1}}, "3": [1, 2]},
    "materials": {
        "1": {"shader": 5, "Phong": "red"},
        "2": {"pipeline": "missing", "DistanceFieldVector": 3},
        "3": {"shader": "Phong", "Phong": {"diffuseColor": "grey"}}
    },
    "pipelines": {"p": {"features": [1, 2], "blendSrc": 3, "blendEqRgb": null,
                        "link": {"file": "default", "name": "X Opaque Textured"}}},
    "images": {"1": {"link": {"file": 3.5, "name": 7}, "compress": "maybe"}, "2": 5},
    "textures": {"1": {"link": "DefaultFont"}},
    "shaders": {"1": {"link": "Phong"}},
    "fonts": {"1": 17},
    "files": [1, {"x": 2}, "ok.fbx", null],
    "settings": {
        "project": {"version": "new"},
        "scripting": {"sourcePaths": "js/", "useInternalBundler": "no", "esbuildFlags": 5, "libraryPaths": 1},
        "rendering": "fast",
        "ar": {"framework": 1, "8thwall": "token"}
    },
    "extra": {"kept": true}
})";

}

TEST(MigrationRobustness, WrongShapesSurviveTheWholeSequence) {
    auto file = Testing::project(WrongShapes);
    Testing::TempDirectory root;
    Testing::RecordingHooks hooks;
    Testing::LogCapture log;
    ASSERT_TRUE(runMigrations(*file, {0, 6, 0, 0}, root.path(), hooks.hooks(*file)));
    EXPECT_EQ(log.error(), "");
    EXPECT_EQ(log.warning(), "Transform migration skipped for object 'Odd' (1): 'transformation' is not a 4x4 matrix\n");

    /* What the migrations cannot read stays as it was */
    EXPECT_EQ(jsonAt(*file, "objects/1/components"), "\"not an array\"");
    EXPECT_EQ(jsonAt(*file, "objects/1/link"), "42");
    EXPECT_EQ(jsonAt(*file, "objects/1/transformation"), "[1,2,3,4,5]");
    EXPECT_EQ(jsonAt(*file, "objects/1/scale"), "\"big\"");
    EXPECT_EQ(jsonAt(*file, "objects/1/mine"), R"({"a":[1]})");
    EXPECT_EQ(jsonAt(*file, "objects/2/components"), R"([1,"x",null,{"type":5},{"type":"light","light":"bright"},)"
        R"({"type":"text","text":{"material":3}},{"type":"text","text":"hello"},)"
        R"({"type":"collision","collision":{"groups":"all"}},{"type":"mesh","mesh":{"skin":["a"]}},)"
        R"({"type":"animation","animation":"x"}])");
    EXPECT_EQ(jsonAt(*file, "objects/3"), "\"not a record\"");
    /* Only 0.8.6 release candidates wrote components as objects */
    EXPECT_EQ(jsonAt(*file, "objects/4/components"), R"({"0":"weird","x":1})");
    auto candidate = Testing::project(WrongShapes);
    ASSERT_TRUE(runMigrations(*candidate, {0, 8, 6, 1}, root.path(), hooks.hooks(*candidate)));
    EXPECT_EQ(jsonAt(*candidate, "objects/4/components"), R"(["weird",null])");
    EXPECT_EQ(jsonAt(*candidate, "objects/1/components"), "\"not an array\"");
    EXPECT_EQ(jsonAt(*file, "objects/5/link"), R"({"file":[1],"name":{"n":1}})");
    EXPECT_EQ(jsonAt(*file, "skins/1/joints"), R"({"a":1})");
    EXPECT_EQ(jsonAt(*file, "skins/2/joints"), R"({"a":1})");
    EXPECT_EQ(jsonAt(*file, "skins/3"), "[1,2]");
    EXPECT_EQ(jsonAt(*file, "materials/1/Phong"), "\"red\"");
    EXPECT_EQ(jsonAt(*file, "materials/3/Phong"), R"({"diffuseColor":"grey"})");
    EXPECT_EQ(jsonAt(*file, "pipelines/p/features"), "[1,2]");
    EXPECT_EQ(jsonAt(*file, "images/2"), "5");
    EXPECT_EQ(jsonAt(*file, "fonts/1"), "17");
    EXPECT_EQ(jsonAt(*file, "settings/rendering"), "\"fast\"");
    EXPECT_EQ(jsonAt(*file, "settings/scripting/sourcePaths"), "\"js/\"");
    EXPECT_EQ(jsonAt(*file, "extra"), R"({"kept":true})");
    /* The files array became records, its odd entries with it */
    std::vector<std::string> files;
    for(const ValueAccess& f: file->files().range()) files.push_back(jsonAt(*file, f.path()));
    EXPECT_EQ(files, (std::vector<std::string>{"1", R"({"x":2})", R"({"fileName":"ok.fbx","importerName":"AssimpImporter"})", "null"}));
    /* A record whose key holds a slash is a record, not a path */
    EXPECT_TRUE(file->projectFile()["objects"].HasMember("a/b"));
    EXPECT_EQ(log.error(), "");
}

TEST(MigrationRobustness, EveryMigrationOnAnEmptyDocument) {
    /* No sections at all, not even settings members */
    auto file = Testing::project("{}");
    Testing::TempDirectory root;
    Testing::RecordingHooks hooks;
    Testing::LogCapture log;
    EXPECT_TRUE(runMigrations(*file, {0, 6, 0, 1}, root.path(), hooks.hooks(*file)));
    Migration::migration_0_8_5_fixComponentArrays(*file);
    Migration::migration_1_0_0_phongColorChanges(*file);
    EXPECT_EQ(log.problems(), "");
    EXPECT_EQ(jsonAt(*file, "settings/scripting/bundlingType"), "\"esbuild\"");
}
