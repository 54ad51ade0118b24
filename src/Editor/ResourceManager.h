#pragma once
// Imported data (meshes, images, fonts, shader sources) kept by the editor
// under the link of the file and name it came from. Handles share the data,
// so a compile step may hold one while the manager is reset.

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Editor/FileLink.h"

namespace ZandelleEngine {

class ProjectFile;

class GenericResource {
    public:
        GenericResource() = default;
        explicit GenericResource(FileLink link): _link{std::move(link)} {}
        const FileLink& link() const { return _link; }
    private:
        FileLink _link;
};

template<class T> class Resource {
    public:
        Resource() = default;
        explicit Resource(std::shared_ptr<std::pair<GenericResource, T>> entry): _entry{std::move(entry)} {}

        explicit operator bool() const { return bool(_entry); }
        /** The data; must not be called on an empty handle */
        T& get() const { return _entry->second; }
        T* operator->() const { return &_entry->second; }
        const FileLink& link() const { return _entry->first.link(); }

    private:
        std::shared_ptr<std::pair<GenericResource, T>> _entry;
};

template<class T> class ResourceManager {
    public:
        virtual ~ResourceManager() = default;

        /** Prepares room for @p count more resources */
        virtual void reserve(std::size_t count) {
            std::lock_guard<std::mutex> lock{_mutex};
            _entries.reserve(_entries.size() + count);
        }

        /** Stores @p data under @p link, replacing what the link had */
        Resource<T> add(const FileLink& link, T data) {
            auto entry = std::make_shared<std::pair<GenericResource, T>>(GenericResource{link}, std::move(data));
            std::lock_guard<std::mutex> lock{_mutex};
            _entries[link] = entry;
            return Resource<T>{std::move(entry)};
        }

        /** The resource stored under @p link; an empty handle when none */
        Resource<T> resolveLink(const FileLink& link) const {
            std::lock_guard<std::mutex> lock{_mutex};
            auto found = _entries.find(link);
            if(found == _entries.end()) return {};
            return Resource<T>{found->second};
        }

        bool remove(const FileLink& link) {
            std::lock_guard<std::mutex> lock{_mutex};
            return _entries.erase(link) != 0;
        }

        std::size_t size() const {
            std::lock_guard<std::mutex> lock{_mutex};
            return _entries.size();
        }

        void clear() {
            std::lock_guard<std::mutex> lock{_mutex};
            _entries.clear();
        }

    private:
        mutable std::mutex _mutex;
        std::unordered_map<FileLink, std::shared_ptr<std::pair<GenericResource, T>>, FileLinkHash> _entries;
};

}
