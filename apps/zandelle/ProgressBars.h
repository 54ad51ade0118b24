#pragma once
// Progress bars on stderr for the editor's progress records while jobs run,
// one line per record ("Compressing textures 37/120 [#########.....]").
// Drawn only when stderr is a terminal; log lines printed meanwhile go
// through printAbove() so that the bars stay below them.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace ZandelleEngine {

class ZandelleEditor;

namespace Cli {

class ProgressBars {
    public:
        /** Starts redrawing the records of @p editor's task list */
        explicit ProgressBars(ZandelleEditor& editor);
        /** Stops and erases the bars */
        ~ProgressBars();
        ProgressBars(const ProgressBars&) = delete;
        ProgressBars& operator=(const ProgressBars&) = delete;

        /** Writes @p line (and a newline) to @p out above the bars */
        static void printAbove(std::FILE* out, std::string_view line);

    private:
        void run();
        void draw();
        void erase();

        ZandelleEditor& _editor;
        std::mutex _stopMutex;
        std::condition_variable _stopped;
        bool _stop = false;
        std::size_t _drawnLines = 0;
        std::thread _thread;
};

/** One bar line: the title padded to @p titleWidth, done/total and a bar */
std::string progressLine(std::string_view title, std::uint32_t done, std::uint32_t total, std::size_t titleWidth);

}}
