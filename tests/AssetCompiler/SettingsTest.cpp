#include <btBulletDynamicsCommon.h>

#include "CompilerFixture.h"
#include "Engine/PhysXManager.h"
#include "Support/LogCapture.h"

namespace ZandelleEngine { namespace Testing { namespace {

class SettingsTest: public CompilerTest {
    protected:
        void setSetting(std::string_view path, std::string_view json) { setRecord("settings", path, json); }
        PhysXManager& physx() { return scene().manager<PhysXManager>(); }
};

TEST_F(SettingsTest, PhysicsHeaderAndWorld) {
    const struct { const char* name; const char* physx; PhysXHeader expected; } data[]{
        {"as written", R"({"maxTimestep": 0.01, "contactOffset": 0.5, "restOffset": 0.25, "gravity": [1, 2, 3],
            "lengthToleranceScale": 2, "speedToleranceScale": 3})", {0.01f, 0.5f, 0.25f, {1, 2, 3}, 2.0f, 3.0f}},
        {"zero step and scales", R"({"maxTimestep": 0, "contactOffset": 0, "restOffset": 0, "gravity": [0, -9.81, 0],
            "lengthToleranceScale": 0, "speedToleranceScale": -1})", {0.002f, 0.0f, 0.0f, {0, -9.81f, 0}, 0.0001f, 0.0001f}},
    };
    const std::uint32_t runs = counter(AssetType::Settings);
    for(const auto& row: data) {
        SCOPED_TRACE(row.name);
        setSetting("physx", row.physx);
        EXPECT_TRUE(compiler().compileSettings());
        const PhysXHeader& h = physx().physxHeader();
        EXPECT_EQ(h.maxTimestep, row.expected.maxTimestep);
        EXPECT_EQ(h.contactOffset, row.expected.contactOffset);
        EXPECT_EQ(h.restOffset, row.expected.restOffset);
        EXPECT_EQ(h.gravity, row.expected.gravity);
        EXPECT_EQ(h.lengthToleranceScale, row.expected.lengthToleranceScale);
        EXPECT_EQ(h.speedToleranceScale, row.expected.speedToleranceScale);
        EXPECT_EQ(physx().world().gravity(), row.expected.gravity);
        EXPECT_EQ(physx().world().fixedTimestep(), row.expected.maxTimestep);
    }
    EXPECT_EQ(counter(AssetType::Settings), runs + 2);
}

TEST_F(SettingsTest, Visualization) {
    btBoxShape box{btVector3{1, 1, 1}};
    for(const bool enable: {true, false}) {
        SCOPED_TRACE(enable);
        setSetting("physx/enable", enable ? "true" : "false");
        compiler().compileSettings();
        EXPECT_EQ(physx().visualization(), enable);
        btCollisionObject body;
        body.setCollisionShape(&box);
        physx().world().bullet().addCollisionObject(&body);
        physx().doFalseUpdate();
        /* Twelve edges of the box, plus its bounding box */
        EXPECT_EQ(physx().world().visualizationLineCount(), enable ? 24u : 0u);
        physx().world().bullet().removeCollisionObject(&body);
    }
}

TEST_F(SettingsTest, IdScheme) {
    const struct { const char* ids; IdScheme expected; } data[]{
        {R"("uuid")", IdScheme::Uuid},
        {R"("incremental-number")", IdScheme::IncrementalNumber},
        {R"("uuid-v7")", IdScheme::IncrementalNumber},
    };
    for(const auto& row: data) {
        setSetting("editor/ids", row.ids);
        compiler().compileSettings();
        EXPECT_EQ(file().idScheme(), row.expected) << row.ids;
    }
}

TEST_F(SettingsTest, RebuildKeepsCookedMeshes) {
    editor.data().resources().meshes.add(FileLink{"scene.glb", "cube"}, makeCube());
    setRecord("meshes", "cube", R"({"link": {"file": "scene.glb", "name": "cube"}})");
    compiler().compileMeshes();
    setRecord("objects", "a", R"({"components": [
        {"type": "physx", "active": true, "physx": {"shape": "convexMesh", "convexMesh": {"mesh": "cube"}}},
        {"type": "physx", "active": true, "physx": {"shape": "triangleMesh", "triangleMesh": {"mesh": "cube"}}}]})");
    compiler().compileObjects(true);
    const PhysXManager* before = &physx();
    ASSERT_EQ(before->size(), 2u);

    LogCapture log;
    compiler().compileSettings();
    EXPECT_NE(&physx(), before);
    EXPECT_EQ(physx().size(), 0u);
    EXPECT_TRUE(scene().components(object("a")).empty());
    ASSERT_EQ(physx().convexMeshes().size(), 1u);
    ASSERT_EQ(physx().triangleMeshes().size(), 1u);
    EXPECT_EQ(physx().convexMeshes()[0]->elementCount(), 8u);
    EXPECT_EQ(physx().triangleMeshes()[0]->elementCount(), 12u);
    EXPECT_EQ(log.problems(), "");
}

}}}
