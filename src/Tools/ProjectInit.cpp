#include <cstdlib>

#include "AssetCompiler/AssetCompiler.h"
#include "Base/Assert.h"
#include "Base/Log.h"
#include "Base/Path.h"
#include "Devices/RemoteDevices.h"
#include "Editor/ZandelleEditor.h"
#include "Shaders/ShaderLoading.h"
#include "Tools/ChangeHandlers.h"
#include "Tools/EditorTools.h"
#include "Tools/NewProject.h"
#include "Tools/ProjectFiles.h"

namespace ZandelleEngine {

namespace {

/* The default font every project starts with; an installation without it
   cannot initialise any project. Returns the font's resource id. */
std::string addDefaultFont(ZandelleEditor& editor) {
    const std::string fontPath = Path::join(editor.resourcesPath, "fonts/DejaVuSans.ttf");
    std::optional<std::vector<char>> bytes = Path::read(fontPath);
    if(!bytes) fatal("Failed to load default font");

    EditorData& data = editor.data();
    const FileLink link{"default", "DejaVuSans.ttf"};
    data.resources().fonts.reserve(1);
    data.resources().fonts.add(link, std::move(*bytes));
    data.projectFile().fonts().addOriginal(link)["name"].setString("DejaVuSans.ttf");
    return data.projectFile().fonts().addResource(link);
}

void addDefaultFontMaterial(ZandelleEditor& editor, const std::string& fontId) {
    ProjectSection& materials = editor.data().projectFile().materials();
    const FileLink link{"default", "DefaultFontMaterial"};
    OriginalAccess original = materials.addOriginal(link);
    if(materials.resourceByName("DefaultFontMaterial").empty())
        materials.addResource(link, "DefaultFontMaterial");
    original["name"].setString("DefaultFontMaterial");
    original["pipeline"].setString(editor.data().projectFile().pipelines().resourceByName("Text"));
    original["Text/font"].setString(fontId);
}

}

bool initProject(ZandelleEditor& editor, std::string_view name, std::string_view path) {
    editor.jobSystem->cancelAll();
    editor.jobSystem->waitForIdle();

    if(editor.extraWatchId != -1) {
        editor.fileWatch->remove(editor.extraWatchId);
        editor.extraWatchId = -1;
    }

    const bool serviceRan = editor.service->isRunning();
    if(serviceRan) editor.service->stop(true);

    Debug{} << "Resetting editor data";

    for(int id: editor.data().watchIds) editor.fileWatch->remove(id);

    /* Rebuild the data; the scene generation goes on counting so the editor
       sees everything as changed */
    const std::uint32_t generation = editor.data().scene().generation + 1;
    editor.resetData();
    EditorSceneData& scene = editor.data().scene();
    scene.generation = generation;
    for(auto& g: scene.assetTypeGenerations) g.store(generation);
    scene.currentGeneration.store(generation);

    ProjectFile& file = editor.data().projectFile();
    editor.changeTracker->reset(&file);
    if(!editor.assetCompiler) editorTools(editor).setAssetCompiler(std::make_unique<AssetCompiler>());
    /* Activation refreshes this list when the editor asks for it, so it must
       exist before the first project is activated */
    if(!editor.remoteDevices) editorTools(editor).setRemoteDevices(std::make_unique<RemoteDevices>());
    editor.assetCompiler->initialize(editor);

    registerChangeHandlers(editor);

    editor.scripting->reset();
    editor.scripting->setSceneContext(&scene, &file.defaults());
    editor.scripting->pluginManager().clear();

    editor.data().resources().reset(file);

    Debug{} << "Initializing new project";

    loadShaders(editor);
    addPrimitiveMeshes(editor);
    addDefaultFontMaterial(editor, addDefaultFont(editor));

    if(serviceRan) editor.service->start();

    if(!name.empty()) file["settings/project/name"].setString(name);
    if(!path.empty()) saveProject(path, editor);

    editor.data().initialized = true;
    return true;
}

}
