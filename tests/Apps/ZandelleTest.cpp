// The command line, run as a user runs it: exit codes, what it prints, and
// the files it leaves behind.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <tuple>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Base/Path.h"
#include "Base/String.h"
#include "Devices/Command.h"
#include "Editor/ProjectFile.h"
#include "Engine/ImageTools.h"
#include "Support/RedisServer.h"
#include "Support/TempDirectory.h"
#include "Tools/ProjectLock.h"
#include "Tools/Version.h"

using namespace ZandelleEngine;

namespace {

struct CommandRun {
    int exitCode;
    std::string out;
};

class Zandelle: public ::testing::Test {
    protected:
        /* Runs zandelle with @p arguments (already shell-quoted where needed),
           collecting stdout, both streams or stderr alone, or both streams
           written to a terminal; @p env holds extra assignments, @p cwd the
           directory to run in */
        enum Output { Stdout, Merged, Stderr, Terminal };
        CommandRun run(const std::string& arguments, Output output = Stdout, const std::string& env = {},
            const std::string& cwd = {}) const
        {
            const char* redirect[]{" 2>/dev/null", " 2>&1", " 2>&1 >/dev/null", ""};
            std::string command = (cwd.empty() ? "" : "cd " + q(cwd) + " && ") + "APPDATA=" + q(dir / "appdata") +
                " " + env + " " + q(ZANDELLE_BINARY_DIR "/bin/zandelle") + " " + arguments + redirect[output];
            if(output == Terminal) command = "script -qec " + q(command) + " /dev/null";
            const CommandResult r = runCommand(command);
            return r ? CommandRun{0, r.output()} : CommandRun{r.error().exitCode, r.error().output};
        }
        /* The output of a run that must succeed */
        std::string ok(const std::string& arguments, Output output = Stdout, const std::string& env = {},
            const std::string& cwd = {}) const
        {
            const CommandRun r = run(arguments, output, env, cwd);
            EXPECT_EQ(r.exitCode, 0) << arguments << "\n" << r.out;
            return r.out;
        }
        static std::string q(const std::string& s) { return String::shellQuote(s); }

        /* A project made by `new` at @p relative, with @p options */
        std::string created(const std::string& relative, const std::string& options = "--quiet") const {
            ok("new " + q(dir / relative) + " " + options);
            return dir / relative;
        }

        /* JSON @p text, or the project file at @p path, parsed */
        static std::unique_ptr<ProjectFile> parsed(const std::string& text) {
            auto file = std::make_unique<ProjectFile>();
            EXPECT_TRUE(file->parse(text)) << text;
            return file;
        }
        static std::unique_ptr<ProjectFile> saved(const std::string& path) {
            return parsed(Path::readString(path).value_or(""));
        }

        Testing::TempDirectory dir;
};

}

TEST_F(Zandelle, HelpVersionAndGlobalOptionsStandAnywhere) {
    const std::string help = ok("--help");
    for(const char* command: {"open", "upgrade", "new", "devices", "trust", "recent"})
        EXPECT_NE(help.find(std::string{"  "} + command + " "), std::string::npos) << command;
    EXPECT_NE(ok("upgrade --help").find("--dry-run"), std::string::npos);
    EXPECT_EQ(ok("--help open"), ok("open --help"));
    EXPECT_EQ(ok("--version"),
        "ZandelleProjectFiles " ZANDELLE_LIBRARY_VERSION "\nProject file version 1.1.6 prerelease 1\n");

    const std::string project = dir / "Game.zdp";
    ok("--quiet new " + q(project));
    /* --quiet before and after the command: no Debug lines either way, the
       same summary up to the time it took */
    const std::string before = ok("--quiet --resources " + q(ZANDELLE_RESOURCES_DIR) + " open " + q(project));
    const std::string after = ok("open " + q(project) + " --resources " + q(ZANDELLE_RESOURCES_DIR) + " --quiet");
    EXPECT_EQ(before.substr(0, before.find("Loaded in")), after.substr(0, after.find("Loaded in")));
    EXPECT_EQ(before.find("Loading project from"), std::string::npos) << before;
    /* --jobs sets how many workers run */
    ok("compile " + q(project) + " --quiet --jobs 3 --report " + q(dir / "report.html"));
    EXPECT_NE(Path::readString(dir / "report.html").value_or("").find(", 3 job workers"), std::string::npos);
}

