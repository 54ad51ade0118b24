#pragma once
// The editor's compiled scene data: the main scene, the compiled resources
// indexed by runtime id, the per-asset-type change counters the editor reads
// to learn what changed, the generation counters, and the lists of imported
// files.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Base/Export.h"
#include "Base/Math.h"
#include "Engine/Animation.h"
#include "Engine/AnimationManager.h"
#include "Engine/Basis.h"
#include "Engine/DynamicSceneGraph.h"
#include "Engine/MeshTools.h"
#include "Engine/RuntimeData.h"
#include "Engine/Trade.h"

namespace ZandelleEngine {

/** Kinds of runtime data; the values index the change counters */
enum class AssetType: std::uint8_t {
    Objects = 0, Components = 1, Meshes = 2, Images = 3, Shaders = 4, Pipelines = 5,
    PipelineUpdates = 6, Textures = 7, Materials = 8, Animations = 9, Skins = 10,
    Settings = 11, Sky = 12, Fonts = 13, Languages = 14
};

constexpr std::size_t AssetTypeCount = 15;

class ZANDELLE_EXPORT EditorSceneData {
    public:
        EditorSceneData();
        ~EditorSceneData();
        EditorSceneData(const EditorSceneData&) = delete;
        EditorSceneData& operator=(const EditorSceneData&) = delete;

        /** The main scene, with the component managers registered in this
            order: collision, physx, input, view, animation, text, light,
            mesh, js */
        DynamicSceneGraph& main() { return *_main; }

        /** Increments the type's counter and makes it the latest change */
        void setAssetTypeDirty(AssetType type);
        void setAssetTypeDirty(int type) { setAssetTypeDirty(AssetType(type)); }

        std::uint32_t assetTypeCounter(AssetType type) const { return assetTypeGenerations[std::size_t(type)].load(); }

        /** Scene generation; kept across a reset of the editor data, plus one */
        std::uint32_t generation = 0;
        /** Per-asset-type change counters */
        std::array<std::atomic<std::uint32_t>, AssetTypeCount> assetTypeGenerations;
        /** The latest change over all types */
        std::atomic<std::uint32_t> currentGeneration{0};
        /** Bumped by settings edits that need a redraw */
        std::uint32_t settingsRevision = 0;

        /** Imported files, in import order */
        std::vector<std::string> sceneFiles, imageFiles, fontFiles;

        /* Compiled resources, indexed by runtime id. Slot 0 of the id-indexed
           arrays is an empty placeholder: id 0 means "none". */

        /** Compiled meshes and, in parallel, their bounding spheres (centre,
            radius) */
        std::vector<Trade::MeshData> meshes;
        std::vector<Vector4> meshBoundingSpheres;
        /** Attributes the project's pipelines use; compiled meshes keep only
            these (joint ids and weights always stay) */
        MeshTools::MeshDataFlags meshLayout = MeshTools::AllMeshDataFlags;

        /** Packed skins (Data::createSkinData) */
        std::vector<Data::ByteArray> skins;

        /** Packed animations (Data::createAnimationData), the same
            animations read back for playing, and bound to their target
            objects; three parallel arrays */
        std::vector<Data::ByteArray> animations;
        std::vector<Data::Animation> runtimeAnimations;
        std::vector<Data::TargetedAnimation> targetedAnimations;

        /** Cooked physics meshes (Data::createPhysXData), indexed by the
            cookedMeshIndex of the physics components that use them; no
            placeholder slot */
        std::vector<Data::ByteArray> physxTriangleMeshes, physxConvexMeshes;

        /** Shaders (Data::createShaderData) and, in parallel, their sources
            with every include spliced in */
        std::vector<Data::ByteArray> shaders;
        std::vector<std::string> shaderSources;
        /** Included files (Data::createShaderData, include stage), indexed by
            their own include index */
        std::vector<Data::ByteArray> includeShaders;

        /** Pipelines (Data::createPipelineData) and, in parallel, the vertex
            attributes each needs (bits: 1 position, 2 texture coordinates,
            4 normal, 8 tangent, 0x80 color, 0x100 texture coordinates 1) */
        std::vector<Data::ByteArray> pipelines;
        std::vector<std::uint32_t> pipelineAttributes;
        /** The union of all pipelines' attributes, as last compiled */
        std::uint32_t pipelineAttributeUnion = 0;
        /** How the renderer draws each pipeline; slot 0 is a placeholder */
        std::vector<Data::PipelineKind> pipelineKinds;

        /** Materials (Data::createMaterialData) and their alpha masks */
        std::vector<Data::ByteArray> materials;
        std::vector<Data::AlphaMask> materialAlphaMasks;

        /** A compiled image. The pixel image is moved out while a job
            compresses it; revision counts the compilations of the slot, so a
            job can tell that its image was replaced while it ran. */
        struct CompiledImage {
            Trade::ImageData image;
            /** Data::createImageData: the cached PNG's name, or the tiles */
            Data::ByteArray imageData;
            /** Basis files of the tiles, level by level in tile order */
            std::vector<std::vector<char>> basisTiles;
            /** The same tiles transcoded to the editor's GPU format */
            std::vector<Trade::CompressedImageData> compressedTiles;
            std::uint32_t revision = 0;
        };
        /** Compiled images by image id; guarded by imagesMutex, since image
            jobs write their slots from workers */
        std::vector<CompiledImage> images;
        /** Bit per image id: set for images the runtime streams */
        std::vector<bool> streamedImages;
        std::mutex imagesMutex;

        /** Packed textures (Data::createTextureData) by texture id */
        std::vector<Data::ByteArray> textures;

    private:
        std::unique_ptr<DynamicSceneGraph> _main;
};

}
