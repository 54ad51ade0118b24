#include <cmath>

#include "AssetCompiler/CompileHelpers.h"
#include "CompilerFixture.h"
#include "Engine/Components.h"
#include "Support/LogCapture.h"
#include "Tools/Migrations.h"
#include "Tools/ProjectMigrationsHelpers.h"

namespace ZandelleEngine { namespace Testing { namespace {

using ObjectsTest = CompilerTest;

Vector3 translationOf(const DualQuaternion& d) {
    const Quaternion t = d.dual*glm::conjugate(d.real)*2.0f;
    return {t.x, t.y, t.z};
}

TEST_F(ObjectsTest, ChildBeforeParentGetsItsParentOnTheSamePass) {
    setSection("objects", R"({
        "child": {"name": "Child", "parent": "middle"},
        "middle": {"name": "Middle", "parent": "root"},
        "root": {"name": "Root"}
    })");
    compiler().compileObjects(true);

    ASSERT_NE(object("root"), 0);
    ASSERT_NE(object("middle"), 0);
    ASSERT_NE(object("child"), 0);
    EXPECT_EQ(scene().parent(object("child")), object("middle"));
    EXPECT_EQ(scene().parent(object("middle")), object("root"));
    EXPECT_EQ(scene().parent(object("root")), 0);
    EXPECT_EQ(scene().objectCount(), 3u);
    /* Ancestors were created top-down by the pre-pass */
    EXPECT_LT(object("root"), object("middle"));
    EXPECT_LT(object("middle"), object("child"));
}

/* Record keys are member names, whatever they hold: the document, the
   compile steps and the migrations address the same member, never a nested
   one or one spelled with the escapes */
TEST_F(ObjectsTest, KeysHoldingSlashAndTildeAddressTheSameMember) {
    setSection("objects", R"({
        "p/~q": {"name": "Parent"},
        "a/b~c": {"name": "Child", "parent": "p/~q"},
        "a~1b~0c": {"name": "Escaped spelling"},
        "a": {"b~c": {"name": "Nested"}}
    })");
    ProjectSection& objects = file().objects();
    objects.member("a/b~c")["name"].setString("Written by the document");
    EXPECT_EQ(objects[JsonPointer::escape("a/b~c") + "/name"].asString(), "Written by the document");

    ASSERT_TRUE(compiler().compileObject("a/b~c"));
    ASSERT_NE(object("a/b~c"), 0);
    EXPECT_EQ(scene().parent(object("a/b~c")), object("p/~q"));
    EXPECT_EQ(scene().names().get(object("a/b~c")), "Written by the document");
    EXPECT_EQ(scene().keys().get(object("a/b~c")), "a/b~c");

    const std::optional<ValueAccess> record = Migration::Implementation::recordOf(objects, "a/b~c");
    ASSERT_TRUE(record);
    EXPECT_EQ((*record)["name"].asString(), "Written by the document");
    (*record)["name"].setString("Written by a migration");
    (*record)["deleted"].setBool(true);
    EXPECT_EQ(RecordView::byKey(file(), "objects", "a/b~c")["name"].asString(), "Written by a migration");
    compiler().compileObjects(true);
    EXPECT_EQ(scene().names().get(object("a/b~c")), "Written by a migration");
    EXPECT_EQ(scene().objectCount(), 4u);

    /* The migration finds the deleted record by its key and removes it alone */
    Migration::migration_0_9_0_deletedObjects(file());
    EXPECT_EQ(objects.keys(), (std::vector<std::string>{"p/~q", "a~1b~0c", "a"}));
    EXPECT_EQ(objects.member("a~1b~0c")["name"].asString(), "Escaped spelling");
    EXPECT_EQ(objects["a/b~c/name"].asString(), "Nested");
}

TEST_F(ObjectsTest, RecompilationKeepsIdsAndReparents) {
    setSection("objects", R"({
        "a": {"name": "A"}, "b": {"name": "B"}, "c": {"name": "C", "parent": "a"}
    })");
    compiler().compileObjects(false);
    compiler().compileObjects(true);
    const Data::Id a = object("a"), b = object("b"), c = object("c");
    EXPECT_EQ(scene().parent(c), a);

    file()["objects/c/parent"].setString("b");
    const std::uint32_t objectsBefore = counter(AssetType::Objects);
    compiler().compileObject("c");
    EXPECT_EQ(object("c"), c);
    EXPECT_EQ(scene().parent(c), b);
    EXPECT_EQ(scene().children(a).size(), 0u);
    EXPECT_EQ(scene().objectCount(), 3u);
    EXPECT_EQ(counter(AssetType::Objects), objectsBefore + 1);

