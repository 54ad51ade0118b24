#pragma once
// The editor's compiled scene data: the per-asset-type change counters the
// editor reads to learn what changed, the generation counters, and the lists
// of imported files.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "Base/Export.h"

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
};

}
