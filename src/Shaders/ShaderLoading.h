#pragma once
// Shader loading: gathers the compiled-in, editor and project shader sources
// into the project's shaders section and the editor's shader source manager,
// creates the default pipelines and watches the shader directories, so that
// an edited shader is loaded again.
//
// Sources come from the resource groups "ZandelleEngineInternalShaders" and
// "ZandelleEditorShaders", the editor shader directory and the project's
// "shaders" directory. Files are taken in order of their file name; of
// several files with one name only the first is used, except that a project
// fragment or include file replaces an editor-directory file of that name.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "Base/Export.h"

namespace ZandelleEngine {

class ZandelleEditor;

enum class ShaderOrigin: std::uint8_t {
    CompiledIn,
    EditorDirectory,
    ProjectDirectory
};

enum class ShaderStage: std::uint8_t {
    Vertex,
    Fragment,
    Include
};

/** One candidate source file */
struct ShaderFile {
    /** Relative to its directory or group, "/" separated */
    std::string path;
    ShaderOrigin origin;
    /** The resource group of a compiled-in file */
    std::string group;
};

/** "vertex", "fragment", "include", indexed by ShaderStage */
ZANDELLE_EXPORT extern const std::array<std::string_view, 3> ShaderStageNames;

/** The "type" strings of shader records, indexed by shader type; the index
    of the first marker define a shader has, 1 ("forward") without one */
ZANDELLE_EXPORT extern const std::array<std::string_view, 7> ShaderTypeNames;
/** The marker defines, indexed like ShaderTypeNames */
ZANDELLE_EXPORT extern const std::array<std::string_view, 7> ShaderTypeMarkers;

/** True for the extensions ".vert", ".frag" and ".glsl" */
ZANDELLE_EXPORT bool isShaderFile(std::string_view path);

/** Loads every shader source again. Problems with single files are log
    lines; the file concerned is left out. Records are added to the shaders
    and pipelines sections but never removed. The project's "shaders"
    directory is below its root, or the current directory when the root is
    empty. Replaces the editor's three shader
    watches: a changed shader or "internal/resources.conf" in the editor
    directory starts a "Reloading shaders" job that loads again and
    recompiles shaders and pipelines. */
ZANDELLE_EXPORT void loadShaders(ZandelleEditor& editor);

}
