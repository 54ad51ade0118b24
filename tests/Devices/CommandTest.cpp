#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "Base/Path.h"
#include "Devices/Command.h"
#include "Support/LogCapture.h"
#include "Support/TempDirectory.h"

using namespace ZandelleEngine;

TEST(Command, ExitCodesAndOutput) {
    /* 3000 lines of 11 bytes: four reads of 8192 bytes and a bit */
    std::string lines;
    for(int i = 0; i != 3000; ++i) lines += "0123456789\n";
    const struct { const char* command; int exitCode; std::string output; } cases[]{
        {"yes 0123456789 | head -n 3000", 0, lines},
        {"printf 'a\\000b'", 0, std::string("a\0b", 3)},
        /* Quotes are interpreted once */
        {R"(echo "a  b" 'c  d' "it's" \"e\")", 0, "a  b c  d it's \"e\"\n"},
        /* Standard error is merged into the output, also on failure */
        {"echo out; echo err >&2; echo again", 0, "out\nerr\nagain\n"},
        {"echo partial; echo broken >&2; exit 3", 3, "partial\nbroken\n"},
    };
    for(const auto& c: cases) {
        SCOPED_TRACE(c.command);
        const CommandResult result = runCommand(c.command);
        ASSERT_EQ(result.isSuccess(), c.exitCode == 0);
        EXPECT_EQ(c.exitCode ? result.error().output : result.output(), c.output);
        if(c.exitCode) { EXPECT_EQ(result.error().exitCode, c.exitCode); }
    }
    EXPECT_EQ(runCommand("kill -KILL $$").error().exitCode, 128 + 9);
    /* Printing the error prints what the command said */
    Testing::LogCapture log;
    Error{} << runCommand("echo partial; echo broken >&2; exit 3").error();
    EXPECT_EQ(log.error(), "partial\nbroken\n\n");
}

/* A NUL cannot go through the shell line: nothing starts, the output string
   is left alone */
TEST(Command, CommandWithNulCannotStart) {
    std::string output = "untouched";
    EXPECT_EQ(runShellCommand(std::string_view{"echo a\0; echo b", 15}, output, ""), 1);
    EXPECT_EQ(output, "untouched");
    const CommandResult nul = runCommand(std::string_view{"echo\0", 5});
    ASSERT_FALSE(nul);
    EXPECT_EQ(nul.error().exitCode, 1);
    EXPECT_EQ(nul.error().output, "");
}

TEST(Command, WorkingDirectoryIsQuotedWhateverItHolds) {
    Testing::TempDirectory temp;
    for(const char* name: {"it's \"quoted\"", "-starts-with-dash", "$(touch pwned)"}) {
        SCOPED_TRACE(name);
        const std::string directory = temp / name;
        ASSERT_TRUE(Path::make(directory));
        const CommandResult result = runCommand("pwd", directory);
        ASSERT_TRUE(result.isSuccess()) << result.error().output;
        EXPECT_EQ(result.output(), directory + "\n");
    }
    /* Nothing in a directory name ran as a command */
    EXPECT_FALSE(Path::exists(temp / "pwned"));
    EXPECT_FALSE(Path::exists(Path::currentDirectory() + "/pwned"));

    /* A missing directory fails with the shell's complaint, running nothing */
    const CommandResult missing = runCommand("echo should not run", temp / "missing");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().output.find("should not run"), std::string::npos);
    EXPECT_NE(missing.error().output.find(temp / "missing"), std::string::npos);
}

TEST(Command, PrefixRunsBeforeEveryCommandAndStays) {
    Testing::TempDirectory temp;
    temp.write("sub dir/file.txt", "contents");
    Command command{temp.path()};
    EXPECT_EQ(command.capacity(), 128u);
    command.prefix("cd 'sub dir'").prefix("test -f file.txt");
    const CommandResult first = command.run("cat file.txt");
    ASSERT_TRUE(first.isSuccess()) << first.error().output;
    EXPECT_EQ(first.output(), "contents");

    /* A command beyond the initial capacity grows the text, which afterwards
       ends, NUL-terminated, where the prefix ends */
    const std::string prefix = "cd 'sub dir' && test -f file.txt ", word(300, 'w');
    const CommandResult grown = command.run("echo " + word + " " + word);
    ASSERT_TRUE(grown.isSuccess());
    EXPECT_EQ(grown.output(), word + " " + word + "\n");
    EXPECT_GE(command.capacity(), prefix.size() + 3 + 5 + 2*300 + 1 + 1u);
    EXPECT_EQ(command.text(), prefix);
    EXPECT_EQ(command.text().data()[command.text().size()], '\0');

    /* A failing prefix stops the command */
    Command failing;
    failing.prefix("false");
    EXPECT_FALSE(failing.run("echo never"));
}

TEST(Command, LimitsEndTheChildAndWhatItStartedAndDropOutput) {
    Testing::TempDirectory dir;
    Testing::LogCapture log;
    /* The shell's background child would keep the output pipe open */
    const std::string marker = dir / "survived";
    const std::string command = "(sleep 1; touch " + marker + ") & echo started; sleep 30";
    const CommandResult result = runCommand(command, {}, CommandLimits{std::chrono::milliseconds{200}});
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().exitCode, TimedOutExitCode);
    EXPECT_EQ(result.error().output, "started\n");
    EXPECT_EQ(log.error(), "Command ended after 0.2 seconds without finishing: " + command + "\n");
    std::this_thread::sleep_for(std::chrono::milliseconds{1500});
    EXPECT_FALSE(Path::exists(marker));

    const CommandResult capped = runCommand("yes | head -c 100000", {}, CommandLimits{{}, 1000});
    ASSERT_TRUE(capped);
    EXPECT_EQ(capped.output().size(), 1000u);
}
