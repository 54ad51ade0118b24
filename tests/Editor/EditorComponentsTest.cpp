#include <sys/stat.h>

#include <gtest/gtest.h>

#include "Base/Path.h"
#include "Editor/ZandelleEditor.h"
#include "Support/LogCapture.h"
#include "Support/TempDirectory.h"
#include "Tools/Version.h"

using namespace ZandelleEngine;

TEST(ProjectVersion, PrereleasesSortBelowTheirRelease) {
    /* A final release is never less than a prerelease of its own number */
    const struct { ProjectVersion a, b; bool less; } Data[]{
        {{1, 0, 0, 1}, {1, 0, 0, 2}, true}, {{1, 0, 0, 2}, {1, 0, 0, 2}, false}, {{1, 0, 0, 0}, {1, 0, 0, 2}, false},
        {{1, 0, 0, 3}, {1, 0, 0, 0}, true}, {{0, 9, 5, 0}, {1, 0, 0, 2}, true}};
    for(const auto& d: Data) EXPECT_EQ(d.a < d.b, d.less) << d.a.patch << d.a.prerelease << " " << d.b.prerelease;
}

TEST(ZandelleEditor, JobCountSettingReplacesTheWorkers) {
    ZandelleEditor editor{2};
    ASSERT_TRUE(editor.setJobCount("3"));
    EXPECT_EQ(editor.jobSystem->workerCount(), 3);
    /* A bad value keeps the workers there are */
    Testing::LogCapture log;
    EXPECT_FALSE(editor.setJobCount("0"));
    EXPECT_EQ(log.problems(), "ZandelleEditor::setJobCount(): the number of jobs must be a whole number of at least 1, not '0'\n");
    EXPECT_EQ(editor.jobSystem->workerCount(), 3);
}

TEST(EditorState, RoundTripAndRejection) {
    EditorState state;
    state.selection = {"3", "uuid-x"};
    state.cameraPosition = Vector3{1.5f, -2.0f, 0.25f};
    EditorState other;
    ASSERT_TRUE(other.deserialize(state.serialize()));
    /* A rejected text leaves the state as it was */
    for(const char* text: {"", "[]", R"({"selection": []})", R"({"version": 2})", R"({"version": 1, "selection": [1]})",
                           R"({"version": 1, "camera": {"position": [1, 2]}})"})
        EXPECT_FALSE(other.deserialize(text)) << text;
    EXPECT_EQ(other.selection, state.selection);
    EXPECT_EQ(other.cameraPosition, state.cameraPosition);
}

TEST(ChangeTracker, RegistryDispatchAndRevisions) {
    ChangeTracker tracker;
    ProjectFile file;
    tracker.reset(&file);
    EXPECT_EQ(tracker.currentRevision(), -1);
    std::vector<std::string> seen;
    int userData = 7;
    /* Dispatch still finds handlers registered after the registry grew */
    for(int i = 0; i != 20; ++i) tracker.registerHandler("p" + std::to_string(i), [](const Change&, void*) {});
    tracker.registerHandler("settings", [&](const Change& c, void* data) {
        seen.push_back("settings " + std::string{c.path} + " " + std::to_string(*static_cast<int*>(data)));
    }, &userData);
    tracker.registerHandler("sourcePaths",
        [&](const Change& c, void*) { seen.push_back("sourcePaths " + std::to_string(c.revision)); });
    tracker.registerHandler("settings",
        [&](const Change& c, void*) { seen.push_back(c.value ? "second" : "second removed"); });
    JsonValue value{true};
    tracker.change("/settings/scripting/sourcePaths", &value);
    tracker.change("/objects/1", nullptr);
    EXPECT_EQ(seen,
        (std::vector<std::string>{"settings /settings/scripting/sourcePaths 7", "second", "sourcePaths 0"}));
    EXPECT_EQ(tracker.currentRevision(), 1);
    EXPECT_TRUE(tracker.hasUnsavedChanges());
    tracker.markSaved();
    EXPECT_FALSE(tracker.hasUnsavedChanges());
    tracker.reset(&file);
    EXPECT_TRUE(tracker.registeredPaths().empty());
}

