#include <array>
#include <map>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "AssetCompiler/AssetCompiler.h"
#include "AssetCompiler/CompilerFixture.h"
#include "Engine/RuntimeData.h"
#include "Tools/ChangeHandlers.h"

namespace ZandelleEngine { namespace Testing { namespace {

class ChangeHandlersTest: public CompilerTest {
    protected:
        ChangeHandlersTest() {
            setSection("images", R"({"i1": {"name": "Sky"}, "i2": {"name": "Grass"}})");
            setSection("textures", R"({"t1": {"image": "i1"}})");
            setSection("languages", R"({"en": {"name": "English"}})");
            setSection("objects", R"({
                "a": {"name": "A", "components": [{"type": "text", "text": {"material": "m1"}}]},
                "b": {"name": "B", "components": [{"type": "mesh", "mesh": {"material": "m1"}}]},
                "c": {"name": "C", "components": [{"type": "mesh", "mesh": {"material": "m2"}}]}})");
            setRecord("materials", "m1", R"({"name": "M1", "pipeline": "1", "Text": {"font": "1"}})");
            setRecord("materials", "m2", R"({"name": "M2", "pipeline": "1"})");
            file().invalidateLookups();
        }

        /* Applies one edit (no value: removal) and delivers it; returns the
           records each step was given meanwhile, as "step records" words */
        std::string edit(const std::string& pointer, const char* json) {
            const auto before = compiler().stepCounts;
            ChangeTracker& tracker = *editor.changeTracker;
            if(json) {
                JsonDocument value;
                value.Parse(json);
                EXPECT_TRUE(tracker.setValue(pointer, value)) << pointer;
            } else EXPECT_TRUE(tracker.removeValue(pointer)) << pointer;
            tracker.dispatch();
            return compiled(before);
        }

