#include <cmath>
#include <tuple>

#include "AssetCompiler/CompileHelpers.h"
#include "CompilerFixture.h"
#include "Engine/Components.h"
#include "Support/LogCapture.h"
#include "Tools/Migrations.h"
#include "Tools/ProjectMigrationsHelpers.h"

namespace ZandelleEngine { namespace Testing { namespace {

using ObjectsTest = CompilerTest;

TEST_F(ObjectsTest, HierarchyBuiltReparentedAndGuarded) {
    setSection("objects", R"({"child": {"parent": "middle"}, "middle": {"parent": "root"}, "root": {}, "other": {}})");
    compiler().compile("components");
    const Data::Id child = object("child"), middle = object("middle"), root = object("root"), other = object("other");
    ASSERT_TRUE(child && middle && root && other);
    /* The child comes first: the pre-pass created its ancestors */
    EXPECT_EQ(std::tuple(scene().parent(child), scene().parent(middle), scene().parent(root)),
              std::tuple(middle, root, 0));
    EXPECT_EQ(scene().objectCount(), 4u);

    file()["objects/child/parent"].setString("other");
    const std::uint32_t before = counter(AssetType::Objects);
    compiler().compile("components", {"child"});
    EXPECT_EQ(std::tuple(object("child"), scene().parent(child), scene().children(middle).size()),
              std::tuple(child, other, 0));
    EXPECT_EQ(counter(AssetType::Objects), before + 1);
    /* An empty parent is the root; a full pass keeps every id */
    file()["objects/child/parent"].setString("");
    compiler().compile("components");
    EXPECT_EQ(std::tuple(scene().parent(child), object("root"), object("other")), std::tuple(0, root, other));

    file()["objects/root/parent"].setString("middle");
    LogCapture log;
    compiler().compile("components", {"root"});
    EXPECT_EQ(std::tuple(scene().parent(root), scene().parent(middle)), std::tuple(0, root));
    EXPECT_EQ(log.warning(),
        "AssetCompiler::compileObjects(): Object root cannot move below its own descendant middle, "
        "keeping its parent\n");
}

/* Record keys are member names, whatever they hold: the document, the
   compile steps and the migrations address the same member, never a nested
   one or one spelled with the escapes */
TEST_F(ObjectsTest, KeysHoldingSlashAndTildeAddressTheSameMember) {
    setSection("objects", R"({"p/~q": {"name": "Parent"}, "a/b~c": {"name": "Child", "parent": "p/~q"},
        "a~1b~0c": {"name": "Escaped spelling"}, "a": {"b~c": {"name": "Nested"}}})");
    ProjectSection& objects = file().objects();
    objects.member("a/b~c")["name"].setString("Written by the document");
    EXPECT_EQ(objects[JsonPointer::escape("a/b~c") + "/name"].asString(), "Written by the document");

    ASSERT_TRUE(compiler().compile("components", {"a/b~c"}));
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
    compiler().compile("components");
    EXPECT_EQ(scene().names().get(object("a/b~c")), "Written by a migration");
    EXPECT_EQ(scene().objectCount(), 4u);

    /* The migration finds the deleted record by its key and removes it alone */
    Migration::migration_0_9_0_deletedObjects(file());
    EXPECT_EQ(objects.keys(), (std::vector<std::string>{"p/~q", "a~1b~0c", "a"}));
    EXPECT_EQ(objects.member("a~1b~0c")["name"].asString(), "Escaped spelling");
    EXPECT_EQ(objects["a/b~c/name"].asString(), "Nested");
}

TEST_F(ObjectsTest, TransformsNormalisedAndFollowingTheHierarchy) {
    /* o turns 90 degrees around Z with a rotation scaled by 2.5 */
    setSection("objects", R"({
        "o": {"translation": [1, 2, 3], "rotation": [0, 0, 1.767767, 1.767767], "scaling": [1, 2, 3]},
        "p": {"translation": [0, 0, 1], "rotation": [0, 0, 0.7071068, 0.7071068], "scaling": [2, 2, 2]},
        "c": {"parent": "p", "translation": [1, 0, 0]}})");
    compiler().compile("objects");
    const DualQuaternion& d = scene().localTransformation(object("o"));
    EXPECT_NEAR(glm::length(d.real - Quaternion(std::sqrt(0.5f), 0.0f, 0.0f, std::sqrt(0.5f))), 0.0f, 1e-6f);
    EXPECT_NEAR(glm::length(translationOf(d) - Vector3(1.0f, 2.0f, 3.0f)), 0.0f, 1e-5f);
    EXPECT_EQ(scene().localScaling(object("o")), Vector3(1.0f, 2.0f, 3.0f));

    scene().updateTransformations();
    EXPECT_NEAR(glm::length(translationOf(scene().worldTransformation(object("c"))) - Vector3(0, 2, 1)), 0.0f, 1e-5f);
    EXPECT_EQ(scene().worldScaling(object("c")), Vector3(2.0f));
    EXPECT_FALSE(scene().isDirty(object("c")));

