#include <cstdlib>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "Base/Path.h"
#include "Support/LogCapture.h"
#include "Support/TempDirectory.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;

namespace {

class UserLists: public ::testing::Test {
    protected:
        Testing::TempDirectory dir;
        Testing::ScopedAppData appData{dir / "appdata"};
};

}

TEST_F(UserLists, RecentProjectsMoveToTheHead) {
    addRecentProject(dir / "a.zdp");
    addRecentProject(dir / "b.zdp");
    addRecentProject(dir / "a.zdp");
    /* Projects that do not exist stay in the recent list */
    EXPECT_EQ(*Path::readString(dir / "appdata/ZandelleEngine/recent_projects.txt"),
        (dir / "a.zdp") + "\n" + (dir / "b.zdp"));
    EXPECT_EQ(readRecentProjects(), (std::vector<std::string>{dir / "a.zdp", dir / "b.zdp"}));
}

TEST_F(UserLists, PluginTrust) {
    const std::string a = dir.write("a/A.zdp", "{}");
    const std::string b = dir.write("b/B.zdp", "{}");
    setPluginsEnabledForProject(a, true);
    setPluginsEnabledForProject(b, true);
    setPluginsEnabledForProject(a, true);
    std::vector<std::string> trusted;
    ASSERT_TRUE(readPluginEnabledProjects(trusted));
    EXPECT_EQ(trusted, (std::vector<std::string>{a, b}));
    /* Lines that are no project file, or whose file is gone, fall away on the next rewrite */
    const std::string list = dir.write("appdata/ZandelleEngine/plugin_enabled_projects.txt",
        a + "\n" + (dir / "gone.zdp") + "\n" + (dir / "x.txt") + "\n\n" + b);
    setPluginsEnabledForProject(a, false);
    EXPECT_EQ(*Path::readString(list), b);
}

TEST_F(UserLists, MissingListsAndNoAppData) {
    std::vector<std::string> trusted{"kept"};
    EXPECT_TRUE(readPluginEnabledProjects(trusted));
    EXPECT_EQ(trusted, (std::vector<std::string>{"kept"}));
    ::unsetenv("APPDATA");
    EXPECT_EQ(userSettingsDirectory(), "ZandelleEngine");
    Testing::ScopedWorkingDirectory cwd{dir.path()};
    addRecentProject("x.zdp");
    EXPECT_EQ(*Path::readString(dir / "ZandelleEngine/recent_projects.txt"), dir / "x.zdp");
}

namespace {

/* File access as an unprivileged user for the guard's lifetime (only this
   thread), so that a mode of 000 keeps even root's tests out */
struct Unprivileged {
    Unprivileged() { if(::geteuid() == 0) ::setfsuid(65534); }
    ~Unprivileged() { if(::geteuid() == 0) ::setfsuid(0); }
};

}

TEST_F(UserLists, ListsThatCannotBeReadOrHoldALineBreakAreNeverRewritten) {
    const std::string project = dir.write("a/A.zdp", "{}");
    const std::string trust = dir.write("appdata/ZandelleEngine/plugin_enabled_projects.txt", "/kept/K.zdp");
    const std::string recent = dir.write("appdata/ZandelleEngine/recent_projects.txt", "/kept/K.zdp");
    for(const std::string& d: {dir.path(), dir / "appdata", dir / "appdata/ZandelleEngine"}) ::chmod(d.c_str(), 0777);
    for(const std::string& f: {trust, recent}) ::chmod(f.c_str(), 0);
    Testing::LogCapture log;
    {
        Unprivileged guard;
        EXPECT_FALSE(setPluginsEnabledForProject(project, true));
        EXPECT_FALSE(addRecentProject(project));
    }
    for(const std::string& f: {trust, recent}) ::chmod(f.c_str(), 0644);
    EXPECT_FALSE(setPluginsEnabledForProject(dir / "x\ny.zdp", true));
    EXPECT_FALSE(addRecentProject(dir / "x\ry.zdp"));
    EXPECT_EQ(log.problems(), "Cannot read " + trust + "\nCannot read " + recent + "\n"
        "Cannot store a path containing a line break in " + trust + "\n"
        "Cannot store a path containing a line break in " + recent + "\n");
    for(const std::string& f: {trust, recent}) EXPECT_EQ(*Path::readString(f), "/kept/K.zdp");
}
