#pragma once
// The editor's JavaScript scripting component and its plug-in manager, as far
// as project files drive them. They keep what they are asked (entry path,
// source paths, watching, plug-ins) and a log of the calls, which the editor
// and tests read; running scripts is the editor's business.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"

namespace ZandelleEngine {

class FileWatch;

class ZANDELLE_EXPORT PluginManagerJs {
    public:
        void clear();
        /** Adds a directory of editor plug-ins */
        void add(std::string_view directory);
        void setEnabled(std::string_view name, bool enabled);
        /** Watches the plug-in directories for changes */
        void watch(FileWatch& fileWatch);

        const std::vector<std::string>& directories() const { return _directories; }
        const std::map<std::string, bool, std::less<>>& enabled() const { return _enabled; }
        bool isWatching() const { return _watching; }
        /** Every call, as "name(arguments)" */
        const std::vector<std::string>& calls() const { return _calls; }

    private:
        std::vector<std::string> _directories;
        std::map<std::string, bool, std::less<>> _enabled;
        bool _watching = false;
        std::vector<std::string> _calls;
};

class ZANDELLE_EXPORT JavaScripting {
    public:
        /** Back to nothing: no paths, no entry, not watching */
        void reset();
        /** Forgets the source paths and the entry path */
        void clear();
        void setRuntimeEntryPath(std::string_view path);
        void addPath(std::string_view path);
        void startWatching(FileWatch& fileWatch);
        void stopWatching();
        /** Rebuilds the scripts (force: even when nothing changed) */
        void update(bool force);
        /** The scene graph and the project defaults scripts run against */
        void setSceneContext(const void* sceneGraph, const void* defaults);

        const std::string& runtimeEntryPath() const { return _entryPath; }
        const std::vector<std::string>& paths() const { return _paths; }
        /** The current source watch, 0 when not watching */
        int sourceWatch() const { return _sourceWatch; }
        bool isWatching() const { return _sourceWatch != 0; }
        std::size_t updateCount() const { return _updates; }

        PluginManagerJs& pluginManager() { return _pluginManager; }
        const std::vector<std::string>& calls() const { return _calls; }

    private:
        std::string _entryPath;
        std::vector<std::string> _paths;
        int _sourceWatch = 0;
        int _nextWatch = 1;
        std::size_t _updates = 0;
        const void* _sceneGraph = nullptr;
        const void* _defaults = nullptr;
        PluginManagerJs _pluginManager;
        std::vector<std::string> _calls;
};

}