TEST(FileWatch, DeliversRealEventsOnPoll) {
    Testing::TempDirectory dir;
    ZandelleEditor editor{2};
    FileWatch& watch = *editor.fileWatch;
    const std::string file = dir.write("shaders/lib/a.glsl", "x");
    std::vector<std::string> changed;
    const int id = watch.watch(dir / "shaders",
        [&](ZandelleEditor&, const std::string& path) { changed.push_back(path); }, true);
    ASSERT_NE(id, -1);
    EXPECT_EQ(watch.watch(dir / "missing", {}), -1);
    dir.write("shaders/lib/a.glsl", "changed");
    EXPECT_GE(watch.waitAndPoll(editor, 2000), 1u);
    EXPECT_EQ(changed, (std::vector<std::string>{file}));
    /* After removal nothing arrives */
    EXPECT_TRUE(watch.remove(id));
    EXPECT_FALSE(watch.remove(id));
    dir.write("shaders/lib/a.glsl", "again");
    EXPECT_EQ(watch.waitAndPoll(editor, 100), 0u);
}

TEST(FileWatch, AFileSurvivesEveryWayOfSavingIt) {
    /* Content tools save by renaming a temporary file over the original or
       by deleting and creating it, which replaces the file a watch on the
       inode would sit on; each way twice, so a watch that died is caught */
    const struct {
        const char* name;
        void(*save)(const Testing::TempDirectory&);
    } Saves[]{
        {"rename over", [](const Testing::TempDirectory& d) {
            d.write("a/.wall.png.tmp", "renamed");
            ASSERT_TRUE(Path::move(d / "a/.wall.png.tmp", d / "a/wall.png"));
        }},
        {"delete and create", [](const Testing::TempDirectory& d) {
            ASSERT_TRUE(Path::remove(d / "a/wall.png"));
            d.write("a/wall.png", "created");
        }},
        {"in place", [](const Testing::TempDirectory& d) { d.write("a/wall.png", "written"); }},
    };
    Testing::TempDirectory dir;
    ZandelleEditor editor{2};
    const std::string file = dir.write("a/wall.png", "x");
    dir.write("a/other.png", "x");
    std::vector<std::string> changed;
    ASSERT_NE(editor.fileWatch->watch(file, [&](ZandelleEditor&, const std::string& path) { changed.push_back(path); },
        false, FileWatch::Events::Modified), -1);
    for(const auto& save: Saves) for(int time = 0; time != 2; ++time) {
        SCOPED_TRACE(save.name + std::string{" "} + std::to_string(time));
        changed.clear();
        save.save(dir);
        editor.fileWatch->waitAndPoll(editor, 2000);
        EXPECT_EQ(changed, std::vector<std::string>{file});
    }
    /* Its neighbours and attribute changes are not its news */
    changed.clear();
    dir.write("a/other.png", "y");
    Path::remove(dir / "a/other.png");
    ::chmod(file.c_str(), 0600);
    editor.fileWatch->waitAndPoll(editor, 200);
    EXPECT_TRUE(changed.empty());
}

TEST(ProgressDeathTest, DestroyedWhileReferenced) {
    EXPECT_DEATH({
        auto* p = new Progress{"Npm install"};
        ProgressReference r{*p};
        delete p;
    }, "Progress::~Progress: references are still alive.");
}

TEST(ZandelleEditor, TasksLiveWhileReferenced) {
    ZandelleEditor editor{2};
    {
        std::shared_ptr<Progress> task = editor.addTask("Compressing textures", 3);
        ProgressReference reference{*task};
        task.reset();
        editor.pruneTasks();
        EXPECT_EQ(editor.tasks().size(), 1u);
    }
    editor.pruneTasks();
    EXPECT_TRUE(editor.tasks().empty());
}
