// zandelle: the headless editor. Parses the command line against one option
// table and runs the library's operations on a project.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "AssetCompiler/SharedCache.h"
#include "Base/Log.h"
#include "Base/Path.h"
#include "Engine/JobSystem.h"
#include "Tools/Version.h"
#include "Commands.h"

using namespace ZandelleEngine;
using namespace ZandelleEngine::Cli;

namespace {

struct OptionSpec {
    const char* name;       /* "--out" */
    const char* valueName;  /* null for a flag */
    const char* help;
};

struct CommandSpec {
    const char* name;
    const char* arguments;  /* usage text of the positional arguments */
    std::size_t minArguments, maxArguments;
    std::vector<const char*> options;
    const char* help;
    int (*run)(Invocation&);
};

const OptionSpec Options[]{
    {"--resources", "DIR", "the editor's resources directory (default: the one beside the binary)"},
    {"--quiet", nullptr, "print no Debug lines"},
    {"--jobs", "N", "worker threads for background work such as image compression (default: the number of cores)"},
    {"--help", nullptr, "show help"},
    {"--version", nullptr, "print the library version and the project file version it writes"},
    {"--cache-url", "URL", "shared tile and font cache, redis://[:PASSWORD@]HOST[:PORT][/DB][?read-only] (default: $ZANDELLE_CACHE_URL)"},
    {"--out", "PATH", "save the upgraded project to PATH instead of in place"},
    {"--dry-run", nullptr, "migrate in memory and list what would change; write nothing"},
    {"--name", "NAME", "project name"},
    {"--package", nullptr, "add the npm package set-up (package.json, js/index.js)"},
    {"--template", "TEMPLATE.zdp", "copy a template project"},
    {"--adb", "PATH", "the adb executable (default: adb from the PATH)"},
    {"--prefer-offline", nullptr, "let npm use its cache first"},
    {"--off", nullptr, "withdraw trust instead of granting it"},
    {"--timings", nullptr, "print the time of each compile step, and the runs of the image encoder with their start-up cost"},
    {"--json", nullptr, "print the summary as one JSON object on stdout; log lines go to stderr"},
    {"--report", "FILE.html", "write a report of the run (steps, jobs, caches, image tiles, warnings) as one self-contained HTML file"},
    {"--save", nullptr, "save the project after each handled change that altered it"},
    {"--check-shaders", nullptr, "check every compiled pipeline's shaders with glslang; GLSL errors make the exit code 1"},
    {"--lock-wait", "SECONDS", "how long to wait while another command saves the same project (default 30)"},
    {"--npm-timeout", "SECONDS", "how long one npm run may take (default 300, 0: no limit); npm runs only for trusted projects"},
};

const CommandSpec Commands[]{
    {"open", "PROJECT.zdp", 1, 1, {"--json", "--npm-timeout"},
        "Load a project, wait for its activation and background jobs, print a summary.", runOpen},
    {"compile", "PROJECT.zdp", 1, 1, {"--timings", "--json", "--check-shaders", "--report", "--npm-timeout"},
        "Load and compile a project, wait for its background jobs, print the summary; --timings adds the time of each compile step; --check-shaders prints each GLSL error of the compiled pipelines' shaders as FILE:LINE: message.", runCompile},
    {"import", "PROJECT.zdp FILE...", 2, SIZE_MAX, {"--timings", "--json", "--report", "--lock-wait", "--npm-timeout"},
        "Import scene, image and font files into a project, wait for their compilation, save, print the summary.", runImport},
    {"set", "PROJECT.zdp POINTER JSON [POINTER JSON]...", 3, SIZE_MAX, {"--json", "--lock-wait", "--npm-timeout"},
        "Edit values of a project (JSON, or --remove to remove the member), recompile what the edits touch, save, and print what each change handler recompiled.", runSet},
    {"upgrade", "PROJECT.zdp", 1, 1, {"--out", "--dry-run", "--lock-wait", "--npm-timeout"},
        "Load a project (migrating it in memory), wait, and save it in place or to --out.", runUpgrade},
    {"new", "PATH.zdp", 1, 1, {"--name", "--package", "--template", "--lock-wait"},
        "Create a new project, or a copy of a template project, at PATH.", runNew},
    {"devices", "", 0, 0, {"--adb"},
        "List the devices attached over adb, one line each; the selected one is marked.", runDevices},
    {"npm-install", "PROJECT.zdp", 1, 1, {"--prefer-offline", "--npm-timeout"},
        "Install the project's npm dependencies and wait for the install to end.", runNpmInstall},
    {"trust", "PROJECT.zdp", 1, 1, {"--off"},
        "Trust a project to run editor plug-ins (or withdraw trust with --off).", runTrust},
    {"recent", "", 0, 0, {},
        "Print the recent projects, most recent first, one path per line.", runRecent},
    {"watch", "PROJECT.zdp", 1, 1, {"--json", "--save"},
        "Load and compile a project, then watch its files, shader folders and project file: each change is handled once its burst of events settled and prints one line with what was recompiled and how long it took; --json prints one JSON object per line. SIGINT or SIGTERM ends it.", runWatch},
    {"demo", "", 0, 0, {"--json"},
        "Create a project in a temporary directory, save it, reopen it and print the summary.", runDemo},
};

/* Accepted before or after the command */
const char* const GlobalOptions[]{"--resources", "--quiet", "--jobs", "--cache-url", "--help", "--version"};

bool isGlobalOption(const std::string& name) {
    for(const char* g: GlobalOptions) if(name == g) return true;
    return false;
}

const OptionSpec* findOption(const std::string& name) {
    for(const OptionSpec& o: Options) if(name == o.name) return &o;
    return nullptr;
}

void printUsage(std::FILE* out) {
    std::fprintf(out, "Usage: zandelle COMMAND [OPTIONS] [ARGUMENTS]\n\nCommands:\n");
    for(const CommandSpec& c: Commands)
        std::fprintf(out, "  %-11s %-14s %s\n", c.name, c.arguments, c.help);
    std::fprintf(out, "\nGlobal options:\n");
    for(const char* name: GlobalOptions) {
        const OptionSpec* o = findOption(name);
        const std::string left = std::string{o->name} + (o->valueName ? std::string{" "} + o->valueName : "");
        std::fprintf(out, "  %-16s %s\n", left.c_str(), o->help);
    }
    std::fprintf(out, "\nRun 'zandelle COMMAND --help' for the options of a command.\n");
}

void printCommandHelp(const CommandSpec& c) {
    std::printf("Usage: zandelle %s [OPTIONS] %s\n\n%s\n\nOptions:\n", c.name, c.arguments, c.help);
    std::vector<const char*> names = c.options;
    for(const char* g: GlobalOptions) names.push_back(g);
    for(const char* name: names) {
        const OptionSpec* o = findOption(name);
        std::string left = std::string{o->name} + (o->valueName ? std::string{" "} + o->valueName : "");
        std::printf("  %-26s %s\n", left.c_str(), o->help);
    }
}

/* One line: scripts see what was wrong, people where to look */
int usageError(const std::string& message) {
    std::fprintf(stderr, "zandelle: %s (see zandelle --help)\n", message.c_str());
    return 2;
}

/* Per-user lists land where Linux users look for them */
void setUserSettingsLocation() {
    if(std::getenv("APPDATA")) return;
    std::string base;
    if(const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) base = xdg;
    else if(const char* home = std::getenv("HOME"); home && *home) base = std::string{home} + "/.config";
    else return;
    ::setenv("APPDATA", base.c_str(), 1);
}

std::string defaultResourcesDirectory() {
    const std::string binaryDirectory = Path::path(Path::executableLocation());
    for(const char* candidate: {"../resources", "../share/zandelle/resources"}) {
        const std::string path = Path::join(binaryDirectory, candidate);
        if(Path::isDirectory(path)) return Path::absolute(path);
    }
    return ZANDELLE_BUILD_RESOURCES_DIR;
}

}

