#include "Support/LogCapture.h"

namespace ZandelleEngine { namespace Testing {

LogCapture::LogCapture(): _redirect{std::make_unique<LogRedirect>([this](LogLevel level, std::string_view line) {
    std::lock_guard<std::mutex> lock{_mutex};
    _lines.emplace_back(level, std::string{line});
})} {}

LogCapture::~LogCapture() = default;

std::string LogCapture::joined(const std::function<bool(LogLevel)>& keep) const {
    std::lock_guard<std::mutex> lock{_mutex};
    std::string out;
    for(const auto& [level, line]: _lines) if(keep(level)) out += line + '\n';
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
