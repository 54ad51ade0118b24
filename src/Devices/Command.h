#pragma once
// Runs outside programs through the shell and collects everything they print.
//
//     CommandResult result = runCommand("npm i --no-audit", projectRoot);
//     if(!result) Error{} << result.error();
//
// The command text goes to `sh -c` unchanged, so quotes, pipes and `&&` in it
// mean what they mean in a shell; the working directory, when given, is
// entered first. Standard error is merged into the captured output. Each call
// blocks until the child exits and its output is read.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "Base/Export.h"
#include "Base/Log.h"

namespace ZandelleEngine {

/** A command that ran and exited with a non-zero status, or could not start. */
struct CommandError {
    int exitCode = 1;
    /** Everything the child printed on both streams */
    std::string output;
};

/** Prints the output text of the failed command. */
inline Debug& operator<<(Debug& debug, const CommandError& error) {
    return debug << error.output;
}

/** Either the output text of a command that exited with status 0, or a
    `CommandError`. Reading the output of a failed command or the error of a
    successful one is a programming error. */
class ZANDELLE_EXPORT CommandResult {
    public:
        CommandResult(std::string output): _data{std::in_place_index<0>, std::move(output)} {}
        CommandResult(CommandError error): _data{std::in_place_index<1>, std::move(error)} {}

        bool isSuccess() const { return _data.index() == 0; }
        explicit operator bool() const { return isSuccess(); }

        /** Output of a successful command */
        const std::string& output() const;
        /** Exit code and output of a failed command */
        const CommandError& error() const;

    private:
        std::variant<std::string, CommandError> _data;
};

/** How long a command may run and how much of its output is kept. */
struct CommandLimits {
    /** Zero: no limit. Past it the child and everything it started are
        killed, one Error line names the command and the exit code is
        TimedOutExitCode. */
    std::chrono::milliseconds timeout{0};
    /** Output beyond this many bytes is read and dropped */
    std::size_t maxOutput = std::size_t{16} << 20;
};

/** Exit code of a command ended by its time limit, as timeout(1) reports it */
constexpr int TimedOutExitCode = 124;

/**
 * Low-level runner: runs @p command in @p workingDirectory (the current
 * directory when empty) and replaces @p output with what it printed on
 * standard output and standard error. Returns the child's exit status; a
 * command that cannot be started returns 1 and leaves @p output untouched.
 * A child ended by a signal returns 128 plus the signal number, as shells do.
 */
ZANDELLE_EXPORT int runShellCommand(std::string_view command, std::string& output, std::string_view workingDirectory,
    const CommandLimits& limits = {});

/** The shell line that runShellCommand() hands to `/bin/sh -c`. */
ZANDELLE_EXPORT std::string shellCommandLine(std::string_view command, std::string_view workingDirectory);

/**
 * A command text with an optional prefix of commands that run first.
 *
 *     Command command{"project/dir"};
 *     command.prefix("export NODE_ENV=production");
 *     command.run("npm i");   // export NODE_ENV=production && npm i
 *     command.run("npm ls");  // the prefix runs again
 */
class ZANDELLE_EXPORT Command {
    public:
        explicit Command(std::string workingDirectory = {});

        /** Appends @p commands to the prefix; every later run() joins its
            arguments to the prefix with "&&". */
        Command& prefix(std::string_view commands);

        /** Runs the prefix followed by @p arguments. The prefix stays for the
            next run. */
        CommandResult run(std::string_view arguments);

        /** The current command text (the prefix between runs) */
        std::string_view text() const { return {_text.get(), _length}; }
        std::size_t capacity() const { return _capacity; }
        const std::string& workingDirectory() const { return _workingDirectory; }
        void setLimits(const CommandLimits& limits) { _limits = limits; }

    private:
        void append(std::string_view text);

        /* NUL-terminated after every append so it can go to C APIs as is */
        std::unique_ptr<char[]> _text;
        std::size_t _capacity;
        std::size_t _length = 0;
        std::string _workingDirectory;
        bool _chained = false;
        CommandLimits _limits;
};

/** Runs @p command in @p workingDirectory through a fresh Command. */
ZANDELLE_EXPORT CommandResult runCommand(std::string_view command, std::string_view workingDirectory = {},
    const CommandLimits& limits = {});

}
