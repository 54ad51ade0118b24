// zandelle watch: one loop on the main thread. The file watch's events are
// queued per path; a path whose events settled is handled, the jobs it
// caused are waited for, and one line says what was recompiled. SIGINT and
// SIGTERM arrive through a signalfd polled beside the file watch, so they
// end the loop between two steps instead of interrupting one.

#include <cstdio>
#include <string>

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "Base/Format.h"
#include "Base/String.h"
#include "Editor/ZandelleEditor.h"
#include "Tools/ProjectFiles.h"
#include "Tools/ProjectLock.h"
#include "Tools/ProjectWatch.h"
#include "Commands.h"

namespace ZandelleEngine { namespace Cli {

namespace {

std::string describe(const WatchReport& report, bool json) {
    const std::string ms = fmt::format("{:.1f}", report.milliseconds);
    std::vector<std::string> steps;
    if(json) {
        if(report.kind == WatchReport::Kind::Deleted)
            return "{\"event\": \"deleted\", \"path\": " + jsonString(report.path) + "}";
        for(const auto& [name, records]: report.compiled) steps.push_back(jsonString(name) + ": " + std::to_string(records));
        return "{\"event\": \"change\", \"path\": " + jsonString(report.path) + ", \"recompiled\": {" + String::join(steps, ", ") +
            "}, \"jobs\": {\"tilesEncoded\": " + std::to_string(report.tilesEncoded) + ", \"tilesFromCache\": " +
            std::to_string(report.tilesFromCache) + "}, \"ms\": " + ms + "}";
    }
    if(report.kind == WatchReport::Kind::Deleted) return report.path + ": deleted";
    for(const auto& [name, records]: report.compiled) steps.push_back(name + " " + std::to_string(records));
    std::string line = report.path + ": " + (steps.empty() ? std::string{"nothing recompiled"} : String::join(steps, ", "));
    if(report.tilesEncoded || report.tilesFromCache)
        line += fmt::format("; tiles {} encoded, {} from cache", report.tilesEncoded, report.tilesFromCache);
    return line + "; " + ms + " ms";
}

/* True when a signal is waiting on @p fd, after up to @p milliseconds */
bool signalled(int fd, int milliseconds) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, milliseconds) > 0;
}

}

int runWatch(Invocation& invocation) {
    /* Blocked before the editor starts its workers, which inherit the
       mask: the signals then only ever reach the signalfd */
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
    if(signalFd < 0) {
        std::fprintf(stderr, "zandelle: cannot receive signals\n");
        return 1;
    }

    const bool json = invocation.has("--json"), save = invocation.has("--save");
    int result = 0;
    {
        ZandelleEditor editor{invocation.jobs};
        configureEditor(editor, invocation);
        LoadTimes times;
        if(!loadAndWait(editor, invocation.arguments[0], times)) result = 1;
        else {
            ProjectWatch watch{editor};
            watch.compareDocument = save;
            if(json) std::printf("{\"event\": \"ready\", \"files\": %zu, \"folders\": %zu}\n", watch.fileCount(), watch.folderCount());
            else std::printf("Watching %zu files and %zu folders\n", watch.fileCount(), watch.folderCount());
            std::fflush(stdout);

            bool stop = false;
            const ProjectWatch::JobWait wait = [&](ZandelleEditor& e) {
                while(e.jobSystem->pendingCount()) if(signalled(signalFd, 2)) {
                    stop = true;
                    return false;
                }
                return true;
            };
            std::size_t changes = 0, deleted = 0;
            std::uint64_t records = 0, tiles = 0;
            while(!stop) {
                pollfd fds[2]{{signalFd, POLLIN, 0}, {editor.fileWatch->descriptor(), POLLIN, 0}};
                ::poll(fds, 2, watch.millisecondsToNext());
                if(fds[0].revents || !watch.poll(wait)) break;
                while(!stop) {
                    const std::optional<WatchReport> report = watch.handleNext(wait);
                    if(!report) break;
                    if(report->kind == WatchReport::Kind::Deleted) ++deleted;
                    else ++changes;
                    for(const auto& step: report->compiled) records += step.second;
                    tiles += report->tilesEncoded;
                    std::printf("%s\n", describe(*report, json).c_str());
                    std::fflush(stdout);
                    /* Saved under the project's lock, as every command that
                       saves does, taken only around the save so that other
                       commands can still edit the project between changes */
                    if(save && report->documentChanged) {
                        const std::unique_ptr<ProjectLock> lock = lockProject(invocation, savedPath(invocation.arguments[0]));
                        if(lock && saveProject(editor, false)) watch.projectSaved();
                    }
                }
            }
            /* Jobs still queued are dropped, running ones told to end */
            editor.jobSystem->cancelAll();
            editor.jobSystem->waitForIdle();
            if(json) std::printf("{\"event\": \"stopped\", \"changes\": %zu, \"deleted\": %zu, \"records\": %llu, \"tilesEncoded\": %llu}\n",
                changes, deleted, (unsigned long long)records, (unsigned long long)tiles);
            else std::printf("Stopped after %zu changes and %zu deletions: %llu records recompiled, %llu tiles encoded\n",
                changes, deleted, (unsigned long long)records, (unsigned long long)tiles);
            std::fflush(stdout);
        }
    }
    ::close(signalFd);
    return result;
}

}}
