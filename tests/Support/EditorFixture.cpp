#include "Support/EditorFixture.h"

#include <fmt/format.h>

#include "Base/Path.h"
#include "Tools/ProjectFiles.h"

namespace ZandelleEngine { namespace Testing {

EditorTest::EditorTest() {
    editor.resourcesPath = ZANDELLE_RESOURCES_DIR;
    editor.shaderDirectory = Path::join(ZANDELLE_RESOURCES_DIR, "shaders");
}

bool EditorTest::loadAndWait(std::string_view path) {
    const std::optional<int> job = loadProject(path, editor);
    if(!job) return false;
    editor.jobSystem->wait(*job);
    editor.jobSystem->waitForIdle();
    return true;
}

std::string minimalProject(std::string_view version, std::string_view extraSettings) {
    return fmt::format(R"({{"objects": {{}}, "settings": {{"project": {{"name": "Test", "version": {}}}{}}}}})",
        version, extraSettings.empty() ? "" : fmt::format(", {}", extraSettings));
}

}}
