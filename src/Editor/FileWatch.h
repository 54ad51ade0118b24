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
            new contents (a write, or a file renamed into the watched name;
            not removal, renaming away or attribute changes) */
        enum class Events: std::uint8_t { All, Modified };

        /** Watches a file or a directory (with @p recursive, its
            subdirectories too, including ones created later). Returns the
            watch id, or -1 when the path cannot be watched.

            A file is watched through its directory, by name: editors that
            save by writing a temporary file and renaming it over the
            original, or by deleting and creating the file, replace the
            file's inode, and a watch on the inode would die with it. A
            symbolic link is watched by its own name and by its target's. */
        int watch(std::string_view path, Callback callback, bool recursive = false, Events events = Events::All);

        /** Ends a watch; false for an unknown id */
        bool remove(int id);

        /** Delivers pending events; returns how many callbacks ran */
        std::size_t poll(ZandelleEditor& editor);

        /** Like poll(), but waits up to @p milliseconds for a first event */
        std::size_t waitAndPoll(ZandelleEditor& editor, int milliseconds);

        std::size_t watchCount() const;

        /** The descriptor that becomes readable when events are pending, for
            a caller that waits on it beside other descriptors and then
            calls poll(); -1 when watching is unavailable */
        int descriptor() const { return _fd; }

    private:
        struct Watch {
            std::string path;
            Callback callback;
            bool recursive;
            Events events;
            std::vector<int> descriptors;
        };

        /* One watch's use of an inotify descriptor: the directory it
            watches and, for a file watch, the file's name in it */
        struct Use {
            int id;
            std::string directory, name;
        };

        bool addDescriptor(int id, Watch& watch, const std::string& directory, const std::string& name);
        void addDescriptors(int id, Watch& watch, const std::string& directory);

        int _fd = -1;
        int _nextId = 1;
        mutable std::mutex _mutex;
        std::map<int, Watch> _watches;
        /* inotify descriptor -> its uses; watches of several files in one
           directory share its descriptor */
        std::map<int, std::vector<Use>> _descriptors;
};

}