    /* Missing values come from the defaults: identity and unit scaling */
    setRecord("objects", "o", "{}");
    compiler().compile("objects");
    EXPECT_EQ(scene().localTransformation(object("o")).real, Quaternion(1.0f, 0.0f, 0.0f, 0.0f));
    EXPECT_EQ(scene().localScaling(object("o")), Vector3(1.0f));
}

TEST_F(ObjectsTest, NameTables) {
    setSection("objects", R"({"k1": {"name": "First", "skin": "s1"}, "k2": {"name": "Second"}})");
    compiler().compile("objects");
    const Data::Id k1 = object("k1"), k2 = object("k2");
    const auto names = [&](Data::Id id) {
        return std::tuple(scene().names().get(id), scene().keys().get(id), scene().skinNames().get(id));
    };
    EXPECT_EQ(names(k1), std::tuple("First", "k1", "s1"));
    EXPECT_EQ(names(k2), std::tuple("Second", "k2", ""));

    /* A longer name replaces the old one; the tables have room per object */
    file()["objects/k1/name"].setString("A much longer first name than before");
    compiler().compile("components", {"k1"});
    EXPECT_EQ(scene().names().get(k1), "A much longer first name than before");
    EXPECT_GE(scene().names().capacity(), scene().capacity() + 1);
    EXPECT_GE(scene().names().textCapacity(), std::size_t(scene().capacity())*16);

    /* Keys of the UUID scheme need room for 36 characters and the zero */
    file().setIdScheme(IdScheme::Uuid);
    compiler().compile("objects");
    EXPECT_GE(scene().keys().textCapacity(), std::size_t(scene().capacity())*37);
    EXPECT_GE(scene().skinNames().textCapacity(), std::size_t(scene().capacity())*37);
}

TEST_F(ObjectsTest, DeleteObject) {
    setSection("objects", R"({"b": {"name": "B", "parent": "a"},
        "a": {"name": "A", "components": [{"type": "light", "active": true, "light": {"type": "point"}}]}})");
    compiler().compile("components");
    const Data::Id a = object("a"), b = object("b");
    editor.data().selection = {"a", "b"};
    const std::uint32_t objects = counter(AssetType::Objects), components = counter(AssetType::Components);

    compiler().deleteObject("a");
    EXPECT_FALSE(scene().isObject(a));
    EXPECT_EQ(std::tuple(scene().parent(b), scene().names().get(a), scene().keys().get(a)), std::tuple(0, "", ""));
    EXPECT_EQ(scene().manager<LightManager>().size(), 0u);
    EXPECT_EQ(compiler().resourceIndex.objects.count("a"), 0u);
    EXPECT_EQ(editor.data().selection, std::vector<std::string>{"b"});
    EXPECT_EQ(std::tuple(counter(AssetType::Objects), counter(AssetType::Components)),
              std::tuple(objects + 1, components + 1));

    /* Unknown keys only leave the map */
    compiler().resourceIndex.objects["ghost"];
    compiler().deleteObject("ghost");
    EXPECT_EQ(compiler().resourceIndex.objects.count("ghost"), 0u);
    EXPECT_EQ(counter(AssetType::Objects), objects + 1);
}

/* Records whose parent does not resolve are skipped, each reported once;
   values of the wrong kind read as their defaults */
TEST_F(ObjectsTest, UnresolvedParentsAndWrongKinds) {
    LogCapture log;
    setSection("objects", R"({"orphan": {"parent": "nowhere"}, "x": {"parent": "y"}, "y": {"parent": "x"},
        "a": {"name": 5, "parent": 7, "translation": "far", "rotation": [0, 0, 0, 0], "scaling": {"x": 1},
              "skin": [], "components": [5, "mesh", null, [], {"type": 3}, {"type": "light", "light": "bright"},
              {"type": "collision", "active": "yes", "collision": {"collider": 2, "groups": -4}}]},
        "b": "not a record",
        "c": {"components": {"type": "mesh"}}})");
    compiler().compile("components");
    EXPECT_EQ(std::tuple(object("orphan"), object("x"), object("y"), scene().objectCount()), std::tuple(0, 0, 0, 3));
    const Data::Id a = object("a");
    ASSERT_NE(a, 0);
    EXPECT_EQ(std::tuple(scene().names().get(a), scene().parent(a)), std::tuple("", 0));
    EXPECT_EQ(scene().localTransformation(a).real, Quaternion(1.0f, 0.0f, 0.0f, 0.0f));
    /* The light without properties is created with an unknown type; the
       collision entry reads every wrong kind as its empty value */
    ASSERT_EQ(scene().components(a).size(), 2u);
    EXPECT_NE(object("b"), 0);
    EXPECT_TRUE(scene().components(object("c")).empty());
    const std::string skipped = " does not resolve, skipping the object\n";
    EXPECT_EQ(log.warning(),
        "AssetCompiler::compileObjects(): Parent x of object y" + skipped +
        "AssetCompiler::compileObjects(): Parent y of object x" + skipped +
        "AssetCompiler::compileObjects(): Parent nowhere of object orphan" + skipped +
        "AssetCompiler::compileObjects(): Object a has a zero rotation, using the identity\n");
    EXPECT_EQ(log.error(), "Unknown light type \n");
}

}}}
