#pragma once
// The editor's live loop without the editor: the files of a loaded project
// watched through the editor's file watch, each change handled once its
// burst of events has settled, and what it recompiled reported.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Base/Export.h"
#include "Editor/Json.h"

namespace ZandelleEngine {

class ZandelleEditor;

/** What handling one changed path did */
struct WatchReport {
    enum class Kind: std::uint8_t {
        /** Handled: re-imported, shaders reloaded or project records
            recompiled */
        Changed,
        /** The file is gone; it is handled again when it comes back */
        Deleted
    };

    /** Relative to the project folder */
    std::string path;
    Kind kind = Kind::Changed;
    /** (step name, records compiled), in step table order */
    std::vector<std::pair<std::string, std::uint64_t>> compiled;
    std::uint64_t tilesEncoded = 0, tilesFromCache = 0;
    /** From the last event of the path being seen to the last job its
        handler caused finishing */
    double milliseconds = 0.0;
    /** A re-import changed the document in memory, so that it differs
        from the project file (checked with ProjectWatch::compareDocument
        only; a project file read from disk is what the document holds) */
    bool documentChanged = false;
};

class ZANDELLE_EXPORT ProjectWatch {
    public:
        using Clock = std::chrono::steady_clock;
        /** Waits until the editor's jobs have ended; false when the wait was
            given up (the caller cancels the jobs) */
        using JobWait = std::function<bool(ZandelleEditor&)>;

        /** Watches every file of the project's "files" section and the
            project file itself, beside the shader folders that shader
            loading watches, on @p editor, whose project must be loaded and
            active. A path is handled once no event came for it for
            @p debounce. */
        explicit ProjectWatch(ZandelleEditor& editor, std::chrono::milliseconds debounce = std::chrono::milliseconds{100});
        ~ProjectWatch();
        ProjectWatch(const ProjectWatch&) = delete;
        ProjectWatch& operator=(const ProjectWatch&) = delete;

        /** Files and folders watched */
        std::size_t fileCount() const { return _fileCount; }
        std::size_t folderCount() const { return _folderCount; }

        /** Waits with @p wait for the jobs still running (shader reloads
            the last events started), then delivers the file watch's
            pending events into the queue; false when the wait was given
            up */
        bool poll(const JobWait& wait);

        /** How long until the next queued path is due, -1 when none is
            queued */
        int millisecondsToNext(Clock::time_point now = Clock::now()) const;

        /** Handles the next queued path whose events settled: re-imports a
            file of the "files" section, waits for the reload of a shader,
            or recompiles the records of a project file changed on disk
            that differ from the document in memory; then waits with
            @p wait for the jobs it caused. Nothing when no path is due or
            the change needs no line (the project file as it was read or
            saved last; a project file that does not parse, which gives one
            Warning line and keeps the document as it is). */
        std::optional<WatchReport> handleNext(const JobWait& wait, Clock::time_point now = Clock::now());

        /** Whether a re-import is checked for changes to the document
            (WatchReport::documentChanged); off by default, as it prints
            the whole document twice */
        bool compareDocument = false;

        /** The project file was saved: its text is now the one known */
        void projectSaved();

    private:
        /* The counters a change line reports, step records and tiles */
        struct Counters {
            std::vector<std::uint64_t> records;
            std::uint32_t tilesEncoded = 0, tilesFromCache = 0;
        };
        struct Pending {
            Clock::time_point firstEvent, lastEvent;
            /* Before the first event: a shader reload starts on the event
               itself, before the path is handled */
            Counters before;
        };

        Counters counters() const;

        void queue(const std::string& path);
        bool handleProjectFile();
        /* Queues the edit when @p text, which shares @p prefix bytes at its
           start and @p suffix at its end with the known text, differs from
           it inside one record or settings group only; false otherwise */
        bool handleRecordEdit(const std::string& text, std::size_t prefix, std::size_t suffix);
        void readSpans();

        ZandelleEditor& _editor;
        std::chrono::milliseconds _debounce;
        std::vector<int> _watchIds;
        std::size_t _fileCount = 0, _folderCount = 0;
        std::string _projectFile;
        /* The project file's text as last read or written */
        std::string _knownText;
        /* The memory the project file is read into, kept between reads */
        std::string _readBuffer;
        /* Where each record and settings group lies in it */
        std::vector<Json::MemberSpan> _spans;
        std::map<std::string, Pending> _queue;
        /* Taken with no job running, before the events of a poll */
        Counters _beforePoll;
        /* When the last handler ended, and the counters then */
        Clock::time_point _handledAt;
        Counters _afterHandled;
        /* Deleted files reported once until they come back */
        std::vector<std::string> _deleted;
};

}
