// The command line, run as a user runs it: exit codes, what it prints, and
// the files it leaves behind.

#include <algorithm>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "Base/Path.h"
#include "Base/String.h"
#include "Devices/Command.h"
#include "Editor/ProjectFile.h"
#include "Engine/ImageTools.h"
#include "Support/TempDirectory.h"
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
           written to a terminal; @p env holds extra assignments */
        enum Output { Stdout, Merged, Stderr, Terminal };
        CommandRun run(const std::string& arguments, Output output = Stdout, const std::string& env = {}) const {
            const char* redirect[]{" 2>/dev/null", " 2>&1", " 2>&1 >/dev/null", ""};
            std::string command = "APPDATA=" + q(dir / "appdata") + " " + env + " " +
                q(ZANDELLE_BINARY_DIR "/bin/zandelle") + " " + arguments + redirect[output];
            if(output == Terminal) command = "script -qec " + q(command) + " /dev/null";
            const CommandResult r = runCommand(command);
            return r ? CommandRun{0, r.output()} : CommandRun{r.error().exitCode, r.error().output};
        }
        static std::string q(const std::string& s) { return String::shellQuote(s); }

        /* A project made by `new` at @p relative, with @p options */
        std::string created(const std::string& relative, const std::string& options = "--quiet") const {
            const std::string path = dir / relative;
            EXPECT_EQ(run("new " + q(path) + " " + options).exitCode, 0) << path;
            return path;
        }

        /* The project file at @p path, parsed */
        static std::unique_ptr<ProjectFile> saved(const std::string& path) {
            auto file = std::make_unique<ProjectFile>();
            EXPECT_TRUE(file->parse(Path::readString(path).value_or(""))) << path;
            return file;
        }

        Testing::TempDirectory dir;
};

}

TEST_F(Zandelle, HelpVersionAndGlobalOptionsStandAnywhere) {
    const CommandRun help = run("--help");
    EXPECT_EQ(help.exitCode, 0);
    for(const char* command: {"open", "upgrade", "new", "devices", "trust", "recent"})
        EXPECT_NE(help.out.find(std::string{"  "} + command + " "), std::string::npos) << command;
    const CommandRun upgradeHelp = run("upgrade --help");
    EXPECT_EQ(upgradeHelp.exitCode, 0);
    EXPECT_NE(upgradeHelp.out.find("--dry-run"), std::string::npos);
    EXPECT_EQ(run("--help open").out, run("open --help").out);
    const CommandRun version = run("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out,
        "ZandelleProjectFiles " ZANDELLE_LIBRARY_VERSION "\nProject file version 1.1.6 prerelease 1\n");

    const std::string project = dir / "Game.zdp";
    ASSERT_EQ(run("--quiet new " + q(project)).exitCode, 0);
    EXPECT_EQ(run("open " + q(project) + " --version").out, version.out);
    /* --quiet before and after the command: no Debug lines either way, the
       same summary up to the time it took */
    const CommandRun before = run("--quiet --resources " + q(ZANDELLE_RESOURCES_DIR) + " open " + q(project));
    const CommandRun after = run("open " + q(project) + " --resources " + q(ZANDELLE_RESOURCES_DIR) + " --quiet");
    EXPECT_EQ(before.exitCode, 0);
    EXPECT_EQ(before.out.substr(0, before.out.find("Loaded in")), after.out.substr(0, after.out.find("Loaded in")));
    EXPECT_EQ(before.out.find("Loading project from"), std::string::npos) << before.out;
}

