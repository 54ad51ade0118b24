#include "ProgressBars.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <fmt/format.h>
#include <unistd.h>

#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine { namespace Cli {

namespace {

constexpr std::size_t BarWidth = 30;

/* Output to the terminal and the bars currently on it share one lock */
std::mutex& terminalMutex() {
    static std::mutex mutex;
    return mutex;
}
ProgressBars* active = nullptr;

}

std::string progressLine(std::string_view title, std::uint32_t done, std::uint32_t total, std::size_t titleWidth) {
    const std::uint32_t shown = std::min(done, total);
    const std::size_t filled = total ? std::size_t(shown)*BarWidth/total : 0;
    return fmt::format("{:<{}} {}/{} [{}{}]", title, titleWidth, shown, total,
        std::string(filled, '#'), std::string(BarWidth - filled, '.'));
}

ProgressBars::ProgressBars(ZandelleEditor& editor): _editor{editor} {
    if(!::isatty(STDERR_FILENO)) return;
    {
        std::lock_guard<std::mutex> lock{terminalMutex()};
        active = this;
    }
    _thread = std::thread{[this]{ run(); }};
}

ProgressBars::~ProgressBars() {
    if(!_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock{_stopMutex};
        _stop = true;
    }
    _stopped.notify_all();
    _thread.join();
    std::lock_guard<std::mutex> lock{terminalMutex()};
    erase();
    active = nullptr;
}

void ProgressBars::printAbove(std::FILE* out, std::string_view line) {
    std::lock_guard<std::mutex> lock{terminalMutex()};
    if(active) active->erase();
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputc('\n', out);
    std::fflush(out);
    if(active) active->draw();
}

void ProgressBars::run() {
    std::unique_lock<std::mutex> lock{_stopMutex};
    while(!_stopped.wait_for(lock, std::chrono::milliseconds{100}, [this]{ return _stop; })) {
        std::lock_guard<std::mutex> terminal{terminalMutex()};
        erase();
        draw();
    }
}

/* Called with the terminal lock held */
void ProgressBars::draw() {
    std::vector<std::shared_ptr<Progress>> tasks = _editor.tasks();
    tasks.erase(std::remove_if(tasks.begin(), tasks.end(),
        [](const std::shared_ptr<Progress>& p) { return p->total == 0 || p->done >= p->total; }), tasks.end());
    std::size_t width = 0;
    for(const auto& task: tasks) width = std::max(width, task->title().size());
    std::string text;
    for(const auto& task: tasks) text += progressLine(task->title(), task->done, task->total, width) + "\n";
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
    _drawnLines = tasks.size();
}

/* Called with the terminal lock held: cursor up and clear to the end */
void ProgressBars::erase() {
    if(!_drawnLines) return;
    std::fprintf(stderr, "\033[%zuA\033[J", _drawnLines);
    _drawnLines = 0;
}

}}
