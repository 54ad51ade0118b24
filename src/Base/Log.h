#pragma once
// The three log streams: Debug (progress), Warning (recoverable: data changed
// or skipped) and Error (an operation failed).
//
//     Debug{} << "Loading project from" << path;
//
// Each stream object prints one line when it is destroyed. Values are joined
// by a single space unless `Debug::nospace` stands between them. Where a line
// goes, first match wins:
// - a `Debug{&stream}` alive on the same thread (for the lifetime of that
//   object, per stream and per thread);
// - the calling thread's `LogRedirect` (tests capture the log with it); a
//   job system carries the redirect of the dispatching thread into the job,
//   so a job's lines go where those of the code that started it go;
// - the process-wide sink: stdout for Debug, stderr for Warning and Error,
//   or what `setSink()` put there (the command line's --json and holding
//   lines back).

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "Base/Export.h"

namespace ZandelleEngine {

enum class LogLevel { Debug, Warning, Error };

class ZANDELLE_EXPORT Debug {
    public:
        using Modifier = void (*)(Debug&);

        /** The next value is appended without a separating space. */
        static void nospace(Debug& debug);

        /** Receives every finished line; called under a lock, from any thread. */
        using Sink = std::function<void(LogLevel, std::string_view line)>;

        /** Replaces the sink of all three streams; returns the previous one. An
            empty sink restores the default (stdout / stderr). */
        static Sink setSink(Sink sink);

        /** Drops Debug lines (Warning and Error stay). */
        static void setQuiet(bool quiet);

        Debug();
        /** Prints to @p output instead of the sink; for the lifetime of this
            object every other line of this stream printed on the same
            thread goes there too. A null output discards. */
        explicit Debug(std::ostream* output);
        Debug(const Debug&) = delete;
        Debug& operator=(const Debug&) = delete;
        ~Debug();

        Debug& operator<<(Modifier modifier) { modifier(*this); return *this; }
        Debug& operator<<(std::string_view value);
        Debug& operator<<(const char* value) { return *this << std::string_view{value ? value : ""}; }
        Debug& operator<<(const std::string& value) { return *this << std::string_view{value}; }
        Debug& operator<<(bool value);
        Debug& operator<<(char value);
        Debug& operator<<(int value);
        Debug& operator<<(long value);
        Debug& operator<<(long long value);
        Debug& operator<<(unsigned value);
        Debug& operator<<(unsigned long value);
        Debug& operator<<(unsigned long long value);
        Debug& operator<<(short value) { return *this << int(value); }
        Debug& operator<<(unsigned short value) { return *this << unsigned(value); }
        Debug& operator<<(unsigned char value) { return *this << unsigned(value); }
        Debug& operator<<(float value);
        Debug& operator<<(double value);
        Debug& operator<<(const void* value);

        /** Appends text as one value (used by the printers of other types). */
        Debug& printValue(std::string_view text);

    protected:
        explicit Debug(LogLevel level);
        Debug(LogLevel level, std::ostream* output);

    private:
        /* A finished line, to the thread's redirect or the sink */
        static void print(LogLevel level, std::string_view line);

        LogLevel _level;
        std::string _line;
        bool _printed = false;
        bool _noSpace = false;
        bool _redirected = false;
        std::ostream* _output = nullptr;
        std::ostream* _previousOutput = nullptr;
        bool _previousActive = false;
};

class ZANDELLE_EXPORT Warning: public Debug {
    public:
        Warning(): Debug{LogLevel::Warning} {}
        explicit Warning(std::ostream* output): Debug{LogLevel::Warning, output} {}
};

class ZANDELLE_EXPORT Error: public Debug {
    public:
        Error(): Debug{LogLevel::Error} {}
        explicit Error(std::ostream* output): Debug{LogLevel::Error, output} {}
};

/** Sends the log lines of the calling thread, and of the jobs it dispatches
    while the redirect is alive, to a sink of its own. Redirects nest; the
    destructor restores the one before. A job that outlives the redirect
    that it carries prints to the process-wide sink. */
class ZANDELLE_EXPORT LogRedirect {
    public:
        /** What a thread's lines go to; shared by the jobs that carry it */
        struct Target;
        using Handle = std::shared_ptr<Target>;

        /** The calling thread's current redirect; null when there is none */
        static Handle current();

        /** Sends the calling thread's lines to @p sink (called under the
            redirect's own lock, from the threads that carry it) */
        explicit LogRedirect(Debug::Sink sink);
        /** Makes @p target, taken with current() on another thread, the
            calling thread's redirect (a job system does this around each
            job); a null one means the process-wide sink */
        explicit LogRedirect(Handle target);
        ~LogRedirect();
        LogRedirect(const LogRedirect&) = delete;
        LogRedirect& operator=(const LogRedirect&) = delete;

    private:
        Handle _target, _previous;
        bool _owner;
};

/* Lets free printers (math types, links, versions) follow a temporary:
   Debug{} << vector */
template<class T> Debug& operator<<(Debug&& debug, const T& value) {
    return static_cast<Debug&>(debug) << value;
}

/* Printing of standard containers, so that arrays of values read like the
   framework's: {a, b, c} */
template<class T> Debug& operator<<(Debug& debug, const std::vector<T>& values) {
    std::string text = "{";
    bool first = true;
    for(const T& v: values) {
        if(!first) text += ", ";
        first = false;
        if constexpr(std::is_convertible_v<const T&, std::string_view>) text += std::string_view{v};
        else text += std::to_string(v);
    }
    text += "}";
    return debug.printValue(text);
}

template<class T> Debug& operator<<(Debug& debug, const std::optional<T>& value) {
    if(!value) return debug.printValue("Optional()");
    return debug << *value;
}

}