TEST_F(Zandelle, NewOpenUpgradeRecentTrust) {
    const std::string project = created("game/Game.zdp", "--name Space --quiet");
    const CommandRun open = run("open " + q(project) + " --json --quiet");
    EXPECT_EQ(open.exitCode, 0);
    ProjectFile summary;
    ASSERT_TRUE(summary.parse(open.out)) << open.out;
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
    ProjectFile second;
    ASSERT_TRUE(second.parse(run("open " + q(project) + " --json --quiet").out));
    EXPECT_EQ(second["jobs/fontsFromCache"].asInt(-1), 1);

    /* An old project, upgraded to another file: the original stays */
    const std::string old = dir.write("old/Old.zdp", R"({"settings": {"project": {"name": "Old",)"
        R"( "version": [1, 0, 4]}}, "files": [{"fileName": "a.gltf", "importerName": ""}]})");
    const std::string before = *Path::readString(old);
    const CommandRun dryRun = run("upgrade " + q(old) + " --dry-run --quiet");
    EXPECT_EQ(dryRun.exitCode, 0);
    EXPECT_NE(dryRun.out.find("migration_1_1_0_convertFilesToResourceSection: files"), std::string::npos) << dryRun.out;
    EXPECT_EQ(*Path::readString(old), before);
    EXPECT_FALSE(Path::exists(dir / "old/.editor"));
    EXPECT_EQ(run("upgrade " + q(old) + " --out " + q(dir / "new/Upgraded.zdp") + " --quiet").exitCode, 0);
    EXPECT_EQ(*Path::readString(old), before);
    EXPECT_EQ((*saved(dir / "new/Upgraded.zdp"))["settings/project/version"].asIntArray(),
        (std::vector<int>{1, 1, 6, 1}));

    /* Opening and saving add to the recent list, most recent first */
    const CommandRun recent = run("recent");
    EXPECT_EQ(recent.exitCode, 0);
    EXPECT_EQ(String::split(recent.out, '\n'),
        (std::vector<std::string>{dir / "new/Upgraded.zdp", dir / "old/Old.zdp", project, ""}));

    const std::string trustList = dir / "appdata/ZandelleEngine/plugin_enabled_projects.txt";
    EXPECT_EQ(run("trust " + q(project)).exitCode, 0);
    EXPECT_EQ(*Path::readString(trustList), project);
    EXPECT_NE(run("open " + q(project), Merged).out.find(
        "Plugin support is enabled for this project, loading editor plugins"), std::string::npos);
    EXPECT_EQ(run("trust " + q(project) + " --off").exitCode, 0);
    EXPECT_EQ(*Path::readString(trustList), "");
}

TEST_F(Zandelle, DevicesThroughAFakeAdb) {
    const std::string adb = dir.write("adb", "#!/bin/sh\ncase \"$*\" in *' devices'*) "
        "printf 'List of devices attached\\nSERIAL1\\tdevice product:x model:y device:z\\n';; esac\n");
    ::chmod(adb.c_str(), 0755);
    const CommandRun devices = run("devices --adb " + q(adb) + " --quiet");
    EXPECT_EQ(devices.exitCode, 0);
    EXPECT_NE(devices.out.find("SERIAL1"), std::string::npos) << devices.out;
}

TEST_F(Zandelle, NewPackageAndTemplateThenNpmInstall) {
    const std::string withPackage = created("pkg/Pkg.zdp", "--name Rocket --package --quiet");
    EXPECT_NE(Path::readString(dir / "pkg/package.json").value_or("").find("\"Rocket\""), std::string::npos);
    /* A copy of it as a template, renamed and named */
    const std::string copy = created("copy/Copy.zdp", "--name Copied --template " + q(withPackage) + " --quiet");
    EXPECT_EQ((*saved(copy))["settings/project/name"].asString(), "Copied");
    EXPECT_FALSE(Path::exists(dir / "copy/Pkg.zdp"));

    /* npm-install through a stand-in that records its arguments */
    const std::string npm = dir.write("npm", "#!/bin/sh\necho \"$@\" > " + q(dir / "npm-args") +
        "\necho installed\n");
    ::chmod(npm.c_str(), 0755);
    const std::string arguments = "npm-install " + q(withPackage) + " --prefer-offline --quiet";
    EXPECT_EQ(run(arguments, Merged, "ZANDELLE_NPM=" + q(npm)).exitCode, 0);
    EXPECT_EQ(Path::readString(dir / "npm-args"), "i --no-audit --prefer-offline\n");
}

/* A good file imports and is saved; each of the deliberately broken samples
   fails with its one line or imports, and none crashes (the test's time
   limit catches a hang) */
