// Shader loading against a temporary copy of the editor's shaders and a
// temporary project: which file wins, what gets recorded, what is refused,
// and the reload on a changed file.

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "AssetCompiler/AssetCompiler.h"
#include "Base/Path.h"
#include "Base/String.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/RuntimeData.h"
#include "Shaders/ShaderLoading.h"
#include "Support/EditorFixture.h"
#include "Support/LogCapture.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;

namespace {

class ShaderLoadingTest: public Testing::EditorTest {
    protected:
        ShaderLoadingTest() {
            std::filesystem::copy(ZANDELLE_RESOURCES_DIR "/shaders", editorShaders,
                std::filesystem::copy_options::recursive);
            editor.shaderDirectory = editorShaders;
            editor.data().project().setRoot(dir / "project/Project.zdp");
            Path::make(dir / "project");
        }

        ProjectFile& file() { return editor.data().projectFile(); }
        std::string key(std::string_view path) {
            return file().shaders().firstResourceWithLink(FileLink{"default", std::string{path}});
        }
        ValueAccess record(std::string_view path) { return file().shaders()[key(path)]; }
        std::string pipeline(std::string_view name) { return file().pipelines().resourceByName(name); }
        /* The stored source of a link; empty when there is none */
        std::string source(std::string_view path) {
            const auto r = editor.data().resources().shaderSources.resolveLink(FileLink{"default", std::string{path}});
            return r ? r.get() : std::string{};
        }
        std::string editorFile(std::string_view path) {
            return Path::readString(Path::join(editorShaders, path)).value_or(std::string{});
        }
        /* Link names of the shader records, in section order */
        std::vector<std::string> recordedPaths() {
            std::vector<std::string> out;
            for(const ValueAccess& r: file().shaders().range()) out.push_back(r.fileLink().name);
            return out;
        }
        std::size_t reloadTasks() const {
            const auto tasks = editor.tasks();
            return std::count_if(tasks.begin(), tasks.end(),
                [](const auto& t) { return t->title() == "Reloading shaders"; });
        }

