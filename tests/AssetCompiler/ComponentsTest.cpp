#include <cmath>

#include "CompilerFixture.h"
#include "Engine/AnimationManager.h"
#include "Engine/Components.h"
#include "Engine/PhysXManager.h"
#include "Engine/RuntimeData.h"
#include "Support/LogCapture.h"

namespace ZandelleEngine { namespace Testing { namespace {

class ComponentsTest: public CompilerTest {
    protected:
        ComponentsTest() {
            /* What the pipeline and material steps would have compiled */
            compiler().resourceIndex.pipelines["pipe"] = 3;
            compiler().resourceIndex.materials["mat"] = 1;
            compiler().resourceIndex.materials["nopipe"] = 2;
            compiler().resourceIndex.fonts["font"] = 1;
            setSection("materials", R"({
                "mat": {"pipeline": "pipe", "Text": {"font": "font"}},
                "nopipe": {"pipeline": "missing"},
                "nofont": {"pipeline": "pipe"}
            })");
        }

        /* One object "o" with the given components array */
        void compileComponents(std::string_view components) {
            setRecord("objects", "o", std::string{R"({"name": "Obj", "components": )"} + std::string{components} + "}");
            compiler().compileObject("o");
        }

        std::vector<Data::Id> componentsOf(std::string_view key, std::string_view manager) {
            std::vector<Data::Id> out;
            const int index = scene().componentManagerIndex(manager);
            const Data::Id id = object(key);
            for(std::size_t i = 0; i != scene().components(id).size(); ++i)
                if(scene().componentTypes(id)[i] == index) out.push_back(scene().components(id)[i]);
            return out;
        }
};

TEST_F(ComponentsTest, MatchingReusesAddsAndDeletes) {
    const char* mesh = R"({"type": "mesh", "active": true, "mesh": {"material": "mat"}})";
    const char* light = R"({"type": "light", "active": true, "light": {"type": "sun"}})";
    compileComponents(std::string{"["} + mesh + "]");
    const std::vector<Data::Id> first = componentsOf("o", "mesh");
    ASSERT_EQ(first.size(), 1u);

    /* Two mesh entries, one existing component: the first reuses it */
    compileComponents(std::string{"["} + mesh + "," + light + "," + mesh + "]");
    const std::vector<Data::Id> two = componentsOf("o", "mesh");
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0], first[0]);
    const Data::Id lightId = componentsOf("o", "light").at(0);

    /* Unchanged entries delete nothing and bump Components once per entry
       and once for the object */
    const std::uint32_t before = counter(AssetType::Components);
    compiler().compileObject("o");
    EXPECT_EQ(componentsOf("o", "mesh"), two);
    EXPECT_EQ(componentsOf("o", "light"), std::vector<Data::Id>{lightId});
    EXPECT_EQ(counter(AssetType::Components), before + 4);

    /* Removing the light entry deletes exactly the light */
    compileComponents(std::string{"["} + mesh + "," + mesh + "]");
    EXPECT_EQ(componentsOf("o", "mesh"), two);
    EXPECT_TRUE(componentsOf("o", "light").empty());
    EXPECT_FALSE(scene().manager<LightManager>().isAlive(lightId));

    /* An entry without type keeps nothing; a non-array keeps everything */
    compileComponents(std::string{R"([{"type": "", "mesh": {}}, )"} + mesh + "]");
    EXPECT_EQ(componentsOf("o", "mesh"), std::vector<Data::Id>{two[0]});
    compileComponents(R"({"not": "an array"})");
    EXPECT_EQ(componentsOf("o", "mesh"), std::vector<Data::Id>{two[0]});
}

TEST_F(ComponentsTest, ObjectPassWithoutComponentsLeavesThemAlone) {
    compileComponents(R"([{"type": "input", "active": true, "input": {"type": "hand left"}}])");
    const std::vector<Data::Id> input = componentsOf("o", "input");
    setRecord("objects", "o", R"({"name": "Obj", "components": []})");
    compiler().compileObject("o", false);
    EXPECT_EQ(componentsOf("o", "input"), input);
    EXPECT_EQ(scene().manager<InputManager>().inputType(input[0]), InputType::HandLeft);
}

