#pragma once
// Collects every Debug, Warning and Error line that the creating thread and
// the jobs it dispatches print for the lifetime of the guard, so tests can
// compare exact log output. Jobs started before, by another thread, print
// elsewhere.

#include <functional>
#include <memory>
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

        /* Lines of one stream, all lines, or the Warning and Error lines, in
           the order printed, each followed by "\n" */
        std::string debug() const { return joined([](LogLevel l) { return l == LogLevel::Debug; }); }
        std::string warning() const { return joined([](LogLevel l) { return l == LogLevel::Warning; }); }
        std::string error() const { return joined([](LogLevel l) { return l == LogLevel::Error; }); }
        std::string all() const { return joined([](LogLevel) { return true; }); }
        std::string problems() const { return joined([](LogLevel l) { return l != LogLevel::Debug; }); }

        std::vector<std::pair<LogLevel, std::string>> lines() const;
        void clear();

    private:
        std::string joined(const std::function<bool(LogLevel)>& keep) const;

        mutable std::mutex _mutex;
        std::vector<std::pair<LogLevel, std::string>> _lines;
        std::unique_ptr<LogRedirect> _redirect;
};

}}
