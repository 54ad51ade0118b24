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

/* The rule of most resource sections: recompile record c2 through
   @p step, but not for a change of its name alone */
FunctionChangeHandler::Function recompileUnlessName(ZandelleEditor& editor, const CompileStep& step) {
    return [&editor, &step](const Change& change, void*) {
        const PathComponents c{change.path};
        if(c.size() < 3 || c[3] == "name") return;
        editor.assetCompiler->compile(step.name, {c[2]});
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
        editor.assetCompiler->compile("fonts", {std::string{file.materials()[material]["Text/font"].asString()}});
    }
    editor.changedObjects.push_back(id);
}

void handleMaterialChange(ZandelleEditor& editor, const Change& change) {
    const PathComponents c{change.path};
    if(c.size() < 3 || c[3] == "name") return;
    const std::string& id = c[2];
    editor.assetCompiler->compile("materials", {id});

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
        editor.assetCompiler->compile("fonts", {std::string{Json::asString(change.value)}});
}

void handlePipelineChange(ZandelleEditor& editor, const Change& change) {
    const PathComponents c{change.path};
    if(c.size() == 2) {
        editor.assetCompiler->compile("pipelines");
        return;
    }
    if(c.size() < 3) return;
    std::string& viewed = editor.data().viewedPipelineId;
    if(!change.value && c[2] == viewed) viewed.clear();
    editor.assetCompiler->compile("pipelines", {c[2]});
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
    editor.assetCompiler->compile("languages", {c[2]});
    last.revision = change.revision;
    last.id = c[2];
}

void handleSettingsChange(ZandelleEditor& editor, EditorData& data, const Change& change) {
    const PathComponents c{change.path};
    if(c.size() < 3) return;
    AssetCompiler& compiler = *editor.assetCompiler;
    if(c[2] == "physx") compiler.compile("settings");
    if(c.size() < 4) return;

    if(c[3] == "ids" || c[3] == "pwa") compiler.compile("settings");
    if(c[3] == "compressedTextureAtlasSize" || c[3] == "textureAtlasSize" || (c.size() > 4 && c[4] == "maxCacheSize"))
        compiler.compile("images");
    if(c[3] == "usePreZ" || c[3] == "useMultiDraw") compiler.compile("pipelines");
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

/* The handler of the section of @p step: those that do more than compile
   the changed record again have their own */
FunctionChangeHandler::Function sectionHandler(ZandelleEditor& editor, const CompileStep& step) {
    const std::string_view section = step.section;
    if(section == "objects") return [&editor](const Change& change, void*) { handleObjectChange(editor, change); };
    if(section == "materials") return [&editor](const Change& change, void*) { handleMaterialChange(editor, change); };
    if(section == "pipelines") return [&editor](const Change& change, void*) { handlePipelineChange(editor, change); };
    if(section == "settings") return [&editor](const Change& change, void* data) {
        handleSettingsChange(editor, *static_cast<EditorData*>(data), change);
    };
    if(section == "languages") return [&editor, last = LanguageState{}](const Change& change, void*) mutable {
        handleLanguageChange(editor, last, change);
    };
    /* A shader is compiled again even when only its name changed */
    if(section == "shaders") return [&editor](const Change& change, void*) {
        const PathComponents c{change.path};
        if(c.size() >= 3) editor.assetCompiler->compile("shaders", {c[2]});
    };
    return recompileUnlessName(editor, step);
}

}

void registerChangeHandlers(ZandelleEditor& editor) {
    ChangeTracker& tracker = *editor.changeTracker;
    /* One handler per section that a compile step reads */
    std::unordered_set<std::string_view> sections;
    for(const CompileStep& step: AssetCompiler::compileSteps()) {
        if(!sections.insert(step.section).second) continue;
        const std::string_view section = step.section;
        tracker.registerHandler(section, sectionHandler(editor, step), section == "settings" ? &editor.data() : nullptr);
    }
    tracker.registerHandler("sourcePaths", [&editor](const Change&, void*) {
        editor.scripting->clear();
        addScriptingSourcePaths(editor);
    });
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
        editor.assetCompiler->compile("components", {id});
        ++done.changed;
    }
    for(const std::string& id: editor.transformedObjects) {
        if(!compiled.insert(id).second || !objects[id].isSetInProject()) continue;
        editor.assetCompiler->compile("objects", {id});
        ++done.moved;
    }
    editor.changedObjects.clear();
    editor.transformedObjects.clear();
    return done;
}

}