    /* Back to the root with an empty parent */
    file()["objects/c/parent"].setString("");
    compiler().compileObjects(true);
    EXPECT_EQ(scene().parent(c), 0);
    EXPECT_EQ(object("a"), a);
    EXPECT_EQ(object("b"), b);
}

TEST_F(ObjectsTest, TransformIsNormalisedDualQuaternion) {
    /* Rotation of 90 degrees around Z, scaled by 2.5 */
    setSection("objects", R"({
        "o": {"translation": [1, 2, 3], "rotation": [0, 0, 1.767767, 1.767767], "scaling": [1, 2, 3]}
    })");
    compiler().compileObjects(false);
    const DualQuaternion& d = scene().localTransformation(object("o"));
    EXPECT_NEAR(glm::length(d.real), 1.0f, 1e-6f);
    EXPECT_NEAR(glm::dot(d.real, d.dual), 0.0f, 1e-6f);
    EXPECT_NEAR(d.real.z, std::sqrt(0.5f), 1e-6f);
    EXPECT_NEAR(d.real.w, std::sqrt(0.5f), 1e-6f);
    const Vector3 t = translationOf(d);
    EXPECT_NEAR(t.x, 1.0f, 1e-5f);
    EXPECT_NEAR(t.y, 2.0f, 1e-5f);
    EXPECT_NEAR(t.z, 3.0f, 1e-5f);
    EXPECT_EQ(scene().localScaling(object("o")), Vector3(1.0f, 2.0f, 3.0f));

    /* Missing values come from the defaults: identity and unit scaling */
    setRecord("objects", "o", "{}");
    compiler().compileObjects(false);
    EXPECT_EQ(scene().localTransformation(object("o")).real, Quaternion(1.0f, 0.0f, 0.0f, 0.0f));
    EXPECT_EQ(scene().localScaling(object("o")), Vector3(1.0f));
}

TEST_F(ObjectsTest, NameTables) {
    setSection("objects", R"({
        "k1": {"name": "First", "skin": "s1"},
        "k2": {"name": "Second"}
    })");
    compiler().compileObjects(false);
    const Data::Id k1 = object("k1"), k2 = object("k2");
    EXPECT_EQ(scene().names().get(k1), "First");
    EXPECT_EQ(scene().keys().get(k1), "k1");
    EXPECT_EQ(scene().skinNames().get(k1), "s1");
    EXPECT_EQ(scene().names().get(k2), "Second");
    EXPECT_EQ(scene().keys().get(k2), "k2");
    EXPECT_EQ(scene().skinNames().get(k2), "");

    /* A longer name replaces the old one; the tables have room per object */
    file()["objects/k1/name"].setString("A much longer first name than before");
    compiler().compileObject("k1");
    EXPECT_EQ(scene().names().get(k1), "A much longer first name than before");
    EXPECT_EQ(scene().names().get(k2), "Second");
    EXPECT_GE(scene().names().capacity(), scene().capacity() + 1);
    EXPECT_GE(scene().names().textCapacity(), std::size_t(scene().capacity())*16);
}

TEST_F(ObjectsTest, UuidSchemeReservesRoomForKeys) {
    file().setIdScheme(IdScheme::Uuid);
    setSection("objects", R"({"0b8e4a3c-5b5f-4e1e-9a53-7d1f2e0b6c11": {}})");
    compiler().compileObjects(false);
    EXPECT_GE(scene().keys().textCapacity(), std::size_t(scene().capacity())*37);
    EXPECT_GE(scene().skinNames().textCapacity(), std::size_t(scene().capacity())*37);
}

TEST_F(ObjectsTest, UnresolvedParentsAreSkipped) {
    LogCapture log;
    setSection("objects", R"({
        "orphan": {"parent": "nowhere"},
        "self": {"parent": "self"},
        "x": {"parent": "y"}, "y": {"parent": "x"},
        "fine": {}
    })");
    compiler().compileObjects(true);
    EXPECT_EQ(object("orphan"), 0);
    EXPECT_EQ(object("self"), 0);
    EXPECT_EQ(object("x"), 0);
    EXPECT_EQ(object("y"), 0);
    EXPECT_NE(object("fine"), 0);
    EXPECT_EQ(scene().objectCount(), 1u);
    EXPECT_NE(log.warning().find("AssetCompiler::compileObjects(): Parent nowhere of object orphan does not resolve, skipping the object\n"),
        std::string::npos);
    EXPECT_EQ(log.error(), "");
}