int main(int argc, char** argv) {
    /* Global options may stand anywhere; the first other word is the
       command, and options of the command follow it */
    const CommandSpec* command = nullptr;
    Invocation invocation;
    for(int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if(arg == "-h") {
            invocation.options["--help"] = "";
            continue;
        }
        /* The value that removes a member in set */
        if(arg == "--remove" && command && std::string_view{command->name} == "set") {
            invocation.arguments.push_back(arg);
            continue;
        }
        if(arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            const OptionSpec* option = findOption(arg);
            bool allowed = isGlobalOption(arg);
            if(option && command) for(const char* name: command->options) allowed = allowed || arg == name;
            if(!allowed) return usageError(command ? "unknown option '" + arg + "' for " + command->name :
                "unknown global option '" + arg + "'");
            if(option->valueName) {
                if(i + 1 >= argc) return usageError(arg + " needs a value");
                const std::string value = argv[++i];
                if(std::string_view{option->valueName} == "SECONDS") {
                    char* end = nullptr;
                    const double seconds = std::strtod(value.c_str(), &end);
                    if(value.empty() || *end || !(seconds >= 0.0 && seconds <= 1e6))
                        return usageError(arg + " needs a number of seconds, not '" + value + "'");
                }
                if(arg == "--jobs") {
                    const Result<int> jobs = JobSystem::parseWorkerCount(value);
                    if(!jobs) return usageError("--jobs: " + jobs.error());
                    invocation.jobs = *jobs;
                }
                invocation.options[arg] = value;
            } else invocation.options[arg] = "";
        } else if(!command) {
            for(const CommandSpec& c: Commands) if(arg == c.name) command = &c;
            if(!command && arg != "help") return usageError("unknown command '" + arg + "'");
            if(!command) invocation.options["--help"] = "";
        } else invocation.arguments.push_back(arg);
    }
    if(invocation.has("--version")) {
        std::printf("ZandelleProjectFiles %s\nProject file version %d.%d.%d prerelease %d\n", ZANDELLE_LIBRARY_VERSION,
            CurrentProjectVersion.major, CurrentProjectVersion.minor, CurrentProjectVersion.patch,
            CurrentProjectVersion.prerelease);
        return 0;
    }
    if(invocation.has("--help")) {
        if(command) printCommandHelp(*command);
        else printUsage(stdout);
        return 0;
    }
    if(!command) return usageError("no command given");
    if(invocation.arguments.size() < command->minArguments || invocation.arguments.size() > command->maxArguments)
        return usageError(std::string{"usage: zandelle "} + command->name + " " + command->arguments);

    /* The option wins over the environment; a URL that does not parse is
       refused here, naming what is wrong but never the URL, which may hold a
       password */
    const char* environmentUrl = std::getenv("ZANDELLE_CACHE_URL");
    invocation.cacheUrl = invocation.has("--cache-url") ? invocation.option("--cache-url") : environmentUrl ? environmentUrl : "";
    if(!invocation.cacheUrl.empty()) {
        const Result<SharedCacheUrl> url = SharedCacheUrl::parse(invocation.cacheUrl);
        if(!url) return usageError(std::string{invocation.has("--cache-url") ? "--cache-url" : "ZANDELLE_CACHE_URL"} + ": " + url.error());
    }

    setUserSettingsLocation();
    invocation.resourcesPath = invocation.has("--resources") ? Path::absolute(invocation.option("--resources")) : defaultResourcesDirectory();
    /* Without its default font no project can be initialised */
    const std::string font = Path::join(invocation.resourcesPath, "fonts/DejaVuSans.ttf");
    if(!Path::readString(font)) {
        std::fprintf(stderr, "zandelle: not a resources directory (%s cannot be read: %s)\n", font.c_str(), std::strerror(errno));
        return 1;
    }
    installLogSink(invocation);
    return command->run(invocation);
}
