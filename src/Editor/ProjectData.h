#pragma once
// Where the open project lives: its directory and project file name, and the
// paths derived from them.

#include <string>
#include <string_view>

#include "Base/Export.h"

namespace ZandelleEngine {

class ZANDELLE_EXPORT ProjectData {
    public:
        /** The project directory. Given a project file path (ending in
            ".zdp", or naming an existing file), its directory is taken. It
            is kept absolute and normalised, so that a project opened by a
            bare file name, a relative path or an absolute one has the same
            root; an empty @p path leaves no root. */
        void setRoot(std::string_view path);
        /** The project file name: the file name part of @p path */
        void setFilename(std::string_view path);

        const std::string& root() const { return _root; }
        const std::string& filename() const { return _filename; }
        /** root() joined with filename(), empty when there is no file name */
        std::string projectFilePath() const;

        /** A path the project stores, or one given to an import, as an
            absolute path: a relative one is taken from the project
            directory, backslashes are taken for "/". Without a root the
            current directory stands in. */
        std::string absolutePath(std::string_view path) const;
        /** The way the project stores @p path: relative to the project
            directory (or the current one without a root), with "/" */
        std::string relativePath(std::string_view path) const;

        std::string nodeModulesPath() const { return subPath("node_modules"); }
        std::string packageJsonPath() const { return subPath("package.json"); }
        std::string shadersPath() const { return subPath("shaders"); }
        std::string cachePath() const { return subPath("cache"); }

    private:
        std::string subPath(std::string_view name) const;

        std::string _root, _filename;
};

}
