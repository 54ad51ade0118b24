#include "Editor/ProjectData.h"

#include "Base/Path.h"
#include "Base/String.h"

namespace ZandelleEngine {

void ProjectData::setRoot(std::string_view path) {
    const std::string p = Path::fromNativeSeparators(path);
    if(String::endsWith(p, ".zdp") || (Path::exists(p) && !Path::isDirectory(p))) _root = Path::path(p);
    else _root = p;
}

void ProjectData::setFilename(std::string_view path) {
    _filename = Path::filename(Path::fromNativeSeparators(path));
}

std::string ProjectData::projectFilePath() const {
    if(_filename.empty()) return {};
    return Path::join(_root, _filename);
}

std::string ProjectData::subPath(std::string_view name) const {
    if(_root.empty()) return std::string{name};
    return Path::join(_root, name);
}

}
