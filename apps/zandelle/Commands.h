#pragma once
// The subcommands of zandelle. Each takes the parsed invocation and returns
// the process exit code: 0 success, 1 the operation failed, 2 bad usage.

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace ZandelleEngine { class ZandelleEditor; }

namespace ZandelleEngine { namespace Cli {

struct Invocation {
    std::vector<std::string> arguments;
    std::map<std::string, std::string> options;
    std::string resourcesPath;

    bool has(const std::string& option) const { return options.count(option) != 0; }
    std::string option(const std::string& option) const {
        auto found = options.find(option);
        return found == options.end() ? std::string{} : found->second;
    }
};

/** Routes the library's log lines (stdout for Debug, stderr for the rest;
    all to stderr with --json; no Debug with --quiet) and counts warnings
    and errors for the summary */
void installLogSink(const Invocation& invocation);

/* Shared by the commands */
/** Points the editor at the resources the invocation names */
void configureEditor(ZandelleEditor& editor, const Invocation& invocation);
/** Loads and waits until the project is active and every job has ended;
    with @p jobsSeconds, the time after the finishing job until every job
    ended goes there */
bool loadAndWait(ZandelleEditor& editor, const std::string& path, double& seconds, double* jobsSeconds = nullptr);
/** @p text as a JSON string, quoted and escaped */
std::string jsonString(std::string_view text);

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