TEST_F(Zandelle, NewOpenUpgradeRecentTrust) {
    const std::string project = created("game/Game.zdp", "--name Space --quiet");
    const std::unique_ptr<ProjectFile> open = parsed(ok("open " + q(project) + " --json --quiet"));
    ProjectFile& summary = *open;
    EXPECT_EQ(summary["project/name"].asString(), "Space");
    EXPECT_EQ(summary["project/version"].asIntArray(), (std::vector<int>{1, 1, 6, 1}));
    /* Counts leave out the placeholder slot: the default font, its material,
       its Text pipeline and MeshVisualizer, every shipped shader */
    const std::pair<const char*, int> counts[]{{"errors", 0}, {"counts/fonts", 1}, {"counts/pipelines", 2},
        {"counts/materials", 1}};
    for(const auto& [member, count]: counts) EXPECT_EQ(summary[member].asInt(-1), count) << member;
    EXPECT_GE(summary["counts/shaders"].asInt(-1), 14);
    /* The default font is built or read from the cache that creating the
       project left; the second time from the cache */
    EXPECT_EQ(summary["jobs/fontsBuilt"].asInt(-1) + summary["jobs/fontsFromCache"].asInt(-1), 1);
    EXPECT_EQ((*parsed(ok("open " + q(project) + " --json --quiet")))["jobs/fontsFromCache"].asInt(-1), 1);

    /* An old project, upgraded to another file: the original stays */
    const std::string old = dir.write("old/Old.zdp", R"({"settings": {"project": {"name": "Old",)"
        R"( "version": [1, 0, 4]}}, "files": [{"fileName": "a.gltf", "importerName": ""}]})");
    const std::string before = *Path::readString(old);
    const std::string dryRun = ok("upgrade " + q(old) + " --dry-run --quiet");
    EXPECT_NE(dryRun.find("migration_1_1_0_convertFilesToResourceSection: files"), std::string::npos) << dryRun;
    EXPECT_EQ(*Path::readString(old), before);
    EXPECT_FALSE(Path::exists(dir / "old/.editor"));
    Path::make(dir / "new");
    ok("upgrade " + q(old) + " --out " + q(dir / "new/Upgraded.zdp") + " --quiet");
    EXPECT_EQ(*Path::readString(old), before);
    EXPECT_EQ((*saved(dir / "new/Upgraded.zdp"))["settings/project/version"].asIntArray(),
        (std::vector<int>{1, 1, 6, 1}));

    /* Opening and saving add to the recent list, most recent first */
    EXPECT_EQ(String::split(ok("recent"), '\n'),
        (std::vector<std::string>{dir / "new/Upgraded.zdp", dir / "old/Old.zdp", project, ""}));

    const std::string trustList = dir / "appdata/ZandelleEngine/plugin_enabled_projects.txt";
    ok("trust " + q(project));
    EXPECT_EQ(*Path::readString(trustList), project);
    EXPECT_NE(run("open " + q(project), Merged).out.find(
        "Plugin support is enabled for this project, loading editor plugins"), std::string::npos);
    ok("trust " + q(project) + " --off");
    EXPECT_EQ(*Path::readString(trustList), "");
}

TEST_F(Zandelle, DevicesThroughAFakeAdb) {
    const std::string adb = dir.write("adb", "#!/bin/sh\ncase \"$*\" in *' devices'*) "
        "printf 'List of devices attached\\nSERIAL1\\tdevice product:x model:y device:z\\n';; esac\n");
    ::chmod(adb.c_str(), 0755);
    EXPECT_NE(ok("devices --adb " + q(adb) + " --quiet").find("SERIAL1"), std::string::npos);
}

TEST_F(Zandelle, NewPackageAndTemplateThenNpmInstall) {
    const std::string withPackage = created("pkg/Pkg.zdp", "--name Rocket --package --quiet");
    EXPECT_NE(Path::readString(dir / "pkg/package.json").value_or("").find("\"Rocket\""), std::string::npos);
    /* A copy of it as a template, renamed and named */
    const std::string copy = created("copy/Copy.zdp", "--name Copied --template " + q(withPackage) + " --quiet");
    EXPECT_EQ((*saved(copy))["settings/project/name"].asString(), "Copied");

    /* npm through a stand-in that records its arguments. It runs the
       project's own scripts: only for a trusted project */
    const std::string npm = dir.write("npm", "#!/bin/sh\necho \"$@\" >> " + q(dir / "npm-args") +
        "\necho installed\n");
    ::chmod(npm.c_str(), 0755);
    const std::string environment = "ZANDELLE_NPM=" + q(npm);
    const std::string notRun = "npm was not run for this untrusted project; to allow it: zandelle trust " + withPackage + "\n";
    const CommandRun untrusted = run("npm-install " + q(withPackage) + " --quiet", Stderr, environment);
    EXPECT_EQ(untrusted.exitCode, 1);
    EXPECT_EQ(untrusted.out, notRun);
    /* A package-lock.json with an old API package asks open for an upgrade */
    dir.write("pkg/package-lock.json", R"({"packages": {"node_modules/@zandelleengine/api": {"version": "1.0.12"}}})");
    const std::string opened = ok("open " + q(withPackage) + " --quiet", Stderr, environment);
    EXPECT_NE(opened.find(notRun), std::string::npos) << opened;
    EXPECT_FALSE(Path::exists(dir / "npm-args"));

    ok("trust " + q(withPackage));
    ok("npm-install " + q(withPackage) + " --prefer-offline --quiet", Merged, environment);
    ok("open " + q(withPackage) + " --quiet", Merged, environment);
    EXPECT_EQ(Path::readString(dir / "npm-args"), "i --no-audit --prefer-offline\nupdate @zandelleengine/api\n");
    /* The time limit is an option */
    const std::string slow = dir.write("slow-npm", "#!/bin/sh\nsleep 10\n");
    ::chmod(slow.c_str(), 0755);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run("npm-install " + q(withPackage) + " --npm-timeout 0.5 --quiet", Stdout, "ZANDELLE_NPM=" + q(slow)).exitCode, 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds{5});
}

