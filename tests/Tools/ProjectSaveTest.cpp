#include <cmath>

#include <gtest/gtest.h>

#include "Base/Path.h"
#include "Base/String.h"
#include "Editor/ProjectFile.h"
#include "Support/EditorFixture.h"
#include "Support/LogCapture.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;

namespace {

class ProjectSave: public Testing::EditorTest {
    protected:
        void SetUp() override { ASSERT_TRUE(initProject(editor, "", "")); }
};

}

TEST_F(ProjectSave, ExtensionRules) {
    /* Upper case gains a second extension; missing parents are created */
    const struct { const char* path; const char* written; } Data[]{{"c/name.ZDP", "c/name.ZDP.zdp"},
        {"d/e/f/name.zdp", "d/e/f/name.zdp"}};
    for(const auto& c: Data) {
        SCOPED_TRACE(c.path);
        EXPECT_TRUE(saveProject(dir / c.path, editor));
        EXPECT_TRUE(Path::exists(dir / c.written));
        EXPECT_TRUE(Path::exists(Path::join(Path::path(dir / c.written), ".editor/state.json")));
    }
}

TEST_F(ProjectSave, StampsVersionNameAndTellsEveryone) {
    int saved = 0;
    editor.projectSavedListeners.push_back([&](ZandelleEditor&) { ++saved; });
    editor.changeTracker->change("/settings/x", nullptr);
    Testing::LogCapture log;
    ASSERT_TRUE(saveProject(dir / "Game.zdp", editor));
    EXPECT_EQ(log.all(), "Saved editor state\nSaved project to " + (dir / "Game.zdp") + "\n");
    EXPECT_EQ(saved, 1);
    EXPECT_FALSE(editor.changeTracker->hasUnsavedChanges());
    ProjectFile file;
    ASSERT_TRUE(file.parse(*Path::readString(dir / "Game.zdp")));
    EXPECT_EQ(file["settings/project/name"].asString(), "Game");
    EXPECT_EQ(file["settings/project/version"].asIntArray(), (std::vector<int>{1, 1, 6, 1}));
    EXPECT_EQ(editor.data().project().root(), dir.path());
    EXPECT_EQ(editor.data().project().filename(), "Game.zdp");
}

TEST_F(ProjectSave, FailedSaveKeepsTheOldFile) {
    ASSERT_TRUE(saveProject(dir / "Game.zdp", editor));
    const std::string before = *Path::readString(dir / "Game.zdp");
    editor.changeTracker->change("/settings/x", nullptr);
    /* A value JSON cannot hold: the text cannot be made */
    editor.data().projectFile()["settings/broken"].writeValue().SetDouble(std::nan(""));
    editor.showErrorDialogs = true;
    Testing::LogCapture log;
    EXPECT_FALSE(saveProject(dir / "Game.zdp", editor));
    EXPECT_EQ(static_cast<HeadlessDialogs&>(*editor.dialogs).requests().back(),
        "message|Zandelle Engine|Saving project failed|error");
    /* Nesting the load would refuse: the file would never open again */
    editor.data().projectFile()["settings/broken"].remove();
    JsonValue* deep = &editor.data().projectFile()["settings/deep"].writeValue();
    for(unsigned level = 3; level <= Json::MaxDepth; ++level) {
        deep->SetArray();
        deep->PushBack(JsonValue{rapidjson::kArrayType}, editor.data().projectFile().allocator());
        deep = &(*deep)[0];
    }
    EXPECT_FALSE(saveProject(dir / "Game.zdp", editor));
    /* Then a directory where the file should go, and a file where the editor state's directory should */
    editor.data().projectFile()["settings/deep"].remove();
    Path::make(dir / "sub/Taken.zdp");
    dir.write("sub/.editor", "");
    EXPECT_FALSE(saveProject(dir / "sub/Taken.zdp", editor));
    EXPECT_EQ(log.problems(), "Failed saving project to " + (dir / "Game.zdp") + "\n"
        "ProjectFile::toString(): the document would not load again: nesting deeper than 512 levels\n"
        "Failed saving project to " + (dir / "Game.zdp") + "\n"
        "Failed to save editor state\nFailed saving project to " + (dir / "sub/Taken.zdp") + "\n");
    EXPECT_EQ(*Path::readString(dir / "Game.zdp"), before);
    EXPECT_TRUE(editor.changeTracker->hasUnsavedChanges());
}

TEST_F(ProjectSave, DialogOverload) {
    auto& dialogs = static_cast<HeadlessDialogs&>(*editor.dialogs);
    /* Never saved: the dialog opens even without save-as; cancel is false */
    EXPECT_FALSE(saveProject(editor, false));
    EXPECT_EQ(dialogs.requests().size(), 1u);
    EXPECT_EQ(dialogs.requests().back().substr(0, 18), "save|Save Project|");
    dialogs.queueAnswer(dir / "Chosen");
    EXPECT_TRUE(saveProject(editor, false));
    EXPECT_TRUE(Path::exists(dir / "Chosen.zdp"));
    /* Saved once: no dialog */
    EXPECT_TRUE(saveProject(editor, false));
    EXPECT_EQ(dialogs.requests().size(), 2u);
}

/* Unknown members survive, and a project name that is set stays */
TEST_F(ProjectSave, RoundTripKeepsUnknownMembersAndTheName) {
    const std::string path = writeProject("Game.zdp", R"({"objects": {"1": {"futureKey": {"nested": [2.5, null]}}},
        "mystery": {"section": 1}, "settings": {"project": {"name": "G", "version": [1, 1, 6, 1]}, "future": "yes"}})");
    ASSERT_TRUE(loadAndWait(path));
    ASSERT_TRUE(saveProject(path, editor));
    ProjectFile file;
    ASSERT_TRUE(file.parse(*Path::readString(path)));
    EXPECT_EQ(file["settings/project/name"].asString(), "G");
    EXPECT_EQ(file["mystery/section"].asInt(), 1);
    EXPECT_EQ(file["settings/future"].asString(), "yes");
    EXPECT_EQ(*Json::toString(*file.objects()["1"]["futureKey"].readValue(), 0), R"({"nested":[2.5,null]})");
}

/* Every stored version: the first save writes the upgraded document, and
   loading that file announces no migration and saves the same text again */
TEST_F(ProjectSave, UpgradingTwiceIsUpgradingOnce) {
    const std::vector<std::string> files = Path::list(ZANDELLE_TEST_DATA_DIR).value_or(std::vector<std::string>{});
    std::size_t projects = 0;
    for(const std::string& name: files) {
        if(!String::endsWith(name, ".zdp")) continue;
        SCOPED_TRACE(name);
        ++projects;
        const std::string path = dir / name;
        ASSERT_TRUE(Path::copy(Path::join(ZANDELLE_TEST_DATA_DIR, name), path));
        ASSERT_TRUE(loadAndWait(path));
        ASSERT_TRUE(saveProject(path, editor));
        const std::string once = *Path::readString(path);
        Testing::LogCapture log;
        ASSERT_TRUE(loadAndWait(path));
        EXPECT_EQ(log.debug().find("(=>"), std::string::npos) << log.debug();
        ASSERT_TRUE(saveProject(path, editor));
        EXPECT_EQ(*Path::readString(path), once);
    }
    EXPECT_GE(projects, 15u);
}
