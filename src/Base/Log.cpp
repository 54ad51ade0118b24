#include "Base/Log.h"

#include <cstdio>
#include <mutex>
#include <ostream>

#include <fmt/format.h>

namespace ZandelleEngine {

namespace {

std::mutex& logMutex() {
    static std::mutex mutex;
    return mutex;
}

struct Redirect {
    bool active = false;
    std::ostream* output = nullptr; /* null while active discards */
};

struct LogState {
    Debug::Sink sink;
    bool quiet = false;
};

LogState& state() {
    static LogState s;
    return s;
}

/* Per-level redirection installed by Debug{&stream} objects, and the
   redirect of the calling thread */
thread_local Redirect streamRedirect[3];
thread_local LogRedirect::Handle threadRedirect;

void defaultSink(LogLevel level, std::string_view line) {
    std::FILE* f = level == LogLevel::Debug ? stdout : stderr;
    std::fwrite(line.data(), 1, line.size(), f);
    std::fputc('\n', f);
    std::fflush(f);
}

}

void Debug::nospace(Debug& debug) { debug._noSpace = true; }

Debug::Sink Debug::setSink(Sink sink) {
    std::lock_guard<std::mutex> lock{logMutex()};
    Sink previous = std::move(state().sink);
    state().sink = std::move(sink);
    return previous;
}

void Debug::setQuiet(bool quiet) {
    std::lock_guard<std::mutex> lock{logMutex()};
    state().quiet = quiet;
}

Debug::Debug(): Debug{LogLevel::Debug} {}

Debug::Debug(std::ostream* output): Debug{LogLevel::Debug, output} {}

Debug::Debug(LogLevel level): _level{level} {}

Debug::Debug(LogLevel level, std::ostream* output): _level{level}, _redirected{true}, _output{output} {
    Redirect& slot = streamRedirect[int(level)];
    _previousActive = slot.active;
    _previousOutput = slot.output;
    slot = Redirect{true, output};
}

Debug::~Debug() {
    Redirect& slot = streamRedirect[int(_level)];
    if(_printed) {
        if(_redirected || slot.active) {
            std::ostream* out = _redirected ? _output : slot.output;
            if(out) {
                *out << _line << '\n';
                out->flush();
            }
        } else print(_level, _line);
    }
    if(_redirected) slot = Redirect{_previousActive, _previousOutput};
}

struct LogRedirect::Target {
    std::mutex mutex;
    /* Emptied when the redirect that made it ends */
    Debug::Sink sink;
};

void Debug::print(LogLevel level, std::string_view line) {
    {
        std::lock_guard<std::mutex> lock{logMutex()};
        if(state().quiet && level == LogLevel::Debug) return;
    }
    if(const LogRedirect::Handle& target = threadRedirect) {
        std::lock_guard<std::mutex> lock{target->mutex};
        if(target->sink) {
            target->sink(level, line);
            return;
        }
    }
    std::lock_guard<std::mutex> lock{logMutex()};
    if(state().sink) state().sink(level, line);
    else defaultSink(level, line);
}

LogRedirect::Handle LogRedirect::current() { return threadRedirect; }

LogRedirect::LogRedirect(Debug::Sink sink): _target{std::make_shared<Target>()}, _previous{threadRedirect}, _owner{true} {
    _target->sink = std::move(sink);
    threadRedirect = _target;
}

LogRedirect::LogRedirect(Handle target): _target{std::move(target)}, _previous{threadRedirect}, _owner{false} {
    threadRedirect = _target;
}

LogRedirect::~LogRedirect() {
    threadRedirect = std::move(_previous);
    if(_owner) {
        std::lock_guard<std::mutex> lock{_target->mutex};
        _target->sink = nullptr;
    }
}

Debug& Debug::printValue(std::string_view text) {
    if(_printed && !_noSpace) _line += ' ';
    _line += text;
    _printed = true;
    _noSpace = false;
    return *this;
}

Debug& Debug::operator<<(std::string_view value) { return printValue(value); }
Debug& Debug::operator<<(bool value) { return printValue(value ? "true" : "false"); }
Debug& Debug::operator<<(char value) { return printValue(std::string_view{&value, 1}); }
Debug& Debug::operator<<(int value) { return printValue(fmt::format("{}", value)); }
Debug& Debug::operator<<(long value) { return printValue(fmt::format("{}", value)); }
Debug& Debug::operator<<(long long value) { return printValue(fmt::format("{}", value)); }
Debug& Debug::operator<<(unsigned value) { return printValue(fmt::format("{}", value)); }
Debug& Debug::operator<<(unsigned long value) { return printValue(fmt::format("{}", value)); }
Debug& Debug::operator<<(unsigned long long value) { return printValue(fmt::format("{}", value)); }
Debug& Debug::operator<<(float value) { return printValue(fmt::format("{:.6g}", value)); }
Debug& Debug::operator<<(double value) { return printValue(fmt::format("{:.15g}", value)); }
Debug& Debug::operator<<(const void* value) { return printValue(fmt::format("{}", value)); }

}