TEST_F(Zandelle, ImportSavesGoodFilesAndFailsCleanlyOnBrokenOnes) {
    const std::string project = created("p/Game.zdp");
    const std::string root = "/usr/share/assimp/models/glTF2/";
    const std::string model = root + "BoxTextured-glTF-Binary/BoxTextured.glb";
    EXPECT_EQ((*parsed(ok("import --quiet --json " + q(project) + " " + q(model))))["records/files"].asInt(-1), 1);
    EXPECT_EQ(saved(project)->files().keys().size(), 1u);

    /* A file the scene reader crashes on: its one line after the load's
       warning, exit 1, the project as it was */
    const std::string before = *Path::readString(project);
    const std::string broken = ZANDELLE_FUZZ_CORPUS_DIR "/SceneImport/scene-import-segv.glb";
    const CommandRun failed = run("import --quiet " + q(project) + " " + q(broken), Stderr);
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.out, "Plugin execution is disabled for this project.\nFailed to load scene file " + broken + "\n");
    EXPECT_EQ(*Path::readString(project), before);
}

TEST_F(Zandelle, FailuresSayWhyInOneLineWithTheirExitCode) {
    const std::string file = dir.write("file", "x");
    const std::string notProject = dir.write("NotAProject.zdp", "{}");
    const std::string bad = dir.write("Bad.zdp", "{ not json");
    const std::string project = created("Game.zdp");
    Path::make(dir / "directory.zdp");
    const struct {
        std::string arguments;
        int exitCode;
        std::string line;  /* what the last line on stderr starts with */
        std::string environment = {};
    } cases[]{
        {"", 2, "zandelle: no command given"},
        {"frobnicate", 2, "zandelle: unknown command 'frobnicate'"},
        {"open", 2, "zandelle: usage: zandelle open"},
        {"open a.zdp b.zdp", 2, "zandelle: usage: zandelle open"},
        {"open a.zdp --out x", 2, "zandelle: unknown option '--out' for open"},
        {"upgrade a.zdp --out", 2, "zandelle: --out needs a value"},
        {"--frobnicate open x.zdp", 2, "zandelle: unknown global option '--frobnicate'"},
        {"new ''", 2, "zandelle: new needs a project path"},
        {"new " + q(dir / "directory.zdp") + " --quiet", 1, "zandelle: " + (dir / "directory.zdp") + " is a directory"},
        {"new " + q(dir / "caf\xe9.zdp") + " --quiet", 1, "zandelle: the project's name or path is not valid UTF-8"},
        {"upgrade " + q(project) + " --out /nonexistent/dir/x.zdp", 1, "zandelle: no directory /nonexistent/dir to save into"},
        {"set " + q(project) + " /objects/a '{}' --lock-wait soon", 2, "zandelle: --lock-wait needs a number of seconds"},
        {"open a.zdp --jobs 0", 2, "zandelle: --jobs: the number of jobs must be a whole number of at least 1, not '0'"},
        {"--jobs many open a.zdp", 2, "zandelle: --jobs: the number of jobs must be a whole number of at least 1, not 'many'"},
        {"open " + q(bad) + " --quiet", 1, "Failed parsing project from " + bad},
        {"open " + q(dir / "missing.zdp") + " --quiet", 1, "Failed loading project from " + (dir / "missing.zdp")},
        {"upgrade " + q(bad) + " --dry-run --quiet", 1, "Failed parsing project from " + bad},
        {"npm-install " + q(project) + " --quiet", 1, "npm was not run for this untrusted project; to allow it: zandelle trust " + project},
        {"devices --adb " + q(dir / "no-adb") + " --quiet", 1, ""},
        {"open " + q(project) + " --resources " + q(dir.path()), 1, "zandelle: not a resources directory"},
        {"trust " + q(notProject), 1, "zandelle: not a project file: " + notProject},
        {"trust " + q(project), 1, "Cannot write " + file + "/ZandelleEngine/plugin_enabled_projects.txt",
            "APPDATA=" + q(file)},
    };
    for(const auto& c: cases) {
        SCOPED_TRACE(c.arguments);
        const CommandRun r = run(c.arguments, Stderr, c.environment);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
        const std::vector<std::string> lines = String::splitWithoutEmptyParts(r.out, '\n');
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind(c.line, 0), 0u) << r.out;
        if(c.exitCode == 2) { EXPECT_EQ(lines.size(), 1u) << r.out; }
    }
    /* Failed commands left nothing behind */
    EXPECT_FALSE(Path::exists("/nonexistent"));
    EXPECT_EQ(*Path::list(dir / "directory.zdp"), std::vector<std::string>{});
    EXPECT_EQ(*Path::list(dir.path()), (std::vector<std::string>{".editor", "Bad.zdp", "Game.zdp", "Game.zdp.lock",
        "NotAProject.zdp", "appdata", "cache", "directory.zdp", "file"}));
}

