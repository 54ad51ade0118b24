#include <gtest/gtest.h>

#include <sys/stat.h>

#include "Base/Path.h"
#include "Devices/RemoteDevices.h"
#include "Support/EditorFixture.h"
#include "Support/LogCapture.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;
using Testing::minimalProject;

namespace {

class ProjectLoad: public Testing::EditorTest {
    protected:
        /* A project of the current version in the temporary directory */
        std::string current(std::string_view relative = "Game.zdp", std::string_view settings = {}) {
            return writeProject(relative, minimalProject("[1, 1, 6, 1]", settings));
        }
};

}

TEST_F(ProjectLoad, CurrentVersionLoadsAndActivates) {
    const std::string path = current("game/Game.zdp",
        R"("scripting": {"entryPoint": "js/main.js", "sourcePaths": ["js", "/lib/api"]})");
    int loaded = 0;
    editor.projectLoadedListeners.push_back([&](ZandelleEditor&) { ++loaded; });
    Testing::LogCapture log;
    ASSERT_TRUE(loadAndWait(path));
    /* Shaders load during initialisation, inside the migration sequence and in the finishing job */
    const std::string shaders = "Loading shaders from " + std::string{ZANDELLE_RESOURCES_DIR} + "/shaders\n";
    EXPECT_EQ(log.all(),
        "Resetting editor data\n"
        "Initializing new project\n" + shaders +
        "Loading project from " + path + "\n"
        "No '.editor/state.json', using default editor state\n" + shaders +
        "Plugin execution is disabled for this project.\n"
        "If you trust the source, enable it in Project Settings > Plugins.\n" + shaders);
    EXPECT_EQ(editor.data().project().root(), dir / "game");
    EXPECT_EQ(editor.data().project().filename(), "Game.zdp");
    EXPECT_EQ(loaded, 1);
    EXPECT_EQ(editor.scripting->runtimeEntryPath(), dir / "game/js/main.js");
    EXPECT_EQ(editor.scripting->paths(),
        (std::vector<std::string>{dir / "game/js", std::string{ZANDELLE_RESOURCES_DIR} + "/lib/api"}));
    EXPECT_EQ(editor.scripting->updateCount(), 1u);
    EXPECT_FALSE(editor.scripting->isWatching());
    EXPECT_FALSE(editor.service->isRunning());
}

/* 0.6.0 as three numbers loads where the save test upgrades every frozen project */
TEST_F(ProjectLoad, VersionGateAndBadFiles) {
    /* A parse failure is one Error line, with the parser's reason in a Debug line */
    const std::string parse = "Failed parsing project from " + (dir / "bad/Bad.zdp") + "\n";
    const std::string wrong = "Project file version is not an array of three or four integers: ";
    const struct { const char* name; std::string text, error; const char* reason; } Data[]{
        {"prerelease of 0.6.0", minimalProject("[0, 6, 0, 3]"),
         "Project file version not supported anymore: Vector(0, 6, 0, 3)\n", ""},
        {"a string", minimalProject("\"1.1.6\""), wrong + "\"1.1.6\"\n", ""},
        {"one number", minimalProject("[1]"), wrong + "[1]\n", ""},
        {"floats", minimalProject("[1.5, 1, 6]"), wrong + "[1.5,1,6]\n", ""},
        {"no version", R"({"settings": {"project": {}}})", "No version found in project file\n", ""},
        {"malformed", "{\"settings\": ", parse, "ProjectFile::parse(): Invalid value. at offset 13\n"},
    };
    for(const auto& d: Data) {
        SCOPED_TRACE(d.name);
        const std::string path = writeProject("bad/Bad.zdp", d.text);
        Testing::LogCapture log;
        EXPECT_FALSE(loadAndWait(path));
        EXPECT_EQ(log.error(), d.error);
        EXPECT_NE(log.debug().find(d.reason), std::string::npos);
        /* After a failure the empty project of initProject points at the path */
        EXPECT_EQ(editor.data().project().root(), dir / "bad");
        EXPECT_EQ(editor.data().project().filename(), "Bad.zdp");
    }
}

