#pragma once
// The link from a resource to the file it was imported from: (file, name).
// Resources built into the editor use the file "default".

#include <cstddef>
#include <functional>
#include <string>

#include "Base/Export.h"
#include "Base/Log.h"

namespace ZandelleEngine {

struct ZANDELLE_EXPORT FileLink {
    std::string file;
    std::string name;

    bool operator==(const FileLink& other) const = default;
    bool isEmpty() const { return file.empty() && name.empty(); }
};

struct FileLinkHash {
    std::size_t operator()(const FileLink& link) const {
        const std::size_t a = std::hash<std::string>{}(link.file);
        const std::size_t b = std::hash<std::string>{}(link.name);
        return a ^ (b + 0x9e3779b97f4a7c15ull + (a << 6) + (a >> 2));
    }
};

ZANDELLE_EXPORT Debug& operator<<(Debug& debug, const FileLink& link);

}
