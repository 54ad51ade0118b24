#include "Tools/ChangeHandlers.h"

#include <algorithm>
#include <string>
#include <unordered_set>
#include <vector>

#include "AssetCompiler/AssetCompiler.h"
#include "Base/Path.h"
#include "Base/String.h"
#include "Editor/ZandelleEditor.h"
#include "Tools/ProjectFiles.h"

namespace ZandelleEngine {

namespace {

/* The change path split at "/": component 0 is empty, 1 the section, 2 the
   resource id or settings group, 3 the key, 4 a sub-key. Missing components
   read as empty. */
class PathComponents {
    public:
        explicit PathComponents(std::string_view path): _components{String::split(path, '/')} {}
        std::size_t size() const { return _components.size(); }
        const std::string& operator[](std::size_t i) const {
            static const std::string empty;
            return i < _components.size() ? _components[i] : empty;
        }
    private:
        std::vector<std::string> _components;
};

/* Member @p name of an object, null when absent */
const JsonValue* member(const JsonValue* object, const char* name) {
    if(!object || !object->IsObject()) return nullptr;
    const auto found = object->FindMember(name);
    return found == object->MemberEnd() ? nullptr : &found->value;
}

using RecordCompile = bool (AssetCompiler::*)(std::string_view);

/* The rule of most resource sections: recompile record c2, but not for a
   change of its name alone */
FunctionChangeHandler::Function recompileUnlessName(ZandelleEditor& editor, RecordCompile compile) {
    return [&editor, compile](const Change& change, void*) {
        const PathComponents c{change.path};
        if(c.size() < 3 || c[3] == "name") return;
        (editor.assetCompiler->*compile)(c[2]);
    };
}

void handleObjectChange(ZandelleEditor& editor, const Change& change) {
    const PathComponents c{change.path};
    if(c.size() < 3) return;
    const std::string& id = c[2];
    if(c.size() == 3 && !change.value) {
        editor.assetCompiler->deleteObject(id);
        std::vector<std::string>& changed = editor.changedObjects;
        for(std::size_t i = changed.size(); i-- != 0; )
            if(changed[i] == id) changed.erase(changed.begin() + i);
        return;
    }
    if(c.size() > 3 && (c[3] == "translation" || c[3] == "rotation" || c[3] == "scaling")) {
        editor.transformedObjects.push_back(id);
        return;
    }
    /* A text component switching material may need that material's font */
    if(c.size() == 7 && c[3] == "components" && c[5] == "text" && c[6] == "material" &&
       change.value && change.value->IsString())
    {
        ProjectFile& file = editor.data().projectFile();
        const std::string material{Json::asString(change.value)};
        editor.assetCompiler->compileFont(file.materials()[material]["Text/font"].asString());
    }
    editor.changedObjects.push_back(id);
}

void handleMaterialChange(ZandelleEditor& editor, const Change& change) {
    const PathComponents c{change.path};
    if(c.size() < 3 || c[3] == "name") return;
    const std::string& id = c[2];
    editor.assetCompiler->compileMaterial(id);

    const bool pipelineChange = c.size() >= 4 && c[3] == "pipeline";
    const bool fontChange = c.size() > 4 && String::endsWith(String::lowercase(c[4]), "font");
    if(!pipelineChange && !fontChange) return;

    /* Objects drawing with the material: mesh users only when the pipeline
       changed, text users on either change */
    std::vector<std::string> users;
    for(const ValueAccess& object: editor.data().projectFile().objects().range()) {
        const JsonValue* components = object["components"].readValue();
        if(!components || !components->IsArray()) continue;
        for(const JsonValue& component: components->GetArray()) {
            const std::string_view type = Json::asString(member(&component, "type"));
            if(type.empty()) continue;
            if((type == "mesh" && pipelineChange && Json::asString(member(member(&component, "mesh"), "material")) == id) ||
               (type == "text" && Json::asString(member(member(&component, "text"), "material")) == id))
                users.push_back(object.key());
        }
    }
    editor.changedObjects.insert(editor.changedObjects.end(), users.begin(), users.end());

    if(fontChange && change.value && change.value->IsString())
        editor.assetCompiler->compileFont(Json::asString(change.value));
}

void handlePipelineChange(ZandelleEditor& editor, const Change& change) {
    const PathComponents c{change.path};
    if(c.size() == 2) {
        editor.assetCompiler->compilePipelines();
        return;
    }
    if(c.size() < 3) return;
    std::string& viewed = editor.data().viewedPipelineId;
    if(!change.value && c[2] == viewed) viewed.clear();
    editor.assetCompiler->compilePipeline(c[2]);
}

/* A language edit that arrives twice under one revision compiles once */
struct LanguageState {
    std::int32_t revision = -1;
    std::string id;
};

void handleLanguageChange(ZandelleEditor& editor, LanguageState& last, const Change& change) {
    const PathComponents c{change.path};
    if(c.size() < 3) return;
    if(change.revision != -1 && change.revision == last.revision && c[2] == last.id) return;
    editor.assetCompiler->compileLanguage(c[2]);
    last.revision = change.revision;
    last.id = c[2];
}

void handleSettingsChange(ZandelleEditor& editor, EditorData& data, const Change& change) {
    const PathComponents c{change.path};
    if(c.size() < 3) return;
    AssetCompiler& compiler = *editor.assetCompiler;
    if(c[2] == "physx") compiler.compileSettings();
    if(c.size() < 4) return;

    if(c[3] == "ids" || c[3] == "pwa") compiler.compileSettings();
    if(c[3] == "compressedTextureAtlasSize" || c[3] == "textureAtlasSize" || (c.size() > 4 && c[4] == "maxCacheSize"))
        compiler.compileImages();
    if(c[3] == "usePreZ" || c[3] == "useMultiDraw") compiler.compilePipelines();
    /* Whether and with which material the sky is drawn decides the kind of
       the sky pipelines */
    if(c[2] == "rendering" && c[3] == "sky") compiler.updatePipelineKinds();

    JavaScripting& scripting = *editor.scripting;
    if(((c[2] == "project" && c[3] == "name") || c[3] == "bundlingType") && scripting.isWatching()) {
        scripting.stopWatching();
        scripting.startWatching(*editor.fileWatch);
    }
    if(c[3] == "entryPoint") {
        scripting.setRuntimeEntryPath({});
        scripting.setRuntimeEntryPath(scriptingEntryPath(editor));
    }
    if(editor.pluginsEnabled && c[2] == "plugins" && c[4] == "enable")
        scripting.pluginManager().setEnabled(c[3], change.value && change.value->IsBool() && change.value->GetBool());

    /* The editor redraws when the settings revision moves */
    if(c[2] == "rendering" || c[2] == "editor") {
        EditorSceneData& scene = data.scene();
        ++scene.settingsRevision;
        scene.currentGeneration.store(scene.settingsRevision);
    }
}

}

void registerChangeHandlers(ZandelleEditor& editor) {
    ChangeTracker& tracker = *editor.changeTracker;
    tracker.registerHandler("animations", recompileUnlessName(editor, &AssetCompiler::compileAnimation));
    tracker.registerHandler("meshes", recompileUnlessName(editor, &AssetCompiler::compileMesh));
    tracker.registerHandler("objects", [&editor](const Change& change, void*) { handleObjectChange(editor, change); });
    tracker.registerHandler("materials", [&editor](const Change& change, void*) { handleMaterialChange(editor, change); });
    tracker.registerHandler("shaders", [&editor](const Change& change, void*) {
        const PathComponents c{change.path};
        if(c.size() >= 3) editor.assetCompiler->compileShader(c[2]);
    });
    tracker.registerHandler("images", recompileUnlessName(editor, &AssetCompiler::compileImage));
    tracker.registerHandler("textures", recompileUnlessName(editor, &AssetCompiler::compileTexture));
    tracker.registerHandler("skins", recompileUnlessName(editor, &AssetCompiler::compileSkin));
    tracker.registerHandler("pipelines", [&editor](const Change& change, void*) { handlePipelineChange(editor, change); });
    tracker.registerHandler("fonts", recompileUnlessName(editor, &AssetCompiler::compileFont));
    tracker.registerHandler("languages", [&editor, last = LanguageState{}](const Change& change, void*) mutable {
        handleLanguageChange(editor, last, change);
    });
    tracker.registerHandler("sourcePaths", [&editor](const Change&, void*) {
        editor.scripting->clear();
        addScriptingSourcePaths(editor);
    });
    tracker.registerHandler("settings", [&editor](const Change& change, void* data) {
        handleSettingsChange(editor, *static_cast<EditorData*>(data), change);
    }, &editor.data());
}

void addScriptingSourcePaths(ZandelleEditor& editor) {
    for(std::string_view sourcePath: editor.data().projectFile()["settings/scripting/sourcePaths"].asStringViewArray())
        editor.scripting->addPath(resolveProjectPath(editor, sourcePath));
}

std::string scriptingEntryPath(ZandelleEditor& editor) {
    return Path::join(editor.data().project().root(),
        Path::fromNativeSeparators(editor.data().projectFile()["settings/scripting"]["entryPoint"].asString()));
}

ListedObjects compileListedObjects(ZandelleEditor& editor) {
    ListedObjects done;
    ProjectSection& objects = editor.data().projectFile().objects();
    std::unordered_set<std::string> compiled;
    for(const std::string& id: editor.changedObjects) {
        if(!compiled.insert(id).second || !objects[id].isSetInProject()) continue;
        editor.assetCompiler->compileObject(id, true);
        ++done.changed;
    }
    for(const std::string& id: editor.transformedObjects) {
        if(!compiled.insert(id).second || !objects[id].isSetInProject()) continue;
        editor.assetCompiler->compileObject(id, false);
        ++done.moved;
    }
    editor.changedObjects.clear();
    editor.transformedObjects.clear();
    return done;
}

}