TEST_F(Zandelle, ImportSavesGoodFilesAndFailsCleanlyOnBrokenOnes) {
    const std::string project = created("p/Game.zdp");
    const std::string root = "/usr/share/assimp/models/glTF2/";
    const std::string model = root + "BoxTextured-glTF-Binary/BoxTextured.glb";
    const CommandRun good = run("import --quiet --json " + q(project) + " " + q(model));
    EXPECT_EQ(good.exitCode, 0);
    ProjectFile summary;
    ASSERT_TRUE(summary.parse(good.out)) << good.out;
    EXPECT_EQ(summary["records/files"].asInt(-1), 1);
    EXPECT_EQ(saved(project)->files().keys().size(), 1u);

    for(const char* folder: {"IndexOutOfRange", "SchemaFailures", "wrongTypes", "RecursiveNodes", "MissingBin",
                             "IncorrectVertexArrays", "TestNoRootNode", "issue_3269", "draco"}) {
        const auto entries = Path::list(root + folder);
        ASSERT_TRUE(entries && !entries->empty()) << folder;
        for(const std::string& entry: *entries) {
            const std::string file = root + folder + "/" + entry;
            SCOPED_TRACE(file);
            const CommandRun r = run("import --quiet " + q(project) + " " + q(file), Merged);
            ASSERT_TRUE(r.exitCode == 0 || r.exitCode == 1) << r.exitCode;
            std::size_t failures = 0;
            for(const std::string& line: String::split(r.out, '\n')) failures += line.starts_with("Failed to load");
            EXPECT_EQ(failures, r.exitCode == 1 ? 1u : 0u) << r.out;
        }
    }
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
        {"open x.zdp --dry-run", 2, "zandelle: unknown option '--dry-run' for open"},
        {"new ''", 2, "zandelle: new needs a project path"},
        {"import " + q(project), 2, "zandelle: usage: zandelle import"},
        {"new " + q(dir / "directory.zdp") + " --quiet", 1, "Failed saving project to " + (dir / "directory.zdp")},
        {"open " + q(bad) + " --quiet", 1, "Failed parsing project from " + bad},
        {"open " + q(dir / "missing.zdp") + " --quiet", 1, "Failed loading project from " + (dir / "missing.zdp")},
        {"upgrade " + q(bad) + " --quiet", 1, "Failed parsing project from " + bad},
        {"upgrade " + q(bad) + " --dry-run --quiet", 1, "Failed parsing project from " + bad},
        {"import --quiet " + q(project) + " " + q(file), 1, "Failed to load scene file " + file},
        {"npm-install " + q(project) + " --quiet", 1, "zandelle: no package.json in " + dir.path()},
        {"devices --adb " + q(dir / "no-adb") + " --quiet", 1, ""},
        {"open " + q(project) + " --resources " + q(dir.path()), 1, "zandelle: not a resources directory"},
        {"trust " + q(notProject), 1, "zandelle: not a project file: " + notProject},
        {"trust " + q(dir / "nothing.zdp"), 1, "zandelle: not a project file: " + (dir / "nothing.zdp")},
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
}

TEST_F(Zandelle, CompileTimesEachStepAndChecksShaders) {
    const std::string project = created("c/Game.zdp");
    const std::string compile = "compile " + q(project) + " --quiet";
    const std::vector<std::string> steps{"settings", "shaders", "pipelines", "fonts", "images", "textures",
        "materials", "meshes", "objects", "animations", "skins", "components"};
    const CommandRun text = run(compile + " --timings");
    EXPECT_EQ(text.exitCode, 0);
    std::vector<std::string> lines;
    for(const std::string& line: String::split(text.out, '\n'))
        if(String::endsWith(line, " ms")) lines.push_back(line.substr(0, line.find(' ')));
    EXPECT_EQ(lines, steps) << text.out;
    const CommandRun json = run(compile + " --json --timings");
    EXPECT_EQ(json.exitCode, 0);
    ProjectFile summary;
    ASSERT_TRUE(summary.parse(json.out)) << json.out;
    EXPECT_EQ(summary["timings/steps"].keys(), steps);
    EXPECT_TRUE(summary["timings/steps/objects"].isNumber());
    EXPECT_EQ(json.out.find(" ms\n"), std::string::npos);

    /* The one warning of loading an untrusted project, and nothing else from
       the shipped shaders */
    const std::string load = "Plugin execution is disabled for this project.\n";
    const CommandRun shipped = run(compile + " --check-shaders", Stderr);
    EXPECT_EQ(shipped.exitCode, 0);
    EXPECT_EQ(shipped.out, load);
    /* The project's own Text.frag, with a call of nothing on a new last line */
    const std::string shader = Path::readString(ZANDELLE_RESOURCES_DIR "/shaders/Text.frag").value_or("");
    const std::size_t line = std::size_t(std::count(shader.begin(), shader.end(), '\n')) + 1;
    dir.write("c/shaders/Text.frag", shader + "void broken() { nothing(); }\n");
    const CommandRun broken = run(compile + " --check-shaders", Stderr);
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_EQ(broken.out, load + "Text.frag:" + std::to_string(line) +
        ": 'nothing' : no matching overloaded function found (pipeline \"Text\")\n");
    /* Without the flag nothing is checked */
    const CommandRun unchecked = run(compile, Stderr);
    EXPECT_EQ(unchecked.exitCode, 0);
    EXPECT_EQ(unchecked.out, load);
}

