#pragma once
// Collects every Debug, Warning and Error line for the lifetime of the guard,
// from any thread, so tests can compare exact log output.

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "Base/Log.h"

namespace ZandelleEngine { namespace Testing {

class LogCapture {
    public:
        LogCapture();
        ~LogCapture();
        LogCapture(const LogCapture&) = delete;
        LogCapture& operator=(const LogCapture&) = delete;

        /** Lines of one stream, each followed by "\n" */
        std::string debug() const { return text(LogLevel::Debug); }
        std::string warning() const { return text(LogLevel::Warning); }
        std::string error() const { return text(LogLevel::Error); }
        /** All lines in the order they were printed, each followed by "\n" */
        std::string all() const;
        /** Warning and Error lines, in order */
        std::string problems() const;

        std::vector<std::pair<LogLevel, std::string>> lines() const;
        void clear();

    private:
        std::string text(LogLevel level) const;

        mutable std::mutex _mutex;
        std::vector<std::pair<LogLevel, std::string>> _lines;
        Debug::Sink _previous;
};

}}
