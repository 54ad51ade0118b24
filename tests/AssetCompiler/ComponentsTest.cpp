#include <tuple>

#include <glm/gtc/matrix_transform.hpp>

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
            setSection("materials", R"({"mat": {"pipeline": "pipe", "Text": {"font": "font"}},
                "nopipe": {"pipeline": "missing"}, "nofont": {"pipeline": "pipe"}})");
        }

        /* One object "o" with the components array of @p entries */
        void compileEntries(const std::vector<std::string>& entries) {
            std::string array;
            for(const std::string& e: entries) array += (array.empty() ? "" : ", ") + e;
            setRecord("objects", "o", R"({"name": "Obj", "components": [)" + array + "]}");
            compiler().compile("components", {"o"});
        }
        /* A component entry of @p type with the properties @p props */
        static std::string entry(std::string_view type, std::string_view props, bool active = true) {
            const std::string t{type};
            return R"({"type": ")" + t + R"(", "active": )" + (active ? "true" : "false") + R"(, ")" + t + R"(": )" +
                std::string{props} + "}";
        }

        /* The components of @p manager on the object @p key, in order */
        std::vector<Data::Id> componentsOf(std::string_view manager, std::string_view key = "o") {
            std::vector<Data::Id> out;
            const Data::Id id = object(key);
            for(std::size_t i = 0; i != scene().components(id).size(); ++i)
                if(scene().componentTypes(id)[i] == scene().componentManagerIndex(manager))
                    out.push_back(scene().components(id)[i]);
            return out;
        }
        template<class Manager> static std::vector<bool> activeOf(Manager& m, const std::vector<Data::Id>& ids) {
            std::vector<bool> out;
            for(const Data::Id c: ids) out.push_back(m.isActive(c));
            return out;
        }
};

TEST_F(ComponentsTest, MatchingReusesAddsAndDeletes) {
    const std::string mesh = entry("mesh", R"({"material": "mat"})"), light = entry("light", R"({"type": "sun"})");
    compileEntries({mesh});
    const std::vector<Data::Id> first = componentsOf("mesh");
    ASSERT_EQ(first.size(), 1u);

    /* Two mesh entries, one existing component: the first reuses it */
    compileEntries({mesh, light, mesh});
    const std::vector<Data::Id> two = componentsOf("mesh");
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0], first[0]);
    const Data::Id lightId = componentsOf("light").at(0);

    /* Unchanged entries delete nothing and bump Components once per entry
       and once for the object */
    const std::uint32_t before = counter(AssetType::Components);
    compiler().compile("components", {"o"});
    EXPECT_EQ(componentsOf("mesh"), two);
    EXPECT_EQ(componentsOf("light"), std::vector<Data::Id>{lightId});
    EXPECT_EQ(counter(AssetType::Components), before + 4);

    compileEntries({mesh, mesh});
    EXPECT_EQ(componentsOf("mesh"), two);
    EXPECT_TRUE(componentsOf("light").empty());
    EXPECT_FALSE(scene().manager<LightManager>().isAlive(lightId));

    /* An entry without type keeps nothing; a non-array keeps everything */
    compileEntries({R"({"type": "", "mesh": {}})", mesh});
    EXPECT_EQ(componentsOf("mesh"), std::vector<Data::Id>{two[0]});
    setRecord("objects", "o", R"({"name": "Obj", "components": {"not": "an array"}})");
    compiler().compile("components", {"o"});
    EXPECT_EQ(componentsOf("mesh"), std::vector<Data::Id>{two[0]});

    /* The object pass alone leaves the components as they are */
    setRecord("objects", "o", R"({"name": "Obj", "components": []})");
    compiler().compile("objects", {"o"});
    EXPECT_EQ(componentsOf("mesh"), std::vector<Data::Id>{two[0]});
}