TEST_F(Zandelle, ProgressBarsOnlyOnATerminal) {
    /* An encoder that takes its time (and fails) keeps the image job running
       while the bars are drawn */
    const std::string basisu = dir.write("slow-basisu", "#!/bin/sh\nsleep 0.5\nexit 1\n");
    std::filesystem::permissions(basisu, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    const std::string environment = "ZANDELLE_BASISU=" + q(basisu);
    const std::string project = created("p/Game.zdp");
    ASSERT_TRUE(ImageTools::writePng(dir / "p/picture.png",
        Trade::ImageData{Trade::PixelFormat::RGBA8Unorm, {64, 64}, std::vector<std::uint8_t>(64*64*4, 0x80)}));
    ASSERT_EQ(run("import --quiet " + q(project) + " " + q(dir / "p/picture.png"), Stdout, environment).exitCode, 0);

    const std::regex bar{"Compressing textures [0-9]+/[0-9]+ \\["};
    for(const char* command: {"open", "compile"}) {
        SCOPED_TRACE(command);
        const CommandRun piped = run(std::string{command} + " --quiet " + q(project), Stderr, environment);
        EXPECT_EQ(piped.exitCode, 0);
        EXPECT_FALSE(std::regex_search(piped.out, bar)) << piped.out;
        const CommandRun terminal = run(std::string{command} + " --quiet " + q(project), Terminal, environment);
        EXPECT_EQ(terminal.exitCode, 0);
        EXPECT_TRUE(std::regex_search(terminal.out, bar)) << terminal.out;
    }
}

TEST_F(Zandelle, SetEditsRecompilesAndSaves) {
    const std::string project = created("s/Game.zdp");
    const CommandRun set = run("set " + q(project) + " /materials/red " +
        q(R"({"name": "Red", "pipeline": "1", "Phong": {"diffuseColor": [1, 0, 0, 1]}})") +
        " /settings/rendering/sky/enabled true /objects/o1 " + q(R"({"name": "O"})") + " --quiet");
    EXPECT_EQ(set.exitCode, 0);
    EXPECT_EQ(set.out, "materials /materials/red: compiled pipelines 1, compiled materials 1\n"
        "settings /settings/rendering/sky/enabled: compiled sky 1, redraw\n"
        "objects /objects/o1: changed objects o1\n"
        "objects: 1 changed, 0 moved\n");
    EXPECT_EQ((*saved(project))["materials/red/Phong/diffuseColor"].asVector4(), Vector4(1, 0, 0, 1));

    const CommandRun removed = run("set " + q(project) + " /materials/red/Phong --remove --json --quiet");
    EXPECT_EQ(removed.exitCode, 0);
    EXPECT_EQ(removed.out.rfind(R"({"handlers": [{"handler": "materials", "path": "/materials/red/Phong",)"
        R"( "compiled": {"materials": 1})", 0), 0u) << removed.out;
    EXPECT_FALSE((*saved(project))["materials/red/Phong"].isSetInProject());

    /* Edits that cannot be made: one line, exit 2, the file as it was, also
       when an edit before the bad one was fine */
    const std::string before = Path::readString(project).value_or("");
    for(const std::string arguments: {"/materials/missing/name '\"x\"'", "/settings/project/name notjson",
                                      "/objects/o1/name '\"P\"' /nosection/a 1", "/materials/red/Phong --remove",
                                      "/objects/o1/name"}) {
        SCOPED_TRACE(arguments);
        const CommandRun r = run("set " + q(project) + " " + arguments, Stderr);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(String::splitWithoutEmptyParts(r.out, '\n').size(), 1u) << r.out;
        EXPECT_EQ(Path::readString(project).value_or(""), before);
    }
}