TEST_F(Zandelle, CompileTimesEachStepAndChecksShaders) {
    const std::string project = created("c/Game.zdp");
    const std::string compile = "compile " + q(project) + " --quiet";
    const std::vector<std::string> steps{"settings", "shaders", "pipelines", "fonts", "images", "textures",
        "materials", "meshes", "objects", "animations", "skins", "components"};
    const std::string text = ok(compile + " --timings");
    std::vector<std::string> lines;
    for(const std::string& line: String::split(text, '\n'))
        if(String::endsWith(line, " ms")) lines.push_back(line.substr(0, line.find(' ')));
    EXPECT_EQ(lines, steps) << text;
    const std::string json = ok(compile + " --json --timings");
    const std::unique_ptr<ProjectFile> summary = parsed(json);
    EXPECT_EQ((*summary)["timings/steps"].keys(), steps);
    EXPECT_TRUE((*summary)["timings/steps/objects"].isNumber());
    EXPECT_EQ(json.find(" ms\n"), std::string::npos);

    /* The one warning of loading an untrusted project, and nothing else from
       the shipped shaders */
    const std::string load = "Plugin execution is disabled for this project.\n";
    EXPECT_EQ(ok(compile + " --check-shaders", Stderr), load);
    /* The project's own Text.frag, with a call of nothing on a new last line */
    const std::string shader = Path::readString(ZANDELLE_RESOURCES_DIR "/shaders/Text.frag").value_or("");
    const std::size_t line = std::size_t(std::count(shader.begin(), shader.end(), '\n')) + 1;
    dir.write("c/shaders/Text.frag", shader + "void broken() { nothing(); }\n");
    const CommandRun broken = run(compile + " --check-shaders", Stderr);
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_EQ(broken.out, load + "Text.frag:" + std::to_string(line) +
        ": 'nothing' : no matching overloaded function found (pipeline \"Text\")\n");
    /* Without the flag nothing is checked */
    EXPECT_EQ(ok(compile, Stderr), load);
}

