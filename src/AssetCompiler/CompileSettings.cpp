#include "AssetCompiler/AssetCompiler.h"

#include <fmt/format.h>

#include "Base/Log.h"
#include "Base/Path.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/ImageTools.h"
#include "Engine/PhysXManager.h"
#include "Engine/RuntimeData.h"

namespace ZandelleEngine {

namespace {

/* Square icons of a web app, largest first */
constexpr int AppIconSizes[]{512, 192, 168, 144, 96, 72, 48};

/* Values below the minimum, and values that are not numbers, become the
   minimum */
float atLeast(float value, float minimum) { return value >= minimum ? value : minimum; }

/* Creates the physics meshes of @p cooked at the slots their headers name */
void recreateMeshes(PhysXManager& manager, PhysicsShape shape, const std::vector<Data::ByteArray>& cooked) {
    std::vector<std::unique_ptr<Physics::PhysicsMesh>>& meshes = manager.meshes(shape);
    meshes.clear();
    meshes.resize(cooked.size());
    for(std::size_t i = 0; i != cooked.size(); ++i) {
        const std::optional<Data::PhysXDataView> view = Data::readPhysXData(cooked[i]);
        if(!view || view->slot >= meshes.size()) {
            Error{} << "AssetCompiler::compileSettings(): damaged cooked physics mesh at" << i;
            continue;
        }
        meshes[view->slot] = manager.createMesh(shape, view->cooked);
    }
}

}

/* The app icon: the compiled image named by the settings (compiled first
   when no step has compiled it yet, so it is already converted to eight bits
   and within its maximum size), resized to each icon size and written as PNG
   into the cache directory */
bool AssetCompiler::compileAppIcons() {
    EditorData& d = data();
    ProjectFile& file = d.projectFile();
    if(!file["settings/runtime/pwa/enable"].asBool()) return true;
    const std::string icon{file["settings/runtime/pwa/appIcon"].asString()};
    if(icon.empty()) {
        Warning{} << "Enabling PWA requires an appIcon to be set";
        return true;
    }

    Data::Id id = ResourceIndex::lookup(resourceIndex.images, icon);
    if(!id) {
        compile("images", {icon});
        id = ResourceIndex::lookup(resourceIndex.images, icon);
    }
    Trade::ImageData image;
    if(id) {
        std::lock_guard<std::mutex> lock{d.scene().imagesMutex};
        image = d.scene().images[id].image;
    }
    if(image.size.x != image.size.y || image.size.x < 512) {
        Error{} << "App icon needs to be a square image, at least 512x512 pixels";
        return false;
    }

    const std::string cache = d.project().cachePath();
    Path::makeOwned(cache);
    ImageTools::StbResizeImageConverter& resizer = *threadImagePlugins().resizer;
    for(const int size: AppIconSizes) {
        resizer.setValue("size", fmt::format("{} {}", size, size));
        const std::optional<Trade::ImageData> resized = resizer.convert(image);
        if(!resized || !ImageTools::writePng(Path::join(cache, fmt::format("icon{}.png", size)), *resized, Path::Sync::Rewritable))
            Warning{} << "Failed to generate app icon of size" << size;
    }
    return true;
}

/* The physics world, the app icons and the object-id scheme. The physics
   manager is rebuilt from scratch, so its components are gone until the
   objects are compiled again; the cooked meshes live on in EditorSceneData
   and are created again here. */
bool AssetCompiler::compileSettings() {
    EditorData& d = data();
    EditorSceneData& sceneData = d.scene();
    ProjectFile& file = d.projectFile();

    std::unique_ptr<PhysXManager> manager = std::make_unique<PhysXManager>();
    PhysXManager& physx = *manager;
    PhysXHeader& header = physx.physxHeader();
    header.maxTimestep = atLeast(file["settings/physx/maxTimestep"].asFloat(), 0.002f);
    header.contactOffset = file["settings/physx/contactOffset"].asFloat();
    header.restOffset = file["settings/physx/restOffset"].asFloat();
    const std::vector<float> gravity = file["settings/physx/gravity"].asFloatArray();
    for(std::size_t i = 0; i != 3; ++i) header.gravity[int(i)] = i < gravity.size() ? gravity[i] : 0.0f;
    header.lengthToleranceScale = atLeast(file["settings/physx/lengthToleranceScale"].asFloat(), 0.0001f);
    header.speedToleranceScale = atLeast(file["settings/physx/speedToleranceScale"].asFloat(), 0.0001f);
    physx.applyHeader();

    DynamicSceneGraph& scene = sceneData.main();
    scene.replaceComponentManager(std::size_t(scene.componentManagerIndex(PhysXManager::Name)), std::move(manager));
    recreateMeshes(physx, PhysicsShape::ConvexMesh, sceneData.physxConvexMeshes);
    recreateMeshes(physx, PhysicsShape::TriangleMesh, sceneData.physxTriangleMeshes);
    physx.initComponents();

    if(file["settings/physx/enable"].asBool()) {
        physx.setVisualization(true);
        physx.doFalseUpdate();
    }

    if(!compileAppIcons()) return false;

    file.setIdScheme(idSchemeFromName(file["settings/editor/ids"].asString()));
    sceneData.setAssetTypeDirty(AssetType::Settings);
    return true;
}

}