TEST_F(ComponentsTest, Collision) {
    compileComponents(R"([
        {"type": "collision", "active": true, "collision": {"collider": "box", "box": {"extents": [1, 2, 3]}, "groups": 300}},
        {"type": "collision", "active": false, "collision": {"collider": "sphere", "sphere": {"radius": 4}}},
        {"type": "collision", "active": true, "collision": {"collider": "cylinder"}}
    ])");
    CollisionManager& m = scene().manager<CollisionManager>();
    const std::vector<Data::Id> c = componentsOf("o", "collision");
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(m.collider(c[0]), ColliderType::Box);
    EXPECT_EQ(m.extents(c[0]), Vector3(1, 2, 3));
    EXPECT_EQ(m.group(c[0]), 300 % 256);
    EXPECT_TRUE(m.isActive(c[0]));
    EXPECT_EQ(m.collider(c[1]), ColliderType::Sphere);
    EXPECT_EQ(m.extents(c[1]).x, 4.0f);
    EXPECT_FALSE(m.isActive(c[1]));
    EXPECT_EQ(m.collider(c[2]), ColliderType::Sphere);

    /* A sphere keeps the other two extents it had */
    compileComponents(R"([{"type": "collision", "active": true, "collision": {"collider": "sphere", "sphere": {"radius": 9}}}])");
    EXPECT_EQ(m.extents(c[0]), Vector3(9, 2, 3));
}

TEST_F(ComponentsTest, ViewProjection) {
    compileComponents(R"([
        {"type": "view", "active": true, "view": {"near": 0.1, "far": 100, "fov": 90}},
        {"type": "view", "active": true, "view": {"near": 0.5, "far": 1e39, "fov": 60}}
    ])");
    ViewManager& m = scene().manager<ViewManager>();
    const std::vector<Data::Id> c = componentsOf("o", "view");
    const Matrix4 finite = m.projectionMatrix(c[0]);
    EXPECT_NEAR(finite[0][0], 1.0f, 1e-6f);
    EXPECT_NEAR(finite[1][1], 1.0f, 1e-6f);
    EXPECT_FLOAT_EQ(finite[2][2], (100.0f + 0.1f)/(0.1f - 100.0f));
    EXPECT_FLOAT_EQ(finite[3][2], 2.0f*100.0f*0.1f/(0.1f - 100.0f));
    EXPECT_EQ(finite[2][3], -1.0f);
    EXPECT_EQ(finite[3][3], 0.0f);
    EXPECT_EQ(finite[0][1], 0.0f);

    const Matrix4 infinite = m.projectionMatrix(c[1]);
    EXPECT_NEAR(infinite[0][0], 1.0f/std::tan(glm::radians(30.0f)), 1e-5f);
    EXPECT_EQ(infinite[2][2], -1.0f);
    EXPECT_EQ(infinite[3][2], -1.0f);
    EXPECT_EQ(infinite[2][3], -1.0f);
    EXPECT_TRUE(std::isinf(m.far(c[1])));
}

TEST_F(ComponentsTest, Light) {
    LogCapture log;
    compileComponents(R"([
        {"type": "light", "active": true, "light": {"type": "spot", "color": [1, 0.5, 0.25], "intensity": 3,
            "outerAngle": 40, "innerAngle": 20, "shadows": true, "shadowRange": 15, "shadowBias": 0.01,
            "shadowNormalBias": 0.02, "shadowTexelSize": 1.5, "cascadeCount": 3}},
        {"type": "light", "active": true, "light": {"type": "area"}}
    ])");
    LightManager& m = scene().manager<LightManager>();
    const std::vector<Data::Id> c = componentsOf("o", "light");
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(m.color(c[0]), Vector4(1.0f, 0.5f, 0.25f, 3.0f));
    EXPECT_EQ(Vector3(m.parameters(c[0])), Vector3(40.0f, 20.0f, 1.0f));
    EXPECT_EQ(m.shadowRange(c[0]), 15.0f);
    EXPECT_EQ(m.shadowParameters(c[0]), Vector4(0.01f, 0.02f, 1.5f, 3.0f));
    EXPECT_EQ(m.lightType(c[0]), LightType::Spot);
    EXPECT_TRUE(m.isActive(c[0]));
    EXPECT_FALSE(m.isActive(c[1]));
    EXPECT_EQ(log.error(), "Unknown light type area\n");

    /* The fourth parameter is the engine's; the rule leaves it */
    m.parameters(c[0]).w = 7.0f;
    compiler().compileObject("o");
    EXPECT_EQ(m.parameters(c[0]).w, 7.0f);
}