TEST_F(Zandelle, BackgroundJobsTimedAndBarsOnlyOnATerminal) {
    /* An encoder that takes its time (and fails) keeps the image job running
       after the compile steps, while the bars are drawn */
    const std::string basisu = dir.write("slow-basisu", "#!/bin/sh\nsleep 0.5\nexit 1\n");
    std::filesystem::permissions(basisu, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    const std::string environment = "ZANDELLE_BASISU=" + q(basisu);
    const std::string project = created("p/Game.zdp");
    ASSERT_TRUE(ImageTools::writePng(dir / "p/picture.png",
        Trade::ImageData{Trade::PixelFormat::RGBA8Unorm, {64, 64}, std::vector<std::uint8_t>(64*64*4, 0x80)}));
    for(const std::string& command: {"import " + q(project) + " " + q(dir / "p/picture.png"), "compile " + q(project)}) {
        const std::unique_ptr<ProjectFile> summary = parsed(ok(command + " --json --quiet", Stdout, environment));
        EXPECT_GE((*summary)["timings/jobsSeconds"].asFloat(), 0.5f) << command;
    }
    /* Its runs follow the step times; an encoder that fails gives no
       start-up figure */
    const std::string timings = ok("compile " + q(project) + " --timings --quiet", Stdout, environment);
    EXPECT_TRUE(std::regex_search(timings, std::regex{"\nencoder 1 runs [0-9.]+ s\n"})) << timings;

    const std::regex bar{"Compressing textures [0-9]+/[0-9]+ \\["};
    const std::string piped = ok("open --quiet " + q(project), Stderr, environment);
    EXPECT_FALSE(std::regex_search(piped, bar)) << piped;
    const std::string terminal = ok("open --quiet " + q(project), Terminal, environment);
    EXPECT_TRUE(std::regex_search(terminal, bar)) << terminal;
}

TEST_F(Zandelle, SetEditsRecompilesAndSaves) {
    const std::string project = created("s/Game.zdp");
    EXPECT_EQ(ok("set " + q(project) + " /materials/red " +
        q(R"({"name": "Red", "pipeline": "1", "Phong": {"diffuseColor": [1, 0, 0, 1]}})") +
        " /settings/rendering/sky/enabled true /objects/o1 " + q(R"({"name": "O"})") + " --quiet"),
        "materials /materials/red: compiled pipelines 1, compiled materials 1\n"
        "settings /settings/rendering/sky/enabled: compiled sky 1, redraw\n"
        "objects /objects/o1: changed objects o1\n"
        "objects: 1 changed, 0 moved\n");
    EXPECT_EQ((*saved(project))["materials/red/Phong/diffuseColor"].asVector4(), Vector4(1, 0, 0, 1));

    const std::string removed = ok("set " + q(project) + " /materials/red/Phong --remove --json --quiet");
    EXPECT_EQ(removed.rfind(R"({"handlers": [{"handler": "materials", "path": "/materials/red/Phong",)"
        R"( "compiled": {"materials": 1})", 0), 0u) << removed;
    EXPECT_FALSE((*saved(project))["materials/red/Phong"].isSetInProject());

    ok("set " + q(project) + " /objects/o2 " + q(R"({"name": "Child", "parent": "o1"})") + " --quiet");

    /* Edits that cannot be made, or whose file would not open again: one
       line, exit 2, the file as it was, also when an edit before the bad
       one was fine */
    const std::string before = Path::readString(project).value_or("");
    const struct {
        std::string arguments, line;
    } refused[]{
        {"/settings/project/name notjson", ""},
        {"/objects/o1/name '\"P\"' /nosection/a 1", ""},
        {"/materials/red/Phong --remove", ""},
        {"/objects/o1/name", ""},
        {"/objects/o1/parent '\"o1\"'", "zandelle: /objects/o1/parent: object o1 would become its own ancestor"},
        {"/objects/o1/parent '\"o2\"'", "zandelle: /objects/o1/parent: object o1 would become its own ancestor"},
        {"/objects/o1 '{\"parent\": \"o2\"}'", "zandelle: /objects/o1: object o1 would become its own ancestor"},
        {"/objects/o2/parent '\"o9\"'", "zandelle: /objects/o2/parent: there is no object o9"},
        {"/settings/project '\"x\"'", "zandelle: /settings/project holds an object, not a string"},
        {"/objects/o1 '[]'", "zandelle: /objects/o1 holds an object, not an array"},
        {"/objects/o1/x " + q(std::string(510, '[') + std::string(510, ']')),
            "zandelle: /objects/o1/x: the value nests deeper than the 512 levels a project file may hold"},
        {"/objects/o1/x " + q(std::string(20000, '[') + std::string(20000, ']')), ""},
        {"/objects/o1/name " + q("\"\xff\""), ""},
        {"/objects/o1/name '\"\\udc80\"'", ""},
    };
    for(const auto& c: refused) {
        SCOPED_TRACE(c.arguments.substr(0, 80));
        const CommandRun r = run("set " + q(project) + " " + c.arguments, Stderr);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(String::splitWithoutEmptyParts(r.out, '\n').size(), 1u) << r.out;
        if(!c.line.empty()) { EXPECT_EQ(r.out, c.line + "\n"); }
        EXPECT_EQ(Path::readString(project).value_or(""), before);
    }
    /* At the limit it saves, and opens again */
    ok("set " + q(project) + " /objects/o1/x " + q(std::string(509, '[') + std::string(509, ']')) + " --quiet");
    ok("open " + q(project) + " --quiet");
}

TEST_F(Zandelle, OneWriterAtATime) {
    const std::string project = created("w/Game.zdp");
    /* Two edits at once: the second waits for the first, so both are saved */
    const std::string set = q(ZANDELLE_BINARY_DIR "/bin/zandelle") + " set --quiet " + q(project);
    const CommandResult both = runCommand("export APPDATA=" + q(dir / "appdata") + "; " + set + " /objects/a '{}' & a=$!; " +
        set + " /objects/b '{}' & b=$!; wait $a && wait $b");
    EXPECT_TRUE(both) << (both ? "" : both.error().output);
    std::vector<std::string> keys = saved(project)->objects().keys();
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{"a", "b"}));

    /* A writer that holds on: the next one gives up after its wait, naming
       the holder, and changes nothing */
    const std::string before = *Path::readString(project);
    {
        ProjectLock holder{project, std::chrono::milliseconds{0}};
        ASSERT_EQ(holder.status(), ProjectLock::Status::Locked);
        const CommandRun r = run("set " + q(project) + " /objects/c '{}' --lock-wait 0.2", Stderr);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "zandelle: " + project + " is locked by process " + std::to_string(::getpid()) +
            "; gave up after waiting 0.2 s (--lock-wait)\n");
        EXPECT_EQ(*Path::readString(project), before);
    }
    /* The lock died with its holder; a link planted as the lock file is
       replaced, not written through */
    const std::string outside = dir.write("outside", "keep");
    Path::remove(project + ".lock");
    ASSERT_EQ(::symlink(outside.c_str(), (project + ".lock").c_str()), 0);
    ok("set " + q(project) + " /objects/c '{}' --quiet");
    EXPECT_EQ(*Path::readString(outside), "keep");
}

