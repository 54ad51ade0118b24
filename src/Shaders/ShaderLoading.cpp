#include "Shaders/ShaderLoading.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "Base/Log.h"
#include "Base/Path.h"
#include "Base/String.h"
#include "Editor/ZandelleEditor.h"
#include "Shaders/DefaultPipelines.h"
#include "Shaders/MaterialDefinition.h"
#include "Shaders/Preprocessor.h"
#include "Shaders/ShaderDefines.h"
#include "Shaders/ShaderResourceGroups.h"

namespace ZandelleEngine {

const std::array<std::string_view, 3> ShaderStageNames{"vertex", "fragment", "include"};

const std::array<std::string_view, 7> ShaderTypeNames{
    "screenspace quad", "forward", "depth", "tile feedback", "skinning", "text", "mesh visualizer"};

const std::array<std::string_view, 7> ShaderTypeMarkers{
    "SHADER_TYPE_SCREENSPACE_QUAD", "SHADER_TYPE_FORWARD", "SHADER_TYPE_DEPTH", "SHADER_TYPE_TILE_FEEDBACK",
    "SHADER_TYPE_SKINNING", "SHADER_TYPE_TEXT", "SHADER_TYPE_MESH_VISUALIZER"};

bool isShaderFile(std::string_view path) {
    const std::string extension = Path::splitExtension(path).second;
    return extension == ".vert" || extension == ".frag" || extension == ".glsl";
}

namespace {

/* The shader files below @p directory, relative to it, in path order so that
   loads do not depend on how the file system lists them */
std::vector<std::string> shaderFilesBelow(const std::string& directory) {
    std::vector<std::string> out;
    namespace fs = std::filesystem;
    std::error_code error;
    fs::recursive_directory_iterator it{fs::path{directory}, fs::directory_options::skip_permission_denied, error};
    for(; !error && it != fs::recursive_directory_iterator{}; it.increment(error)) {
        /* A dangling link is passed over, it does not end the listing */
        std::error_code entryError;
        if(!it->is_regular_file(entryError)) continue;
        std::string relative = fs::path{it->path()}.lexically_relative(directory).generic_string();
        if(isShaderFile(relative)) out.push_back(std::move(relative));
    }
    if(error) Warning{} << "Cannot list shader directory" << directory;
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<ShaderFile> candidateFiles(const std::string& editorDirectory, const std::string& projectDirectory) {
    std::vector<ShaderFile> files;
    for(std::string_view group: shaderResourceGroups()) {
        for(std::string& path: shaderResourceFiles(group))
            if(isShaderFile(path)) files.push_back(ShaderFile{std::move(path), ShaderOrigin::CompiledIn, std::string{group}});
    }
    if(!editorDirectory.empty() && Path::isDirectory(editorDirectory)) {
        for(std::string& path: shaderFilesBelow(editorDirectory)) {
            /* The compiled-in overrides and their configuration live there */
            if(String::beginsWith(path, "internal/") || String::beginsWith(path, "resources/")) continue;
            files.push_back(ShaderFile{std::move(path), ShaderOrigin::EditorDirectory, {}});
        }
    }
    if(!projectDirectory.empty())
        for(std::string& path: shaderFilesBelow(projectDirectory))
            files.push_back(ShaderFile{std::move(path), ShaderOrigin::ProjectDirectory, {}});
    return files;
}

/* By file name, first come first kept; particles last */
void sortCandidates(std::vector<ShaderFile>& files) {
    std::stable_sort(files.begin(), files.end(), [](const ShaderFile& a, const ShaderFile& b) {
        return Path::filename(a.path) < Path::filename(b.path);
    });
    std::stable_partition(files.begin(), files.end(), [](const ShaderFile& f) {
        return Path::filename(f.path) != "Particle.frag";
    });
}

ShaderStage stageOf(const ShaderFile& file) {
    if(file.origin != ShaderOrigin::ProjectDirectory && String::beginsWith(file.path, "lib/"))
        return ShaderStage::Include;
    const std::string extension = Path::splitExtension(file.path).second;
    if(extension == ".frag") return ShaderStage::Fragment;
    if(extension == ".glsl") return ShaderStage::Include;
    return ShaderStage::Vertex;
}

std::size_t shaderType(const Preprocessor& preprocessor) {
    for(std::size_t i = 0; i != ShaderTypeMarkers.size(); ++i)
        if(preprocessor.isDefined(ShaderTypeMarkers[i])) return i;
    return 1;
}

/* Shared by the watches of one shader load and handed on by its reloads.
   Every qualifying change gets a reload of its own, so a change made while
   an earlier reload waits or runs is loaded by a later one. Each reload
   depends on the one dispatched before it, so two loads never run at once
   and they run in the order of the changes. */
struct ReloadState {
    std::atomic<int> lastJob{0};
};

void loadShaders(ZandelleEditor& editor, const std::shared_ptr<ReloadState>& reloads);

/* Keeps a reload's progress record alive and referenced for as long as its
   job exists, also when the job is dropped before it ran */
struct ReloadHold {
    ReloadHold(std::shared_ptr<Progress> task, std::shared_ptr<ReloadState> reloads):
        task{std::move(task)}, reference{*this->task}, reloads{std::move(reloads)} {}

    std::shared_ptr<Progress> task;
    ProgressReference reference;
    std::shared_ptr<ReloadState> reloads;
};

FileWatch::Callback reloadHandler(std::shared_ptr<ReloadState> reloads) {
    return [reloads](ZandelleEditor& editor, const std::string& path) {
        if(!isShaderFile(path) && Path::splitExtension(path).second != ".conf") return;

        auto hold = std::make_shared<ReloadHold>(editor.addTask("Reloading shaders", 2), reloads);
        const int previous = reloads->lastJob.load();
        reloads->lastJob = editor.jobSystem->dispatchFunc([&editor, hold](JobSystem&, int) {
            Progress& progress = *hold->reference;
            Debug{} << "Reloading shaders";
            loadShaders(editor, hold->reloads);
            ++progress.done;
            for(const ZandelleEditor::Listener& listener: editor.shadersReloadedListeners) listener(editor);
            ++progress.done;
            return JobResult::Success;
        }, previous ? std::vector<int>{previous} : std::vector<int>{});
    };
}

void replaceWatches(ZandelleEditor& editor, const std::string& projectDirectory, const std::string& configuration,
    const std::shared_ptr<ReloadState>& reloads)
{
    if(!editor.fileWatch) return;
    FileWatch& watch = *editor.fileWatch;
    for(int& id: editor.shaderWatchIds) {
        if(id != -1) watch.remove(id);
        id = -1;
    }
    if(!editor.shaderDirectory.empty())
        editor.shaderWatchIds[0] = watch.watch(editor.shaderDirectory, reloadHandler(reloads), true);
    if(!projectDirectory.empty())
        editor.shaderWatchIds[1] = watch.watch(projectDirectory, reloadHandler(reloads), true);
    if(!configuration.empty())
        editor.shaderWatchIds[2] = watch.watch(configuration, reloadHandler(reloads));
}

std::optional<std::string> readSource(const ShaderFile& file, const std::string& editorDirectory,
    const std::string& projectDirectory)
{
    if(file.origin == ShaderOrigin::CompiledIn) {
        std::optional<std::string> source = shaderResource(file.group, file.path);
        if(!source || source->empty()) {
            Warning{} << "Cannot load shader resource" << file.path;
            return {};
        }
        return source;
    }
    const std::string fullPath = Path::join(
        file.origin == ShaderOrigin::EditorDirectory ? editorDirectory : projectDirectory, file.path);
    std::optional<std::string> source = Path::readString(fullPath);
    if(!source) Warning{} << "Cannot load shader source" << fullPath;
    return source;
}

/* One entry of the candidate list, from reading to its pipelines */
void loadShader(EditorData& data, const ShaderFile& file, ShaderStage stage, std::string source) {
    ProjectFile& projectFile = data.projectFile();
    ResourceManager<std::string>& sources = data.resources().shaderSources;
    const FileLink link{"default", file.path};
    const std::string fileName = Path::filename(file.path);
    const std::string baseName = Path::splitExtension(fileName).first;

    Preprocessor markers;
    markers.process(source);
    if(markers.isDefined("SHADER_INTERNAL")) {
        sources.add(link, std::move(source));
        return;
    }

    ProjectSection& shaders = projectFile.shaders();
    OriginalAccess record = shaders.addOriginal(link);
    record["name"].setString(baseName);
    record["stage"].setString(ShaderStageNames[std::size_t(stage)]);
    record["type"].setString(ShaderTypeNames[shaderType(markers)]);
    std::string key = shaders.firstResourceWithLink(link);
    if(key.empty()) key = shaders.addResource(link);

    if(stage != ShaderStage::Fragment) {
        sources.add(link, std::move(source));
        return;
    }

    const std::vector<std::string> features = shaderFeatures(markers);
    Preprocessor withFeatures;
    withFeatures.processOwned(featureDefines(features));
    withFeatures.process(source);
    if(!withFeatures.isOk()) {
        Error{} << "Syntax error in shader" << fileName;
        return;
    }

    if(const ShadingModelParameters* expected = builtinShadingModelParameters(baseName)) {
        const std::vector<std::string> messages =
            validateMaterialParameters(withFeatures.output(), expected->names, expected->types);
        if(!messages.empty()) {
            Error{} << "Skipping shader with failed validation:" << fileName;
            for(const std::string& message: messages) Error{} << message;
            return;
        }
    }

    sources.add(link, std::move(source));
    record["features"].setArray(features);
    addShaderDefaultPipelines(projectFile, baseName, key, features);
}

void loadShaders(ZandelleEditor& editor, const std::shared_ptr<ReloadState>& reloads) {
    /* The two groups are linked into the library at build time; there is
       nothing to register at run time */
    EditorData& data = editor.data();
    const std::string& editorDirectory = editor.shaderDirectory;

    /* The configuration of the compiled-in editor shaders' disk copies.
       Without the file the compiled-in data applies again. */
    const std::string configuration = editorDirectory.empty() ? std::string{} :
        Path::join(editorDirectory, "internal/resources.conf");
    if(!configuration.empty() && Path::exists(configuration)) {
        if(!overrideEditorShaderGroup(configuration))
            Warning{} << "Cannot apply shader resource configuration" << configuration;
    } else overrideEditorShaderGroup({});

    /* A project never saved has no root: its shaders directory is then
       taken from the current directory */
    std::string projectDirectory = data.project().shadersPath();
    if(!Path::isDirectory(projectDirectory)) projectDirectory.clear();

    std::vector<ShaderFile> files = candidateFiles(editorDirectory, projectDirectory);
    if(!projectDirectory.empty())
        Debug{} << "Loading shaders from" << projectDirectory << "and" << editorDirectory;
    else
        Debug{} << "Loading shaders from" << editorDirectory;

    sortCandidates(files);
    data.resources().shaderSources.reserve(2*files.size());

    replaceWatches(editor, projectDirectory, configuration, reloads);

    std::string lastFileName;
    ShaderOrigin lastOrigin = ShaderOrigin::CompiledIn;
    for(const ShaderFile& file: files) {
        const ShaderStage stage = stageOf(file);
        std::string fileName = Path::filename(file.path);

        if(fileName == lastFileName) {
            const bool mayOverride = file.origin == ShaderOrigin::ProjectDirectory &&
                stage != ShaderStage::Vertex && lastOrigin != ShaderOrigin::CompiledIn;
            if(!mayOverride) {
                Warning{} << "Ignored shader" << file.path << Debug::nospace << ", only fragment shaders can be overridden";
                continue;
            }
        }
        lastFileName = std::move(fileName);
        lastOrigin = file.origin;

        std::optional<std::string> source = readSource(file, editorDirectory, projectDirectory);
        if(!source) continue;
        loadShader(data, file, stage, std::move(*source));
    }

    ProjectFile& projectFile = data.projectFile();
    addFixedDefaultPipelines(projectFile);
    setDefaultMaterialPipeline(projectFile);
}

}

void loadShaders(ZandelleEditor& editor) {
    loadShaders(editor, std::make_shared<ReloadState>());
}

}
