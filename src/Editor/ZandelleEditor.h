#pragma once
// The editor's main object: every entry point of the library receives it and
// works through the components it owns.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Base/Export.h"
#include "Editor/ChangeTracker.h"
#include "Editor/Dialogs.h"
#include "Editor/EditorData.h"
#include "Editor/EditorService.h"
#include "Editor/EditorState.h"
#include "Editor/FileWatch.h"
#include "Editor/Localization.h"
#include "Editor/Progress.h"
#include "Editor/Scripting.h"
#include "Engine/JobSystem.h"
#include "Engine/RunRecord.h"

namespace ZandelleEngine {

class AssetCompiler;
class EditorTools;
class RemoteDevices;
class SceneLoader;

class ZANDELLE_EXPORT ZandelleEditor {
    public:
        using Listener = std::function<void(ZandelleEditor&)>;

        /** An editor with its components; @p workerCount 0 picks the
            hardware threads (at least 2). */
        explicit ZandelleEditor(int workerCount = 0);
        ~ZandelleEditor();
        ZandelleEditor(const ZandelleEditor&) = delete;
        ZandelleEditor& operator=(const ZandelleEditor&) = delete;

        EditorData& data() { return *_data; }

        /** The editor's jobs setting: how many worker threads the job
            system runs, as the user wrote it (a whole number of at least 1).
            Replaces the job system after its jobs were cancelled and
            drained, then calls jobSystemReplacedListeners, so that what is
            kept per worker follows. An unusable value is one Error line and
            false, and the job system stays. */
        bool setJobCount(std::string_view value);
        /** Destroys the editor data and constructs it again in place */
        void resetData();

        /** Registers a progress record in the task list */
        std::shared_ptr<Progress> addTask(std::string title, std::uint32_t total = 0);
        /** Drops records that no job references any more */
        void pruneTasks();
        std::vector<std::shared_ptr<Progress>> tasks() const;

        bool suppressRecentProjects = false;

        std::unique_ptr<JobSystem> jobSystem;
        std::unique_ptr<FileWatch> fileWatch;
        /** Owned by tools; null until the Tools layer sets them */
        RemoteDevices* remoteDevices = nullptr;
        std::unique_ptr<EditorService> service;
        std::unique_ptr<JavaScripting> scripting;
        std::unique_ptr<SceneLoader> sceneLoader;
        std::unique_ptr<ChangeTracker> changeTracker;
        AssetCompiler* assetCompiler = nullptr;
        std::unique_ptr<Dialogs> dialogs;
        /** The owner of the objects of the layers above the editor
            (assetCompiler, remoteDevices); the Tools layer creates it with
            its deleter */
        std::unique_ptr<EditorTools, void(*)(EditorTools*)> tools{nullptr, nullptr};

        std::vector<Listener> projectLoadedListeners;
        std::vector<Listener> projectSavedListeners;
        /** Called on the reload job's worker after shaders were loaded again
            from disk */
        std::vector<Listener> shadersReloadedListeners;
        /** Called by setJobCount() with the new job system in place and no
            job running */
        std::vector<Listener> jobSystemReplacedListeners;

        /** (title, text) messages the editor shows to the user */
        std::vector<std::pair<std::string, std::string>> userMessages;

        /** Imported files whose watch reported a change, consumed by the
            editor, which imports them again */
        std::vector<std::string> changedFiles;

        /** Object ids filled by the change handlers, consumed by the editor */
        std::vector<std::string> changedObjects, transformedObjects;

        /** The editor's own resources directory */
        std::string resourcesPath;
        /** Start directory of the project open dialog */
        std::string projectDialogPath;
        /** Directory of the shader sources the editor provides */
        std::string shaderDirectory;
        /** File watches kept by shader loading, -1 = none */
        int shaderWatchIds[3]{-1, -1, -1};

        bool autoStartService = false;
        bool listRemoteDevices = false;
        bool watchScripts = false;
        bool showErrorDialogs = false;
        bool installDependenciesOnLoad = false;

        EditorState editorState;
        /** What the compile driver and the jobs did in this editor's life,
            for summaries and reports; shared with whoever reports on it */
        std::shared_ptr<RunRecord> runRecord = std::make_shared<RunRecord>();
        /** Terms, their paths and their translations */
        Localization localization;
        std::atomic<bool> pluginsEnabled{false};
        /** A file watch of the editor that project initialisation removes */
        int extraWatchId = -1;
        std::atomic<bool> npmInstallRunning{false};
        /** Set by a successful npm install job */
        std::atomic<bool> dependenciesInstalled{false};
        /** GPU format compressed images are transcoded to, numbered as
            Trade::CompressedPixelFormat (7 BC3, 15 BC7, 25 ETC2, 27 ASTC
            4x4); any other value keeps plain RGBA pixels */
        std::uint32_t compressedTextureFormat = 7;
        /** The npm executable the npm runner starts */
        std::string npmExecutable = "npm";
        /** How long one npm run may take before it is ended */
        std::chrono::milliseconds npmTimeout{10*60*1000};
        /** The shared level of the tile and font caches,
            redis://[:PASSWORD@]HOST[:PORT][/DB][?read-only]; empty for the
            project's cache directory alone. Read by project initialisation. */
        std::string sharedCacheUrl;

    private:
        std::optional<EditorData> _data;
        mutable std::mutex _tasksMutex;
        std::vector<std::shared_ptr<Progress>> _tasks;
};

}
