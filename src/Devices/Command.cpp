#include "Devices/Command.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Base/Assert.h"
#include "Base/Format.h"
#include "Base/String.h"

namespace ZandelleEngine {

namespace {

constexpr std::size_t InitialCapacity = 128;
constexpr std::size_t ReadChunkSize = 8192;

/* Waits for the child and turns its status into an exit code the way shells
   do: 128 plus the signal number for a child ended by a signal */
int waitForExit(pid_t pid) {
    int status;
    while(::waitpid(pid, &status, 0) < 0) if(errno != EINTR) return 1;
    if(WIFEXITED(status)) return WEXITSTATUS(status);
    if(WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 1;
}

}

extern "C" char** environ;

const std::string& CommandResult::output() const {
    if(!isSuccess()) fatal("CommandResult::output(): Accessed output of failed command");
    return std::get<0>(_data);
}

const CommandError& CommandResult::error() const {
    if(isSuccess()) fatal("CommandResult::error(): Accessed error of successful command");
    return std::get<1>(_data);
}

std::string shellCommandLine(std::string_view command, std::string_view workingDirectory) {
    /* "--" so that a directory starting with "-" is not taken for an option;
       cd's own complaint goes into the output like everything else */
    const std::string prefix = workingDirectory.empty() ? std::string{} :
        format("cd -- {} 2>&1 && ", String::shellQuote(workingDirectory));
    /* The command runs in a shell of its own, so its text cannot break out of
       the quoting, and its syntax errors end up in the output too */
    return format("{}sh -c {} 2>&1", prefix, String::shellQuote(command));
}

int runShellCommand(std::string_view command, std::string& output, std::string_view workingDirectory,
    const CommandLimits& limits)
{
    /* A C string cannot carry a NUL: it would silently cut the line */
    if(command.find('\0') != std::string_view::npos || workingDirectory.find('\0') != std::string_view::npos)
        return 1;

    int fds[2];
    if(::pipe2(fds, O_CLOEXEC) != 0) return 1;

    /* The child gets the write end as both output streams and leads a
       process group of its own, so that a time limit ends everything the
       shell started, not just the shell */
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    const std::string line = shellCommandLine(command, workingDirectory);
    char shell[] = "/bin/sh", dashC[] = "-c";
    char* arguments[]{shell, dashC, const_cast<char*>(line.c_str()), nullptr};
    pid_t pid;
    const int spawned = ::posix_spawn(&pid, "/bin/sh", &actions, &attributes, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(fds[1]);
    if(spawned != 0) {
        ::close(fds[0]);
        return 1;
    }

    using Clock = std::chrono::steady_clock;
    const bool limited = limits.timeout.count() > 0;
    const Clock::time_point deadline = Clock::now() + limits.timeout;
    std::string buffer;
    char chunk[ReadChunkSize];
    bool timedOut = false;
    for(;;) {
        int wait = -1;
        if(limited) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if(left.count() <= 0) { timedOut = true; break; }
            wait = int(std::min<long long>(left.count(), 1000*60*60));
        }
        pollfd readable{fds[0], POLLIN, 0};
        const int ready = ::poll(&readable, 1, wait);
        if(ready < 0 && errno != EINTR) break;
        if(ready <= 0) continue;
        const ssize_t read = ::read(fds[0], chunk, sizeof(chunk));
        if(read < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if(read <= 0) break;
        /* Past the cap the output is drained and dropped, so that a child
           printing without end neither blocks nor fills the memory */
        if(buffer.size() < limits.maxOutput)
            buffer.append(chunk, std::min(std::size_t(read), limits.maxOutput - buffer.size()));
    }
    ::close(fds[0]);

    if(timedOut) {
        ::kill(-pid, SIGKILL);
        waitForExit(pid);
        Error{} << "Command ended after" << limits.timeout.count()/1000.0 << "seconds without finishing:" << command;
        output = std::move(buffer);
        return TimedOutExitCode;
    }
    output = std::move(buffer);
    return waitForExit(pid);
}

Command::Command(std::string workingDirectory):
    _text{new char[InitialCapacity]}, _capacity{InitialCapacity},
    _workingDirectory{std::move(workingDirectory)}
{
    _text[0] = '\0';
}

void Command::append(std::string_view text) {
    if(_capacity - _length <= text.size()) {
        const std::size_t needed = _length + text.size() + 1;
        const std::size_t capacity = std::max(_capacity + _capacity/2, needed);
        std::unique_ptr<char[]> grown{new char[capacity]};
        std::memcpy(grown.get(), _text.get(), _length);
        _text = std::move(grown);
        _capacity = capacity;
    }
    std::memcpy(_text.get() + _length, text.data(), text.size());
    _length += text.size();
    _text[_length] = '\0';
}

Command& Command::prefix(std::string_view commands) {
    if(_chained) append("&& ");
    append(commands);
    append(" ");
    _chained = true;
    return *this;
}

CommandResult Command::run(std::string_view arguments) {
    const std::size_t prefixLength = _length;
    if(_chained) append("&& ");
    append(arguments);

    std::string output;
    const int status = runShellCommand(text(), output, _workingDirectory, _limits);

    _length = prefixLength;
    _text[_length] = '\0';

    if(status == 0) return CommandResult{std::move(output)};
    return CommandResult{CommandError{status, std::move(output)}};
}

CommandResult runCommand(std::string_view command, std::string_view workingDirectory, const CommandLimits& limits) {
    Command runner{std::string{workingDirectory}};
    runner.setLimits(limits);
    return runner.run(command);
}

}