TEST_F(ProjectLoad, FailuresNameTheReasonAndTheRecentList) {
    Testing::LogCapture log;
    Path::make(dir / "directory.zdp");
    const std::string bad = writeProject("Bad.zdp", "{");
    for(const std::string& path: {dir / "missing.zdp", dir / "directory.zdp", bad}) EXPECT_FALSE(loadAndWait(path));
    EXPECT_EQ(log.error(),
        "Failed loading project from " + (dir / "missing.zdp") + ": No such file or directory\n"
        "Failed loading project from " + (dir / "directory.zdp") + ": Is a directory\n"
        "Failed parsing project from " + bad + "\n");
    /* A file that was read is a recent project, also when it does not parse */
    EXPECT_EQ(readRecentProjects(), std::vector<std::string>{bad});
    /* The service stopped for a load restarts only when the load succeeds, and so does the watching of scripts */
    editor.service->start();
    EXPECT_FALSE(loadAndWait(bad));
    EXPECT_FALSE(editor.service->isRunning());
    editor.service->start();
    editor.scripting->startWatching(*editor.fileWatch);
    ASSERT_TRUE(loadAndWait(current()));
    EXPECT_TRUE(editor.service->isRunning());
    EXPECT_EQ(editor.service->stopCount(), 2);
    EXPECT_TRUE(editor.scripting->isWatching());
}

TEST_F(ProjectLoad, IdSchemeFromSettings) {
    /* Names are case-sensitive, and a later load resets the scheme */
    const struct { const char* ids; IdScheme scheme; } Data[]{{"\"uuid\"", IdScheme::Uuid},
        {"\"Uuid\"", IdScheme::IncrementalNumber}};
    for(const auto& d: Data) {
        ASSERT_TRUE(loadAndWait(current("Ids.zdp", R"("editor": {"ids": )" + std::string{d.ids} + "}")));
        EXPECT_EQ(editor.data().projectFile().idScheme(), d.scheme) << d.ids;
    }
}

TEST_F(ProjectLoad, EditorState) {
    const std::string path = current();
    writeProject(".editor/state.json",
        R"({"version": 1, "selection": ["4"], "camera": {"position": [1, 2, 3], "rotation": [0, 0, 0, 1]}})");
    {
        Testing::LogCapture log;
        ASSERT_TRUE(loadAndWait(path));
        EXPECT_NE(log.debug().find("Loading editor state from " + (dir / ".editor/state.json") + "\n"),
            std::string::npos);
        EXPECT_EQ(editor.editorState.selection, (std::vector<std::string>{"4"}));
    }
    /* Which texts the state refuses is its own test's; one nested too deep is
       refused too, and so is such a package lock, silently */
    const std::string deep = std::string(200000, '[') + std::string(200000, ']');
    writeProject("package-lock.json", "{\"packages\": " + deep + "}");
    const std::string Rejected[]{R"({"version": 2})", deep};
    for(const std::string& rejected: Rejected) {
        SCOPED_TRACE(rejected.substr(0, 50));
        writeProject(".editor/state.json", rejected);
        Testing::LogCapture log;
        ASSERT_TRUE(loadAndWait(path));
        EXPECT_EQ(log.warning(), "Unable to load editor state from '.editor/state.json', using default\n"
                                 "Plugin execution is disabled for this project.\n");
        EXPECT_TRUE(editor.editorState.selection.empty());
    }
}

