#pragma once
// The editor's objects that belong to the layers above it: the asset
// compiler and the remote devices. The editor holds this one owner through
// ZandelleEditor::tools and reaches the objects through its assetCompiler
// and remoteDevices pointers, which the owner keeps current.

#include <memory>

#include "AssetCompiler/AssetCompiler.h"
#include "Base/Export.h"
#include "Devices/RemoteDevices.h"

namespace ZandelleEngine {

class ZandelleEditor;

class ZANDELLE_EXPORT EditorTools {
    public:
        explicit EditorTools(ZandelleEditor& editor): _editor{editor} {}
        ~EditorTools();
        EditorTools(const EditorTools&) = delete;
        EditorTools& operator=(const EditorTools&) = delete;

        void setAssetCompiler(std::unique_ptr<AssetCompiler> compiler);
        void setRemoteDevices(std::unique_ptr<RemoteDevices> devices);

    private:
        ZandelleEditor& _editor;
        std::unique_ptr<AssetCompiler> _assetCompiler;
        std::unique_ptr<RemoteDevices> _remoteDevices;
};

/** The owner of @p editor, created on first use. The first use also
    registers the Tools layer's listeners on the editor: shaders reloaded
    from disk recompile shaders and pipelines. */
ZANDELLE_EXPORT EditorTools& editorTools(ZandelleEditor& editor);

}