TEST_F(ComponentsTest, CollisionViewLightAndInput) {
    std::vector<std::string> entries{
        entry("collision", R"({"collider": "box", "box": {"extents": [1, 2, 3]}, "groups": 300})"),
        entry("collision", R"({"collider": "sphere", "sphere": {"radius": 4}})", false),
        entry("collision", R"({"collider": "cylinder"})"),
        entry("view", R"({"near": 0.1, "far": 100, "fov": 90})"),
        entry("view", R"({"near": 0.5, "far": 1e39, "fov": 60})"),
        entry("light", R"({"type": "spot", "color": [1, 0.5, 0.25], "intensity": 3, "outerAngle": 40,
            "innerAngle": 20, "shadows": true, "shadowRange": 15, "shadowBias": 0.01, "shadowNormalBias": 0.02,
            "shadowTexelSize": 1.5, "cascadeCount": 3})"),
        entry("light", R"({"type": "area"})"),
        entry("input", R"({"type": "hand left"})")};
    LogCapture log;
    compileEntries(entries);
    EXPECT_EQ(log.error(), "Unknown light type area\n");
    CollisionManager& m = scene().manager<CollisionManager>();
    const std::vector<Data::Id> c = componentsOf("collision");
    ASSERT_EQ(activeOf(m, c), (std::vector<bool>{true, false, true}));
    /* Groups wrap at 256; an unknown collider name reads as a sphere */
    EXPECT_EQ(std::tuple(m.collider(c[0]), m.extents(c[0]), m.group(c[0]), m.collider(c[1]), m.extents(c[1]).x),
              std::tuple(ColliderType::Box, Vector3(1, 2, 3), 300 % 256, ColliderType::Sphere, 4.0f));
    EXPECT_EQ(m.collider(c[2]), ColliderType::Sphere);
    EXPECT_EQ(scene().manager<InputManager>().inputType(componentsOf("input").at(0)), InputType::HandLeft);

    /* Projections with aspect ratio 1; a far plane beyond a float is at
       infinity */
    ViewManager& views = scene().manager<ViewManager>();
    const std::vector<Data::Id> v = componentsOf("view");
    const Matrix4 expected[]{glm::perspective(glm::radians(90.0f), 1.0f, 0.1f, 100.0f),
                             glm::infinitePerspective(glm::radians(60.0f), 1.0f, 0.5f)};
    for(std::size_t i = 0; i != 2; ++i) for(int col = 0; col != 4; ++col) for(int row = 0; row != 4; ++row)
        EXPECT_NEAR(views.projectionMatrix(v.at(i))[col][row], expected[i][col][row], 1e-5f) << i << col << row;

    LightManager& lights = scene().manager<LightManager>();
    const std::vector<Data::Id> l = componentsOf("light");
    ASSERT_EQ(activeOf(lights, l), (std::vector<bool>{true, false}));
    EXPECT_EQ(std::tuple(lights.lightType(l[0]), lights.color(l[0]), Vector3(lights.parameters(l[0]))),
              std::tuple(LightType::Spot, Vector4(1.0f, 0.5f, 0.25f, 3.0f), Vector3(40.0f, 20.0f, 1.0f)));
    EXPECT_EQ(lights.shadowRange(l[0]), 15.0f);
    EXPECT_EQ(lights.shadowParameters(l[0]), Vector4(0.01f, 0.02f, 1.5f, 3.0f));

    /* A sphere keeps the other two extents it had; the fourth light
       parameter is the engine's, the rule leaves it */
    entries[0] = entry("collision", R"({"collider": "sphere", "sphere": {"radius": 9}})");
    lights.parameters(l[0]).w = 7.0f;
    compileEntries(entries);
    EXPECT_EQ(m.extents(c[0]), Vector3(9, 2, 3));
    EXPECT_EQ(lights.parameters(l[0]).w, 7.0f);
}