TEST_F(ComponentsTest, TextActiveOnlyWithMaterialPipelineAndFont) {
    compileComponents(R"([
        {"type": "text", "active": true, "text": {"text": "Hello", "material": "mat", "alignment": "right",
            "justification": "bottom", "effect": "outline", "characterSpacing": 0.5, "lineSpacing": 1.5}},
        {"type": "text", "active": true, "text": {"text": "No material"}},
        {"type": "text", "active": true, "text": {"text": "No pipeline", "material": "nopipe"}},
        {"type": "text", "active": true, "text": {"text": "No font", "material": "nofont"}}
    ])");
    TextManager& m = scene().manager<TextManager>();
    const std::vector<Data::Id> c = componentsOf("o", "text");
    ASSERT_EQ(c.size(), 4u);
    EXPECT_TRUE(m.isActive(c[0]));
    EXPECT_EQ(m.text(c[0]), "Hello");
    EXPECT_EQ(m.material(c[0]), 1);
    EXPECT_EQ(m.font(c[0]), 1);
    EXPECT_EQ(m.group(c[0]), (ComponentGroup{3, 0}));
    EXPECT_EQ(m.alignment(c[0]), TextHorizontalAlignment::Right);
    EXPECT_EQ(m.justification(c[0]), TextVerticalAlignment::Bottom);
    EXPECT_EQ(m.effect(c[0]), TextEffect::Outline);
    EXPECT_EQ(m.characterSpacing(c[0]), 0.5f);
    EXPECT_EQ(m.lineSpacing(c[0]), 1.5f);
    EXPECT_FALSE(m.isActive(c[1]));
    EXPECT_EQ(m.text(c[1]), "No material");
    EXPECT_FALSE(m.isActive(c[2]));
    EXPECT_FALSE(m.isActive(c[3]));
    EXPECT_GE(m.groupCount(), 4u);

    /* Texts that grow and shrink keep fitting in the character storage */
    std::string longText(1000, 'x');
    compileComponents(R"([{"type": "text", "active": true, "text": {"text": ")" + longText + R"(", "material": "mat"}}])");
    EXPECT_EQ(m.text(c[0]), longText);
    EXPECT_EQ(m.characterCount(), longText.size() + 1);
    EXPECT_GE(m.characterCapacity(), m.characterCount());
}

TEST_F(ComponentsTest, MeshSkinning) {
    LogCapture log;
    Trade::MeshData skinned = makeCube();
    /* Joint ids in a separate block after positions and normals */
    const std::uint32_t offset = std::uint32_t(skinned.vertexData.size());
    skinned.vertexData.resize(offset + 8*skinned.vertexCount, 0);
    skinned.attributes.push_back({Trade::MeshAttribute::JointIds, Trade::VertexFormat::Vector4us, offset, 8});
    addMesh("skinned", std::move(skinned));
    addMesh("plain", makeCube());
    compiler().compileMeshes();
    compiler().resourceIndex.skins["skin"] = 1;

    compileComponents(R"([
        {"type": "mesh", "active": true, "mesh": {"material": "mat", "mesh": "skinned", "skin": "skin"}},
        {"type": "mesh", "active": true, "mesh": {"material": "mat", "mesh": "plain", "skin": "skin"}},
        {"type": "mesh", "active": true, "mesh": {"material": "mat", "mesh": "skinned", "skin": "other"}},
        {"type": "mesh", "active": true, "mesh": {"material": "nopipe", "mesh": "plain"}},
        {"type": "mesh", "active": true, "mesh": {"material": "mat"}}
    ])");
    MeshManager& m = scene().manager<MeshManager>();
    const std::vector<Data::Id> c = componentsOf("o", "mesh");
    ASSERT_EQ(c.size(), 5u);
    EXPECT_TRUE(m.isActive(c[0]));
    EXPECT_EQ(m.skin(c[0]), 1);
    EXPECT_EQ(m.group(c[0]), (ComponentGroup{3, 1}));
    EXPECT_EQ(m.mesh(c[0]), compiler().meshId("skinned"));
    /* A mesh without joint ids ignores the skin */
    EXPECT_TRUE(m.isActive(c[1]));
    EXPECT_EQ(m.skin(c[1]), 0);
    EXPECT_EQ(m.group(c[1]), (ComponentGroup{3, 0}));
    EXPECT_FALSE(m.isActive(c[2]));
    EXPECT_FALSE(m.isActive(c[3]));
    EXPECT_FALSE(m.isActive(c[4]));
    EXPECT_EQ(log.debug(), "While compiling mesh component on object o, skin other is not compiled\n");
    EXPECT_EQ(m.groupComponents(3, 1), std::vector<Data::Id>{c[0]});
    EXPECT_EQ(m.groupComponents(3, 0), std::vector<Data::Id>{c[1]});
}

