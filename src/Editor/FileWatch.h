#pragma once
// File watching on inotify. Events are collected by the kernel and delivered
// when the editor calls poll(), on the polling thread, one callback per
// changed path.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"

namespace ZandelleEngine {

class ZandelleEditor;

class ZANDELLE_EXPORT FileWatch {
    public:
        /** Receives the editor and the path that changed */
        using Callback = std::function<void(ZandelleEditor& editor, const std::string& path)>;

        FileWatch();
        ~FileWatch();
        FileWatch(const FileWatch&) = delete;
        FileWatch& operator=(const FileWatch&) = delete;

        /** Which events reach a watch's callback: every change, or only
            writes to the contents (not creation, removal, renames or
            attribute changes) */
        enum class Events: std::uint8_t { All, Modified };

        /** Watches a file or a directory (with @p recursive, its
            subdirectories too, including ones created later). Returns the
            watch id, or -1 when the path cannot be watched. */
        int watch(std::string_view path, Callback callback, bool recursive = false, Events events = Events::All);

        /** Ends a watch; false for an unknown id */
        bool remove(int id);

        /** Delivers pending events; returns how many callbacks ran */
        std::size_t poll(ZandelleEditor& editor);

        /** Like poll(), but waits up to @p milliseconds for a first event */
        std::size_t waitAndPoll(ZandelleEditor& editor, int milliseconds);

        std::size_t watchCount() const;

    private:
        struct Watch {
            std::string path;
            Callback callback;
            bool recursive;
            Events events;
            std::vector<int> descriptors;
        };

        void addDescriptors(int id, Watch& watch, const std::string& directory);

        int _fd = -1;
        int _nextId = 1;
        mutable std::mutex _mutex;
        std::map<int, Watch> _watches;
        /* inotify descriptor -> (watch id, watched directory or file) */
        std::map<int, std::vector<std::pair<int, std::string>>> _descriptors;
};

}
