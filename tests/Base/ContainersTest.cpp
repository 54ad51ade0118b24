#include <filesystem>

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
    ASSERT_TRUE(Path::writeAtomic(dir / "Game.zdp", "new", Path::Sync::Durable, Path::Links::Follow));
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
    EXPECT_FALSE(Path::writeAtomic(dir / "loop", "x", Path::Sync::Durable, Path::Links::Follow));
    Path::make(dir / "sub");
    EXPECT_FALSE(Path::writeAtomic(dir / "sub", "x"));
    EXPECT_EQ(*Path::list(dir.path()), (std::vector<std::string>{"Game.zdp", "hop", "loop", "real", "sub"}));
    EXPECT_FALSE(Path::readString(dir / "missing"));
}

TEST(Path, FilesTheToolOwnsReplaceLinksInsteadOfWritingThroughThem) {
    Testing::TempDirectory dir;
    const std::string outside = dir.write("outside/passwd", "root:x:0:0");
    Path::make(dir / "project/cache");
    /* A link to a file elsewhere, a dangling one, and one planted as the
       temporary file: each is replaced, nothing outside changes or appears */
    ASSERT_EQ(::symlink(outside.c_str(), (dir / "project/cache/font.bin").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "outside/new").c_str(), (dir / "project/cache/tile.basis").c_str()), 0);
    ASSERT_EQ(::symlink(outside.c_str(), Path::temporaryFileFor(dir / "project/cache/icon.png").c_str()), 0);
    for(const char* name: {"font.bin", "tile.basis", "icon.png"}) {
        const std::string path = dir / ("project/cache/" + std::string{name});
        ASSERT_TRUE(Path::writeAtomic(path, "cached")) << name;
        struct stat info;
        ASSERT_EQ(::lstat(path.c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
    }
    EXPECT_EQ(*Path::readString(outside), "root:x:0:0");
    EXPECT_EQ(*Path::list(dir / "outside"), (std::vector<std::string>{"passwd"}));
    EXPECT_EQ(*Path::list(dir / "project/cache"), (std::vector<std::string>{"font.bin", "icon.png", "tile.basis"}));

    /* A directory the tool owns that is a link becomes a directory */
    ASSERT_EQ(::symlink((dir / "outside").c_str(), (dir / "project/.editor").c_str()), 0);
    ASSERT_TRUE(Path::makeOwned(dir / "project/.editor"));
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "project/.editor"));
    EXPECT_TRUE(Path::exists(outside));

    for(const auto& [name, plain]: std::initializer_list<std::pair<const char*, bool>>{
            {"a.png", true}, {"", false}, {".", false}, {"..", false}, {"../x", false}, {"a\\b", false}})
        EXPECT_EQ(Path::isPlainName(name), plain) << name;
}

TEST(String, ValidUtf8) {
    for(const auto& [text, valid]: std::initializer_list<std::pair<std::string_view, bool>>{
            {"plain", true}, {"\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80", true}, {"\xff.png", false}, {"\xc3", false},
            {"\xc0\xaf", false}, {"\xed\xa0\x80", false}, {"\xf4\x90\x80\x80", false}, {"\x80", false}})
        EXPECT_EQ(String::isValidUtf8(text), valid) << text;
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
