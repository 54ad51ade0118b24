#pragma once
// The compiled-in shader resource groups, behind functions of their own: the
// framework's resource class shares its name with the editor's resource
// handles, so the two are never included together.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ZandelleEngine {

/** "ZandelleEngineInternalShaders", then "ZandelleEditorShaders" */
std::vector<std::string_view> shaderResourceGroups();

/** The editor shaders' group, which a configuration file may override */
constexpr std::string_view EditorShaderGroup = "ZandelleEditorShaders";

/** File names of @p group, sorted; empty for an unknown group */
std::vector<std::string> shaderResourceFiles(std::string_view group);

/** Contents of a file of @p group; empty when missing or unreadable */
std::optional<std::string> shaderResource(std::string_view group, std::string_view filename);

/** Reads the editor shaders' group from disk as @p configurationFile
    lists, or back from the compiled-in data when the path is empty; false
    when the configuration cannot be used */
bool overrideEditorShaderGroup(std::string_view configurationFile);

}