TEST_F(ComponentsTest, JavaScript) {
    JavaScriptManager& js = scene().manager<JavaScriptManager>();
    const std::uint8_t spin = js.registerType("spin", {"speed"});
    const std::uint8_t wobble = js.registerType("wobble");
    LogCapture log;
    compileComponents(R"([
        {"type": "light", "active": true, "light": {"type": "point"}},
        {"type": "spin", "active": true, "spin": {"speed": 2}},
        {"type": "unknown", "active": true}
    ])");
    std::vector<Data::Id> c = componentsOf("o", "js");
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(js.componentType(c[0]), spin);
    EXPECT_TRUE(js.isActive(c[0]));
    ASSERT_GT(compiler().scriptComponentOrigins.size(), c[0]);
    EXPECT_EQ(compiler().scriptComponentOrigins[c[0]].objectKey, "o");
    EXPECT_EQ(compiler().scriptComponentOrigins[c[0]].componentIndex, 1u);
    EXPECT_EQ(log.warning(), "Skipping component with missing JavaScript component: unknown on object Obj\n");

    /* Matching is by script type: another type gets a new component */
    compileComponents(R"([{"type": "wobble", "active": false}, {"type": "spin", "active": true}])");
    const std::vector<Data::Id> after = componentsOf("o", "js");
    ASSERT_EQ(after.size(), 2u);
    EXPECT_NE(std::find(after.begin(), after.end(), c[0]), after.end());
    EXPECT_EQ(compiler().scriptComponentOrigins[c[0]].componentIndex, 1u);
    const Data::Id w = after[0] == c[0] ? after[1] : after[0];
    EXPECT_EQ(js.componentType(w), wobble);
    EXPECT_FALSE(js.isActive(w));
}

