#pragma once
// The subcommands of zandelle. Each takes the parsed invocation and returns
// the process exit code: 0 success, 1 the operation failed, 2 bad usage.

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ZandelleEngine { class ZandelleEditor; class ProjectLock; }

namespace ZandelleEngine { namespace Cli {

struct Invocation {
    std::vector<std::string> arguments;
    std::map<std::string, std::string> options;
    std::string resourcesPath;
    /** The shared cache's URL, from --cache-url or ZANDELLE_CACHE_URL */
    std::string cacheUrl;
    /** Worker threads of the job system, from --jobs; 0 for one per core */
    int jobs = 0;

    bool has(const std::string& option) const { return options.count(option) != 0; }
    std::string option(const std::string& option) const {
        auto found = options.find(option);
        return found == options.end() ? std::string{} : found->second;
    }
    /** A SECONDS option (checked when the command line was read), or
        @p defaultValue when not given */
    double seconds(const std::string& option, double defaultValue) const {
        return has(option) ? std::strtod(this->option(option).c_str(), nullptr) : defaultValue;
    }
};

/** Routes the library's log lines (stdout for Debug, stderr for the rest;
    all to stderr with --json; no Debug with --quiet) and counts warnings
    and errors for the summary */
void installLogSink(const Invocation& invocation);

/* Shared by the commands */
/** Points the editor at the resources the invocation names */
void configureEditor(ZandelleEditor& editor, const Invocation& invocation);
/** Seconds of a load and of the background work after it */
struct LoadTimes {
    double loadSeconds = 0.0;
    /** From the end of the compile steps until the last background job
        (image compression, font building) ended */
    double jobsSeconds = 0.0;
};
/** Loads and waits until the project is active and every job has ended */
bool loadAndWait(ZandelleEditor& editor, const std::string& path, LoadTimes& times);
/** @p text as a JSON string, quoted and escaped */
std::string jsonString(std::string_view text);

/* The file a save of @p path writes */
std::string savedPath(const std::string& path);

/* Holds the lock of the project saved at @p path while it lives; null,
   after one line, when it could not be taken within --lock-wait */
std::unique_ptr<ProjectLock> lockProject(const Invocation& invocation, const std::string& path);

int runOpen(Invocation& invocation);
int runCompile(Invocation& invocation);
int runImport(Invocation& invocation);
int runSet(Invocation& invocation);
int runUpgrade(Invocation& invocation);
int runNew(Invocation& invocation);
int runNpmInstall(Invocation& invocation);
int runDevices(Invocation& invocation);
int runTrust(Invocation& invocation);
int runRecent(Invocation& invocation);
int runWatch(Invocation& invocation);
int runDemo(Invocation& invocation);

}}