        std::string compiled(const std::array<StepCount, AssetTypeCount>& before) {
            static const char* const names[]{"objects", "components", "meshes", "images", "shaders", "pipelines", "",
                "textures", "materials", "animations", "skins", "", "", "fonts", "languages"};
            std::string out;
            for(std::size_t t = 0; t != AssetTypeCount; ++t)
                if(const auto n = compiler().stepCounts[t].records - before[t].records)
                    out += std::string{out.empty() ? "" : " "} + names[t] + " " + std::to_string(n);
            return out;
        }
};

/* An edit compiles its record and what depends on it, and lists the objects to compile again */
TEST_F(ChangeHandlersTest, RecompilesTheEditedRecordOnly) {
    const std::string pipelines = std::to_string(file().pipelines().range().size());
    const std::string images = std::to_string(file().images().range().size());
    const struct { const char* pointer; const char* value; std::string compiled; std::vector<std::string> listed = {}; }
    cases[]{
        {"/images/i1/name", R"("Renamed")", ""},
        {"/textures/t1/wrapping", "[1, 1, 1]", "textures 1"},
        {"/shaders/1/name", R"("Renamed")", "shaders 1"},
        {"/materials/m2/name", R"("Renamed")", ""},
        /* A pipeline not compiled yet is compiled, and it compiles the material */
        {"/materials/m2/Phong/diffuseColor", "[1, 0, 0, 1]", "pipelines 1 materials 1"},
        {"/materials/m1/pipeline", R"("2")", "pipelines 1 materials 1", {"a", "b"}},
        /* A font change lists the text users only, and compiles the new font */
        {"/materials/m1/Text/font", R"("1")", "materials 1 fonts 1", {"a"}},
        {"/settings/rendering/usePreZ", "true", "pipelines " + pipelines},
        {"/settings/rendering/textureAtlasSize", "[4096, 4096]", "images " + images},
        {"/settings/editor/cache/maxCacheSize", "100", "images " + images},
        {"/settings/project/name", R"("Other")", ""},
    };
    for(const auto& c: cases) {
        SCOPED_TRACE(c.pointer);
        EXPECT_EQ(edit(c.pointer, c.value), c.compiled);
        EXPECT_EQ(editor.changedObjects, c.listed);
        editor.changedObjects.clear();
    }
}

TEST_F(ChangeHandlersTest, ObjectsRemovedMovedAndChanged) {
    compiler().compile("components");
    EXPECT_EQ(edit("/objects/a/name", R"("Renamed")"), "");
    EXPECT_EQ(edit("/objects/b/translation", "[1, 2, 3]"), "");
    EXPECT_EQ(edit("/objects/b/rotation", "[0, 0, 0, 1]"), "");
    EXPECT_EQ(editor.changedObjects, (std::vector<std::string>{"a"}));
    EXPECT_EQ(editor.transformedObjects, (std::vector<std::string>{"b", "b"}));

    /* Switching a text component's material compiles that material's font */
    EXPECT_EQ(edit("/objects/a/components/0/text/material", R"("m1")"), "fonts 1");
    EXPECT_NE(object("a"), 0);
    EXPECT_EQ(edit("/objects/a", nullptr), "");
    EXPECT_EQ(object("a"), 0);
    EXPECT_TRUE(editor.changedObjects.empty());

    const auto before = compiler().stepCounts;
    const ListedObjects done = compileListedObjects(editor);
    EXPECT_EQ(done.changed + done.moved, 1u);
    EXPECT_EQ(compiled(before), "objects 1");
    EXPECT_TRUE(editor.transformedObjects.empty());
}

TEST_F(ChangeHandlersTest, LanguageOncePerRevision) {
    ChangeTracker& tracker = *editor.changeTracker;
    const auto before = compiler().stepCounts;
    tracker.report("/languages/en/name");
    tracker.report("/languages/en/terms");
    tracker.dispatch();
    EXPECT_EQ(compiled(before), "languages 1");
    tracker.report("/languages/en/terms");
    tracker.dispatch();
    EXPECT_EQ(compiled(before), "languages 2");
}

TEST_F(ChangeHandlersTest, SettingsRedrawAndPlugins) {
    EditorSceneData& data = sceneData();
    const std::uint32_t revision = data.settingsRevision;
    const std::uint32_t settings = counter(AssetType::Settings);
    edit("/settings/rendering/fontOutline", "true");
    edit("/settings/editor/ids", R"("uuid")");
    EXPECT_EQ(data.settingsRevision, revision + 2);
    EXPECT_EQ(data.currentGeneration.load(), data.settingsRevision);
    edit("/settings/physx/gravity", "[0, -10, 0]");
    EXPECT_EQ(counter(AssetType::Settings), settings + 2);

    PluginManagerJs& plugins = editor.scripting->pluginManager();
    edit("/settings/plugins/tool/enable", "true");
    EXPECT_TRUE(plugins.enabled().empty());
    editor.pluginsEnabled = true;
    edit("/settings/plugins/tool/enable", "true");
    edit("/settings/plugins/other/enable", "false");
    EXPECT_EQ(plugins.enabled(), (std::map<std::string, bool, std::less<>>{{"other", false}, {"tool", true}}));
}

/* Which kind each pipeline gets is the pipeline step's; the handler asks
   for it on sky settings only */
TEST_F(ChangeHandlersTest, SkySettingsReclassifyThePipelines) {
    const std::uint32_t kinds = counter(AssetType::PipelineUpdates);
    EXPECT_EQ(edit("/settings/rendering/sky/enabled", "true"), "");
    EXPECT_EQ(counter(AssetType::PipelineUpdates), kinds + 1);
    edit("/settings/rendering/fontOutline", "true");
    EXPECT_EQ(counter(AssetType::PipelineUpdates), kinds + 1);
}

TEST_F(ChangeHandlersTest, EditsThatDoNotNameARecordMember) {
    ChangeTracker& tracker = *editor.changeTracker;
    const std::string before = *file().toString();
    JsonDocument value;
    value.Parse("1");
    for(const char* pointer: {"", "objects/a/name", "/objects", "/nosection/a/b", "/objects/missing/name",
                              "/objects/a//name", "/objects/a/name/deeper", "/objects/a/components/5/type"})
        EXPECT_FALSE(tracker.setValue(pointer, value)) << pointer;
    EXPECT_FALSE(tracker.removeValue("/objects/a/translation"));
    EXPECT_TRUE(tracker.pendingChanges().empty());
    EXPECT_EQ(*file().toString(), before);
}

TEST_F(ChangeHandlersTest, RegistryOrderAndGrowth) {
    ChangeTracker& tracker = *editor.changeTracker;
    EXPECT_EQ(tracker.registeredPaths(), (std::vector<std::string>{"animations", "fonts", "images", "languages",
        "materials", "meshes", "objects", "pipelines", "settings", "shaders", "skins", "sourcePaths", "textures"}));
    EXPECT_EQ(tracker.registryCapacity(), 16u);
    for(int i = 0; i != 4; ++i) tracker.registerHandler("extra" + std::to_string(i), [](const Change&, void*) {});
    EXPECT_EQ(tracker.registryCapacity(), 32u);
}

/* The incremental promise: on a large project each edit recompiles its own
   record and nothing else */
TEST_F(ChangeHandlersTest, LargeProjectEditsRecompileOneRecord) {
    std::string objects = "{", materials = "{", images = "{";
    for(int i = 0; i != 10000; ++i)
        objects += (i ? "," : "") + fmt::format(R"("o{}": {{"name": "O{}", "translation": [0, 0, 0]}})", i, i);
    const std::string phong = file().pipelines().resourceByName("Phong Opaque");
    for(int i = 0; i != 200; ++i)
        materials += (i ? "," : "") +
            fmt::format(R"("m{}": {{"pipeline": "{}", "Phong": {{"diffuseColor": [1, 1, 1, 1]}}}})", i, phong);
    /* Images with pixels behind them, compiled for real (uncompressed, so
       that no encoder runs) */
    for(int i = 0; i != 20; ++i) {
        const std::string key = "i" + std::to_string(i);
        editor.data().resources().images.add(FileLink{"pictures.png", key},
            Trade::ImageData{Trade::PixelFormat::RGBA8Unorm, {64, 64}, std::vector<std::uint8_t>(64*64*4, i)});
        images += (i ? "," : "") + fmt::format(R"("{}": {{"name": "I{}", "compression": "none",)"
            R"( "link": {{"file": "pictures.png", "name": "{}"}}}})", key, i, key);
    }
    setSection("objects", objects + "}");
    setSection("materials", materials + "}");
    setSection("images", images + "}");
    file().invalidateLookups();
    compiler().compileAll();
    editor.jobSystem->waitForIdle();
    auto image = [&]() -> EditorSceneData::CompiledImage& {
        return sceneData().images.at(ResourceIndex::lookup(compiler().resourceIndex.images, "i10"));
    };
    auto material = [&] {
        const auto view = *Data::readMaterialData(sceneData().materials.at(compiler().materialId("m100")));
        return std::vector<std::uint8_t>(view.parameters.begin(), view.parameters.end());
    };
    ASSERT_EQ(image().image.size, Vector2i(64, 64));
    const std::vector<std::uint8_t> white = material();

    const struct { const char* pointer; const char* value; AssetType type; const char* compiled; } cases[]{
        {"/objects/o5000/translation", "[1, 2, 3]", AssetType::Objects, "objects 1"},
        {"/materials/m100/Phong/diffuseColor", "[1, 0, 0, 1]", AssetType::Materials, "materials 1"},
        {"/images/i10/maxSize", "[32, 32]", AssetType::Images, "images 1"},
        {"/fonts/1/characters", R"("xyz")", AssetType::Fonts, "fonts 1"},
    };
    for(const auto& c: cases) {
        std::array<std::uint32_t, AssetTypeCount> counters;
        for(std::size_t t = 0; t != AssetTypeCount; ++t) counters[t] = counter(AssetType(t));
        const auto before = compiler().stepCounts;
        edit(c.pointer, c.value);
        compileListedObjects(editor);
        editor.jobSystem->waitForIdle();
        EXPECT_EQ(compiled(before), c.compiled) << c.pointer;
        for(std::size_t t = 0; t != AssetTypeCount; ++t)
            EXPECT_EQ(counter(AssetType(t)) - counters[t], AssetType(t) == c.type ? 1u : 0u) << c.pointer << " " << t;
    }
    EXPECT_NE(material(), white);
    EXPECT_EQ(image().image.size, Vector2i(32, 32));
}

}}}
