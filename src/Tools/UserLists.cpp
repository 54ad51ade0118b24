#include <cstdlib>

#include "Base/Log.h"
#include "Base/Path.h"
#include "Base/String.h"
#include "Tools/ProjectFiles.h"

namespace ZandelleEngine {

namespace {

constexpr const char RecentProjectsFile[] = "recent_projects.txt";
constexpr const char PluginEnabledProjectsFile[] = "plugin_enabled_projects.txt";

/* Writes one path per line, no newline after the last */
bool writeList(std::string_view file, const std::vector<std::string>& lines) {
    const std::string directory = userSettingsDirectory();
    Path::make(directory);
    return Path::writeAtomic(Path::join(directory, file), String::join(lines, "\n"), Path::Sync::Durable, Path::Links::Follow);
}

/* A line break would turn one path into two entries of a line-based list */
bool storable(std::string_view absolute, std::string_view file) {
    if(absolute.find_first_of("\r\n") == std::string_view::npos) return true;
    Error{} << "Cannot store a path containing a line break in" << Path::join(userSettingsDirectory(), file);
    return false;
}

}

std::string userSettingsDirectory() {
    const char* appData = std::getenv("APPDATA");
    return Path::fromNativeSeparators(Path::join(appData ? appData : "", "ZandelleEngine"));
}

bool addRecentProject(std::string_view path) {
    const std::string absolute = Path::absolute(path);
    if(!storable(absolute, RecentProjectsFile)) return false;
    Path::make(userSettingsDirectory());
    std::vector<std::string> list{absolute};
    const std::string file = Path::join(userSettingsDirectory(), RecentProjectsFile);
    /* A list that exists but cannot be read is left alone: rewriting it
       would forget every other project */
    if(Path::exists(file)) {
        const std::optional<std::string> text = Path::readString(file);
        if(!text) {
            Warning{} << "Cannot read" << file;
            return false;
        }
        for(std::string& line: String::split(*text, '\n'))
            if(line != absolute) list.push_back(std::move(line));
    }
    return writeList(RecentProjectsFile, list);
}

std::vector<std::string> readRecentProjects() {
    const std::optional<std::string> text = Path::readString(Path::join(userSettingsDirectory(), RecentProjectsFile));
    if(!text) return {};
    return String::splitWithoutEmptyParts(*text, '\n');
}

bool readPluginEnabledProjects(std::vector<std::string>& out) {
    const std::string file = Path::join(userSettingsDirectory(), PluginEnabledProjectsFile);
    if(!Path::exists(file)) return true;
    const std::optional<std::string> text = Path::readString(file);
    if(!text) {
        Error{} << "Cannot read" << file;
        return false;
    }
    for(std::string& line: String::split(*text, '\n'))
        if(String::endsWith(line, ".zdp") && Path::exists(line) && !Path::isDirectory(line))
            out.push_back(std::move(line));
    return true;
}

bool setPluginsEnabledForProject(std::string_view path, bool enable) {
    const std::string absolute = Path::absolute(path);
    if(!storable(absolute, PluginEnabledProjectsFile)) return false;
    Path::make(userSettingsDirectory());
    std::vector<std::string> list;
    if(enable) list.push_back(absolute);
    /* An unreadable list is never replaced by one that forgot the rest */
    std::vector<std::string> current;
    if(!readPluginEnabledProjects(current)) return false;
    for(std::string& entry: current) if(entry != absolute) list.push_back(std::move(entry));
    if(writeList(PluginEnabledProjectsFile, list)) return true;
    Error{} << "Cannot write" << Path::join(userSettingsDirectory(), PluginEnabledProjectsFile);
    return false;
}

}