TEST_F(ComponentsTest, TextActiveOnlyWithMaterialPipelineAndFont) {
    compileEntries({
        entry("text", R"({"text": "Hello", "material": "mat", "alignment": "right", "justification": "bottom",
            "effect": "outline", "characterSpacing": 0.5, "lineSpacing": 1.5})"),
        entry("text", R"({"text": "No material"})"),
        entry("text", R"({"text": "No pipeline", "material": "nopipe"})"),
        entry("text", R"({"text": "No font", "material": "nofont"})")});
    TextManager& m = scene().manager<TextManager>();
    const std::vector<Data::Id> c = componentsOf("text");
    ASSERT_EQ(activeOf(m, c), (std::vector<bool>{true, false, false, false}));
    EXPECT_EQ(std::tuple(m.text(c[0]), m.material(c[0]), m.font(c[0]), m.group(c[0]), m.text(c[1])),
              std::tuple("Hello", 1, 1, ComponentGroup{3, 0}, "No material"));
    EXPECT_EQ(std::tuple(m.alignment(c[0]), m.justification(c[0]), m.effect(c[0])),
              std::tuple(TextHorizontalAlignment::Right, TextVerticalAlignment::Bottom, TextEffect::Outline));
    EXPECT_EQ(std::tuple(m.characterSpacing(c[0]), m.lineSpacing(c[0])), std::tuple(0.5f, 1.5f));
    EXPECT_GE(m.groupCount(), 4u);
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
    compiler().compile("meshes");
    compiler().resourceIndex.skins["skin"] = 1;

    compileEntries({entry("mesh", R"({"material": "mat", "mesh": "skinned", "skin": "skin"})"),
                    entry("mesh", R"({"material": "mat", "mesh": "plain", "skin": "skin"})"),
                    entry("mesh", R"({"material": "mat", "mesh": "skinned", "skin": "other"})"),
                    entry("mesh", R"({"material": "nopipe", "mesh": "plain"})"),
                    entry("mesh", R"({"material": "mat"})")});
    MeshManager& m = scene().manager<MeshManager>();
    const std::vector<Data::Id> c = componentsOf("mesh");
    ASSERT_EQ(activeOf(m, c), (std::vector<bool>{true, true, false, false, false}));
    /* A mesh without joint ids ignores the skin */
    EXPECT_EQ(std::tuple(m.mesh(c[0]), m.skin(c[0]), m.group(c[0]), m.skin(c[1]), m.group(c[1])),
              std::tuple(compiler().meshId("skinned"), 1, ComponentGroup{3, 1}, 0, ComponentGroup{3, 0}));
    EXPECT_EQ(log.debug(), "While compiling mesh component on object o, skin other is not compiled\n");
}

TEST_F(ComponentsTest, JavaScript) {
    JavaScriptManager& js = scene().manager<JavaScriptManager>();
    const std::uint8_t spin = js.registerType("spin", {"speed"});
    const std::uint8_t wobble = js.registerType("wobble");
    LogCapture log;
    compileEntries({entry("light", R"({"type": "point"})"), entry("spin", R"({"speed": 2})"),
                    R"({"type": "unknown", "active": true})"});
    const std::vector<Data::Id> c = componentsOf("js");
    ASSERT_EQ(activeOf(js, c), std::vector<bool>{true});
    ASSERT_GT(compiler().scriptComponentOrigins.size(), c[0]);
    const auto& origin = compiler().scriptComponentOrigins[c[0]];
    EXPECT_EQ(std::tuple(js.componentType(c[0]), origin.objectKey, origin.componentIndex), std::tuple(spin, "o", 1u));
    EXPECT_EQ(log.warning(), "Skipping component with missing JavaScript component: unknown on object Obj\n");

    /* Matching is by script type: another type gets a new component */
    compileEntries({R"({"type": "spin", "active": true})", R"({"type": "wobble", "active": false})"});
    const std::vector<Data::Id> after = componentsOf("js");
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(std::tuple(after[0], compiler().scriptComponentOrigins[c[0]].componentIndex), std::tuple(c[0], 0u));
    EXPECT_EQ(std::tuple(js.componentType(after[1]), js.isActive(after[1])), std::tuple(wobble, false));
}

