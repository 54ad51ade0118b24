#include "Base/Log.h"
#include "Base/Path.h"
#include "Base/String.h"
#include "Editor/ZandelleEditor.h"
#include "Tools/ProjectFiles.h"

namespace ZandelleEngine {

bool saveProject(ZandelleEditor& editor, bool saveAs) {
    ProjectData& project = editor.data().project();
    if(!saveAs && !project.filename().empty())
        return saveProject(Path::join(project.root(), project.filename()), editor);

    const std::string path = editor.dialogs->saveFile("Save Project", Path::path(Path::executableLocation()),
        {{"Zandelle Engine Project", "*.zdp"}, {"All Files", "*"}});
    if(path.empty()) return false;
    return saveProject(path, editor);
}

bool saveProject(std::string_view pathIn, ZandelleEditor& editor) {
    std::string target = Path::fromNativeSeparators(pathIn);
    if(!String::endsWith(target, ".zdp")) target += ".zdp";

    const auto [directory, filename] = Path::split(target);
    Path::make(directory);
    const std::string editorDirectory = Path::join(directory, ".editor");
    Path::makeOwned(editorDirectory);

    if(Path::writeAtomic(Path::join(editorDirectory, "state.json"), editor.editorState.serialize()))
        Debug{} << "Saved editor state";
    else Warning{} << "Failed to save editor state";

    ProjectData& project = editor.data().project();
    /* The target, not its directory: a bare file name's directory is the
       current one, not none */
    project.setRoot(target);
    project.setFilename(pathIn);

    ProjectFile& file = editor.data().projectFile();
    ValueAccess name = file["settings/project/name"];
    if(name.asString().empty() && name.isString())
        name.setString(Path::splitExtension(filename).first);
    file["settings/project/version"].setArray(std::vector<std::int32_t>{
        CurrentProjectVersion.major, CurrentProjectVersion.minor,
        CurrentProjectVersion.patch, CurrentProjectVersion.prerelease});

    const std::optional<std::string> text = file.toString();
    if(!text || !Path::writeAtomic(target, *text, Path::Sync::Durable, Path::Links::Follow)) {
        Error{} << "Failed saving project to" << target;
        if(editor.showErrorDialogs)
            editor.dialogs->message("Zandelle Engine", "Saving project failed", DialogIcon::Error);
        return false;
    }

    editor.changeTracker->markSaved();
    if(!editor.suppressRecentProjects) addRecentProject(target);
    Debug{} << "Saved project to" << target;
    for(const ZandelleEditor::Listener& listener: editor.projectSavedListeners) listener(editor);
    return true;
}

}
