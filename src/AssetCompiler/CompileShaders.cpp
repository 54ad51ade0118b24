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

/* Check: puts the text of every file of @p paths that @p includes lacks
   into it; false, with the lines that say so, when one is not found */
bool addIncludes(IncludeMap& includes, const ResourceManager<std::string>& sources, const std::vector<std::string>& paths,
    std::string_view shaderName)
{
    includes.setCapacity(includes.size() + paths.size());
    for(const std::string& path: paths) {
        if(includes.isCompiled() && includes.find(path)) continue;
        const Resource<std::string> included = sources.resolveLink(FileLink{"default", path});
        if(!included) {
            Error{} << "AssetCompiler::compileShaders(): #include '" + path + "' not found.";
            Error{} << "AssetCompiler::compileShaders(): Skipping compilation for shader" << shaderName
                << "containing missing #include that couldn't be resolved.";
            return false;
        }
        includes.put(path, included.get());
        includes.compile();
    }
    if(!includes.isCompiled()) includes.compile();
    return true;
}

/* Store: the files of @p paths that have an include record and no entry
   yet become entries of their own; one already known is rewritten only by
   rewriteIncludes() */
void storeIncludes(const ProjectSection& shaders, const IncludeMap& includes, const std::vector<std::string>& paths,
    std::uint8_t type, ResourceIndex::Map& index, std::vector<Data::ByteArray>& entries)
{
    for(const std::string& path: paths) {
        const std::string includeKey = shaders.firstResourceWithLink(FileLink{"default", path});
        if(includeKey.empty()) continue;
        Data::Id& includeSlot = index[includeKey];
        if(includeSlot) continue;
        storeInSlot(includeSlot, {"compileShaders", "include", path}, std::tie(entries),
            Data::createShaderData(path, *includes.find(path), 0, type, Data::ShaderStage::Include));
    }
}

/* Store: include records of @p keys that shaders already use are rewritten
   in place, so a reload after an edit of one reaches the runtime */
void rewriteIncludes(const ProjectSection& shaders, const ResourceManager<std::string>& sources,
    const std::vector<std::string>& keys, const ResourceIndex::Map& index, std::vector<Data::ByteArray>& entries)
{
    for(const std::string& key: keys) {
        const Data::Id slot = ResourceIndex::lookup(index, key);
        if(!slot) continue;
        /* Both hold unless the document was edited behind the index's back */
        const ValueAccess record = shaders[key];
        const Resource<std::string> source = record.hasValue() ? sources.resolveLink(record.fileLink()) : Resource<std::string>{};
        if(!source) continue;
        /* Rewritten entries are named by the record's key, with forward
           slashes */
        std::string name = key;
        std::replace(name.begin(), name.end(), '\\', '/');
        entries[slot] = Data::createShaderData(name, source.get(), 0, 1, Data::ShaderStage::Include);
    }
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
        if(!addIncludes(includes, sources, paths, link.name)) continue;

        std::string fullSource = resolveIncludes(source.get(), includes);
        const std::size_t typeIndex = indexOf(ShaderTypeNames, record["type"].asString());
        const std::uint8_t type = typeIndex == ShaderTypeNames.size() ? 0 : std::uint8_t(typeIndex);

        storeIncludes(shaders, includes, paths, type, resourceIndex.includeShaders, scene.includeShaders);
        storeInSlot(resourceIndex.shaders[key], {"compileShaders", "shader", key}, std::tie(scene.shaders, scene.shaderSources),
            Data::createShaderData(link.name, source.get(), 0, type, Data::ShaderStage(stage)), std::move(fullSource));
    }

    rewriteIncludes(shaders, sources, includeRecords, resourceIndex.includeShaders, scene.includeShaders);

    scene.setAssetTypeDirty(AssetType::Shaders);
    return true;
}

}