TEST_F(ComponentsTest, PhysicsParametersAndCookingFailures) {
    addMesh("bytes", makeCube(Trade::IndexType::UnsignedByte));
    addMesh("noindices", makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}));
    compiler().compile("meshes");
    LogCapture log;
    compileEntries({
        entry("physx", R"({"shape": "capsule", "capsule": {"radius": 0.5, "halfHeight": 2}, "trigger": true,
            "allowSimulation": true, "allowQuery": true, "gravity": true, "simulate": true, "static": true,
            "kinematic": true, "sleepOnActivate": true, "mass": 4, "groups": 257, "block": 3, "lockAxis": 5,
            "solverPositionIterations": 8, "solverVelocityIterations": 2, "staticFriction": 0.5,
            "dynamicFriction": 0.25, "bounciness": 0.75, "linearDamping": 0.1, "angularDamping": 0.2,
            "translationOffset": [1, 0, 0], "rotationOffset": [0, 0, 0, 2]})"),
        entry("physx", R"({"shape": "sphere", "sphere": {"radius": 3}, "trigger": true})"),
        entry("physx", R"({"shape": "triangleMesh", "triangleMesh": {"mesh": "bytes"}})"),
        entry("physx", R"({"shape": "convexMesh", "convexMesh": {"mesh": "noindices"}})"),
        entry("physx", R"({"shape": "triangleMesh", "triangleMesh": {"mesh": "nothing"}})"),
        entry("physx", R"({"shape": "triangleMesh", "triangleMesh": {"mesh": ""}})"),
        entry("physx", R"({"shape": "convexMesh", "convexMesh": {"mesh": "bytes"}})")});
    PhysXManager& m = scene().manager<PhysXManager>();
    const std::vector<Data::Id> c = componentsOf("physx");
    /* Convex cooking only needs the points */
    ASSERT_EQ(activeOf(m, c), (std::vector<bool>{true, true, false, false, false, false, true}));
    for(std::size_t i = 0; i != 7; ++i) EXPECT_EQ(m.rigidBodyDescriptor(c[i]).cookedMeshIndex, i == 6 ? 0 : -1) << i;
    EXPECT_EQ(log.error(),
        "Cooking triangle mesh for physx component on object Obj failed\n"
        "Cooking convex mesh for physx component on object Obj failed: Mesh has no indices\n"
        "Cooking triangle mesh for physx component on object Obj failed: Missing mesh\n");
    EXPECT_TRUE(sceneData().physxTriangleMeshes.empty());

    const RigidBodyDescriptor& a = m.rigidBodyDescriptor(c[0]);
    /* Simulation wins over trigger */
    EXPECT_EQ(a.rigidBodyFlags, RigidBodyStatic | RigidBodyKinematic | RigidBodyAllowSimulation | RigidBodyAllowQuery);
    EXPECT_EQ(std::tuple(a.physicsShape, a.shapeParameters.x, a.shapeParameters.y, a.sleepOnActivate, a.mass, a.groups),
              std::tuple(std::uint8_t(PhysicsShape::Capsule), 0.5f, 2.0f, 1, 4.0f, 1));
    EXPECT_EQ(std::tuple(a.block, a.lockAxis, a.solverPositionIterations, a.solverVelocityIterations),
              std::tuple(3, 5, 8, 2));
    EXPECT_EQ(std::tuple(a.staticFriction, a.dynamicFriction, a.bounciness, a.linearDamping, a.angularDamping),
              std::tuple(0.5f, 0.25f, 0.75f, 0.1f, 0.2f));
    /* The offset is not normalised */
    EXPECT_EQ(a.offsetTransform.real, Quaternion(2.0f, 0.0f, 0.0f, 0.0f));
    EXPECT_EQ(a.offsetTransform.dual, Quaternion(0.0f, 1.0f, 0.0f, 0.0f));
    const RigidBodyDescriptor& b = m.rigidBodyDescriptor(c[1]);
    EXPECT_EQ(std::tuple(b.rigidBodyFlags, b.shapeParameters.x),
              std::tuple(RigidBodyNoGravity | RigidBodyNoSimulation | RigidBodyTrigger, 3.0f));
}

TEST_F(ComponentsTest, PhysicsCookingAndSlotHandOver) {
    addMesh("cube", makeCube());
    compiler().compile("meshes", {"cube"});
    const std::string triangle = entry("physx", R"({"shape": "triangleMesh", "triangleMesh": {"mesh": "cube"}})");
    const std::string convex =
        entry("physx", R"({"shape": "convexMesh", "convexMesh": {"mesh": "cube", "scaling": [2, 2, 2]}})");
    setRecord("objects", "a", R"({"components": [)" + triangle + "]}");
    setRecord("objects", "b", R"({"components": [)" + triangle + "," + convex + "]}");
    compiler().compile("components");

    PhysXManager& m = scene().manager<PhysXManager>();
    const Data::Id ca = componentsOf("physx", "a").at(0);
    const std::vector<Data::Id> cb = componentsOf("physx", "b");
    const auto slots = [&] { return std::tuple(m.rigidBodyDescriptor(ca).cookedMeshIndex,
        m.rigidBodyDescriptor(cb[0]).cookedMeshIndex, m.rigidBodyDescriptor(cb[1]).cookedMeshIndex); };
    EXPECT_EQ(slots(), std::tuple(0, 1, 0));
    EXPECT_EQ(m.rigidBodyDescriptor(cb[1]).shapeParameters, Vector3(2.0f));
    EXPECT_EQ(activeOf(m, {ca, cb[0], cb[1]}), (std::vector<bool>{true, true, true}));
    ASSERT_EQ(std::tuple(sceneData().physxTriangleMeshes.size(), sceneData().physxConvexMeshes.size(),
                         m.triangleMeshes().size()), std::tuple(2, 1, 2));
    EXPECT_EQ(m.triangleMeshes()[1]->elementCount(), 12u);
    EXPECT_EQ(m.convexMeshes()[0]->elementCount(), 8u);
    EXPECT_EQ(Data::readPhysXData(sceneData().physxConvexMeshes[0])->type, Data::PhysXDataType::ConvexMesh);
    const Physics::PhysicsMesh* lastMesh = m.triangleMeshes()[1].get();

    /* a switches to a box: its slot 0 is freed, b's mesh moves into it */
    setRecord("objects", "a", R"({"components": [)" + entry("physx", R"({"shape": "box"})") + "]}");
    compiler().compile("components", {"a"});
    EXPECT_EQ(slots(), std::tuple(-1, 0, 0));
    ASSERT_EQ(std::tuple(sceneData().physxTriangleMeshes.size(), m.triangleMeshes().size()), std::tuple(1, 1));
    EXPECT_EQ(m.triangleMeshes()[0].get(), lastMesh);
    EXPECT_EQ(Data::readPhysXData(sceneData().physxTriangleMeshes[0])->slot, 0u);
    compiler().compile("components", {"b"});
    EXPECT_EQ(slots(), std::tuple(-1, 0, 0));
    EXPECT_EQ(sceneData().physxTriangleMeshes.size(), 1u);
}

