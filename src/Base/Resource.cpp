#include "Base/Resource.h"

#include <algorithm>
#include <mutex>

#include "Base/Path.h"
#include "Base/String.h"

namespace ZandelleEngine {

namespace Implementation {
struct EmbeddedFile { const char* group; const char* filename; const unsigned char* data; std::size_t size; };
const EmbeddedFile* zandelleEmbeddedResourceFiles(std::size_t& count);
}

namespace {

struct Registry {
    std::mutex mutex;
    /* group -> alias -> disk path */
    std::map<std::string, std::map<std::string, std::string>, std::less<>> overrides;
};

Registry& registry() {
    static Registry r;
    return r;
}

const Implementation::EmbeddedFile* findEmbedded(std::string_view group, std::string_view filename) {
    std::size_t count;
    const Implementation::EmbeddedFile* files = Implementation::zandelleEmbeddedResourceFiles(count);
    for(std::size_t i = 0; i != count; ++i)
        if(files[i].group == group && files[i].filename == filename) return files + i;
    return nullptr;
}

}

bool Resource::hasGroup(std::string_view group) {
    std::size_t count;
    const Implementation::EmbeddedFile* files = Implementation::zandelleEmbeddedResourceFiles(count);
    for(std::size_t i = 0; i != count; ++i) if(files[i].group == group) return true;
    return false;
}

bool Resource::overrideGroup(std::string_view group, std::string_view configurationFile) {
    const std::optional<std::string> text = Path::readString(configurationFile);
    if(!text) return false;
    const std::string base = Path::path(Path::fromNativeSeparators(configurationFile));

    std::map<std::string, std::string> files;
    std::string confGroup;
    std::string filename, alias;
    bool inFile = false;
    auto flush = [&]{
        if(inFile && !filename.empty())
            files[alias.empty() ? filename : alias] = Path::join(base, filename);
        filename.clear();
        alias.clear();
    };
    for(const std::string& rawLine: String::split(*text, '\n')) {
        const std::string_view line = String::trim(rawLine);
        if(line.empty() || line[0] == '#' || line[0] == ';') continue;
        if(line == "[file]") { flush(); inFile = true; continue; }
        const std::size_t eq = line.find('=');
        if(eq == std::string_view::npos) continue;
        const std::string_view key = String::trim(line.substr(0, eq));
        std::string_view value = String::trim(line.substr(eq + 1));
        if(value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if(!inFile && key == "group") confGroup = std::string{value};
        else if(inFile && key == "filename") filename = std::string{value};
        else if(inFile && key == "alias") alias = std::string{value};
    }
    flush();
    if(!confGroup.empty() && confGroup != group) return false;

    std::lock_guard<std::mutex> lock{registry().mutex};
    registry().overrides[std::string{group}] = std::move(files);
    return true;
}

void Resource::resetOverride(std::string_view group) {
    std::lock_guard<std::mutex> lock{registry().mutex};
    auto found = registry().overrides.find(group);
    if(found != registry().overrides.end()) registry().overrides.erase(found);
}

Resource::Resource(std::string_view group): _group{group} {}

std::vector<std::string> Resource::list() const {
    std::vector<std::string> out;
    std::size_t count;
    const Implementation::EmbeddedFile* files = Implementation::zandelleEmbeddedResourceFiles(count);
    for(std::size_t i = 0; i != count; ++i) if(files[i].group == _group) out.emplace_back(files[i].filename);
    {
        std::lock_guard<std::mutex> lock{registry().mutex};
        auto found = registry().overrides.find(_group);
        if(found != registry().overrides.end())
            for(const auto& entry: found->second) out.push_back(entry.first);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

bool Resource::hasFile(std::string_view filename) const {
    {
        std::lock_guard<std::mutex> lock{registry().mutex};
        auto found = registry().overrides.find(_group);
        if(found != registry().overrides.end() && found->second.count(std::string{filename})) return true;
    }
    return findEmbedded(_group, filename) != nullptr;
}

std::optional<std::string> Resource::getString(std::string_view filename) const {
    std::string diskPath;
    {
        std::lock_guard<std::mutex> lock{registry().mutex};
        auto found = registry().overrides.find(_group);
        if(found != registry().overrides.end()) {
            auto file = found->second.find(std::string{filename});
            if(file != found->second.end()) diskPath = file->second;
        }
    }
    if(!diskPath.empty()) return Path::readString(diskPath);
    const Implementation::EmbeddedFile* f = findEmbedded(_group, filename);
    if(!f) return {};
    return std::string{reinterpret_cast<const char*>(f->data), f->size};
}

}
