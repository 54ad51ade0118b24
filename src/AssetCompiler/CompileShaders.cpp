#include "AssetCompiler/AssetCompiler.h"

#include <algorithm>

#include "AssetCompiler/CompileHelpers.h"
#include "Base/Log.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/RuntimeData.h"
#include "Shaders/Preprocessor.h"
#include "Shaders/ShaderLoading.h"

namespace ZandelleEngine {

using namespace CompileHelpers;

namespace {

/* Position of @p value in @p names; @p names.size() when absent */
template<std::size_t N> std::size_t indexOf(const std::array<std::string_view, N>& names, std::string_view value) {
    return std::size_t(std::find(names.begin(), names.end(), value) - names.begin());
}

/* Stores @p data at @p slot, or appends it and makes that the slot when the
   slot is 0; false when no 16-bit id is left */
template<class T> bool storeAt(std::vector<T>& array, Data::Id& slot, T data) {
    if(slot) {
        array[slot] = std::move(data);
        return true;
    }
    if(array.size() > 0xFFFF) return false;
    slot = Data::Id(array.size());
    array.push_back(std::move(data));
    return true;
}

}

bool AssetCompiler::compileShaders(const ValueAccessRange& range) {
    EditorData& d = data();
    EditorSceneData& scene = d.scene();
    ProjectFile& file = d.projectFile();
    ProjectSection& shaders = file.shaders();
    const ResourceManager<std::string>& sources = d.resources().shaderSources;

    /* Included texts of this run, shared by all its shaders */
    IncludeMap includes;
    std::vector<std::string> includeRecords;

    SectionCursor cursor{file, shaders.readValue()};
    for(const ValueAccess& r: range) {
        const std::string key = r.key();
        const JsonValue* json = cursor.find(key);
        if(!json) continue;
        const RecordReader record{file, "shaders", r, json};
        const FileLink link = r.fileLink();
        const Resource<std::string> source = sources.resolveLink(link);
        if(!source) {
            Warning{} << "AssetCompiler::compileShaders(): Missing shader" << link.name << "from file" << link.file;
            continue;
        }

        const std::string_view stageName = record["stage"].asString();
        const std::size_t stage = indexOf(ShaderStageNames, stageName);
        if(stage == ShaderStageNames.size()) {
            Error{} << "AssetCompiler::compileShaders(): Invalid stage '" + std::string{stageName} + "' for shader " +
                link.name + " from file " + link.file;
            continue;
        }
        if(Data::ShaderStage(stage) == Data::ShaderStage::Include) {
            includeRecords.push_back(key);
            continue;
        }

        const Result<std::vector<std::string>> listed = listIncludes(source.get());
        if(!listed) {
            Error{} << "AssetCompiler::compileShaders(): Parsing #include failed for shader" << link.name << "\nError:" << listed.error();
            continue;
        }
        const std::vector<std::string>& paths = *listed;

        /* Every include this shader names must be known before it is spliced */
        includes.setCapacity(includes.size() + paths.size());
        bool missing = false;
        for(const std::string& path: paths) {
            if(includes.isCompiled() && includes.find(path)) continue;
            const Resource<std::string> included = sources.resolveLink(FileLink{"default", path});
            if(!included) {
                Error{} << "AssetCompiler::compileShaders(): #include '" + path + "' not found.";
                missing = true;
                break;
            }
            includes.put(path, included.get());
            includes.compile();
        }
        if(missing) {
            Error{} << "AssetCompiler::compileShaders(): Skipping compilation for shader" << link.name
                << "containing missing #include that couldn't be resolved.";
            continue;
        }
        if(!includes.isCompiled()) includes.compile();

        std::string fullSource = resolveIncludes(source.get(), includes);
        const std::size_t typeIndex = indexOf(ShaderTypeNames, record["type"].asString());
        const std::uint8_t type = typeIndex == ShaderTypeNames.size() ? 0 : std::uint8_t(typeIndex);

        /* Included files become entries of their own; one already known is
           rewritten only by the pass over include records below */
        for(const std::string& path: paths) {
            const std::string includeKey = shaders.firstResourceWithLink(FileLink{"default", path});
            if(includeKey.empty()) continue;
            Data::Id& includeSlot = resourceIndex.includeShaders[includeKey];
            if(includeSlot) continue;
            if(!storeAt(scene.includeShaders, includeSlot,
                Data::createShaderData(path, *includes.find(path), 0, type, Data::ShaderStage::Include)))
                Error{} << "AssetCompiler::compileShaders(): No id left for include" << path;
        }

        Data::Id& slot = resourceIndex.shaders[key];
        const bool isNew = !slot;
        if(!storeAt(scene.shaders, slot, Data::createShaderData(link.name, source.get(), 0, type, Data::ShaderStage(stage)))) {
            Error{} << "AssetCompiler::compileShaders(): No id left for shader" << key;
            continue;
        }
        if(isNew) scene.shaderSources.push_back(std::move(fullSource));
        else scene.shaderSources[slot] = std::move(fullSource);
    }

    /* Include files that shaders already use are rewritten in place, so a
       reload after an edit of one reaches the runtime */
    for(const std::string& key: includeRecords) {
        const Data::Id slot = ResourceIndex::lookup(resourceIndex.includeShaders, key);
        if(!slot) continue;
        /* Both hold unless the document was edited behind the index's back */
        const ValueAccess record = shaders[key];
        const Resource<std::string> source = record.hasValue() ? sources.resolveLink(record.fileLink()) : Resource<std::string>{};
        if(!source) continue;
        /* Rewritten entries are named by the record's key, with forward
           slashes */
        std::string name = key;
        std::replace(name.begin(), name.end(), '\\', '/');
        scene.includeShaders[slot] = Data::createShaderData(name, source.get(), 0, 1, Data::ShaderStage::Include);
    }

    scene.setAssetTypeDirty(AssetType::Shaders);
    return true;
}

}