TEST_F(Zandelle, PlantedLinksAreNotWrittenThrough) {
    /* A project whose editor state and cache files link to files
       elsewhere, the first cache file to one that does not exist */
    const std::string project = created("u/Game.zdp");
    const std::string outside = dir.write("outside/victim", "precious");
    std::vector<std::string> planted;
    for(const std::string& name: Path::list(dir / "u/cache").value_or(std::vector<std::string>{}))
        planted.push_back(dir / ("u/cache/" + name));
    ASSERT_FALSE(planted.empty());
    planted.push_back(dir / "u/.editor/state.json");
    for(const std::string& link: planted) {
        Path::remove(link);
        ASSERT_EQ(::symlink((link == planted.front() ? dir / "outside/created" : outside).c_str(), link.c_str()), 0);
    }
    ok("open " + q(project) + " --quiet");
    ok("set " + q(project) + " /objects/o1 '{}' --quiet");
    EXPECT_EQ(*Path::readString(outside), "precious");
    EXPECT_EQ(*Path::list(dir / "outside"), std::vector<std::string>{"victim"});
    /* The project file keeps its own rule: saved through the user's link */
    Path::make(dir / "real");
    ASSERT_TRUE(Path::move(project, dir / "real/Game.zdp"));
    ASSERT_EQ(::symlink((dir / "real/Game.zdp").c_str(), project.c_str()), 0);
    ok("set " + q(project) + " /objects/o2 '{}' --quiet");
    EXPECT_TRUE(std::filesystem::is_symlink(project));
    EXPECT_TRUE(saved(dir / "real/Game.zdp")->objects().member("o2").isSetInProject());
}

TEST_F(Zandelle, EveryCommandSavesTheSameFromWhereverItIsRun) {
    /* Each way of naming the project runs the same commands on a project of
       its own, in a folder "game" of its own: nothing saved or summed up may
       depend on the spelling. {game} is that folder's absolute path, the
       working directory is relative to its parent. */
    const struct {
        const char* name;
        const char* cwd;
        const char* project;
        const char* files;  /* how the imported files are named */
    } Places[]{
        {"absolute, run elsewhere", "/", "{game}/G.zdp", "{game}/"},
        {"bare name in its folder", "game", "G.zdp", ""},
        {"relative from its parent", ".", "game/G.zdp", "game/"},
        {"relative with dot parts", ".", "./game/../game/G.zdp", "./game/"},
    };
    const std::vector<std::string> steps{
        "new {p} --name G", "import {p} {f}BoxTextured.glb {f}wall.png {f}Title.ttf",
        "set {p} /settings/project/name '\"H\"'", "set {p} /settings/project/name '\"H\"'",
        "upgrade {p}", "compile {p} --json", "open {p} --json"};

    std::vector<std::string> expected;
    for(std::size_t i = 0; i != std::size(Places); ++i) {
        SCOPED_TRACE(Places[i].name);
        const std::string parent = dir / ("place" + std::to_string(i)), game = parent + "/game";
        ASSERT_TRUE(Path::make(game));
        ASSERT_TRUE(Path::copy("/usr/share/assimp/models/glTF2/BoxTextured-glTF-Binary/BoxTextured.glb",
            game + "/BoxTextured.glb"));
        ASSERT_TRUE(ImageTools::writePng(game + "/wall.png",
            Trade::ImageData{Trade::PixelFormat::RGBA8Unorm, {4, 4}, std::vector<std::uint8_t>(4*4*4, 0x80)}));
        ASSERT_TRUE(Path::copy("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", game + "/Title.ttf"));

        std::vector<std::string> results;
        for(const std::string& step: steps) {
            const std::string arguments = String::replaceAll(String::replaceAll(String::replaceAll(step,
                "{p}", q(Places[i].project)), "{f}", q(Places[i].files)), "{game}", game);
            const std::string out = ok(arguments + " --quiet", Stdout, {}, Path::join(parent, Places[i].cwd));
            /* What was saved, or the summary without its times and path */
            if(!String::endsWith(step, "--json")) {
                results.push_back(Path::readString(game + "/G.zdp").value_or(""));
                continue;
            }
            const std::unique_ptr<ProjectFile> summary = parsed(out);
            EXPECT_EQ((*summary)["errors"].asInt(-1), 0) << arguments;
            (*summary)["timings"].remove();
            (*summary)["project/path"].remove();
            results.push_back(summary->toString().value_or(""));
        }
        if(!expected.empty()) {
            for(std::size_t step = 0; step != steps.size(); ++step) EXPECT_EQ(results[step], expected[step]) << steps[step];
            continue;
        }
        /* Every path the project stores is relative; the second set and the
           upgrade save what the first set saved, with three files records;
           the compile has the scene's mesh beside the six primitives */
        expected = results;
        for(const std::string& result: results) EXPECT_EQ(result.find(dir.path()), std::string::npos) << result;
        EXPECT_EQ(results[3], results[2]);
        EXPECT_EQ(results[4], results[2]);
        EXPECT_EQ(saved(game + "/G.zdp")->files().keys().size(), 3u);
        EXPECT_EQ((*parsed(results.back()))["counts/meshes"].asInt(-1), 7);
    }
}

