#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "Base/Assert.h"
#include "Base/Path.h"
#include "Base/Result.h"
#include "Base/StaticMap.h"
#include "Base/String.h"
#include "Support/TempDirectory.h"

using namespace ZandelleEngine;

TEST(StaticMap, FindsAfterCompile) {
    StaticMap<int> map{3};
    map.put("shaders", 1);
    map.put("animations", 2);
    map.put("meshes", 3);
    map.compile();
    ASSERT_TRUE(map.find("animations"));
    EXPECT_EQ(*map.find("animations"), 2);
    EXPECT_EQ(*map.find("shaders"), 1);
    EXPECT_EQ(map.find("settings"), nullptr);
}

TEST(ContainersDeathTest, FatalMisuse) {
    StaticMap<int> map{1};
    map.put("a", 1);
    EXPECT_DEATH(map.put("b", 2), "StaticMap::put\\(\\): capacity exhausted.");
    EXPECT_DEATH(map.find("a"), "StaticMap::find\\(\\): Map needs to be compiled.");
    EXPECT_DEATH(map.put(static_cast<const char*>(nullptr), 1), "StaticMap::put\\(\\): key cannot be nullptr.");
    const Result<int> valid{5}, invalid{resultError("bad")};
    EXPECT_DEATH((void)valid.error(), "Result::error\\(\\): Accessed error of valid result");
    EXPECT_DEATH((void)*invalid, "Result::\\*\\(\\): Accessed value of invalid result");
}

TEST(Path, SplitsJoinsAndUsesForwardSlashes) {
    using Pair = std::pair<std::string, std::string>;
    EXPECT_EQ(Path::fromNativeSeparators("C:\\a\\b.zdp"), "C:/a/b.zdp");
    EXPECT_EQ(Path::join("a/b", "c.zdp"), "a/b/c.zdp");
    EXPECT_EQ(Path::join("a/b/", "c"), "a/b/c");
    EXPECT_EQ(Path::join("a", "/abs"), "/abs");
    EXPECT_EQ(Path::split("a/b/c.zdp"), (Pair{"a/b", "c.zdp"}));
    EXPECT_EQ(Path::split("c.zdp"), (Pair{"", "c.zdp"}));
    EXPECT_EQ(Path::splitExtension("dir.x/name"), (Pair{"dir.x/name", ""}));
    EXPECT_EQ(Path::splitExtension("dir/Game.zdp"), (Pair{"dir/Game", ".zdp"}));
    EXPECT_EQ(Path::splitExtension("dir/.editor"), (Pair{"dir/.editor", ""}));
}

TEST(Path, AtomicWrite) {
    Testing::TempDirectory dir;
    /* A link (relative, two hops) stays a link; its target gets the data
       and keeps its permissions */
    const std::string real = dir.write("real/Game.zdp", "old");
    ::chmod(real.c_str(), 0600);
    ASSERT_EQ(::symlink("real/Game.zdp", (dir / "hop").c_str()), 0);
    ASSERT_EQ(::symlink("hop", (dir / "Game.zdp").c_str()), 0);
    ASSERT_TRUE(Path::writeAtomic(dir / "Game.zdp", "new"));
    struct stat info;
    ASSERT_EQ(::lstat((dir / "Game.zdp").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(*Path::readString(real), "new");
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    /* What an interrupted write left is taken over, not piled up */
    dir.write("real/" + Path::filename(Path::temporaryFileFor(real)), std::string(1000, 'x'));
    ASSERT_TRUE(Path::writeAtomic(real, "newer"));
    EXPECT_EQ(*Path::readString(real), "newer");
    EXPECT_EQ(*Path::list(dir / "real"), (std::vector<std::string>{"Game.zdp"}));

    /* A link loop or a directory in the way fails, leaving nothing behind */
    ASSERT_EQ(::symlink("loop", (dir / "loop").c_str()), 0);
    EXPECT_FALSE(Path::writeAtomic(dir / "loop", "x"));
    Path::make(dir / "sub");
    EXPECT_FALSE(Path::writeAtomic(dir / "sub", "x"));
    EXPECT_EQ(*Path::list(dir.path()), (std::vector<std::string>{"Game.zdp", "hop", "loop", "real", "sub"}));
    EXPECT_FALSE(Path::readString(dir / "missing"));
}

TEST(String, SplitJoinReplaceQuote) {
    EXPECT_EQ(String::split("a\n\nb", '\n'), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(String::split("", '\n'), (std::vector<std::string>{""}));
    EXPECT_EQ(String::join({"a", "", "b"}, "\n"), "a\n\nb");
    EXPECT_EQ(String::replaceAll("{{ name }}-{{ name }}", "{{ name }}", "x"), "x-x");
    EXPECT_EQ(String::shellQuote("it's"), "'it'\\''s'");
}

TEST(AssertDeathTest, NamesTheExpressionAndTheSourceLocation) {
    const int* data = nullptr;
    EXPECT_DEATH(ZE_ASSERT(data != nullptr), "Assertion data != nullptr failed at .*ContainersTest:[0-9]+");
    EXPECT_DEATH(fatal("Failed to load default font"), "Failed to load default font");
}
