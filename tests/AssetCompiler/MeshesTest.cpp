#include <cstring>
#include <tuple>

#include "CompilerFixture.h"
#include "Engine/BoundingSphere.h"
#include "Engine/MeshOptimizer.h"
#include "Engine/RuntimeData.h"
#include "Support/LogCapture.h"

namespace ZandelleEngine { namespace Testing { namespace {

class MeshesTest: public CompilerTest {
    protected:
        const Trade::MeshData& compiled(std::string_view key) { return sceneData().meshes.at(compiler().meshId(key)); }
};

/* A mesh without indices is neither simplified nor optimised: its vertices
   stay as they are, unless it is scaled */
TEST_F(MeshesTest, NonIndexedMeshKeepsItsVerticesUnlessScaled) {
    /* Values that any arithmetic on them would change */
    const std::vector<Vector3> positions{{0.1f, 1e-7f, -3.3333333f}, {1.0f/3.0f, 7.77f, 1e30f}, {-0.0f, 2.5f, 9.1f}};
    addMesh("one", makeMesh(positions), R"("importScaling": 1.0, "simplify": true, "simplifyTarget": 0.1)");
    addMesh("two", makeMesh(positions), R"("importScaling": 2.0)");
    compiler().meshOptimizer->setValue("simplify", std::string_view{"untouched"});
    compiler().compile("meshes", {"one"});
    compiler().compile("meshes", {"two"});
    EXPECT_EQ(compiler().meshOptimizer->value("simplify"), "untouched");

    EXPECT_EQ(std::tuple(compiled("one").isIndexed(), compiled("one").vertexCount), std::tuple(false, 3));
    const std::vector<Vector3> kept = MeshTools::positions3D(compiled("one"));
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(std::memcmp(kept.data(), positions.data(), sizeof(Vector3)*3), 0);
    const std::vector<Vector3> doubled = MeshTools::positions3D(compiled("two"));
    EXPECT_EQ(doubled[0], positions[0]*2.0f);
    EXPECT_EQ(doubled[2], positions[2]*2.0f);
}

TEST_F(MeshesTest, SimplifyTargetsAreClamped) {
    /* With a large error a flat grid simplifies to (almost) nothing */
    const std::size_t all = makeGrid(16).indexCount();
    const struct { const char* target; const char* threshold; std::size_t most; } data[]{
        {"1.5", "1", all}, {"-0.2", "0", all/10 - 1}, {"0.5", "0.5", all/2}};
    for(const auto& row: data) {
        SCOPED_TRACE(row.target);
        addMesh("grid", makeGrid(16),
            R"("simplify": true, "simplifyTarget": )" + std::string{row.target} + R"(, "simplifyTargetError": 0.5)");
        compiler().compile("meshes", {"grid"});
        const auto& optimizer = *compiler().meshOptimizer;
        EXPECT_EQ(std::tuple(optimizer.value("simplify"), optimizer.value("simplifyTargetError"),
                             optimizer.value("simplifyTargetIndexCountThreshold")),
                  std::tuple("true", "0.5", row.threshold));
        EXPECT_LE(compiled("grid").indexCount(), row.most);
    }
}

TEST_F(MeshesTest, OptimisedMeshKeepsItsTriangles) {
    const Trade::MeshData grid = makeGrid(8, Trade::IndexType::UnsignedShort);
    addMesh("grid", grid);
    compiler().compile("meshes", {"grid"});
    const Trade::MeshData& mesh = compiled("grid");
    EXPECT_EQ(std::tuple(mesh.indexCount(), mesh.indexType, mesh.vertexCount),
              std::tuple(grid.indexCount(), Trade::IndexType::UnsignedShort, grid.vertexCount));
    /* The bounding sphere of the compiled positions */
    const std::pair<Vector3, float> sphere = MeshTools::boundingSphereBouncingBubble(MeshTools::positions3D(mesh));
    EXPECT_EQ(sceneData().meshBoundingSpheres.at(compiler().meshId("grid")), Vector4(sphere.first, sphere.second));
}

TEST_F(MeshesTest, LayoutIdsAndFailures) {
    Trade::MeshData withColors = makeCube();
    const std::uint32_t offset = std::uint32_t(withColors.vertexData.size());
    withColors.vertexData.resize(offset + 16*withColors.vertexCount);
    withColors.attributes.push_back({Trade::MeshAttribute::Color, Trade::VertexFormat::Vector4, offset, 16});
    addMesh("cube", withColors);
    addMesh("nonormals",
        makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}, Trade::IndexType::UnsignedShort, false));
    Trade::MeshData lines = makeCube();
    lines.primitive = Trade::MeshPrimitive::Lines;
    addMesh("lines", lines);
    setRecord("meshes", "missing", R"({"link": {"file": "gone.glb", "name": "Gone"}})");
    sceneData().meshLayout = MeshTools::MeshDataFlag::Position | MeshTools::MeshDataFlag::Normals;

    LogCapture log;
    const std::uint32_t before = counter(AssetType::Meshes);
    compiler().compile("meshes");
    EXPECT_EQ(counter(AssetType::Meshes), before + 1);
    EXPECT_EQ(log.warning(),
        "AssetCompiler::compileMeshes(): Skipping mesh nonormals from file scene.glb: "
            "not a triangle mesh with positions and normals\n"
        "AssetCompiler::compileMeshes(): Skipping mesh lines from file scene.glb: "
            "not a triangle mesh with positions and normals\n"
        "AssetCompiler::compileMeshes(): Missing mesh  Gone from file gone.glb\n");
    const Data::Id cube = compiler().meshId("cube");
    ASSERT_NE(cube, 0);
    /* The project's layout drops the colours */
    EXPECT_EQ(compiled("cube").attribute(Trade::MeshAttribute::Color), nullptr);
    EXPECT_NE(compiled("cube").attribute(Trade::MeshAttribute::Normal), nullptr);
    EXPECT_EQ(compiler().meshId("nonormals"), 0);

