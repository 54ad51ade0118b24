#include "Tools/EditorTools.h"

#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

EditorTools::~EditorTools() {
    _editor.assetCompiler = nullptr;
    _editor.remoteDevices = nullptr;
}

void EditorTools::setAssetCompiler(std::unique_ptr<AssetCompiler> compiler) {
    _assetCompiler = std::move(compiler);
    _editor.assetCompiler = _assetCompiler.get();
}

void EditorTools::setRemoteDevices(std::unique_ptr<RemoteDevices> devices) {
    _remoteDevices = std::move(devices);
    _editor.remoteDevices = _remoteDevices.get();
}

EditorTools& editorTools(ZandelleEditor& editor) {
    if(!editor.tools) {
        editor.tools = {new EditorTools{editor}, [](EditorTools* tools) { delete tools; }};
        editor.shadersReloadedListeners.push_back([](ZandelleEditor& e) {
            if(!e.assetCompiler) return;
            e.assetCompiler->compile("shaders");
            e.assetCompiler->compile("pipelines");
        });
        editor.jobSystemReplacedListeners.push_back([](ZandelleEditor& e) {
            if(e.assetCompiler) e.assetCompiler->workersChanged();
        });
    }
    return *editor.tools;
}

}