class AnimationComponentsTest: public ComponentsTest {
    protected:
        AnimationComponentsTest() {
            setSection("objects", R"({"hips": {"name": "Hips"}, "spine": {"name": "Spine", "parent": "hips"},
                "arm": {"name": "Arm", "parent": "spine"}, "tHips": {"name": "Hips"},
                "tArm": {"name": "Arm", "parent": "tHips"}, "tLost": {"name": "Lost", "parent": "tHips"}})");
            compiler().compile("objects");
            setSection("skins", R"({"skin": {"joints": ["arm"]}})");
            compiler().resourceIndex.skins["skin"] = 1;
            /* Five tracks; tArm is listed twice */
            setSection("animations", R"({"anim": {"targets": ["tArm", "tHips", "tArm", "tLost", "tHips"]}})");
            compiler().resourceIndex.animations["anim"] = 1;
            sceneData().targetedAnimations.push_back(
                {1, {object("tArm"), object("tHips"), object("tArm"), object("tLost"), object("tHips")}});
        }
};

TEST_F(AnimationComponentsTest, Retargeting) {
    LogCapture log;
    compileEntries({
        entry("animation", R"({"animation": "anim", "retarget": true, "skin": "skin", "playCount": 2, "speed": 1.5,
            "autoplay": true})"),
        entry("animation", R"({"animation": "anim"})"),
        entry("animation", R"({"animation": "anim", "retarget": true})"),
        entry("animation", R"({"animation": "other", "preview": true})"),
        entry("animation", "{}")});
    AnimationManager& m = scene().manager<AnimationManager>();
    const std::vector<Data::Id> c = componentsOf("animation");
    ASSERT_EQ(activeOf(m, c), (std::vector<bool>{true, true, true, true, false}));
    EXPECT_EQ(std::tuple(m.animation(c[0]), m.skin(c[0]), m.playCount(c[0]), m.speed(c[0]), m.autoplay(c[0])),
              std::tuple(1, 1, 2, 1.5f, true));
    EXPECT_FALSE(m.isPlaying(c[0]));
    /* tArm -> arm, tHips -> hips (through arm's ancestors), tLost no match;
       the repeats do not advance, so the last two tracks stay unbound */
    EXPECT_EQ(m.targets(c[0]), (std::vector<Data::Id>{object("arm"), object("hips"), 0xFFFF, 0xFFFF, 0xFFFF}));
    /* Without retargeting the animation's own targets; without a skin
       the object itself for every track */
    EXPECT_EQ(m.targets(c[1]), sceneData().targetedAnimations[1].targets);
    EXPECT_EQ(m.targets(c[2]), std::vector<Data::Id>(5, object("o")));
    EXPECT_EQ(std::tuple(m.animation(c[3]), m.isPlaying(c[3])), std::tuple(0, true));
    EXPECT_EQ(log.warning(),
        "While retargeting animation, could not find a match for joint tLost\n"
        "No skin selected on animation with retarget enabled, this may produce an invalid animation\n"
        "Animation not compiled yet.\n");
}

}}}