TEST_F(Zandelle, SharedCacheUrlFromOptionOrEnvironmentNeverShowsThePassword) {
    Testing::RedisServer redis{"pw-29-right"};
    ASSERT_EQ(redis.error(), "");
    const std::string server = "127.0.0.1:" + std::to_string(redis.port());
    const std::string right = "redis://:pw-29-right@" + server, wrong = "redis://:pw-29-wrong@" + server;
    /* A project without the cache that creating it left */
    auto fresh = [&](const std::string& relative) {
        const std::string project = created(relative + "/P.zdp");
        std::filesystem::remove_all(dir / (relative + "/cache"));
        return project;
    };

    /* Machine A builds the default font and writes it to the server */
    const std::unique_ptr<ProjectFile> a = parsed(ok("compile " + q(fresh("a")) + " --json --quiet", Stdout,
        "ZANDELLE_CACHE_URL=" + q(right)));
    const std::pair<const char*, int> counts[]{{"jobs/fontsBuilt", 1}, {"jobs/sharedCacheWrites", 1},
        {"jobs/fontsFromSharedCache", 0}, {"jobs/sharedCacheErrors", 0}};
    for(const auto& [member, count]: counts) EXPECT_EQ((*a)[member].asInt(-1), count) << member;

    /* Machine B reads it; the option wins over the environment */
    const std::string b = fresh("b");
    const std::string timings = ok("compile " + q(b) + " --timings --quiet --cache-url " + q(right), Merged,
        "ZANDELLE_CACHE_URL=" + q(wrong));
    EXPECT_TRUE(std::regex_search(timings, std::regex{"\nshared cache [0-9.]+ ms \\(redis://" + server +
        "/0, 1 hits, 0 misses, 0 writes, 0 errors\\)\n"})) << timings;

    /* A refused password: one warning, exit 0, the font built locally */
    std::filesystem::remove_all(dir / "b/cache");
    const std::string refused = ok("compile " + q(b) + " --quiet --cache-url " + q(wrong), Merged);
    EXPECT_NE(refused.find("Shared cache redis://" + server + "/0 unavailable (WRONGPASS"), std::string::npos) << refused;
    EXPECT_EQ(refused.find("Shared cache", refused.find("Shared cache") + 1), std::string::npos) << refused;
    EXPECT_TRUE(Path::exists(dir / "b/cache"));

    const CommandRun bad = run("compile " + q(b) + " --cache-url redis://:pw-29-x@host:0", Stderr);
    EXPECT_EQ(std::tuple(bad.exitCode, bad.out), std::tuple(2,
        "zandelle: --cache-url: the port is not a number from 1 to 65535 (see zandelle --help)\n"));
    for(const std::string& out: {timings, refused, bad.out}) EXPECT_EQ(out.find("pw-29"), std::string::npos) << out;
}

namespace {

/* zandelle running in the background in a process group of its own, its
   stdout read line by line with a time limit */
class Background {
    public:
        explicit Background(const std::string& command) {
            int fds[2];
            if(::pipe(fds) != 0) return;
            _pid = ::fork();
            if(_pid == 0) {
                ::setpgid(0, 0);
                ::dup2(fds[1], 1);
                ::close(fds[0]);
                ::close(fds[1]);
                ::execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), nullptr);
                ::_exit(127);
            }
            ::setpgid(_pid, _pid);
            ::close(fds[1]);
            _out = fds[0];
        }
        ~Background() {
            if(_pid > 0 && !_exited) {
                ::kill(-_pid, SIGKILL);
                ::waitpid(_pid, nullptr, 0);
            }
            if(_out >= 0) ::close(_out);
        }

        /* The next line, or "" when none came within @p seconds */
        std::string line(double seconds = 60.0) {
            const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
            for(;;) {
                const std::size_t newline = _buffer.find('\n');
                if(newline != std::string::npos) {
                    std::string line = _buffer.substr(0, newline);
                    _buffer.erase(0, newline + 1);
                    return line;
                }
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
                pollfd p{_out, POLLIN, 0};
                if(left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0) return {};
                char chunk[4096];
                const ssize_t n = ::read(_out, chunk, sizeof(chunk));
                if(n <= 0) return {};
                _buffer.append(chunk, std::size_t(n));
            }
        }

        /* Sends @p signal and waits up to @p seconds for the exit: the exit
           code, -1 when it did not end in time */
        int stop(int signal, double seconds) {
            ::kill(_pid, signal);
            const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
            int status = 0;
            while(::waitpid(_pid, &status, WNOHANG) == 0) {
                if(std::chrono::steady_clock::now() > end) return -1;
                ::usleep(10000);
            }
            _exited = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }

        /* No process of the group is left */
        bool groupGone() const { return ::kill(-_pid, 0) != 0 && errno == ESRCH; }

    private:
        pid_t _pid = -1;
        int _out = -1;
        bool _exited = false;
        std::string _buffer;
};

}