TEST_F(ComponentsTest, PhysicsFlagsAndParameters) {
    compileComponents(R"([
        {"type": "physx", "active": true, "physx": {"shape": "capsule", "capsule": {"radius": 0.5, "halfHeight": 2},
            "trigger": true, "allowSimulation": true, "allowQuery": true, "gravity": true, "simulate": true,
            "static": true, "kinematic": true, "sleepOnActivate": true, "mass": 4, "groups": 257, "block": 3,
            "lockAxis": 5, "solverPositionIterations": 8, "solverVelocityIterations": 2, "staticFriction": 0.5,
            "dynamicFriction": 0.25, "bounciness": 0.75, "linearDamping": 0.1, "angularDamping": 0.2,
            "translationOffset": [1, 0, 0], "rotationOffset": [0, 0, 0, 2]}},
        {"type": "physx", "active": true, "physx": {"shape": "sphere", "sphere": {"radius": 3}, "trigger": true}}
    ])");
    PhysXManager& m = scene().manager<PhysXManager>();
    const std::vector<Data::Id> c = componentsOf("o", "physx");
    ASSERT_EQ(c.size(), 2u);
    const RigidBodyDescriptor& a = m.rigidBodyDescriptor(c[0]);
    /* Simulation wins over trigger */
    EXPECT_EQ(a.rigidBodyFlags, RigidBodyStatic | RigidBodyKinematic | RigidBodyAllowSimulation | RigidBodyAllowQuery);
    EXPECT_EQ(a.physicsShape, std::uint8_t(PhysicsShape::Capsule));
    EXPECT_EQ(a.shapeParameters.x, 0.5f);
    EXPECT_EQ(a.shapeParameters.y, 2.0f);
    EXPECT_EQ(a.sleepOnActivate, 1);
    EXPECT_EQ(a.mass, 4.0f);
    EXPECT_EQ(a.groups, 1);
    EXPECT_EQ(a.block, 3);
    EXPECT_EQ(a.lockAxis, 5);
    EXPECT_EQ(a.solverPositionIterations, 8);
    EXPECT_EQ(a.solverVelocityIterations, 2);
    EXPECT_EQ(a.dynamicFriction, 0.25f);
    EXPECT_EQ(a.bounciness, 0.75f);
    EXPECT_EQ(a.angularDamping, 0.2f);
    EXPECT_EQ(a.cookedMeshIndex, -1);
    /* The offset is not normalised */
    EXPECT_EQ(a.offsetTransform.real, Quaternion(2.0f, 0.0f, 0.0f, 0.0f));
    EXPECT_EQ(a.offsetTransform.dual, Quaternion(0.0f, 1.0f, 0.0f, 0.0f));
    EXPECT_TRUE(m.isActive(c[0]));

    const RigidBodyDescriptor& b = m.rigidBodyDescriptor(c[1]);
    EXPECT_EQ(b.rigidBodyFlags, RigidBodyNoGravity | RigidBodyNoSimulation | RigidBodyTrigger);
    EXPECT_EQ(b.shapeParameters.x, 3.0f);
}

TEST_F(ComponentsTest, PhysicsCookingAndSlotHandOver) {
    addMesh("cube", makeCube());
    compiler().compileMesh("cube");
    const char* triangle = R"({"type": "physx", "active": true, "physx": {"shape": "triangleMesh", "triangleMesh": {"mesh": "cube", "scaling": [1, 1, 1]}}})";
    const char* convex = R"({"type": "physx", "active": true, "physx": {"shape": "convexMesh", "convexMesh": {"mesh": "cube", "scaling": [2, 2, 2]}}})";
    setRecord("objects", "a", std::string{R"({"components": [)"} + triangle + "]}");
    setRecord("objects", "b", std::string{R"({"components": [)"} + triangle + "," + convex + "]}");
    compiler().compileObjects(true);

    PhysXManager& m = scene().manager<PhysXManager>();
    const Data::Id ca = componentsOf("a", "physx").at(0);
    const std::vector<Data::Id> cb = componentsOf("b", "physx");
    EXPECT_EQ(m.rigidBodyDescriptor(ca).cookedMeshIndex, 0);
    EXPECT_EQ(m.rigidBodyDescriptor(cb[0]).cookedMeshIndex, 1);
    EXPECT_EQ(m.rigidBodyDescriptor(cb[1]).cookedMeshIndex, 0);
    EXPECT_EQ(m.rigidBodyDescriptor(cb[1]).shapeParameters, Vector3(2.0f));
    EXPECT_TRUE(m.isActive(ca) && m.isActive(cb[0]) && m.isActive(cb[1]));
    ASSERT_EQ(sceneData().physxTriangleMeshes.size(), 2u);
    ASSERT_EQ(sceneData().physxConvexMeshes.size(), 1u);
    ASSERT_EQ(m.triangleMeshes().size(), 2u);
    EXPECT_EQ(m.triangleMeshes()[1]->elementCount(), 12u);
    EXPECT_EQ(m.convexMeshes()[0]->elementCount(), 8u);
    EXPECT_EQ(Data::readPhysXData(sceneData().physxTriangleMeshes[1])->slot, 1u);
    EXPECT_EQ(Data::readPhysXData(sceneData().physxConvexMeshes[0])->type, Data::PhysXDataType::ConvexMesh);
    const Physics::PhysicsMesh* lastMesh = m.triangleMeshes()[1].get();

    /* a switches to a box: its slot 0 is freed, b's mesh moves into it */
    setRecord("objects", "a", R"({"components": [{"type": "physx", "active": true, "physx": {"shape": "box", "box": {"extents": [1, 1, 1]}}}]})");
    compiler().compileObject("a");
    EXPECT_EQ(componentsOf("a", "physx").at(0), ca);
    EXPECT_EQ(m.rigidBodyDescriptor(ca).cookedMeshIndex, -1);
    EXPECT_EQ(m.rigidBodyDescriptor(cb[0]).cookedMeshIndex, 0);
    ASSERT_EQ(sceneData().physxTriangleMeshes.size(), 1u);
    ASSERT_EQ(m.triangleMeshes().size(), 1u);
    EXPECT_EQ(m.triangleMeshes()[0].get(), lastMesh);
    EXPECT_EQ(Data::readPhysXData(sceneData().physxTriangleMeshes[0])->slot, 0u);
    EXPECT_EQ(m.rigidBodyDescriptor(cb[1]).cookedMeshIndex, 0);

    /* Recooking the same shape keeps the slot */
    compiler().compileObject("b");
    EXPECT_EQ(m.rigidBodyDescriptor(cb[0]).cookedMeshIndex, 0);
    EXPECT_EQ(sceneData().physxTriangleMeshes.size(), 1u);

    /* A cooked mesh is created back from its bytes */
    const std::optional<Data::PhysXDataView> view = Data::readPhysXData(sceneData().physxTriangleMeshes[0]);
    ASSERT_TRUE(view);
    EXPECT_EQ(m.createMesh(PhysicsShape::TriangleMesh, view->cooked)->elementCount(), 12u);
}

