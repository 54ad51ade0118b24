// Migrations of editor versions 0.7.x: resource link files, collision groups,
// script source paths.

#include <algorithm>

#include "Base/Log.h"
#include "Base/String.h"
#include "Editor/ProjectFile.h"
#include "Tools/Migrations.h"
#include "Tools/ProjectMigrationsHelpers.h"

namespace ZandelleEngine { namespace Migration {

using namespace Implementation;

void migration_0_7_3_updateResourceLinksFile(ProjectFile& file) {
    /* Imported file paths, as the files array of those versions lists them */
    std::vector<std::string> files;
    for(const ValueAccess& entry: file["files"].range())
        if(entry.isString()) files.emplace_back(entry.asString());

    for(const char* sectionName: {"animations", "objects", "meshes", "textures", "images", "materials", "shaders", "skins"}) {
        Debug{} << "Migrating" << sectionName;
        const ProjectSection* section = file.section(sectionName);
        if(!section) continue;
        /* Image and texture links name the file first ("file.png>..."), all
           others name a node path with the file's root node last */
        const bool fileFirst = std::string_view{sectionName} == "images" || std::string_view{sectionName} == "textures";

        for(ValueAccess record: recordsOf(*section)) {
            ValueAccess link = record["link"];
            if(!link.isSetInProject() || !link.isObject()) continue;
            const JsonValue* fileValue = link["file"].readValue();
            if(!fileValue || !(fileValue->IsInt64() || fileValue->IsUint64())) continue;

            std::string fileName = "default";
            std::vector<std::string> parts = String::split(link["name"].asString(), fileFirst ? '>' : '<');
            const std::string candidate = fileFirst ? parts.front() : parts.back();
            /* An empty candidate would match every file; it names none */
            if(!candidate.empty()) {
                auto found = std::find_if(files.begin(), files.end(),
                    [&](const std::string& f) { return String::endsWith(f, candidate); });
                if(found != files.end()) fileName = *found;
            }

            if(fileName != "default") {
                if(fileFirst) parts.erase(parts.begin());
                else parts.pop_back();
                if(fileFirst && (parts.empty() || parts.front().empty())) {
                    const std::size_t separator = fileName.find_last_of("/\\");
                    parts = {separator == std::string::npos ? fileName : fileName.substr(separator + 1)};
                }
            }

            link["file"].setString(String::replaceAll(fileName, "/", "\\"));
            link["name"].setString(String::join(parts, "<"));
        }
    }
}

void migration_0_7_2_updateCollisionGroup(ProjectFile& file) {
    for(const ValueAccess& object: recordsOf(file.objects())) {
        for(const ValueAccess& component: componentsOfType(object, "collision")) {
            ValueAccess groups = component["collision/groups"];
            const JsonValue* value = groups.readValue();
            if(!value || !value->IsArray()) continue;
            std::int64_t mask = 0;
            const std::size_t count = std::min<std::size_t>(8, value->Size());
            for(std::size_t i = 0; i != count; ++i) {
                const JsonValue& bit = (*value)[rapidjson::SizeType(i)];
                if(bit.IsBool() && bit.GetBool()) mask |= std::int64_t{1} << i;
            }
            groups.setInt(mask);
        }
    }
}

void migration_0_7_5_updateScriptingSourcePaths(ProjectFile& file) {
    ValueAccess sourcePaths = file["/settings/scripting/sourcePaths"];
    if(sourcePaths.isSetInProject()) return;
    if(!canHoldMembers(file["settings/scripting"])) return;
    sourcePaths.pushBackString("js/");
}

}}
