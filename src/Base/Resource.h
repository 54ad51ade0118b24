#pragma once
// Compiled-in resource groups: files embedded at build time, looked up by
// group and file name. A group can be overridden from a configuration file,
// after which the files it lists are read from disk instead:
//
//     group=GroupName
//     [file]
//     filename=path/relative/to/the/configuration/file
//     alias=name-in-the-group
//
// Several [file] sections may follow; alias defaults to filename.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"

namespace ZandelleEngine {

class ZANDELLE_EXPORT Resource {
    public:
        static bool hasGroup(std::string_view group);

        /** Replaces the listed files of @p group by their disk copies; false
            when the configuration cannot be read or names another group. */
        static bool overrideGroup(std::string_view group, std::string_view configurationFile);

        /** Drops an override, back to the compiled-in data. */
        static void resetOverride(std::string_view group);

        explicit Resource(std::string_view group);

        /** File names of the group, sorted. */
        std::vector<std::string> list() const;
        bool hasFile(std::string_view filename) const;
        /** The file's contents; empty when missing (an overridden file that
            cannot be read is also empty). */
        std::optional<std::string> getString(std::string_view filename) const;

    private:
        std::string _group;
};

}
