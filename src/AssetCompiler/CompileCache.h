#pragma once
// The caches of compiled data (Basis tiles, glyph data), named by a hash of
// everything that goes into an entry. Two levels: the project's cache
// directory, always, then an optional shared level (SharedCache.h) that a
// team's machines have in common. The tile and font compile steps read and
// write entries only through this; which level answered is counted here and
// known nowhere else.
//
// Look-up: the local file, then the shared level, each entry checked by the
// caller's check before it counts (a bad local file or shared entry is a
// miss). A shared hit is written to the local level. put() writes a freshly
// built entry locally and, unless the shared level is read-only, to the
// shared level: without overwriting another writer's entry, except one that
// this look-up found bad.
//
// Threads: get() and put() may run on any number of job-system workers at
// once; configureShared() runs while no job does (project initialisation).

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "AssetCompiler/SharedCache.h"
#include "Base/Export.h"

namespace ZandelleEngine {

enum class CacheKind: std::uint8_t {
    /** Basis file of one image tile, "<name>.basis" */
    Tile,
    /** Glyph data of one font, "<name>.bin" */
    Font
};
constexpr std::size_t CacheKindCount = 2;

enum class CacheLevel: std::uint8_t { Local, Shared };
constexpr std::size_t CacheLevelCount = 2;

/** What the caches did in this run, per kind and level */
struct CacheCounts {
    struct Counts {
        /** Entries that passed the check; looked up and not there (or
            bad); written; found bad (failed the check, unreadable, too
            large) */
        std::uint32_t hits = 0, misses = 0, writes = 0, rejected = 0;
    };
    std::array<std::array<Counts, CacheLevelCount>, CacheKindCount> levels{};
    /** Failed commands or connections of the shared level */
    std::uint32_t sharedErrors = 0;
    /** Time spent waiting for the shared level, all threads together */
    double sharedSeconds = 0.0;

    const Counts& at(CacheKind kind, CacheLevel level) const { return levels[std::size_t(kind)][std::size_t(level)]; }
};

/** One entry asked for */
struct CacheEntry {
    std::string name;
    /** The entry's bytes when a level had a good one */
    std::optional<std::vector<char>> bytes;
    /** A local file was there and failed the check or could not be read */
    bool localRejected = false;
    /** The shared level's entry was bad: put() replaces it */
    bool sharedRejected = false;
    /** The bytes came from the shared level (for the run's report only) */
    bool fromShared = false;
};

class ZANDELLE_EXPORT CompileCache {
    public:
        /** Checks the entries of @p indices, whose bytes are set; true for
            each one that is usable. The caller may keep what checking made
            (a transcoded tile) by index. */
        using Check = std::function<std::vector<bool>(const std::vector<std::size_t>& indices)>;

        CompileCache();
        ~CompileCache();
        CompileCache(const CompileCache&) = delete;
        CompileCache& operator=(const CompileCache&) = delete;

        /** Uses the shared level at @p url (SharedCacheUrl), or none for an
            empty one; a URL that does not parse is one Warning line and no
            shared level. The level is kept, with its connections and its
            off state, while the URL stays the same. */
        void configureShared(std::string_view url, int workerCount, SharedCache::Timeouts timeouts = {});
        /** The shared level; null without one */
        const SharedCache* shared() const { return _shared.get(); }

        /** File of the entry @p name of @p kind in @p directory */
        static std::string localPath(CacheKind kind, std::string_view directory, std::string_view name);
        /** The name of @p kind in keys: "tile", "font" */
        static const char* kindName(CacheKind kind);

        /** Looks up every entry of @p entries in @p directory, then in the
            shared level, and fills the bytes of those found good by
            @p check (which may be called once per level). A bad shared
            entry is one Warning line naming its key. */
        void get(CacheKind kind, std::string_view directory, std::span<CacheEntry> entries, const Check& check);
        /** Writes @p bytes, freshly built for @p entry, to @p directory and
            to the shared level; false when the local file could not be
            written (the caller says so) */
        bool put(CacheKind kind, std::string_view directory, const CacheEntry& entry, std::span<const char> bytes);

        /** Everything counted so far, read for summaries and reports */
        CacheCounts counts() const;

    private:
        struct Counters {
            std::atomic<std::uint32_t> hits{0}, misses{0}, writes{0}, rejected{0};
        };
        Counters& counter(CacheKind kind, CacheLevel level) { return _counters[std::size_t(kind)][std::size_t(level)]; }
        bool writeLocal(CacheKind kind, std::string_view directory, std::string_view name, std::span<const char> bytes);

        std::string _sharedUrlText;
        std::unique_ptr<SharedCache> _shared;
        Counters _counters[CacheKindCount][CacheLevelCount];
};

}
