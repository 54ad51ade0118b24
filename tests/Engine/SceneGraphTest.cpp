#include <gtest/gtest.h>

#include "Engine/Components.h"
#include "Engine/DynamicSceneGraph.h"
#include "Engine/NameManager.h"

namespace ZandelleEngine { namespace {

TEST(SceneGraphTest, ObjectsCapacityAndDeletion) {
    DynamicSceneGraph scene{2};
    const Data::Id a = scene.addObject();
    const Data::Id b = scene.addObject(a);
    const Data::Id c = scene.addObject(b);
    EXPECT_EQ(a, 1);
    EXPECT_GE(scene.capacity(), 3u);
    EXPECT_EQ(scene.children(a), std::vector<Data::Id>{b});
    EXPECT_EQ(scene.addObject(999), 0);

    /* No cycles */
    EXPECT_FALSE(scene.reparent(a, c));
    EXPECT_EQ(scene.parent(a), 0);

    /* Deleting b moves c to the root; b's id is reused first */
    const Data::Id ids[]{b};
    scene.deleteObjects(ids);
    EXPECT_FALSE(scene.isObject(b));
    EXPECT_EQ(scene.parent(c), 0);
    EXPECT_TRUE(scene.children(a).empty());
    EXPECT_EQ(scene.objectCount(), 2u);
    EXPECT_EQ(scene.addObject(), b);

    /* The id space ends at 65535 objects */
    DynamicSceneGraph full;
    full.reallocateCapacity(100000);
    EXPECT_EQ(full.capacity(), Data::MaxObjects);
    for(std::uint32_t i = 0; i != Data::MaxObjects; ++i) ASSERT_NE(full.addObject(), 0);
    EXPECT_EQ(full.addObject(), 0);
}

TEST(SceneGraphTest, ComponentsFollowTheirObjects) {
    DynamicSceneGraph scene;
    scene.addComponentManager(std::make_unique<LightManager>());
    scene.addComponentManager(std::make_unique<MeshManager>());
    LightManager& lights = scene.manager<LightManager>();
    MeshManager& meshes = scene.manager<MeshManager>();
    const Data::Id o = scene.addObject();
    const Data::Id l = lights.addComponent(o);
    const Data::Id m = meshes.addComponent(o);
    meshes.setGroup(m, 4, 1);
    EXPECT_EQ(scene.components(o), (std::vector<Data::Id>{l, m}));
    EXPECT_EQ(scene.componentTypes(o), (std::vector<std::uint8_t>{0, 1}));
    EXPECT_EQ(meshes.groupComponents(4, 1), std::vector<Data::Id>{m});

    EXPECT_FALSE(scene.deleteComponent(o, 0, 5));
    EXPECT_FALSE(scene.deleteComponent(o, 7, m));
    EXPECT_TRUE(scene.deleteComponent(o, 1, m));
    EXPECT_TRUE(meshes.groupComponents(4, 1).empty());
    EXPECT_EQ(meshes.size(), 0u);
    /* A removed id is handed out again, with fresh data */
    const Data::Id again = meshes.addComponent(o);
    EXPECT_EQ(again, m);
    EXPECT_EQ(meshes.mesh(again), 0);
    EXPECT_FALSE(meshes.isActive(again));

    const Data::Id ids[]{o};
    scene.deleteObjects(ids);
    EXPECT_EQ(lights.size(), 0u);
    EXPECT_EQ(meshes.size(), 0u);
}

TEST(SceneGraphTest, NameManagerReusesRoomAndCompacts) {
    NameManager names;
    names.reserve(4, 16);
    names.set(1, "abcdef");
    names.set(2, "xyz");
    names.set(1, "ab");
    EXPECT_EQ(names.get(1), "ab");
    EXPECT_EQ(names.textSize(), 11u);
    /* Growing texts again and again stays bounded by the live ones */
    for(int i = 0; i != 200; ++i) names.set(1, std::string(std::size_t(i % 40 + 1), char('a' + i % 26)));
    EXPECT_EQ(names.get(2), "xyz");
    EXPECT_EQ(names.get(1), std::string(std::size_t(199 % 40 + 1), char('a' + 199 % 26)));
    EXPECT_LE(names.textCapacity(), 512u);
    EXPECT_EQ(names.find("xyz"), 2);
    names.set(2, "");
    EXPECT_EQ(names.get(2), "");
    EXPECT_EQ(names.get(300), "");
}

TEST(SceneGraphTest, TextStorage) {
    TextManager texts;
    texts.allocate(2, 1, 8);
    const Data::Id a = texts.addComponent(1);
    const Data::Id b = texts.addComponent(2);
    texts.setText(a, "hello");
    texts.setText(b, "world!");
    texts.setText(a, "hi");
    EXPECT_EQ(texts.text(a), "hi");
    EXPECT_EQ(texts.text(b), "world!");
    texts.setText(a, "a longer text than before");
    EXPECT_EQ(texts.text(a), "a longer text than before");
    EXPECT_EQ(texts.text(b), "world!");
    EXPECT_EQ(texts.characterCount(), 26u + 7u);
}

}}
