#include <chrono>
#include <optional>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <poll.h>

#include "Base/Path.h"
#include "Editor/FileWatch.h"
#include "Editor/ProjectFile.h"
#include "Editor/ZandelleEditor.h"
#include "Support/EditorFixture.h"
#include "Tools/ProjectFiles.h"
#include "Tools/ProjectWatch.h"

namespace ZandelleEngine { namespace Testing { namespace {

class ProjectWatchTest: public EditorTest {
    protected:
        /* Waits for the report of a change just made */
        std::optional<WatchReport> handled(ProjectWatch& watch, int seconds = 20) {
            const auto wait = [](ZandelleEditor& e) { e.jobSystem->waitForIdle(); return true; };
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds{seconds};
            while(std::chrono::steady_clock::now() < end) {
                pollfd p{editor.fileWatch->descriptor(), POLLIN, 0};
                ::poll(&p, 1, 10);
                watch.poll(wait);
                if(std::optional<WatchReport> report = watch.handleNext(wait)) return report;
            }
            return {};
        }
};

/* A project file large enough to be read in pieces from both ends at once,
   edited on disk at its start, middle and end, longer and shorter, and in
   two places: each time exactly the edited records recompile and the
   document holds what the file does */
TEST_F(ProjectWatchTest, EditsAnywhereInALargeProjectFileRecompileTheirRecords) {
    constexpr int Count = 6000;
    std::string objects;
    for(int i = 0; i != Count; ++i)
        objects += fmt::format(R"({}"o{}": {{"name": "Object{}", "note": "{}"}})", i ? ", " : "", i, i, std::string(400, 'x'));
    const std::string path = writeProject("big/Big.zdp",
        R"({"objects": {)" + objects + R"(}, "settings": {"project": {"name": "Big", "version": [1, 1, 6, 1]}}})");
    ASSERT_TRUE(loadAndWait(path));
    ASSERT_TRUE(saveProject(editor, false));
    ASSERT_GT(Path::readString(path)->size(), 2u*1024*1024);
    ProjectWatch watch{editor, std::chrono::milliseconds{0}};

    const struct {
        std::vector<std::pair<int, std::string>> names;
    } edits[]{
        {{{0, "First, renamed to something longer"}}},
        {{{Count/2, "M"}}},
        {{{Count/2 + 1, "Past the middle"}}},
        {{{Count - 1, "Last"}}},
        /* Of the same length, so that only the file's end tells the
           second from none */
        {{{3, "Objekt3"}, {Count*3/4, "Objekt4500"}}},
        {{{Count/4, "Two"}, {Count - 2, "places"}}},
    };
    for(const auto& edit: edits) {
        std::string text = *Path::readString(path);
        for(const auto& [index, name]: edit.names) {
            const std::string from = fmt::format(R"("o{}": {{)", index);
            const std::size_t at = text.find(from);
            ASSERT_NE(at, std::string::npos);
            const std::size_t nameAt = text.find("\"name\": \"", at) + 9;
            text.replace(nameAt, text.find('"', nameAt) - nameAt, name);
        }
        ASSERT_TRUE(Path::writeAtomic(path, text));

        const std::optional<WatchReport> report = handled(watch);
        ASSERT_TRUE(report);
        EXPECT_EQ(report->compiled, (decltype(report->compiled){{"components", edit.names.size()}}));
        for(const auto& [index, name]: edit.names)
            EXPECT_EQ(editor.data().projectFile()[fmt::format("objects/o{}/name", index)].asString(), name);
    }
    /* A file the watch read last time is no change */
    ASSERT_TRUE(Path::writeAtomic(path, *Path::readString(path)));
    EXPECT_FALSE(handled(watch, 1));
}

}}}
