#include <cstdlib>

#include "Base/Log.h"
#include "Base/Path.h"
#include "Base/String.h"
#include "Tools/ProjectFiles.h"

namespace ZandelleEngine {

namespace {

constexpr const char RecentProjectsFile[] = "recent_projects.txt";
constexpr const char PluginEnabledProjectsFile[] = "plugin_enabled_projects.txt";

/* Writes one path per line, no newline after the last; failures are silent */
void writeList(std::string_view file, const std::vector<std::string>& lines) {
    const std::string directory = userSettingsDirectory();
    Path::make(directory);
    Path::writeAtomic(Path::join(directory, file), String::join(lines, "\n"));
}

}

std::string userSettingsDirectory() {
    const char* appData = std::getenv("APPDATA");
    return Path::fromNativeSeparators(Path::join(appData ? appData : "", "ZandelleEngine"));
}

void addRecentProject(std::string_view path) {
    const std::string absolute = Path::absolute(path);
    Path::make(userSettingsDirectory());
    std::vector<std::string> list{absolute};
    if(const std::optional<std::string> text = Path::readString(Path::join(userSettingsDirectory(), RecentProjectsFile)))
        for(std::string& line: String::split(*text, '\n'))
            if(line != absolute) list.push_back(std::move(line));
    writeList(RecentProjectsFile, list);
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

void setPluginsEnabledForProject(std::string_view path, bool enable) {
    const std::string absolute = Path::absolute(path);
    Path::make(userSettingsDirectory());
    std::vector<std::string> list;
    if(enable) list.push_back(absolute);
    std::vector<std::string> current;
    if(readPluginEnabledProjects(current))
        for(std::string& entry: current) if(entry != absolute) list.push_back(std::move(entry));
    writeList(PluginEnabledProjectsFile, list);
}

}