TEST_F(Zandelle, WatchRecompilesEachSavedFileAndEachEditOfTheProjectFile) {
    const std::string project = created("w/Game.zdp"), root = dir / "w";
    ASSERT_TRUE(Path::copy("/usr/share/assimp/models/glTF2/BoxTextured-glTF-Binary/BoxTextured.glb", root + "/Box.glb"));
    ASSERT_TRUE(ImageTools::writePng(root + "/wall.png",
        Trade::ImageData{Trade::PixelFormat::RGBA8Unorm, {4, 4}, std::vector<std::uint8_t>(4*4*4, 0x80)}));
    dir.write("w/shaders/tint.frag", "void main() {}\n");
    ok("import --quiet " + q(project) + " " + q(root + "/wall.png") + " " + q(root + "/Box.glb"));

    Background watch{"env APPDATA=" + q(dir / "appdata") + " " + q(ZANDELLE_BINARY_DIR "/bin/zandelle") +
        " watch --quiet " + q(project) + " 2>" + q(dir / "watch.err")};
    ASSERT_EQ(watch.line(), "Watching 3 files and 2 folders");

    /* Each file saved three ways, twice: in place, a temporary file renamed
       over it, deleted and created (which may be seen as a deletion first) */
    const struct {
        const char* name;
        const char* file;
        const char* recompiled;
    } Files[]{
        {"image", "wall.png", "tiles 0 encoded, 1 from cache"},
        {"scene", "Box.glb", "meshes "},
        {"shader", "shaders/tint.frag", "shaders "},
    };
    for(const auto& file: Files) for(int round = 0; round != 2; ++round) for(int way = 0; way != 3; ++way) {
        SCOPED_TRACE(std::string{file.name} + " way " + std::to_string(way) + " round " + std::to_string(round));
        const std::string relative = std::string{"w/"} + file.file, path = dir / relative;
        const std::string contents = Path::readString(path).value_or("");
        if(way == 0) dir.write(relative, contents);
        if(way == 1) { ASSERT_TRUE(Path::move(dir.write(relative + ".tmp", contents), path)); }
        if(way == 2) {
            ASSERT_TRUE(Path::remove(path));
            dir.write(relative, contents);
        }
        std::string line = watch.line();
        if(way == 2 && line == std::string{file.file} + ": deleted") line = watch.line();
        EXPECT_TRUE(std::regex_match(line, std::regex{std::string{file.file} + ": [^;]+(; tiles [0-9]+ encoded, [0-9]+ from cache)?; [0-9]+\\.[0-9] ms"})) << line;
        EXPECT_NE(line.find(file.recompiled), std::string::npos) << line;
    }

    /* Another process edits one record: only that one recompiles */
    ok("set --quiet " + q(project) + " /objects/o1 " + q(R"({"name": "O"})"));
    {
        const std::string edit = watch.line();
        EXPECT_TRUE(std::regex_match(edit, std::regex{"Game.zdp: components 1; [0-9.]+ ms"})) << edit;
    }

    /* Caught mid-save: one Warning, nothing handled, read again whole */
    const std::string text = Path::readString(project).value_or("");
    const std::string edited = String::replaceAll(text, R"("name": "O")", R"("name": "P")");
    ASSERT_NE(edited, text);
    dir.write("w/Game.zdp", edited.substr(0, edited.size()/2));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds{60};
    while(Path::readString(dir / "watch.err").value_or("").find("Cannot read the changed project file") == std::string::npos &&
          std::chrono::steady_clock::now() < end) ::usleep(20000);
    dir.write("w/Game.zdp", edited);
    {
        const std::string edit = watch.line();
        EXPECT_TRUE(std::regex_match(edit, std::regex{"Game.zdp: components 1; [0-9.]+ ms"})) << edit;
    }

    /* An edit beyond one record: a record added beside the edited one,
       read whole and compared record by record */
    const std::string twoRecords = String::replaceAll(edited, R"("name": "P")", R"("name": "Q"}, "o2": {"name": "R")");
    ASSERT_NE(twoRecords, edited);
    dir.write("w/Game.zdp", twoRecords);
    {
        const std::string edit = watch.line();
        EXPECT_TRUE(std::regex_match(edit, std::regex{"Game.zdp: components 2; [0-9.]+ ms"})) << edit;
    }

    /* Without --save the watch never wrote the project */
    EXPECT_EQ(Path::readString(project).value_or(""), twoRecords);

    EXPECT_EQ(watch.stop(SIGINT, 10.0), 0);
    EXPECT_EQ(watch.line(5.0).rfind("Stopped after 21 changes", 0), 0u);
    EXPECT_TRUE(watch.groupGone());
    const std::string errors = Path::readString(dir / "watch.err").value_or("");
    EXPECT_EQ(String::replaceAll(errors, "Cannot read the changed project file", "").size(),
              errors.size() - std::string{"Cannot read the changed project file"}.size()) << errors;
}
