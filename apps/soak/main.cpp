// zandelle-soak: kills zandelle at random moments and checks that nothing
// was lost. A generated project of many objects is upgraded once without
// interruption to learn the new file; then, trial by trial, the old file is
// put back, an upgrade is started and SIGKILLed after a random delay, and
// the project file must be byte for byte the old or the new one, the recent
// list and .editor/state.json must be valid, and no saved file may have
// more than one temporary file beside it. The same is then done, on a
// smaller project with an image, for `set`, for `import` of the image and
// for a compile that fills the tile cache; after each of those kills a
// compile must find no damaged cache file. Last, pairs of `set` run at
// once on one project, and both edits must be saved.
//
//     zandelle-soak ZANDELLE WORKDIR [TRIALS] [OBJECTS] [SEED]
//
// TRIALS: kills of upgrades; the set, import and compile kills and the
// writer pairs get half as many each.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include "Base/Path.h"
#include "Base/String.h"
#include "Editor/EditorState.h"
#include "Editor/ProjectFile.h"
#include "Engine/ImageTools.h"
#include "support/GeneratedProject.h"

using namespace ZandelleEngine;

extern "C" char** environ;

namespace {

/* zandelle with @p arguments and --quiet; its stderr goes to @p errors
   (default: nowhere) */
pid_t start(const std::string& zandelle, std::vector<std::string> arguments, const std::string& errors = "/dev/null") {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY|O_CREAT|O_TRUNC, 0644);
    arguments.insert(arguments.begin(), zandelle);
    arguments.push_back("--quiet");
    std::vector<char*> argv;
    for(std::string& a: arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if(::posix_spawn(&pid, zandelle.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

pid_t startUpgrade(const std::string& zandelle, const std::string& project) {
    return start(zandelle, {"upgrade", project});
}

int exitStatus(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

/* What the kills of one phase left */
struct KillTally {
    int oldCount = 0, newCount = 0, finished = 0;
};

/* Lets the command @p pid run for a random part of its uninterrupted time
   @p seconds (every other trial in its last third, where the saves
   happen), kills it, and classifies the project file it was writing as
   the old text, the new one or neither (a problem) */
void killAndClassify(pid_t pid, int trial, double seconds, std::mt19937& random, const std::string& project,
    const std::string& oldText, const std::string& newText, KillTally& tally, std::vector<std::string>& problems)
{
    std::uniform_real_distribution<double> anywhere{0.0, seconds*1.1}, late{seconds*0.67, seconds*1.05};
    std::this_thread::sleep_for(std::chrono::duration<double>(trial % 2 ? anywhere(random) : late(random)));
    ::kill(pid, SIGKILL);
    if(exitStatus(pid) == 0) ++tally.finished;
    const std::string text = Path::readString(project).value_or("<unreadable>");
    if(text == oldText) ++tally.oldCount;
    else if(text == newText) ++tally.newCount;
    else problems.push_back(fmt::format("project file is neither old nor new ({} bytes)", text.size()));
}

/* Temporary files beside each saved file: more than one for any is a pile-up */
std::size_t temporaryFiles(const std::string& directory, bool& pileUp) {
    std::size_t count = 0;
    for(const std::string& name: Path::list(directory).value_or(std::vector<std::string>{})) {
        if(!String::endsWith(name, ".zandelle-tmp") && name.find(".tmp") == std::string::npos) continue;
        ++count;
        if(!String::endsWith(name, ".zandelle-tmp")) pileUp = true;
    }
    return count;
}

/* Damaged tile cache files that a compile of @p project reports; -1 when
   the compile failed */
int cacheDamage(const std::string& zandelle, const std::string& project, const std::string& errors) {
    const pid_t pid = start(zandelle, {"compile", project}, errors);
    if(pid < 0 || exitStatus(pid) != 0) return -1;
    int damaged = 0;
    for(const std::string& line: String::split(Path::readString(errors).value_or(""), '\n'))
        if(line.find("Failed loading image cache file") != std::string::npos) ++damaged;
    return damaged;
}

/* Encoded tiles are what the kills must not damage: they go, so that the
   next run encodes and writes them again */
void removeTiles(const std::string& cache) {
    for(const std::string& name: Path::list(cache).value_or(std::vector<std::string>{}))
        if(String::endsWith(name, ".basis")) Path::remove(Path::join(cache, name));
}

/* Kills one command again and again on a project that starts as @p oldText
   each time; the project must end old or as an uninterrupted run leaves
   it (@p newText receives that), and a compile afterwards must find every
   cache file intact */
int killTrials(const char* what, const std::string& zandelle, const std::vector<std::string>& arguments,
    const std::string& project, const std::string& oldText, std::string& newText, int trials, std::mt19937& random)
{
    const std::string directory = Path::path(project);
    const std::string cache = Path::join(directory, "cache"), errors = Path::join(directory, "../errors.txt");
    /* The shorter of two uninterrupted runs: on a shared machine one of
       them may take much longer, and the kills would land after the end */
    double seconds = 0.0;
    for(int run = 0; run != 2; ++run) {
        removeTiles(cache);
        if(!Path::writeAtomic(project, oldText)) return 1;
        const auto began = std::chrono::steady_clock::now();
        const pid_t first = start(zandelle, arguments);
        if(first < 0 || exitStatus(first) != 0) {
            std::fprintf(stderr, "zandelle-soak: the uninterrupted %s failed\n", what);
            return 1;
        }
        const double taken = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        seconds = run ? std::min(seconds, taken) : taken;
    }
    newText = Path::readString(project).value_or("");

    KillTally tally;
    int damaged = 0, failures = 0;
    for(int trial = 1; trial <= trials; ++trial) {
        removeTiles(cache);
        if(!Path::writeAtomic(project, oldText)) return 1;
        const pid_t pid = start(zandelle, arguments);
        if(pid < 0) return 1;
        std::vector<std::string> problems;
        killAndClassify(pid, trial, seconds, random, project, oldText, newText, tally, problems);
        const int damage = cacheDamage(zandelle, project, errors);
        if(damage) problems.push_back(damage < 0 ? std::string{"the compile afterwards failed"} :
            fmt::format("{} damaged cache files", damage));
        damaged += std::max(damage, 0);
        bool pileUp = false;
        std::size_t temporaries = 0;
        for(const std::string& d: {directory, Path::join(directory, ".editor"), cache})
            temporaries += temporaryFiles(d, pileUp);
        if(pileUp) problems.push_back(fmt::format("{} temporary files", temporaries));

        for(const std::string& p: problems) std::printf("%s trial %d: %s\n", what, trial, p.c_str());
        if(!problems.empty()) ++failures;
    }
    const std::string outcome = oldText == newText ? fmt::format("project unchanged {}, other {}", tally.oldCount, trials - tally.oldCount) :
        fmt::format("project old {}, new {}, other {}", tally.oldCount, tally.newCount, trials - tally.oldCount - tally.newCount);
    std::printf("%s: %d kills within %.2f s; %s; %d finished before the kill; "
        "damaged cache files after them %d; %d trials with problems\n",
        what, trials, seconds*1.1, outcome.c_str(), tally.finished, damaged, failures);
    return failures ? 1 : 0;
}

/* Pairs of set at once on one project, each adding its own object: both
   must succeed and both objects be saved */
int writerPairs(const std::string& zandelle, const std::string& project, int pairs) {
    int lost = 0, failed = 0;
    for(int pair = 1; pair <= pairs; ++pair) {
        const std::string a = fmt::format("a{}", pair), b = fmt::format("b{}", pair);
        const pid_t first = start(zandelle, {"set", project, "/objects/" + a, "{}"});
        const pid_t second = start(zandelle, {"set", project, "/objects/" + b, "{}"});
        if(exitStatus(first) != 0 || exitStatus(second) != 0) ++failed;
        ProjectFile file;
        const std::optional<std::string> text = Path::readString(project);
        for(const std::string& key: {a, b})
            if(!text || !file.parse(*text, nullptr) || !file.objects().member(key).isSetInProject()) {
                std::printf("writers %d: the edit of %s was lost\n", pair, key.c_str());
                ++lost;
            }
    }
    std::printf("two writers at once: %d pairs, %d edits lost, %d commands failed\n", pairs, lost, failed);
    return lost || failed ? 1 : 0;
}

}

int main(int argc, char** argv) {
    /* Each phase's figures show as soon as it ends */
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if(argc < 3) {
        std::fprintf(stderr, "usage: zandelle-soak ZANDELLE WORKDIR [TRIALS] [OBJECTS] [SEED]\n");
        return 2;
    }
    const std::string zandelle = Path::absolute(argv[1]);
    const std::string work = Path::absolute(argv[2]);
    const int trials = argc > 3 ? std::atoi(argv[3]) : 100;
    const std::size_t objects = argc > 4 ? std::size_t(std::atol(argv[4])) : 60000;
    const unsigned seed = argc > 5 ? unsigned(std::atol(argv[5])) : std::random_device{}();
    const std::string appData = Path::join(work, "appdata");
    ::setenv("APPDATA", appData.c_str(), 1);

    const std::string oldText = Generated::project(objects, "[1, 1, 0]");
    const std::string reference = Path::join(work, "reference/Soak.zdp");
    Path::make(Path::path(reference));
    if(!Path::writeAtomic(reference, oldText)) return 1;
    const auto start = std::chrono::steady_clock::now();
    const pid_t first = startUpgrade(zandelle, reference);
    if(first < 0 || exitStatus(first) != 0) {
        std::fprintf(stderr, "zandelle-soak: the uninterrupted upgrade failed\n");
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string newText = Path::readString(reference).value_or("");
    if(newText.empty() || newText == oldText) {
        std::fprintf(stderr, "zandelle-soak: the upgrade changed nothing\n");
        return 1;
    }
    std::printf("%zu objects, %.1f MB; an uninterrupted upgrade takes %.2f s; seed %u\n",
        objects, oldText.size()/1e6, seconds, seed);

    const std::string project = Path::join(work, "project/Soak.zdp");
    Path::make(Path::path(project));
    std::mt19937 random{seed};
    KillTally tally;
    int failures = 0;
    std::size_t mostTemporaries = 0;
    for(int trial = 1; trial <= trials; ++trial) {
        if(!Path::writeAtomic(project, oldText)) return 1;
        const pid_t pid = startUpgrade(zandelle, project);
        if(pid < 0) return 1;
        std::vector<std::string> problems;
        killAndClassify(pid, trial, seconds, random, project, oldText, newText, tally, problems);

        const std::string recent = Path::join(appData, "ZandelleEngine/recent_projects.txt");
        if(Path::exists(recent)) {
            const std::optional<std::string> list = Path::readString(recent);
            if(!list) problems.push_back("recent list unreadable");
            else for(const std::string& line: String::split(*list, '\n'))
                if(line.empty() || line.front() != '/' || !String::endsWith(line, ".zdp"))
                    problems.push_back("recent list holds '" + line + "'");
        }
        const std::string state = Path::join(work, "project/.editor/state.json");
        if(Path::exists(state)) {
            EditorState editorState;
            const std::optional<std::string> stateText = Path::readString(state);
            if(!stateText || !editorState.deserialize(*stateText)) problems.push_back(".editor/state.json is not valid");
        }
        bool pileUp = false;
        std::size_t temporaries = 0;
        for(const std::string& directory: {Path::join(work, "project"), Path::join(work, "project/.editor"), Path::join(appData, "ZandelleEngine")})
            temporaries += temporaryFiles(directory, pileUp);
        mostTemporaries = std::max(mostTemporaries, temporaries);
        if(pileUp || temporaries > 3) problems.push_back(fmt::format("{} temporary files", temporaries));

        for(const std::string& p: problems) std::printf("trial %d: %s\n", trial, p.c_str());
        if(!problems.empty()) ++failures;
    }
    std::printf("%d trials: project old %d, new %d, other %d; %d upgrades finished before the kill; "
        "at most %zu temporary files at once (one per saved file at most); %d trials with problems\n",
        trials, tally.oldCount, tally.newCount, trials - tally.oldCount - tally.newCount, tally.finished, mostTemporaries, failures);

    /* A smaller project with an image that is compressed into tiles */
    const std::string small = Path::join(work, "small/Small.zdp");
    const std::string picture = Path::join(work, "small/picture.png");
    Path::make(Path::path(small));
    Trade::ImageData image{Trade::PixelFormat::RGBA8Unorm, {512, 512}, std::vector<std::uint8_t>(512*512*4)};
    for(std::uint8_t& byte: image.data) byte = std::uint8_t(random());
    if(!ImageTools::writePng(picture, image)) return 1;
    const std::string smallText = Generated::project(2000, "[1, 1, 6, 1]");
    const int shorter = std::max(trials/2, 1);
    int status = failures ? 1 : 0;
    std::string edited, withImage, compiled;
    status |= killTrials("set", zandelle, {"set", small, "/objects/1/name", "\"Killed\""}, small, smallText, edited, shorter, random);
    status |= killTrials("import", zandelle, {"import", small, picture}, small, smallText, withImage, shorter, random);
    status |= killTrials("compile", zandelle, {"compile", small}, small, withImage, compiled, shorter, random);
    status |= writerPairs(zandelle, small, shorter);
    return status;
}
