#include "Devices/Command.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <sys/wait.h>

#include "Base/Assert.h"
#include "Base/Format.h"
#include "Base/String.h"

namespace ZandelleEngine {

namespace {

constexpr std::size_t InitialCapacity = 128;
constexpr std::size_t ReadChunkSize = 8192;

}

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

int runShellCommand(std::string_view command, std::string& output, std::string_view workingDirectory) {
    /* popen() takes a C string: a NUL inside would silently cut the line */
    if(command.find('\0') != std::string_view::npos || workingDirectory.find('\0') != std::string_view::npos)
        return 1;

    const std::string line = shellCommandLine(command, workingDirectory);
    FILE* pipe = ::popen(line.c_str(), "r");
    if(!pipe) return 1;

    std::string buffer;
    char chunk[ReadChunkSize];
    for(;;) {
        const std::size_t read = std::fread(chunk, 1, sizeof(chunk), pipe);
        if(read == 0) break;
        buffer.append(chunk, read);
    }
    output = std::move(buffer);

    const int status = ::pclose(pipe);
    if(status == -1) return 1;
    if(WIFEXITED(status)) return WEXITSTATUS(status);
    if(WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 1;
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
    const int status = runShellCommand(text(), output, _workingDirectory);

    _length = prefixLength;
    _text[_length] = '\0';

    if(status == 0) return CommandResult{std::move(output)};
    return CommandResult{CommandError{status, std::move(output)}};
}

CommandResult runCommand(std::string_view command, std::string_view workingDirectory) {
    return Command{std::string{workingDirectory}}.run(command);
}

}
