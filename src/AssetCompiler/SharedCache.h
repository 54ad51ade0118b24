#pragma once
// The shared level of the compile caches: a Redis server that a team and its
// CI machines point at, so that a tile or font built on one machine is read
// by all the others. Used only through CompileCache (CompileCache.h).
//
// Entries are binary strings under "zandelle:v1:<kind>:<name>". A failure to
// connect, a refused password, a timeout or a reply that makes no sense turns
// the level off for the rest of the run after one Warning line that names the
// server without its password; callers then get misses and writes are
// dropped. Nothing here is fatal.
//
// Threads: a hiredis context is not thread-safe, so every job-system worker
// has a connection of its own (JobSystem::workerId()), opened on its first
// use; threads that are no worker share one more, under a lock.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Base/Result.h"

namespace ZandelleEngine {

/** Where the shared level lives:
    redis://[[USER]:PASSWORD@]HOST[:PORT][/DB][?read-only] */
struct ZANDELLE_EXPORT SharedCacheUrl {
    std::string host;
    int port = 6379;
    int database = 0;
    /** Percent-decoded; an empty user authenticates with the password alone */
    std::string user, password;
    /** Read entries, never write them (builds of untrusted changes) */
    bool readOnly = false;

    /** Parses @p text; the error names what is wrong and never holds the
        password */
    static Result<SharedCacheUrl> parse(std::string_view text);
    /** "redis://HOST:PORT/DB", without user and password, for every line a
        user sees */
    std::string display() const;
};

/** What one look-up of a batch found */
struct SharedCacheReply {
    enum Kind: std::uint8_t {
        Missing,
        Found,
        /** Not a string, or larger than SharedCache::MaxEntrySize */
        Unusable
    } kind = Missing;
    std::vector<char> bytes;
};

class SharedCache {
    public:
        /** Entries above this size are not read */
        static constexpr std::size_t MaxEntrySize = 64u << 20;

        struct Timeouts {
            std::chrono::milliseconds connect{500};
            /** Each command (one round trip of a batch) */
            std::chrono::milliseconds command{5000};
        };

        /** A level on @p url for @p workerCount job-system workers; nothing
            is connected yet */
        SharedCache(SharedCacheUrl url, int workerCount, Timeouts timeouts);
        ~SharedCache();
        SharedCache(const SharedCache&) = delete;
        SharedCache& operator=(const SharedCache&) = delete;

        const SharedCacheUrl& url() const { return _url; }
        /** Whether a failure turned the level off */
        bool off() const { return _off.load(); }

        /** "zandelle:v1:<kind>:<name>" */
        static std::string key(std::string_view kind, std::string_view name);

        /** One reply per key, in order, from one round trip. Empty when the
            level is off or has just failed. */
        std::optional<std::vector<SharedCacheReply>> get(std::span<const std::string> keys);
        /** Stores @p bytes under @p key unless an entry is there already, or
            over it with @p replace; true when this call wrote it. Nothing for
            a read-only level or one that is off. */
        bool put(const std::string& key, std::span<const char> bytes, bool replace);

        /** Failures talking to the server (each failed command or
            connection), and the time spent in commands */
        std::atomic<std::uint32_t> errors{0};
        std::atomic<std::uint64_t> nanoseconds{0};

    private:
        struct Connection;
        /* The calling thread's connection, connected; null when the level
           is off or connecting failed */
        Connection* connection(std::unique_lock<std::mutex>& lock);
        /* Reports @p reason once and turns the level off; drops @p c */
        void fail(Connection& c, std::string_view reason);

        SharedCacheUrl _url;
        Timeouts _timeouts;
        std::atomic<bool> _off{false};
        /* One per worker, then the one for other threads */
        std::vector<std::unique_ptr<Connection>> _connections;
        std::mutex _otherThreads;
};

}