        std::string editorShaders = dir / "editor-shaders";
        std::string projectShaders = dir / "project/shaders";
};

TEST_F(ShaderLoadingTest, ShippedShaders) {
    Testing::LogCapture log;
    loadShaders(editor);
    EXPECT_EQ(log.all(), "Loading shaders from " + editorShaders + "\n");

    /* Compiled-in internal passes keep their source but stay out of the
       project; with the table below they name every compiled-in file */
    for(const char* path: {"Bloom.frag", "ComponentId.frag", "CopyAtlasTile.frag", "CopyDepth.frag",
        "IrradianceIBLBaker.frag", "Overdraw.frag", "SpecularIBLBaker.frag", "VisualizeTileFeedback.frag",
        "VisualizeVirtualAtlas.frag", "OutlineDraw.frag", "OutlineInit.frag", "OutlineStep.frag"}) {
        EXPECT_FALSE(source(path).empty()) << path;
        EXPECT_EQ(key(path), "") << path;
    }

    /* lib/ files are includes whatever their extension */
    const struct { const char* path; const char* name; const char* stage; const char* type; } Expected[]{
        {"Depth.frag", "Depth", "fragment", "depth"},
        {"TileFeedback.frag", "TileFeedback", "fragment", "tile feedback"},
        {"Skinning.vert", "Skinning", "vertex", "skinning"}, {"Dynamic.vert", "Dynamic", "vertex", "forward"},
        {"FullScreenTriangle.vert", "FullScreenTriangle", "vertex", "forward"},
        {"lib/Slug.frag", "Slug", "include", "forward"}, {"lib/Slug.vert", "Slug", "include", "forward"},
        {"lib/Lights.glsl", "Lights", "include", "forward"}, {"Text.vert", "Text", "vertex", "text"},
        {"Text.frag", "Text", "fragment", "text"}, {"Phong.frag", "Phong", "fragment", "forward"},
        {"MeshVisualizer.frag", "MeshVisualizer", "fragment", "mesh visualizer"},
    };
    for(const auto& e: Expected) {
        SCOPED_TRACE(e.path);
        ASSERT_NE(key(e.path), "");
        EXPECT_EQ(record(e.path)["name"].asString(), e.name);
        EXPECT_EQ(record(e.path)["stage"].asString(), e.stage);
        EXPECT_EQ(record(e.path)["type"].asString(), e.type);
        /* Editor-directory files as on disk; compiled-in ones are not there */
        EXPECT_FALSE(source(e.path).empty());
        if(const std::string onDisk = editorFile(e.path); !onDisk.empty()) { EXPECT_EQ(source(e.path), onDisk); }
    }

    /* Features in sorted order, written only for fragment shaders */
    EXPECT_EQ(record("Physical.frag")["features"].asStringViewArray(),
        (std::vector<std::string_view>{"ALPHA_MASKED", "NORMAL_MAPPING", "SHADOW_NORMAL_OFFSET_SLOPE_SCALE",
                                       "SHADOW_NORMAL_OFFSET_UV_ONLY", "TEXTURED", "WITH_EMISSIVE", "WITH_FOG"}));
    EXPECT_TRUE(record("DistanceFieldVector.frag")["features"].isArray());
    EXPECT_EQ(record("DistanceFieldVector.frag")["features"].size(), 0u);
    EXPECT_FALSE(record("Text.vert")["features"].isArray());

    /* Records follow the file names, particles last */
    const std::vector<std::string> paths = recordedPaths();
    ASSERT_FALSE(paths.empty());
    EXPECT_EQ(paths.back(), "Particle.frag");
    EXPECT_TRUE(std::is_sorted(paths.begin(), paths.end() - 1, [](const std::string& a, const std::string& b) {
        return Path::filename(a) < Path::filename(b);
    }));

    /* Loading again adds nothing */
    const std::size_t pipelines = file().pipelines().size(), sources = editor.data().resources().shaderSources.size();
    log.clear();
    loadShaders(editor);
    EXPECT_EQ(log.problems(), "");
    EXPECT_EQ(recordedPaths(), paths);
    EXPECT_EQ(file().pipelines().size(), pipelines);
    EXPECT_EQ(editor.data().resources().shaderSources.size(), sources);
    EXPECT_EQ(editor.fileWatch->watchCount(), 1u);
}

TEST_F(ShaderLoadingTest, ProjectOverridesDuplicatesAndExcludedDirectories) {
    const std::string phong = editorFile("Phong.frag") + "\n// project copy\n";
    dir.write("project/shaders/Phong.frag", phong);
    dir.write("project/shaders/Text.vert", "void main() {}\n");
    dir.write("project/shaders/lib/Lights.glsl", "// project lights\n");
    dir.write("project/shaders/a/Custom.frag", "// a\n");
    dir.write("project/shaders/b/Custom.frag", "// b\n");
    dir.write("editor-shaders/extra/Flat.frag", "// second flat\n");
    dir.write("editor-shaders/internal/Hidden.frag", "void main() {}\n");
    dir.write("editor-shaders/resources/Stored.frag", "void main() {}\n");
    dir.write("editor-shaders/Notes.txt", "not a shader\n");
    std::filesystem::create_symlink(dir / "nowhere", dir / "editor-shaders/AADangling.frag");

    Testing::LogCapture log;
    loadShaders(editor);
    EXPECT_EQ(log.debug(), "Loading shaders from " + projectShaders + " and " + editorShaders + "\n");
    /* Vertex shaders stay, and so does the first of two editor files of one
       name; include files are replaced like fragment shaders */
    EXPECT_EQ(log.problems(),
        "Ignored shader extra/Flat.frag, only fragment shaders can be overridden\n"
        "Ignored shader Text.vert, only fragment shaders can be overridden\n");
    EXPECT_EQ(source("Phong.frag"), phong);
    EXPECT_EQ(file().shaders().resourcesWithLink(FileLink{"default", "Phong.frag"}).size(), 1u);
    EXPECT_EQ(source("Text.vert"), editorFile("Text.vert"));
    EXPECT_EQ(source("lib/Lights.glsl"), "// project lights\n");
    EXPECT_EQ(record("lib/Lights.glsl")["stage"].asString(), "include");
    EXPECT_EQ(source("Flat.frag"), editorFile("Flat.frag"));
    for(const char* path: {"extra/Flat.frag", "internal/Hidden.frag", "resources/Stored.frag", "Notes.txt"}) {
        EXPECT_EQ(key(path), "") << path;
        EXPECT_EQ(source(path), "") << path;
    }

    /* Two project files of one name in different directories: both */
    EXPECT_EQ(source("a/Custom.frag"), "// a\n");
    EXPECT_EQ(source("b/Custom.frag"), "// b\n");
    EXPECT_EQ(record("a/Custom.frag")["name"].asString(), "Custom");
    const std::vector<std::string> paths = recordedPaths();
    EXPECT_LT(std::find(paths.begin(), paths.end(), "a/Custom.frag"),
              std::find(paths.begin(), paths.end(), "b/Custom.frag"));
}

TEST_F(ShaderLoadingTest, FailedChecksAndSyntaxErrors) {
    /* Flat with a mistyped colour; Broken is fine on its own, but with its
       feature defined a broken branch is taken */
    dir.write("editor-shaders/Flat.frag",
        String::replaceAll(editorFile("Flat.frag"), "lowp vec4 color;", "lowp float color;"));
    dir.write("project/shaders/Broken.frag", "#define FEATURE_BROKEN\n#ifdef BROKEN\n#define\n#endif\n");

    Testing::LogCapture log;
    loadShaders(editor);
    EXPECT_EQ(log.error(),
        "Preprocessor: expected an identifier after #define\n"
        "Syntax error in shader Broken.frag\n"
        "Skipping shader with failed validation: Flat.frag\n"
        "incorrect material parameter meta type for 'color'.\nGot 0, expected 2\n");

    /* The records stay, without features, source or pipelines */
    for(const char* path: {"Flat.frag", "Broken.frag"}) {
        SCOPED_TRACE(path);
        ASSERT_NE(key(path), "");
        EXPECT_EQ(record(path)["stage"].asString(), "fragment");
        EXPECT_FALSE(record(path)["features"].isArray());
        EXPECT_EQ(source(path), "");
    }
    for(const char* name: {"Flat Opaque", "Broken"}) EXPECT_EQ(pipeline(name), "") << name;
    EXPECT_NE(pipeline("Phong Opaque"), "");
}

TEST_F(ShaderLoadingTest, EditedShaderReloadsAndRecompiles) {
    /* A project with its asset compiler, as after a load; the compiled-in
       Slug shader read from disk instead */
    ASSERT_TRUE(initProject(editor, "", ""));
    editor.data().project().setRoot(dir / "project/Project.zdp");
    Path::make(projectShaders);
    dir.write("editor-shaders/internal/Slug.frag", "// slug from disk\n");
    dir.write("editor-shaders/internal/resources.conf",
        "group=ZandelleEditorShaders\n[file]\nfilename=Slug.frag\nalias=lib/Slug.frag\n");
    loadShaders(editor);
    EXPECT_EQ(source("lib/Slug.frag"), "// slug from disk\n");
    EXPECT_NE(editor.shaderWatchIds[2], -1);
    AssetCompiler& compiler = *editor.assetCompiler;
    compiler.compile("shaders");
    EditorSceneData& scene = editor.data().scene();
    const std::uint32_t shaders = scene.assetTypeCounter(AssetType::Shaders);
    const std::uint32_t pipelines = scene.assetTypeCounter(AssetType::Pipelines);
    const Data::Id lights = ResourceIndex::lookup(compiler.resourceIndex.includeShaders, key("lib/Lights.glsl"));
    ASSERT_NE(lights, 0);

    /* Not a shader: nothing happens */
    dir.write("editor-shaders/lib/Noise.png", "png");
    editor.fileWatch->waitAndPoll(editor, 300);
    editor.jobSystem->waitForIdle();
    EXPECT_EQ(reloadTasks(), 0u);

    Testing::LogCapture log;
    const std::string edited = editorFile("lib/Lights.glsl") + "\n// edited\n";
    dir.write("editor-shaders/lib/Lights.glsl", edited);
    EXPECT_GT(editor.fileWatch->waitAndPoll(editor, 5000), 0u);
    editor.jobSystem->waitForIdle();
    ASSERT_GE(reloadTasks(), 1u);
    EXPECT_TRUE(String::beginsWith(log.debug(),
        "Reloading shaders\nLoading shaders from " + projectShaders + " and " + editorShaders + "\n"));
    EXPECT_EQ(source("lib/Lights.glsl"), edited);
    /* The reload replaced the watches */
    EXPECT_EQ(editor.fileWatch->watchCount(), 3u);
    /* The edited include is compiled again under the index it had */
    EXPECT_GT(scene.assetTypeCounter(AssetType::Shaders), shaders);
    EXPECT_GT(scene.assetTypeCounter(AssetType::Pipelines), pipelines);
    EXPECT_EQ(ResourceIndex::lookup(compiler.resourceIndex.includeShaders, key("lib/Lights.glsl")), lights);
    EXPECT_EQ(Data::readShaderData(scene.includeShaders[lights])->source, edited);

    /* Removing the configuration reloads, with the compiled-in data back */
    Path::remove(dir / "editor-shaders/internal/resources.conf");
    EXPECT_GT(editor.fileWatch->waitAndPoll(editor, 5000), 0u);
    editor.jobSystem->waitForIdle();
    EXPECT_NE(source("lib/Slug.frag"), "// slug from disk\n");
    EXPECT_FALSE(source("lib/Slug.frag").empty());
}

TEST_F(ShaderLoadingTest, EveryChangeReloads) {
    Path::make(projectShaders);
    loadShaders(editor);

    /* With every worker busy the reloads wait; a change seen meanwhile gets
       a reload of its own, none is folded into one already waiting */
    std::atomic<bool> release{false};
    for(int i = 0; i != editor.jobSystem->workerCount(); ++i)
        editor.jobSystem->dispatchFunc([&release](JobSystem&, int) {
            while(!release) std::this_thread::yield();
            return JobResult::Success;
        });
    std::size_t changes = 0;
    for(const char* text: {"// first\n", "// second\n", "// third\n"}) {
        dir.write("project/shaders/Custom.frag", text);
        changes += editor.fileWatch->waitAndPoll(editor, 5000);
    }
    ASSERT_GE(changes, 3u);
    EXPECT_EQ(reloadTasks(), changes);
    release = true;
    editor.jobSystem->waitForIdle();

    for(const auto& task: editor.tasks()) {
        EXPECT_EQ(task->total.load(), 2u);
        EXPECT_EQ(task->done.load(), 2u);
    }
    EXPECT_EQ(source("Custom.frag"), "// third\n");
}

TEST_F(ShaderLoadingTest, WithoutEditorDirectoryAndByBareFileName) {
    /* Only the compiled-in shaders and the project's, whose directory is
       the current one when the project was opened by bare file name */
    editor.shaderDirectory.clear();
    dir.write("project/shaders/Custom.frag", "// custom\n");
    {
        Testing::ScopedWorkingDirectory cwd{dir / "project"};
        editor.data().project().setRoot("Project.zdp");
    }
    ASSERT_EQ(editor.data().project().root(), dir / "project");
    loadShaders(editor);
    EXPECT_EQ(source("Custom.frag"), "// custom\n");
    EXPECT_NE(key("Depth.frag"), "");
    EXPECT_EQ(key("Phong.frag"), "");
    EXPECT_EQ(editor.fileWatch->watchCount(), 1u);
    EXPECT_NE(pipeline("Depth Opaque"), "");
}

TEST(ShaderLoading, IsShaderFile) {
    /* Every loading test reads the three extensions */
    EXPECT_TRUE(isShaderFile("d.e.frag"));
    for(const char* path: {"frag", "b.frag.bak", "d.FRAG", ""}) EXPECT_FALSE(isShaderFile(path)) << path;
}

}
