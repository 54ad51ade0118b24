#include "Support/LogCapture.h"

namespace ZandelleEngine { namespace Testing {

LogCapture::LogCapture() {
    _previous = Debug::setSink([this](LogLevel level, std::string_view line) {
        std::lock_guard<std::mutex> lock{_mutex};
        _lines.emplace_back(level, std::string{line});
    });
}

LogCapture::~LogCapture() { Debug::setSink(std::move(_previous)); }

std::string LogCapture::text(LogLevel level) const {
    std::lock_guard<std::mutex> lock{_mutex};
    std::string out;
    for(const auto& l: _lines) if(l.first == level) { out += l.second; out += '\n'; }
    return out;
}

std::string LogCapture::all() const {
    std::lock_guard<std::mutex> lock{_mutex};
    std::string out;
    for(const auto& l: _lines) { out += l.second; out += '\n'; }
    return out;
}

std::string LogCapture::problems() const {
    std::lock_guard<std::mutex> lock{_mutex};
    std::string out;
    for(const auto& l: _lines) if(l.first != LogLevel::Debug) { out += l.second; out += '\n'; }
    return out;
}

std::vector<std::pair<LogLevel, std::string>> LogCapture::lines() const {
    std::lock_guard<std::mutex> lock{_mutex};
    return _lines;
}

void LogCapture::clear() {
    std::lock_guard<std::mutex> lock{_mutex};
    _lines.clear();
}

}}