TEST_F(ComponentsTest, PhysicsCookingFailures) {
    addMesh("bytes", makeCube(Trade::IndexType::UnsignedByte));
    Trade::MeshData noIndices = makeCube();
    noIndices.indexType = Trade::IndexType::None;
    noIndices.indexData.clear();
    addMesh("noindices", std::move(noIndices));
    compiler().compileMeshes();
    LogCapture log;
    compileComponents(R"([
        {"type": "physx", "active": true, "physx": {"shape": "triangleMesh", "triangleMesh": {"mesh": "bytes"}}},
        {"type": "physx", "active": true, "physx": {"shape": "convexMesh", "convexMesh": {"mesh": "noindices"}}},
        {"type": "physx", "active": true, "physx": {"shape": "triangleMesh", "triangleMesh": {"mesh": "nothing"}}},
        {"type": "physx", "active": true, "physx": {"shape": "triangleMesh", "triangleMesh": {"mesh": ""}}},
        {"type": "physx", "active": true, "physx": {"shape": "convexMesh", "convexMesh": {"mesh": "bytes"}}}
    ])");
    PhysXManager& m = scene().manager<PhysXManager>();
    const std::vector<Data::Id> c = componentsOf("o", "physx");
    ASSERT_EQ(c.size(), 5u);
    for(std::size_t i = 0; i != 4; ++i) {
        EXPECT_FALSE(m.isActive(c[i])) << i;
        EXPECT_EQ(m.rigidBodyDescriptor(c[i]).cookedMeshIndex, -1) << i;
    }
    /* Convex cooking only needs the points */
    EXPECT_TRUE(m.isActive(c[4]));
    EXPECT_EQ(log.error(),
        "Cooking triangle mesh for physx component on object Obj failed\n"
        "Cooking convex mesh for physx component on object Obj failed: Mesh has no indices\n"
        "Cooking triangle mesh for physx component on object Obj failed: Missing mesh\n");
    EXPECT_TRUE(sceneData().physxTriangleMeshes.empty());
}

