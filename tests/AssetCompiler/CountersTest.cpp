#include "CompilerFixture.h"

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

/* A project loaded after another starts from empty indices */
TEST_F(CountersTest, InitialisationForgetsTheIndices) {
    compiler().resourceIndex.meshes["m"] = 4;
    compiler().scriptComponentOrigins.push_back({"o", 1});
    compiler().initialize(editor);
    EXPECT_EQ(compiler().meshId("m"), 0);
    EXPECT_TRUE(compiler().scriptComponentOrigins.empty());
}

}}}
