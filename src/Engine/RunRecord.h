#pragma once
// The record of one run of the tools (a load and its compile, an import):
// the compile driver's steps and the background jobs as spans on a
// timeline, what each cache level answered, what became of every tile of
// every compressed image, and the warning and error lines. The command
// line's summary and its HTML report are both written from it, so they
// cannot disagree.
//
// Threads: every function may be called from any thread at any time; each
// holds the record's lock only while it copies in or out.

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Base/Export.h"
#include "Base/Log.h"
#include "Engine/Trade.h"

namespace ZandelleEngine {

/** What a span of the timeline was */
enum class RunSpanKind: std::uint8_t {
    Step,   /**< a compile step, run by the compile driver */
    Mips,   /**< the mip chain of one image */
    Tiles,  /**< one batch of tiles of one image, from the cache or encoded */
    Probe,  /**< the environment levels of one probe image */
    Font    /**< the glyph data of one font, from the cache or built */
};
constexpr std::size_t RunSpanKindCount = 5;

struct RunSpan {
    RunSpanKind kind;
    /** JobSystem::workerId() of the thread it ran on, -1 for a thread that
        is no worker */
    int worker;
    /** Seconds since the record started */
    double start, end;
    /** The step, image or font */
    std::string label;
};

/** What became of one tile of a compressed image */
enum class TileFate: std::uint8_t { LocalCache, SharedCache, Encoded, Failed };
constexpr std::size_t TileFateCount = 4;

/** The tiles of one compressed image */
struct ZANDELLE_EXPORT ImageTiles {
    struct Level {
        int columns, rows;
    };
    std::string key, name;
    std::vector<Level> levels;
    /** Level by level, each row by row */
    std::vector<TileFate> fates;
    /** Level 0 reduced to at most ThumbnailSize pixels on its larger side,
        eight bits per component; empty when level 0 has wider components */
    Trade::ImageData thumbnail;

    static constexpr int ThumbnailSize = 96;
    /** @p image reduced as the thumbnail is (each pixel the mean of up to
        4 x 4 samples of its area) */
    static Trade::ImageData reduce(const Trade::ImageData& image);
    std::size_t count(TileFate fate) const;
};

struct CacheFigures {
    std::uint32_t hits = 0, misses = 0, writes = 0;
};

/** A warning or error text and how often it was printed */
struct RunLogLine {
    LogLevel level;
    std::string text;
    std::size_t count;
};

class ZANDELLE_EXPORT RunRecord {
    public:
        enum class CacheKind: std::uint8_t { Tiles, Fonts };
        enum class CacheLevel: std::uint8_t { Local, Shared };
        enum class CacheEvent: std::uint8_t { Hit, Miss, Write };

        RunRecord();

        /** Seconds since the record started */
        double now() const;

        /** A span of @p kind from @p start until now, on the calling
            thread's worker */
        void addSpan(RunSpanKind kind, std::string label, double start);
        /** The tiles of an image; replaces what an earlier compression of
            the same key recorded */
        void addImage(ImageTiles image);
        void count(CacheKind kind, CacheLevel level, CacheEvent event, std::uint32_t times = 1);
        /** Warning and Error lines are kept, the same text once with its
            count, in the order first seen; Debug lines are ignored */
        void addLogLine(LogLevel level, std::string_view line);

        std::vector<RunSpan> spans() const;
        std::vector<ImageTiles> images() const;
        CacheFigures cache(CacheKind kind, CacheLevel level) const;
        std::vector<RunLogLine> logLines() const;
        /** Lines of @p level, repeats included */
        std::size_t lineCount(LogLevel level) const;

    private:
        const std::chrono::steady_clock::time_point _start;
        mutable std::mutex _mutex;
        std::vector<RunSpan> _spans;
        std::vector<ImageTiles> _images;
        std::array<std::array<CacheFigures, 2>, 2> _caches{};
        std::vector<RunLogLine> _lines;
        /* Index in _lines by level and text */
        std::unordered_map<std::string, std::size_t> _lineIndex;
};

/** Records a span from its construction to its destruction; nothing with a
    null record */
class RunSpanScope {
    public:
        RunSpanScope(RunRecord* record, RunSpanKind kind, std::string label):
            _record{record}, _kind{kind}, _label{std::move(label)}, _start{record ? record->now() : 0.0} {}
        ~RunSpanScope() { if(_record) _record->addSpan(_kind, std::move(_label), _start); }
        RunSpanScope(const RunSpanScope&) = delete;
        RunSpanScope& operator=(const RunSpanScope&) = delete;

    private:
        RunRecord* _record;
        RunSpanKind _kind;
        std::string _label;
        double _start;
};

}
