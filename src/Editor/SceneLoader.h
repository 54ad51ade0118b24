#pragma once
// The editor's importer of scene and image files. It writes what a file holds
// into the editor data: the imported data into the resource managers and one
// record per resource into the project document, linked to the file. The
// records themselves hold only their link; the values the file gave live in
// the records' originals, so edits a user made to a record survive a
// re-import and a saved project lists only what was changed.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Editor/SceneReader.h"

namespace ZandelleEngine {

class EditorData;

/** Extensions of the scene formats the loader reads, with the dot */
constexpr std::array<std::string_view, 7> SceneExtensions{".gltf", ".glb", ".fbx", ".obj", ".ply", ".ogex", ".dae"};

enum class LoadMode: int {
    Default = 0,
    /** Re-import of a file the project already lists: resources keep their
        records and keys. The loader treats both modes alike. */
    Reimport = 1
};

/** What an import added or updated: success, and the keys of the image and
    texture records it touched, in import order */
struct SceneLoadResult {
    bool success = false;
    std::vector<std::string> images, textures;
};

class ZANDELLE_EXPORT SceneLoader {
    public:
        /**
         * Imports the scene file at @p path (glTF 2, FBX, OBJ, PLY, OpenGEX,
         * Collada, told apart by the lower-cased extension; any other
         * extension fails) into @p data. A relative @p path is taken from
         * the project root; links name the file by its path relative to
         * the project root, with "/". Only a regular file is read, glTF and
         * GLB files after the checks of SceneFileCheck.h, and Assimp reads it
         * in a child process (SceneReader.h). On failure nothing in @p data
         * changes and the result is unsuccessful; a file the checks refuse
         * gives one warning line, otherwise nothing is printed: the caller
         * reports the failure.
         */
        SceneLoadResult loadScene(const std::string& path, EditorData& data, LoadMode mode, const std::string& importerName);

        /** Imports one image file as an image and a texture record */
        SceneLoadResult loadImage(const std::string& path, EditorData& data);

        /** The child that reads scene files, and what it may take: a scene
            the child cannot bring back fails its import */
        std::string readerPath = defaultSceneReaderPath();
        SceneReaderLimits readerLimits;
};

}