TEST_F(ObjectsTest, MovingBelowOwnDescendantIsRefused) {
    setSection("objects", R"({"a": {}, "b": {"parent": "a"}})");
    compiler().compileObjects(true);
    file()["objects/a/parent"].setString("b");
    LogCapture log;
    compiler().compileObject("a");
    EXPECT_EQ(scene().parent(object("a")), 0);
    EXPECT_EQ(scene().parent(object("b")), object("a"));
    EXPECT_EQ(log.warning(), "AssetCompiler::compileObjects(): Object a cannot move below its own descendant b, keeping its parent\n");
}

TEST_F(ObjectsTest, DeleteObject) {
    setSection("objects", R"({
        "a": {"name": "A", "components": [{"type": "light", "active": true, "light": {"type": "point"}}]},
        "b": {"name": "B", "parent": "a"}
    })");
    compiler().compileObjects(true);
    const Data::Id a = object("a"), b = object("b");
    editor.data().selection = {"a", "b"};
    const std::uint32_t objects = counter(AssetType::Objects), components = counter(AssetType::Components);

    compiler().deleteObject("a");
    EXPECT_FALSE(scene().isObject(a));
    EXPECT_EQ(scene().parent(b), 0);
    EXPECT_EQ(scene().names().get(a), "");
    EXPECT_EQ(scene().keys().get(a), "");
    EXPECT_EQ(scene().manager<LightManager>().size(), 0u);
    EXPECT_EQ(compiler().resourceIndex.objects.count("a"), 0u);
    EXPECT_EQ(editor.data().selection, std::vector<std::string>{"b"});
    EXPECT_EQ(counter(AssetType::Objects), objects + 1);
    EXPECT_EQ(counter(AssetType::Components), components + 1);
    EXPECT_EQ(sceneData().currentGeneration.load(), components + 1);

    /* Unknown keys only leave the map */
    compiler().resourceIndex.objects["ghost"];
    compiler().deleteObject("ghost");
    EXPECT_EQ(compiler().resourceIndex.objects.count("ghost"), 0u);
    EXPECT_EQ(counter(AssetType::Objects), objects + 1);

    /* Compiling the key again creates a new object */
    file()["objects/a"].remove();
    setRecord("objects", "a", R"({"name": "Again"})");
    compiler().compileObject("a");
    EXPECT_NE(object("a"), 0);
    EXPECT_EQ(scene().names().get(object("a")), "Again");
}

TEST_F(ObjectsTest, WorldTransformsFollowTheHierarchy) {
    setSection("objects", R"({
        "p": {"translation": [0, 0, 1], "rotation": [0, 0, 0.7071068, 0.7071068], "scaling": [2, 2, 2]},
        "c": {"parent": "p", "translation": [1, 0, 0]}
    })");
    compiler().compileObjects(false);
    scene().updateTransformations();
    const Vector3 t = translationOf(scene().worldTransformation(object("c")));
    EXPECT_NEAR(t.x, 0.0f, 1e-5f);
    EXPECT_NEAR(t.y, 2.0f, 1e-5f);
    EXPECT_NEAR(t.z, 1.0f, 1e-5f);
    EXPECT_EQ(scene().worldScaling(object("c")), Vector3(2.0f));
    EXPECT_FALSE(scene().isDirty(object("c")));
}

}}}

namespace ZandelleEngine { namespace Testing { namespace {

TEST_F(CompilerTest, WrongKindsInObjectRecords) {
    LogCapture log;
    setSection("objects", R"({
        "a": {"name": 5, "parent": 7, "translation": "far", "rotation": [0, 0, 0, 0], "scaling": {"x": 1},
              "skin": [], "components": [5, "mesh", null, [], {"type": 3}, {"type": "light", "light": "bright"},
              {"type": "collision", "active": "yes", "collision": {"collider": 2, "groups": -4}}]},
        "b": "not a record",
        "c": {"components": {"type": "mesh"}}
    })");
    compiler().compileObjects(false);
    compiler().compileObjects(true);
    const Data::Id a = object("a");
    ASSERT_NE(a, 0);
    EXPECT_EQ(scene().names().get(a), "");
    EXPECT_EQ(scene().parent(a), 0);
    EXPECT_EQ(scene().localTransformation(a).real, Quaternion(1.0f, 0.0f, 0.0f, 0.0f));
    /* The light without properties is created with an unknown type; the
       collision entry reads every wrong kind as its empty value */
    ASSERT_EQ(scene().components(a).size(), 2u);
    EXPECT_NE(object("b"), 0);
    EXPECT_TRUE(scene().components(object("c")).empty());
    EXPECT_EQ(log.warning(),
        "AssetCompiler::compileObjects(): Object a has a zero rotation, using the identity\n"
        "AssetCompiler::compileObjects(): Object a has a zero rotation, using the identity\n");
    EXPECT_EQ(log.error(), "Unknown light type \n");
}

}}}
