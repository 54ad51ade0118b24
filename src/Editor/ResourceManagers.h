#pragma once
// The resource managers of imported data, one per kind.

#include <string>
#include <vector>

#include "Base/Export.h"
#include "Editor/ResourceManager.h"
#include "Engine/Trade.h"

namespace ZandelleEngine {

class ProjectFile;

class ZANDELLE_EXPORT ResourceManagers {
    public:
        /** Empties every manager for a new document */
        void reset(ProjectFile& projectFile);

        ResourceManager<Trade::MeshData> meshes;
        ResourceManager<Trade::ImageData> images;
        ResourceManager<Trade::AnimationData> animations;
        ResourceManager<Trade::SkinData> skins;
        /** Font file bytes */
        ResourceManager<std::vector<char>> fonts;
        /** Shader source texts */
        ResourceManager<std::string> shaderSources;

    private:
        ProjectFile* _projectFile = nullptr;
};

}
