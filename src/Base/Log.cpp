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
    /* Per-level redirection installed by Debug{&stream} objects */
    Redirect redirect[3];
};

LogState& state() {
    static LogState s;
    return s;
}

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
    std::lock_guard<std::mutex> lock{logMutex()};
    Redirect& slot = state().redirect[int(level)];
    _previousActive = slot.active;
    _previousOutput = slot.output;
    slot = Redirect{true, output};
}

Debug::~Debug() {
    std::lock_guard<std::mutex> lock{logMutex()};
    LogState& s = state();
    Redirect& slot = s.redirect[int(_level)];
    if(_printed) {
        if(_redirected || slot.active) {
            std::ostream* out = _redirected ? _output : slot.output;
            if(out) {
                *out << _line << '\n';
                out->flush();
            }
        } else if(!(s.quiet && _level == LogLevel::Debug)) {
            if(s.sink) s.sink(_level, _line);
            else defaultSink(_level, _line);
        }
    }
    if(_redirected) slot = Redirect{_previousActive, _previousOutput};
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
