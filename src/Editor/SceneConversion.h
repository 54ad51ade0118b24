#pragma once
// Conversion of what the scene importer read into the editor's imported data:
// meshes and images. Used by the scene loader only.

#include <optional>
#include <string>
#include <vector>

#include <assimp/matrix4x4.h>

#include "Base/Math.h"
#include "Engine/Trade.h"

struct aiMesh;
struct aiScene;

namespace ZandelleEngine { namespace SceneConversion {

/** Column-major copy of a row-major matrix */
Matrix4 toMatrix(const aiMatrix4x4& m);

/**
 * The mesh with indices and each attribute the file has, tightly packed one
 * after another: positions, normals, tangents (w the handedness), texture
 * coordinates, colours, and for a mesh with bones joint ids and weights (at
 * most four per vertex). The bones' node names are appended to
 * @p jointNodes in joint order.
 */
Trade::MeshData convertMesh(const aiMesh& mesh, std::vector<std::string>& jointNodes);

/** An image a material refers to, by its link name; empty image when it
    could not be read (one warning line says why) */
struct ImportedImage {
    std::string linkName;
    std::optional<Trade::ImageData> image;
};

/** Reads the image @p reference names: embedded data of the scene, else a
    file relative to @p sceneDirectory; @p sceneLink names the scene in the
    warning */
ImportedImage importImage(const aiScene& scene, const std::string& reference, const std::string& sceneDirectory,
    const std::string& sceneLink);

}}