TEST_F(ProjectLoad, PluginTrustComparesNormalisedAbsolutePaths) {
    const std::string path = current("game/Game.zdp",
        R"("plugins": {"enable": true, "paths": ["p"], "first": {"enable": true}, "second": {"enable": false}})");
    /* A path that differs in case names another file and does not count */
    setPluginsEnabledForProject(dir / "game/game.zdp", true);
    ASSERT_TRUE(loadAndWait(path));
    EXPECT_FALSE(editor.pluginsEnabled);
    /* Trust given by a relative path holds for a load by another spelling of
       the same file, and for a load by relative path */
    {
        Testing::ScopedWorkingDirectory cwd{dir / "game"};
        setPluginsEnabledForProject("Game.zdp", true);
        ASSERT_TRUE(loadAndWait("Game.zdp"));
        EXPECT_TRUE(editor.pluginsEnabled);
    }
    setPluginsEnabledForProject(path, false);
    setPluginsEnabledForProject(dir / "game//Game.zdp", true);
    ASSERT_TRUE(loadAndWait(dir / "game/./Game.zdp"));
    EXPECT_TRUE(editor.pluginsEnabled);
    Testing::LogCapture log;
    ASSERT_TRUE(loadAndWait(path));
    EXPECT_TRUE(editor.pluginsEnabled);
    EXPECT_EQ(log.warning(), "Plugin support is enabled for this project, loading editor plugins\n");
    const std::vector<std::string>& calls = editor.scripting->pluginManager().calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(calls.end() - 4, calls.end()), (std::vector<std::string>{
        "add(" + (dir / "game/plugins") + ")", "setEnabled(first, true)", "setEnabled(second, false)", "watch()"}));
}

TEST_F(ProjectLoad, DialogOverload) {
    const std::string path = current();
    ASSERT_TRUE(loadAndWait(path));
    editor.projectDialogPath = dir.path();
    auto& dialogs = static_cast<HeadlessDialogs&>(*editor.dialogs);
    /* Cancelled: nothing happens to the loaded project */
    EXPECT_FALSE(loadProject(editor));
    EXPECT_EQ(editor.data().project().filename(), "Game.zdp");
    EXPECT_EQ(dialogs.requests().back(),
        "open|Load Project|" + dir.path() + "|Zandelle Engine Project=*.zdp,All Files=*|single");
    dialogs.queueAnswer(std::vector<std::string>{path, dir / "other.zdp"});
    const std::optional<int> job = loadProject(editor);
    ASSERT_TRUE(job);
    editor.jobSystem->wait(*job);
}

TEST_F(ProjectLoad, DefaultImageResources) {
    const std::string path = writeProject("Game.zdp", R"({"images": {"img": {"link": {"file": "default",
        "name": "DefaultImage"}}}, "settings": {"project": {"version": [1, 1, 6, 1]}}})");
    ASSERT_TRUE(loadAndWait(path));
    ProjectFile& file = editor.data().projectFile();
    EXPECT_EQ(file.images()["img"]["compression"].asString(), "none");
    EXPECT_EQ(file.images()["img"]["name"].asString(), "DefaultImage");
    OriginalAccess texture = file.textures().getOriginal(FileLink{"default", "DefaultTexture"});
    ASSERT_TRUE(texture.exists());
    EXPECT_EQ(texture["image"].asString(), "img");
    Resource<Trade::ImageData> image =
        editor.data().resources().images.resolveLink(FileLink{"default", "DefaultImage"});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size, Vector2i{2});
    EXPECT_EQ(image->data,
        (std::vector<std::uint8_t>{255, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 255}));
}

TEST_F(ProjectLoad, ActivationRefreshesDevicesWhenAsked) {
    /* An editor that was never given a device list makes its own, which runs
       the adb found on the PATH, and only when asked to */
    dir.write("bin/adb", "#!/bin/sh\ncase \"$*\" in *' devices'*) printf 'List of devices attached\\n"
        "Q1\\tdevice product:hollywood model:Quest device:x\\n';; esac\n");
    ::chmod((dir / "bin/adb").c_str(), 0755);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (dir / "bin:" + oldPath).c_str(), 1);
    const std::string path = current();
    const bool loaded = loadAndWait(path);
    const bool usedUnasked = editor.remoteDevices && editor.remoteDevices->adbUsed();
    editor.listRemoteDevices = true;
    const bool loadedAgain = loadAndWait(path);
    ::setenv("PATH", oldPath.c_str(), 1);
    ASSERT_TRUE(loaded && loadedAgain);
    EXPECT_FALSE(usedUnasked);
    ASSERT_TRUE(editor.remoteDevices);
    EXPECT_TRUE(editor.remoteDevices->adbUsed());
}