class AnimationComponentsTest: public ComponentsTest {
    protected:
        AnimationComponentsTest() {
            setSection("objects", R"({
                "hips": {"name": "Hips"},
                "spine": {"name": "Spine", "parent": "hips"},
                "arm": {"name": "Arm", "parent": "spine"},
                "tHips": {"name": "Hips"},
                "tArm": {"name": "Arm", "parent": "tHips"},
                "tLost": {"name": "Lost", "parent": "tHips"}
            })");
            compiler().compileObjects(false);
            setSection("skins", R"({"skin": {"joints": ["arm"]}})");
            compiler().resourceIndex.skins["skin"] = 1;
            /* Five tracks; tArm is listed twice */
            setSection("animations", R"({"anim": {"targets": ["tArm", "tHips", "tArm", "tLost", "tHips"]}})");
            compiler().resourceIndex.animations["anim"] = 1;
            sceneData().targetedAnimations.push_back({1, {object("tArm"), object("tHips"), object("tArm"), object("tLost"), object("tHips")}});
        }
};

TEST_F(AnimationComponentsTest, RetargetWithRepeatedKeys) {
    LogCapture log;
    compileComponents(R"([{"type": "animation", "active": true, "animation": {"animation": "anim", "retarget": true,
        "skin": "skin", "playCount": 2, "speed": 1.5, "autoplay": true}}])");
    AnimationManager& m = scene().manager<AnimationManager>();
    const Data::Id c = componentsOf("o", "animation").at(0);
    EXPECT_EQ(m.animation(c), 1);
    EXPECT_EQ(m.skin(c), 1);
    EXPECT_EQ(m.playCount(c), 2);
    EXPECT_EQ(m.speed(c), 1.5f);
    EXPECT_TRUE(m.autoplay(c));
    EXPECT_TRUE(m.isActive(c));
    EXPECT_FALSE(m.isPlaying(c));
    /* tArm -> arm, tHips -> hips (through arm's ancestors), tLost no match;
       the repeats do not advance, so the last two tracks stay unbound */
    EXPECT_EQ(m.targets(c), (std::vector<Data::Id>{object("arm"), object("hips"), 0xFFFF, 0xFFFF, 0xFFFF}));
    EXPECT_EQ(log.warning(), "While retargeting animation, could not find a match for joint tLost\n");
}

TEST_F(AnimationComponentsTest, PlainRetargetWithoutSkinAndMissingAnimation) {
    LogCapture log;
    compileComponents(R"([
        {"type": "animation", "active": true, "animation": {"animation": "anim"}},
        {"type": "animation", "active": true, "animation": {"animation": "anim", "retarget": true}},
        {"type": "animation", "active": true, "animation": {"animation": "other", "preview": true}},
        {"type": "animation", "active": true, "animation": {}}
    ])");
    AnimationManager& m = scene().manager<AnimationManager>();
    const std::vector<Data::Id> c = componentsOf("o", "animation");
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(m.targets(c[0]), sceneData().targetedAnimations[1].targets);
    EXPECT_EQ(m.targets(c[1]), std::vector<Data::Id>(5, object("o")));
    EXPECT_EQ(m.animation(c[2]), 0);
    EXPECT_TRUE(m.isActive(c[2]));
    EXPECT_TRUE(m.isPlaying(c[2]));
    EXPECT_FALSE(m.isActive(c[3]));
    EXPECT_EQ(log.warning(),
        "No skin selected on animation with retarget enabled, this may produce an invalid animation\n"
        "Animation not compiled yet.\n");
}

TEST_F(AnimationComponentsTest, StoppingPreviewResetsTargets) {
    compileComponents(R"([{"type": "animation", "active": true, "animation": {"animation": "anim", "preview": true}}])");
    AnimationManager& m = scene().manager<AnimationManager>();
    const Data::Id c = componentsOf("o", "animation").at(0);
    EXPECT_TRUE(m.isPlaying(c));

    /* The player moved a target; stopping the preview puts it back */
    scene().localScaling(object("tArm")) = Vector3{5.0f};
    const std::uint32_t objects = counter(AssetType::Objects);
    compileComponents(R"([{"type": "animation", "active": true, "animation": {"animation": "anim", "preview": false}}])");
    EXPECT_FALSE(m.isPlaying(c));
    EXPECT_EQ(scene().localScaling(object("tArm")), Vector3{1.0f});
    /* The target pass and the object pass itself */
    EXPECT_EQ(counter(AssetType::Objects), objects + 2);
}

}}}
