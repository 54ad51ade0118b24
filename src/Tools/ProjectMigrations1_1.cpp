// Migrations of editor versions 1.1.x: imported files as a resource section,
// the skin of retargeting animation components.

#include "Editor/ProjectFile.h"
#include "Tools/Migrations.h"
#include "Tools/ProjectMigrationsHelpers.h"

namespace ZandelleEngine { namespace Migration {

using namespace Implementation;

void migration_1_1_0_convertFilesToResourceSection(ProjectFile& file) {
    ProjectSection& files = file.files();
    if(!files.isSetInProject() || !files.isArray()) return;

    JsonDocument entries;
    entries.CopyFrom(*files.readValue(), entries.GetAllocator());
    files.writeValue().SetObject();
    for(const JsonValue& entry: entries.GetArray()) {
        const std::string key = files.addResource();
        memberOf(files, key).setValue(entry);
    }
}

void migration_1_1_0_addSkinPropertyToAnimationComponents(ProjectFile& file) {
    for(const ValueAccess& object: recordsOf(file.objects())) {
        const ValueAccess skin = object["skin"];
        if(!skin.isString() || skin.asString().empty()) continue;
        for(const ValueAccess& component: componentsOfType(object, "animation")) {
            ValueAccess animation = component["animation"];
            if(!animation.isObject() || !animation["retarget"].asBool()) continue;
            animation["skin"].setString(std::string{skin.asString()});
        }
    }
}

}}
