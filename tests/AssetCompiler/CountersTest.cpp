#include <tuple>

#include "AssetCompiler/CompileHelpers.h"
#include "CompilerFixture.h"
#include "Engine/AnimationManager.h"
#include "Engine/Components.h"
#include "Engine/RuntimeData.h"
#include "Support/LogCapture.h"

namespace ZandelleEngine { namespace Testing { namespace {

using CountersTest = CompilerTest;

TEST_F(CountersTest, CompileAllOnNewProjectBumpsEveryStepOnce) {
    /* Nothing but what a new project brings, and no objects */
    setSection("objects", "{}");
    std::array<std::uint32_t, AssetTypeCount> before;
    for(std::size_t i = 0; i != AssetTypeCount; ++i) before[i] = counter(AssetType(i));
    const int firstProbe = editor.jobSystem->dispatchFunc([](JobSystem&, int) { return JobResult::Success; });
    editor.jobSystem->waitForIdle();

    /* The font job is the only job: the default font of a new project has a
       Text material. Its completion bumps the fonts counter. */
    compiler().compileAll();
    editor.jobSystem->waitForIdle();
    const int secondProbe = editor.jobSystem->dispatchFunc([](JobSystem&, int) { return JobResult::Success; });
    EXPECT_EQ(secondProbe, firstProbe + 3);
    editor.jobSystem->waitForIdle();

    const std::array<std::uint32_t, AssetTypeCount> expected{
        2, /* objects: once per pass */
        0, /* components: no object */
        1, 1, 1, 1,
        1, /* pipeline kinds, at the end of the pipeline step */
        1,
        2, /* materials: the Text material again after its pipeline */
        1, 1, 1,
        0, /* sky */
        1,
        0  /* languages are not part of compileAll */
    };
    for(std::size_t i = 0; i != AssetTypeCount; ++i)
        EXPECT_EQ(counter(AssetType(i)) - before[i], expected[i]) << "asset type " << i;

    /* Each step after those whose results it reads */
    std::vector<std::string> order;
    for(const CompileStepTime& t: compiler().lastCompileTimes) order.emplace_back(t.step->name);
    EXPECT_EQ(order, (std::vector<std::string>{"settings", "shaders", "pipelines", "fonts", "images", "textures",
        "materials", "meshes", "objects", "animations", "skins", "components"}));
}

TEST_F(CountersTest, CompileAllLinksWhatEarlierStepsCompiled) {
    /* A populated project: each step finds the ids of the steps before it */
    editor.data().resources().images.add(FileLink{"scene.glb", "img"},
        Trade::ImageData{Trade::PixelFormat::RGBA8Unorm, {2, 2}, std::vector<std::uint8_t>(16, 200)});
    setLinkedRecord("images", "img", R"("compression": "none")");
    setSection("textures", R"({"tex": {"image": "img"}})");
    const std::string pipeline = file().pipelines().resourceByName("Phong Opaque Textured");
    setRecord("materials", "mat", R"({"pipeline": ")" + pipeline + R"(", "Phong": {"diffuseTexture": "tex"}})");
    addMesh("m", makeCube());
    editor.data().resources().animations.add(FileLink{"scene.glb", "anim"},
        Trade::AnimationData{{{"", "translation", {0.0f, 1.0f}, {0, 0, 0, 1, 0, 0}}}, 1.0f});
    setLinkedRecord("animations", "anim", R"("targets": ["child"])");
    const std::string font = file().fonts().firstResourceWithLink(FileLink{"default", "DejaVuSans.ttf"});
    const std::string text = file().materials().firstResourceWithLink(FileLink{"default", "DefaultFontMaterial"});
    setSection("objects", R"({"root": {"name": "Root", "components": [
        {"type": "mesh", "mesh": {"mesh": "m", "material": "mat"}},
        {"type": "animation", "animation": {"animation": "anim"}}]},
        "child": {"name": "Child", "parent": "root",
            "components": [{"type": "text", "text": {"text": "Hi", "material": ")" + text + R"("}}]}})");
    compiler().compileAll();
    editor.jobSystem->waitForIdle();

    AssetCompiler& c = compiler();
    const Data::Id root = object("root"), child = object("child"), image = c.resourceIndex.images["img"],
        texture = c.resourceIndex.textures["tex"], animation = c.resourceIndex.animations["anim"];
    ASSERT_TRUE(root && child && image && texture && animation && c.meshId("m") && c.materialId("mat") &&
        c.materialId(text) && c.fontId(font) && c.pipelineId(pipeline));
    EXPECT_EQ(scene().parent(child), root);
    EXPECT_EQ(Data::readTextureData(sceneData().textures.at(texture))->info.image, image);
    EXPECT_EQ(Data::readMaterialData(sceneData().materials.at(c.materialId("mat")))->pipeline, c.pipelineId(pipeline));

    const auto component = [&](Data::Id o, const char* manager) {
        for(std::size_t i = 0; i != scene().components(o).size(); ++i)
            if(scene().componentTypes(o)[i] == scene().componentManagerIndex(manager)) return scene().components(o)[i];
        return Data::NoComponent;
    };
    MeshManager& meshes = scene().manager<MeshManager>();
    TextManager& texts = scene().manager<TextManager>();
    AnimationManager& animations = scene().manager<AnimationManager>();
    const Data::Id mesh = component(root, MeshManager::Name), label = component(child, TextManager::Name),
        player = component(root, AnimationManager::Name);
    EXPECT_EQ(std::tuple(meshes.mesh(mesh), meshes.material(mesh)), std::tuple(c.meshId("m"), c.materialId("mat")));
    EXPECT_EQ(std::tuple(texts.font(label), texts.material(label)), std::tuple(c.fontId(font), c.materialId(text)));
    EXPECT_EQ(std::tuple(animations.animation(player), animations.targets(player)),
        std::tuple(animation, std::vector<Data::Id>{child}));
}

/* A project loaded after another starts from empty indices */
TEST_F(CountersTest, InitialisationForgetsTheIndices) {
    compiler().resourceIndex.meshes["m"] = 4;
    compiler().scriptComponentOrigins.push_back({"o", 1});
    compiler().initialize(editor);
    EXPECT_EQ(compiler().meshId("m"), 0);
    EXPECT_TRUE(compiler().scriptComponentOrigins.empty());
}

/* Every step stores through one helper: the last 16-bit id is given out,
   the one after is refused with one line and nothing stored */
TEST(CompileSlots, LastIdThenNoIdLeft) {
    std::vector<int> values(0xFFFF);
    std::vector<std::string> names(0xFFFF);
    Data::Id last = 0, none = 0, kept = 3;
    LogCapture log;
    EXPECT_TRUE(CompileHelpers::storeInSlot(last, {"compileMeshes", "mesh", "a"}, std::tie(values, names), 1, std::string{"a"}));
    EXPECT_FALSE(CompileHelpers::storeInSlot(none, {"compileMeshes", "mesh", "b"}, std::tie(values, names), 2, std::string{"b"}));
    EXPECT_TRUE(CompileHelpers::storeInSlot(kept, {"compileMeshes", "mesh", "c"}, std::tie(values, names), 3, std::string{"c"}));
    EXPECT_EQ(std::tuple(last, none, values.size(), names.size(), values[0xFFFF], names[3]),
              std::tuple(Data::Id(0xFFFF), Data::Id(0), std::size_t(0x10000), std::size_t(0x10000), 1, "c"));
    EXPECT_EQ(log.all(), "AssetCompiler::compileMeshes(): No id left for mesh b\n");
}

}}}
