#include "Commands.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ctime>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "AssetCompiler/AssetCompiler.h"
#include "AssetCompiler/CheckShaders.h"

#include "Base/Log.h"
#include "Base/Path.h"
#include "Base/String.h"
#include "Devices/RemoteDevices.h"
#include "Editor/ProjectFile.h"
#include "Editor/ZandelleEditor.h"
#include "ProgressBars.h"
#include "Report.h"
#include "Summary.h"
#include "Tools/ChangeHandlers.h"
#include "Tools/Import.h"
#include "Tools/NewProject.h"
#include "Tools/Npm.h"
#include "Tools/ProjectFiles.h"
#include "Tools/ProjectLoad.h"
#include "Tools/ProjectLock.h"

namespace ZandelleEngine { namespace Cli {

namespace {

std::atomic<std::size_t> warningCount{0}, errorCount{0};

/* The record of the editor's run, which the log sink hands every line to,
   and when the run started */
std::mutex recordedRunMutex;
std::shared_ptr<RunRecord> recordedRun;
std::string runStartedAt;

}

void configureEditor(ZandelleEditor& editor, const Invocation& invocation) {
    editor.resourcesPath = invocation.resourcesPath;
    editor.shaderDirectory = Path::join(invocation.resourcesPath, "shaders");
    editor.sharedCacheUrl = invocation.cacheUrl;
    editor.npmTimeout = std::chrono::milliseconds{std::int64_t(invocation.seconds("--npm-timeout", 300.0)*1000.0)};
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    char when[32]{};
    std::strftime(when, sizeof(when), "%Y-%m-%d %H:%M:%S UTC", gmtime_r(&now, &utc));
    std::lock_guard<std::mutex> lock{recordedRunMutex};
    recordedRun = editor.runRecord;
    runStartedAt = when;
}

/* npm runs the lifecycle scripts of the packages it installs, the
   project's own among them: it runs only for a project whose plug-ins the
   user trusts (zandelle trust). Otherwise the editor gets no npm to run. */
bool allowNpm(ZandelleEditor& editor, const std::string& path) {
    std::vector<std::string> trusted;
    readPluginEnabledProjects(trusted);
    if(std::find(trusted.begin(), trusted.end(), Path::absolute(path)) != trusted.end()) return true;
    editor.npmExecutable.clear();
    return false;
}

void warnNpmNotRun(const std::string& path) {
    Warning{} << "npm was not run for this untrusted project; to allow it: zandelle trust" << path;
}

/* The file a save of @p path writes */
std::string savedPath(const std::string& path) {
    return String::endsWith(path, ".zdp") ? path : path + ".zdp";
}

/* Holds the lock of the project saved at @p path for the rest of a command
   that saves it; null, after one line, when it could not be taken */
std::unique_ptr<ProjectLock> lockProject(const Invocation& invocation, const std::string& path) {
    const double seconds = invocation.seconds("--lock-wait", 30.0);
    auto lock = std::make_unique<ProjectLock>(path, std::chrono::milliseconds{std::int64_t(seconds*1000.0)});
    if(lock->status() == ProjectLock::Status::Locked) return lock;
    if(lock->status() == ProjectLock::Status::Busy)
        std::fprintf(stderr, "zandelle: %s is locked by process %s; gave up after waiting %g s (--lock-wait)\n",
            path.c_str(), lock->holder() ? std::to_string(lock->holder()).c_str() : "(unknown)", seconds);
    else std::fprintf(stderr, "zandelle: cannot lock %s: %s\n", lock->path().c_str(), std::strerror(errno));
    return nullptr;
}

namespace {

/* Waits, with progress bars, until every job has ended; the seconds since
   @p compileEnd */
double waitForJobs(ZandelleEditor& editor, std::chrono::steady_clock::time_point compileEnd) {
    ProgressBars bars{editor};
    editor.jobSystem->waitForIdle();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - compileEnd).count();
}

}

bool loadAndWait(ZandelleEditor& editor, const std::string& path, LoadTimes& times) {
    if(!allowNpm(editor, path) && isApiPackageOutdated(Path::path(Path::absolute(path)))) warnNpmNotRun(path);
    const auto start = std::chrono::steady_clock::now();
    const std::optional<int> job = loadProject(path, editor);
    if(!job) return false;
    {
        ProgressBars bars{editor};
        editor.jobSystem->wait(*job);
    }
    /* The finishing job compiled everything and dispatched the jobs */
    const auto compileEnd = editor.assetCompiler ? editor.assetCompiler->lastCompileEnd : std::chrono::steady_clock::now();
    times.jobsSeconds = waitForJobs(editor, compileEnd);
    times.loadSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
}

/* With --report, writes the report of @p summary and times it; false, with
   one line, when the file cannot be written */
bool writeReport(SummaryData& summary, const Invocation& invocation) {
    if(!invocation.has("--report")) return true;
    const std::string path = invocation.option("--report");
    const auto start = std::chrono::steady_clock::now();
    if(!Path::writeAtomic(path, reportToHtml(summary), Path::Sync::Rewritable)) {
        Error{} << "zandelle: cannot write the report to" << path;
        return false;
    }
    summary.reportSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
}

SummaryData summaryOf(ZandelleEditor& editor) {
    std::lock_guard<std::mutex> lock{recordedRunMutex};
    return collectSummary(editor, runStartedAt);
}

/* A load or save that failed still gets its report: its lines say why */
int failedRun(ZandelleEditor& editor, const Invocation& invocation) {
    SummaryData summary = summaryOf(editor);
    writeReport(summary, invocation);
    return 1;
}

std::string jsonString(std::string_view text) {
    JsonValue value{rapidjson::StringRef(text.data(), rapidjson::SizeType(text.size()))};
    return Json::toString(value, 0).value_or("\"\"");
}

namespace {

int printSummary(ZandelleEditor& editor, const Invocation& invocation, const LoadTimes& times) {
    SummaryData summary = summaryOf(editor);
    summary.loadSeconds = times.loadSeconds;
    summary.jobsSeconds = times.jobsSeconds;
    /* Timed after the jobs, so that it competes with nothing */
    if(invocation.has("--timings") && summary.encoderRuns.runs) summary.encoderStartupSeconds = basisStartupSeconds();
    if(!writeReport(summary, invocation)) return 1;
    if(invocation.has("--json")) std::printf("%s\n", summaryToJson(summary).c_str());
    else std::printf("%s", summaryToText(summary).c_str());
    /* The step times follow the text; with --json they are in its timings */
    if(invocation.has("--timings") && !invocation.has("--json")) std::printf("%s", stepTimesToText(summary).c_str());
    std::fflush(stdout);
    return 0;
}

}

void installLogSink(const Invocation& invocation) {
    const bool json = invocation.has("--json");
    Debug::setQuiet(invocation.has("--quiet"));
    Debug::setSink([json](LogLevel level, std::string_view line) {
        if(level == LogLevel::Warning) ++warningCount;
        if(level == LogLevel::Error) ++errorCount;
        {
            std::lock_guard<std::mutex> lock{recordedRunMutex};
            if(recordedRun) recordedRun->addLogLine(level, line);
        }
        ProgressBars::printAbove((level == LogLevel::Debug && !json) ? stdout : stderr, line);
    });
}

int runOpen(Invocation& invocation) {
    ZandelleEditor editor{invocation.jobs};
    configureEditor(editor, invocation);
    LoadTimes times;
    if(!loadAndWait(editor, invocation.arguments[0], times)) return 1;
    return printSummary(editor, invocation, times);
}

int runCompile(Invocation& invocation) {
    /* Loading compiles the whole project in its finishing job, which times
       each step */
    ZandelleEditor editor{invocation.jobs};
    configureEditor(editor, invocation);
    LoadTimes times;
    if(!loadAndWait(editor, invocation.arguments[0], times)) return failedRun(editor, invocation);
    /* Checked before the summary, so that its error count includes them; a
       shader that does not compile fails the command, as a file that does
       not import fails an import */
    const std::size_t shaderErrors = invocation.has("--check-shaders") ? checkPipelineShaders(editor) : 0;
    const int printed = printSummary(editor, invocation, times);
    return shaderErrors ? 1 : printed;
}

int runImport(Invocation& invocation) {
    const std::unique_ptr<ProjectLock> lock = lockProject(invocation, savedPath(invocation.arguments[0]));
    if(!lock) return 1;
    ZandelleEditor editor{invocation.jobs};
    configureEditor(editor, invocation);
    LoadTimes times;
    if(!loadAndWait(editor, invocation.arguments[0], times)) return failedRun(editor, invocation);
    bool imported = true;
    for(std::size_t i = 1; i != invocation.arguments.size(); ++i)
        imported &= loadFile(Path::absolute(invocation.arguments[i]), editor, LoadMode::Reimport, false);
    /* Each import compiled what it added; the jobs counted are theirs */
    times.jobsSeconds = waitForJobs(editor, std::chrono::steady_clock::now());
    if(!saveProject(editor, false)) return failedRun(editor, invocation);
    const int printed = printSummary(editor, invocation, times);
    return imported ? printed : 1;
}

int runUpgrade(Invocation& invocation) {
    const std::string path = invocation.arguments[0];
    ZandelleEditor editor{invocation.jobs};
    configureEditor(editor, invocation);

    if(invocation.has("--dry-run")) {
        std::vector<MigrationStep> report;
        std::vector<std::string> notes;
        if(!dryRunMigrations(path, editor, report, notes)) return 1;
        if(report.empty()) std::printf("No migration needed.\n");
        for(const MigrationStep& step: report) {
            std::printf("%s: %s\n", step.name.c_str(), step.changedRecords.empty() ?
                "no record changed" : String::join(step.changedRecords, ", ").c_str());
        }
        for(const std::string& note: notes) std::printf("would write %s\n", note.c_str());
        return 0;
    }

    /* Saving creates a missing directory: one the user did not mean (a typo
       in --out) would be created as well */
    const std::string target = invocation.has("--out") ? invocation.option("--out") : path;
    if(const std::string directory = Path::path(target); !directory.empty() && !Path::isDirectory(directory)) {
        std::fprintf(stderr, "zandelle: no directory %s to save into\n", directory.c_str());
        return 1;
    }
    const std::unique_ptr<ProjectLock> lock = lockProject(invocation, savedPath(target));
    if(!lock) return 1;
    LoadTimes times;
    if(!loadAndWait(editor, path, times)) return 1;
    return saveProject(target, editor) ? 0 : 1;
}

int runNew(Invocation& invocation) {
    const std::string path = invocation.arguments[0];
    if(path.empty()) {
        std::fprintf(stderr, "zandelle: new needs a project path (see zandelle --help)\n");
        return 2;
    }
    ZandelleEditor editor{invocation.jobs};
    configureEditor(editor, invocation);
    /* Success is a save that happened, not a file that happens to be there */
    bool saved = false;
    editor.projectSavedListeners.push_back([&saved](ZandelleEditor&) { saved = true; });
    const std::string savedPath = Cli::savedPath(path);
    /* Checked first: a failed save would leave the new project's editor
       state and cache behind */
    if(Path::isDirectory(savedPath)) {
        std::fprintf(stderr, "zandelle: %s is a directory\n", savedPath.c_str());
        return 1;
    }
    if(!String::isValidUtf8(savedPath) || !String::isValidUtf8(invocation.option("--name"))) {
        std::fprintf(stderr, "zandelle: the project's name or path is not valid UTF-8\n");
        return 1;
    }
    /* A project in a directory that does not exist yet has no other writer */
    std::unique_ptr<ProjectLock> lock;
    if(Path::isDirectory(Path::path(Path::absolute(savedPath))) && !(lock = lockProject(invocation, savedPath))) return 1;
    /* Without --name the project is named after its file */
    const std::string name = invocation.has("--name") ? invocation.option("--name") :
        Path::splitExtension(Path::filename(savedPath)).first;

    if(invocation.has("--template")) {
        const std::string templatePath = invocation.option("--template");
        if(!Path::exists(templatePath) || Path::isDirectory(templatePath)) {
            std::fprintf(stderr, "zandelle: no template project at %s\n", templatePath.c_str());
            return 1;
        }
        if(!newTemplateProject(editor, name, savedPath, templatePath)) return 1;
    } else if(!newProject(editor, name, path, invocation.has("--package"))) return 1;

    editor.jobSystem->waitForIdle();
    return saved ? 0 : 1;
}

int runNpmInstall(Invocation& invocation) {
    const std::string path = invocation.arguments[0];
    if(!Path::exists(path) || Path::isDirectory(path)) {
        std::fprintf(stderr, "zandelle: no project file at %s\n", path.c_str());
        return 1;
    }
    ZandelleEditor editor{invocation.jobs};
    configureEditor(editor, invocation);
    if(!allowNpm(editor, path)) {
        warnNpmNotRun(path);
        return 1;
    }
    /* npm needs only the project's directory: no load, no compile */
    ProjectData& project = editor.data().project();
    project.setRoot(Path::absolute(path));
    project.setFilename(Path::absolute(path));
    const std::optional<int> job = npmInstall(editor, invocation.has("--prefer-offline"));
    if(!job) {
        std::fprintf(stderr, "zandelle: no package.json in %s\n", project.root().c_str());
        return 1;
    }
    ProgressBars bars{editor};
    return editor.jobSystem->wait(*job) == JobResult::Success ? 0 : 1;
}

int runDevices(Invocation& invocation) {
    RemoteDevices devices{invocation.has("--adb") ? invocation.option("--adb") : std::string{"adb"}};
    devices.refresh();
    for(std::size_t i = 0; i != devices.deviceCount(); ++i)
        std::printf("%s\n", devices.describeDevice(i).c_str());
    std::fflush(stdout);
    /* The built-in entries are always listed; a failed adb is in the log */
    return errorCount == 0 ? 0 : 1;
}

int runTrust(Invocation& invocation) {
    const std::string path = invocation.arguments[0];
    ProjectFile project;
    const std::optional<std::string> text = Path::readString(path);
    if(!String::endsWith(path, ".zdp") || !text || !project.parse(*text) ||
       !project["settings/project/version"].isSetInProject()) {
        std::fprintf(stderr, "zandelle: not a project file: %s\n", path.c_str());
        return 1;
    }
    const bool enable = !invocation.has("--off");
    if(!setPluginsEnabledForProject(path, enable)) return 1;
    std::printf("%s %s\n", enable ? "Plugins enabled for" : "Plugins disabled for", Path::absolute(path).c_str());
    return 0;
}

int runRecent(Invocation&) {
    for(const std::string& path: readRecentProjects()) std::printf("%s\n", path.c_str());
    return 0;
}

int runDemo(Invocation& invocation) {
    std::string directory = Path::join(Path::fromNativeSeparators(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp"), "zandelle-demo-XXXXXX");
    if(!::mkdtemp(directory.data())) {
        std::fprintf(stderr, "zandelle: cannot create a temporary directory\n");
        return 1;
    }
    const std::string path = Path::join(directory, "Demo.zdp");
    ZandelleEditor editor{invocation.jobs};
    configureEditor(editor, invocation);
    editor.suppressRecentProjects = true;
    /* A new project with the npm package set-up, saved, then opened again
       as a user would */
    if(!newProject(editor, "Demo", path, true) || !Path::exists(path)) return 1;
    editor.jobSystem->waitForIdle();
    Debug{} << "Created the demo project in" << directory;
    LoadTimes times;
    if(!loadAndWait(editor, path, times)) return 1;
    return printSummary(editor, invocation, times);
}

}}

namespace ZandelleEngine { namespace Cli {

namespace {

/* Step names, indexed by AssetType */
constexpr const char* StepNames[AssetTypeCount]{"objects", "components", "meshes", "images", "shaders", "pipelines",
    "pipelineUpdates", "textures", "materials", "animations", "skins", "settings", "sky", "fonts", "languages"};

/* What one handler call did, seen from outside it */
struct HandlerRun {
    std::string handler, path;
    std::vector<std::pair<std::string, std::uint64_t>> compiled;
    std::vector<std::string> changedObjects, transformedObjects;
    bool redraw = false;
};

struct HandlerSnapshot {
    std::array<StepCount, AssetTypeCount> steps;
    std::uint32_t settings, pipelineKinds, settingsRevision;
    std::size_t changed, moved;
};

HandlerSnapshot snapshot(ZandelleEditor& editor) {
    EditorSceneData& scene = editor.data().scene();
    return {editor.assetCompiler->stepCounts, scene.assetTypeCounter(AssetType::Settings),
            scene.assetTypeCounter(AssetType::PipelineUpdates), scene.settingsRevision,
            editor.changedObjects.size(), editor.transformedObjects.size()};
}

std::string describe(const HandlerRun& run, bool json) {
    std::vector<std::string> parts;
    if(json) {
        for(const auto& step: run.compiled) parts.push_back(jsonString(step.first) + ": " + std::to_string(step.second));
        auto list = [](const std::vector<std::string>& ids) {
            std::vector<std::string> quoted;
            for(const std::string& id: ids) quoted.push_back(jsonString(id));
            return "[" + String::join(quoted, ", ") + "]";
        };
        return "{\"handler\": " + jsonString(run.handler) + ", \"path\": " + jsonString(run.path) +
            ", \"compiled\": {" + String::join(parts, ", ") + "}, \"changedObjects\": " + list(run.changedObjects) +
            ", \"transformedObjects\": " + list(run.transformedObjects) + ", \"redraw\": " + (run.redraw ? "true" : "false") + "}";
    }
    for(const auto& step: run.compiled) parts.push_back("compiled " + step.first + " " + std::to_string(step.second));
    if(!run.changedObjects.empty()) parts.push_back("changed objects " + String::join(run.changedObjects, " "));
    if(!run.transformedObjects.empty()) parts.push_back("moved objects " + String::join(run.transformedObjects, " "));
    if(run.redraw) parts.push_back("redraw");
    return run.handler + " " + run.path + ": " + (parts.empty() ? std::string{"nothing"} : String::join(parts, ", "));
}

}

int runSet(Invocation& invocation) {
    const std::vector<std::string>& arguments = invocation.arguments;
    if(arguments.size() % 2 == 0) {
        std::fprintf(stderr, "zandelle: %s has no value\n", arguments.back().c_str());
        return 2;
    }
    /* Values are checked before anything is loaded */
    std::vector<std::optional<JsonDocument>> values;
    for(std::size_t i = 2; i < arguments.size(); i += 2) {
        if(arguments[i] == "--remove") {
            values.emplace_back();
            continue;
        }
        JsonDocument& value = values.emplace_back(std::in_place).value();
        if(const std::optional<std::string> error = ChangeTracker::parseValue(arguments[i], value)) {
            std::fprintf(stderr, "zandelle: the value for %s cannot be read as JSON: %s\n",
                arguments[i - 1].c_str(), error->c_str());
            return 2;
        }
    }

    /* From the read to the rename, no other command saves this project */
    const std::unique_ptr<ProjectLock> lock = lockProject(invocation, savedPath(arguments[0]));
    if(!lock) return 1;

    /* What the load reports is held back until the pointers are known to
       name record members: a bad one is a usage error of one line */
    std::vector<std::pair<LogLevel, std::string>> held;
    const Debug::Sink sink = Debug::setSink([&held](LogLevel level, std::string_view line) { held.emplace_back(level, line); });
    auto release = [&] {
        Debug::setSink(sink);
        if(sink) for(const auto& [level, line]: held) sink(level, line);
        held.clear();
    };

    ZandelleEditor editor{invocation.jobs};
    configureEditor(editor, invocation);
    LoadTimes times;
    if(!loadAndWait(editor, arguments[0], times)) {
        release();
        return 1;
    }

    ChangeTracker& tracker = *editor.changeTracker;
    for(std::size_t i = 0; i != values.size(); ++i) {
        const std::string& pointer = arguments[1 + 2*i];
        if(const std::optional<std::string> refused = tracker.refusal(pointer, values[i] ? &*values[i] : nullptr)) {
            Debug::setSink(sink);
            std::fprintf(stderr, "zandelle: %s\n", refused->c_str());
            return 2;
        }
        if(values[i]) tracker.setValue(pointer, *values[i]);
        else tracker.removeValue(pointer);
    }

    release();

    std::vector<HandlerRun> runs;
    HandlerSnapshot before{};
    tracker.setObserver([&](std::string_view handler, const Change& change, bool done) {
        if(!done) {
            before = snapshot(editor);
            return;
        }
        const HandlerSnapshot after = snapshot(editor);
        HandlerRun& run = runs.emplace_back();
        run.handler = handler;
        run.path = change.path;
        for(std::size_t t = 0; t != AssetTypeCount; ++t)
            if(const std::uint64_t records = after.steps[t].records - before.steps[t].records)
                run.compiled.emplace_back(StepNames[t], records);
        if(after.settings != before.settings) run.compiled.emplace_back("settings", 1);
        /* Compiling pipelines reclassifies them anyway: the sky is named
           only when it was updated on its own */
        const std::size_t pipelines = std::size_t(AssetType::Pipelines);
        if(after.pipelineKinds != before.pipelineKinds && after.steps[pipelines].calls == before.steps[pipelines].calls)
            run.compiled.emplace_back("sky", 1);
        run.changedObjects.assign(editor.changedObjects.begin() + std::min(before.changed, after.changed), editor.changedObjects.end());
        run.transformedObjects.assign(editor.transformedObjects.begin() + std::min(before.moved, after.moved), editor.transformedObjects.end());
        run.redraw = after.settingsRevision != before.settingsRevision;
    });
    tracker.dispatch();
    tracker.setObserver({});
    const ListedObjects objects = compileListedObjects(editor);
    editor.jobSystem->waitForIdle();
    if(!saveProject(editor, false)) return 1;

    const bool json = invocation.has("--json");
    std::vector<std::string> lines;
    for(const HandlerRun& run: runs) lines.push_back(describe(run, json));
    if(json) std::printf("{\"handlers\": [%s], \"objects\": {\"changed\": %zu, \"moved\": %zu}}\n",
        String::join(lines, ", ").c_str(), objects.changed, objects.moved);
    else {
        for(const std::string& line: lines) std::printf("%s\n", line.c_str());
        std::printf("objects: %zu changed, %zu moved\n", objects.changed, objects.moved);
    }
    std::fflush(stdout);
    return 0;
}

}}
