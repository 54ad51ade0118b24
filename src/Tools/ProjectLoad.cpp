#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>

#include "AssetCompiler/AssetCompiler.h"
#include "Base/Log.h"
#include "Base/Path.h"
#include "Devices/RemoteDevices.h"
#include "Editor/ZandelleEditor.h"
#include "Shaders/ShaderLoading.h"
#include "Tools/ChangeHandlers.h"
#include "Tools/Import.h"
#include "Tools/Migrations.h"
#include "Tools/NewProject.h"
#include "Tools/Npm.h"
#include "Tools/ProjectFiles.h"
#include "Tools/ProjectLoad.h"
#include "Tools/ProjectMigrations.h"

namespace ZandelleEngine {

namespace {

const DialogFilters ProjectFilters{{"Zandelle Engine Project", "*.zdp"}, {"All Files", "*"}};

/* A failed read names the system's reason, so that a missing file, a
   directory, a file without read permission and a link loop tell apart */
std::optional<std::string> readProjectText(const std::string& path) {
    errno = 0;
    std::optional<std::string> text = Path::readString(path);
    if(!text) Error{} << "Failed loading project from" << path << Debug::nospace << ":"
        << std::strerror(errno ? errno : EIO);
    return text;
}

bool parseProjectText(ProjectFile& file, const std::string& text, const std::string& path) {
    std::string reason;
    if(file.parse(text, &reason)) return true;
    /* One Error line for the failure; the parser's reason helps find the
       fault in the file */
    Error{} << "Failed parsing project from" << path;
    Debug{} << "ProjectFile::parse():" << reason;
    return false;
}

}

/* Absent: an error of its own; present but not three or four integers:
   rejected as well */
std::optional<ProjectVersion> readProjectVersion(ProjectFile& file) {
    ValueAccess version = file["settings/project/version"];
    if(!version.isSetInProject()) {
        Error{} << "No version found in project file";
        return {};
    }
    const JsonValue* v = version.readValue();
    bool valid = v->IsArray() && v->Size() >= 3 && v->Size() <= 4;
    if(valid) for(const JsonValue& e: v->GetArray()) valid = valid && e.IsInt();
    if(!valid) {
        Error{} << "Project file version is not an array of three or four integers:"
            << Json::toString(*v, 0).value_or("?");
        return {};
    }
    ProjectVersion out;
    out.major = (*v)[0].GetInt();
    out.minor = (*v)[1].GetInt();
    out.patch = (*v)[2].GetInt();
    if(v->Size() == 4) out.prerelease = (*v)[3].GetInt();
    return out;
}

namespace {

/* The stored version, when it is there and not too old */
std::optional<ProjectVersion> supportedVersion(ProjectFile& file) {
    const std::optional<ProjectVersion> version = readProjectVersion(file);
    if(version && version->olderThanRelease(0, 6, 0)) {
        Error{} << "Project file version not supported anymore:" << *version;
        return {};
    }
    return version;
}

/* Shader loading inside the migration sequence, and the default text
   material's pipeline */
void loadShadersAndTextPipeline(ZandelleEditor& editor) {
    loadShaders(editor);
    ProjectFile& file = editor.data().projectFile();
    const std::string textPipeline = file.pipelines().resourceByName("Text");
    /* The original of the built-in material holds the pipeline */
    OriginalAccess original = file.materials().getOriginal(FileLink{"default", "DefaultFontMaterial"});
    if(original.exists()) original["pipeline"].setString(textPipeline);
}

/* The 2x2 checker of the built-in default image, with its texture */
void addDefaultImage(ZandelleEditor& editor) {
    ProjectFile& file = editor.data().projectFile();
    const FileLink imageLink{"default", "DefaultImage"};
    const std::string imageId = file.images().firstResourceWithLink(imageLink);
    if(imageId.empty()) return;

    Trade::ImageData image;
    image.format = Trade::PixelFormat::RGBA8Unorm;
    image.size = Vector2i{2, 2};
    image.data = {0xff, 0xff, 0xff, 0xff,  0x00, 0x00, 0x00, 0xff,
                  0x00, 0x00, 0x00, 0xff,  0xff, 0xff, 0xff, 0xff};
    editor.data().resources().images.add(imageLink, std::move(image));

    OriginalAccess imageOriginal = file.images().addOriginal(imageLink);
    imageOriginal["name"].setString("DefaultImage");
    imageOriginal["compression"].setString("none");

    OriginalAccess textureOriginal = file.textures().addOriginal(FileLink{"default", "DefaultTexture"});
    textureOriginal["image"].setString(imageId);
    textureOriginal["name"].setString("DefaultTexture");
}

void decidePluginTrust(ZandelleEditor& editor) {
    std::vector<std::string> trusted;
    readPluginEnabledProjects(trusted);
    /* The list holds normalised absolute paths; a project opened by a
       relative path or one with "." parts must be spelled the same way before
       the byte comparison, or trust given to it would never take effect */
    const std::string projectPath = Path::absolute(resolveProjectPath(editor, editor.data().project().filename()));
    const bool enabled = std::find(trusted.begin(), trusted.end(), projectPath) != trusted.end();
    editor.pluginsEnabled = enabled;
    if(!enabled) {
        Warning{} << "Plugin execution is disabled for this project.";
        Debug{} << "If you trust the source, enable it in Project Settings > Plugins.";
        return;
    }
    Warning{} << "Plugin support is enabled for this project, loading editor plugins";
    PluginManagerJs& plugins = editor.scripting->pluginManager();
    plugins.add(resolveProjectPath(editor, "plugins"));
    ProjectFile& file = editor.data().projectFile();
    for(const std::string& key: file["settings/plugins"].keys()) {
        if(key == "enable" || key == "paths") continue;
        plugins.setEnabled(key, file["settings/plugins"].member(key)["enable"].asBool());
    }
    plugins.watch(*editor.fileWatch);
}

}

std::string resolveProjectPath(ZandelleEditor& editor, std::string_view pathIn) {
    const std::string path = Path::fromNativeSeparators(pathIn);
    if(!path.empty() && path.front() == '/') return Path::join(editor.resourcesPath, path.substr(1));
    return Path::join(editor.data().project().root(), path);
}

bool runLoadMigrations(ZandelleEditor& editor, const ProjectVersion& version, std::string_view projectRoot,
    bool dryRun, std::vector<MigrationStep>* report)
{
    ProjectFile& file = editor.data().projectFile();
    MigrationHooks hooks;
    hooks.loadShaders = [&editor]{ loadShadersAndTextPipeline(editor); };
    hooks.copyNpmSetupFiles = [&editor, &file, dryRun, report]{
        if(dryRun) {
            if(report) report->push_back(MigrationStep{"copyPackageTemplate", {"package.json", "js/index.js"}});
            return;
        }
        copyPackageTemplate(file["settings/project/name"].asString(), editor.resourcesPath,
            editor.data().project().root(), false);
    };
    hooks.installDependencies = [&editor, dryRun]{
        if(editor.installDependenciesOnLoad && !dryRun)
            npmInstall(editor, Path::isDirectory(editor.data().project().nodeModulesPath()));
    };
    return runMigrations(file, version, projectRoot, hooks, report);
}

bool dryRunMigrations(std::string_view pathIn, ZandelleEditor& editor, std::vector<MigrationStep>& report,
    std::vector<std::string>& notes)
{
    const std::string path = Path::fromNativeSeparators(pathIn);
    editor.suppressRecentProjects = true;
    if(!initProject(editor, "", "")) return false;
    editor.data().project().setRoot(path);
    editor.data().project().setFilename(path);
    const std::optional<std::string> text = readProjectText(path);
    if(!text || !parseProjectText(editor.data().projectFile(), *text, path)) return false;
    const std::optional<ProjectVersion> version = supportedVersion(editor.data().projectFile());
    if(!version) return false;
    /* Notes the migrations write land in a scratch directory and are
       reported under the project root's name */
    std::string scratch = "/tmp/zandelle-dry-run-XXXXXX";
    if(!::mkdtemp(scratch.data())) return false;
    const bool ok = runLoadMigrations(editor, *version, scratch, true, &report);
    if(const auto written = Path::list(scratch)) for(const std::string& name: *written) {
        notes.push_back(Path::join(Path::path(path), name));
        Path::remove(Path::join(scratch, name));
    }
    Path::remove(scratch);
    return ok;
}

std::optional<int> loadProject(ZandelleEditor& editor) {
    const std::vector<std::string> chosen = editor.dialogs->openFile("Load Project", editor.projectDialogPath, ProjectFilters, false);
    if(chosen.empty()) return {};
    return loadProject(chosen.front(), editor);
}

std::optional<int> loadProject(std::string_view pathIn, ZandelleEditor& editor) {
    const std::string path = Path::fromNativeSeparators(pathIn);

    const bool restartService = editor.service->isRunning();
    if(restartService) editor.service->stop(true);
    const bool restartWatching = editor.scripting->isWatching();

    if(!initProject(editor, "", "")) return {};

    Debug{} << "Loading project from" << path;
    ProjectData& project = editor.data().project();
    project.setRoot(path);
    project.setFilename(path);

    const std::optional<std::string> text = readProjectText(path);
    if(!text) return {};

    /* Before the parse: a project that fails from here on stays in the
       list, where the user finds it again to fix it */
    if(!editor.suppressRecentProjects) addRecentProject(path);

    ProjectFile& file = editor.data().projectFile();
    if(!parseProjectText(file, *text, path)) return {};

    file.setIdScheme(idSchemeFromName(file["settings/editor/ids"].asString()));

    editor.editorState.reset();
    const std::string statePath = Path::join(Path::path(path), ".editor/state.json");
    if(Path::exists(statePath)) {
        Debug{} << "Loading editor state from" << statePath;
        const std::optional<std::string> state = Path::readString(statePath);
        if(!state || !editor.editorState.deserialize(*state))
            Warning{} << "Unable to load editor state from '.editor/state.json', using default";
    } else Debug{} << "No '.editor/state.json', using default editor state";

    const std::optional<ProjectVersion> version = supportedVersion(file);
    if(!version) return {};

    if(!runLoadMigrations(editor, *version, project.root(), false, nullptr)) return {};

    if(upgradeApiPackage(editor))
        Debug{} << "Upgraded npm package @zandelleengine/api to version 1." << Debug::nospace << 1;

    addDefaultImage(editor);

    /* Index order: collect first, an import may add records */
    std::vector<std::string> fileNames;
    for(const ValueAccess& entry: file.files().range())
        fileNames.emplace_back(entry["fileName"].asString());
    for(const std::string& fileName: fileNames) {
        if(!loadFile(project.absolutePath(fileName), editor, LoadMode::Reimport, true))
            Error{} << "Failed to load" << fileName;
    }

    decidePluginTrust(editor);

    const ProjectVersion loadedVersion = *version;
    return editor.jobSystem->dispatchFunc(
        [&editor, loadedVersion, restartWatching, restartService](JobSystem&, int) {
            loadShaders(editor);
            if(loadedVersion < ProjectVersion{1, 0, 0, 2}) {
                Debug{} << "Migrating Phong material to new ambient and diffuse calculation (=> 1.0.0)";
                Migration::migration_1_0_0_phongColorChanges(editor.data().projectFile());
            }
            activateProject(editor, restartWatching, restartService);
            return JobResult::Success;
        }, {}, JobFlagHighPriority);
}

void activateProject(ZandelleEditor& editor, bool restartWatching, bool restartService) {
    JavaScripting& scripting = *editor.scripting;
    scripting.clear();
    scripting.setRuntimeEntryPath(scriptingEntryPath(editor));
    addScriptingSourcePaths(editor);
    if(restartWatching || editor.watchScripts) scripting.startWatching(*editor.fileWatch);
    if(restartService || editor.autoStartService) editor.service->start();
    if(editor.listRemoteDevices && editor.remoteDevices) editor.remoteDevices->refresh();
    if(editor.assetCompiler) editor.assetCompiler->compileAll();
    for(const ZandelleEditor::Listener& listener: editor.projectLoadedListeners) listener(editor);
    if(!editor.npmInstallRunning) scripting.update(false);
}

}
