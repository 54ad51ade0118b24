#include "Editor/ProjectData.h"

#include "Base/Path.h"
#include "Base/String.h"

namespace ZandelleEngine {

void ProjectData::setRoot(std::string_view path) {
    const std::string p = Path::fromNativeSeparators(path);
    if(p.empty()) {
        _root.clear();
        return;
    }
    const std::string directory = String::endsWith(p, ".zdp") || (Path::exists(p) && !Path::isDirectory(p)) ?
        Path::path(p) : p;
    _root = Path::absolute(directory.empty() ? "." : directory);
}

void ProjectData::setFilename(std::string_view path) {
    _filename = Path::filename(Path::fromNativeSeparators(path));
}

std::string ProjectData::projectFilePath() const {
    if(_filename.empty()) return {};
    return Path::join(_root, _filename);
}

std::string ProjectData::absolutePath(std::string_view path) const {
    return Path::absolute(Path::join(_root.empty() ? Path::currentDirectory() : _root, Path::fromNativeSeparators(path)));
}

std::string ProjectData::relativePath(std::string_view path) const {
    return Path::relativeTo(absolutePath(path), _root.empty() ? Path::currentDirectory() : _root);
}

std::string ProjectData::subPath(std::string_view name) const {
    if(_root.empty()) return std::string{name};
    return Path::join(_root, name);
}

}
