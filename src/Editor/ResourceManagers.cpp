#include "Editor/ResourceManagers.h"

namespace ZandelleEngine {

void ResourceManagers::reset(ProjectFile& projectFile) {
    _projectFile = &projectFile;
    meshes.clear();
    images.clear();
    animations.clear();
    skins.clear();
    fonts.clear();
    shaderSources.clear();
}

}
