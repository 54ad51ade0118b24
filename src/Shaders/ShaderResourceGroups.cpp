#include "Shaders/ShaderResourceGroups.h"

#include "Base/Resource.h"

namespace ZandelleEngine {

std::vector<std::string_view> shaderResourceGroups() {
    return {"ZandelleEngineInternalShaders", EditorShaderGroup};
}

std::vector<std::string> shaderResourceFiles(std::string_view group) {
    if(!Resource::hasGroup(group)) return {};
    return Resource{group}.list();
}

std::optional<std::string> shaderResource(std::string_view group, std::string_view filename) {
    if(!Resource::hasGroup(group)) return {};
    return Resource{group}.getString(filename);
}

bool overrideEditorShaderGroup(std::string_view configurationFile) {
    if(configurationFile.empty()) {
        Resource::resetOverride(EditorShaderGroup);
        return true;
    }
    return Resource::overrideGroup(EditorShaderGroup, configurationFile);
}

}