    const std::size_t slots = sceneData().meshes.size();
    editor.data().resources().meshes.add(FileLink{"scene.glb", "cube"}, makeGrid(2));
    compiler().compile("meshes", {"cube"});
    EXPECT_EQ(std::tuple(compiler().meshId("cube"), sceneData().meshes.size(), compiled("cube").vertexCount),
              std::tuple(cube, slots, 9));

    /* A source that disappears leaves the slot as it was */
    editor.data().resources().meshes.remove(FileLink{"scene.glb", "cube"});
    compiler().compile("meshes", {"cube"});
    EXPECT_EQ(compiled("cube").vertexCount, 9u);
}

TEST(MeshTools, BoundingSphereBouncingBubble) {
    const std::vector<Vector3> points{{-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1},
                                      {0.2f, 0.1f, 0}};
    const std::pair<Vector3, float> sphere = MeshTools::boundingSphereBouncingBubble(points);
    for(const Vector3& p: points) EXPECT_LE(glm::length(p - sphere.first), sphere.second*1.0001f);
    EXPECT_LT(sphere.second, 1.2f);
    EXPECT_EQ(MeshTools::boundingSphereBouncingBubble({}).second, 0.0f);
}

TEST_F(MeshesTest, SkinJointCompiledOnDemand) {
    setSection("objects", R"({"root": {"name": "Root"}, "joint": {"name": "Joint", "parent": "root"}})");
    Trade::SkinData skin;
    skin.joints = {"Root", "Joint", "Extra"};
    /* Translation (1, 2, 3), 90 degrees around Z, uniform scaling 2 */
    const Matrix4 one{1.0f};
    skin.inverseBindMatrices = {glm::translate(one, Vector3{1, 2, 3})*
        glm::rotate(one, glm::radians(90.0f), Vector3{0, 0, 1})*glm::scale(one, Vector3{2.0f}), one};
    editor.data().resources().skins.add(FileLink{"scene.glb", "Skin"}, skin);
    setSection("skins", R"({"s": {"link": {"file": "scene.glb", "name": "Skin"}, "joints": ["joint", "root"]},
                           "gone": {"link": {"file": "scene.glb", "name": "Gone"}}})");

    LogCapture log;
    compiler().compile("skins");
    EXPECT_EQ(log.warning(), "Skin gone was no longer found in scene files.\n");
    ASSERT_NE(object("joint"), 0);
    EXPECT_EQ(scene().parent(object("joint")), object("root"));

    const Data::Id id = compiler().skinId("s");
    ASSERT_NE(id, 0);
    const std::optional<Data::SkinDataView> view = Data::readSkinData(sceneData().skins.at(id));
    ASSERT_TRUE(view);
    EXPECT_EQ(view->jointIds, (std::vector<Data::Id>{object("joint"), object("root"), 0}));
    const DualQuaternion& d = view->jointTransforms[0];
    EXPECT_NEAR(glm::length(d.real - Quaternion(std::sqrt(0.5f), 0.0f, 0.0f, std::sqrt(0.5f))), 0.0f, 1e-6f);
    EXPECT_NEAR(glm::length(translationOf(d) - Vector3(1.0f, 2.0f, 3.0f)), 0.0f, 1e-5f);
    EXPECT_NEAR(view->jointScalings[0].x, 2.0f, 1e-6f);
    /* No matrix for the third joint: identity and zero scaling */
    EXPECT_EQ(std::tuple(view->jointScalings[1], view->jointTransforms[2].real, view->jointScalings[2]),
              std::tuple(Vector3{1.0f}, Quaternion(1.0f, 0.0f, 0.0f, 0.0f), Vector3{0.0f}));

    file()["skins/s/joints"].setArray(std::vector<std::string>{"root"});
    compiler().compile("skins", {"s"});
    EXPECT_EQ(compiler().skinId("s"), id);
    EXPECT_EQ(Data::readSkinData(sceneData().skins.at(id))->jointIds, (std::vector<Data::Id>{object("root"), 0, 0}));
}

TEST_F(MeshesTest, RuntimeDataRejectsOtherBytes) {
    const Data::ByteArray skin = Data::createSkinData({}, {}, {});
    EXPECT_TRUE(Data::readSkinData(skin));
    EXPECT_FALSE(Data::readPhysXData(skin));
    Data::ByteArray truncated = Data::createPhysXData(Data::PhysXDataType::TriangleMesh, 3, std::vector<char>(10, 'x'));
    const std::optional<Data::PhysXDataView> view = Data::readPhysXData(truncated);
    ASSERT_TRUE(view);
    EXPECT_EQ(std::tuple(view->slot, std::string(view->cooked.begin(), view->cooked.end())),
              std::tuple(3u, std::string(10, 'x')));
    Data::ByteArray damaged = truncated;
    damaged.back() ^= 1;
    EXPECT_FALSE(Data::readPhysXData(damaged));
    truncated.pop_back();
    EXPECT_FALSE(Data::readPhysXData(truncated));
}

}}}
