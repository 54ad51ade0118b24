// Fuzz target: a project file loaded (every migration on the way, the
// finishing job with its full compile), saved, and the saved file loaded
// again. One editor serves every input; each load starts from a reset.

#include <cstdlib>
#include <string>

#include "Base/Path.h"
#include "Editor/ZandelleEditor.h"
#include "FuzzTarget.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;

namespace {

struct Setup {
    Setup() {
        std::string base = Path::join(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp", "zandelle-fuzz-XXXXXX");
        directory = ::mkdtemp(base.data()) ? base : std::string{"."};
        ::setenv("APPDATA", Path::join(directory, "appdata").c_str(), 1);
        editor.resourcesPath = ZANDELLE_RESOURCES_DIR;
        editor.shaderDirectory = Path::join(editor.resourcesPath, "shaders");
        editor.suppressRecentProjects = true;
    }

    bool loadAndWait(const std::string& path) {
        const std::optional<int> job = loadProject(path, editor);
        if(!job) return false;
        editor.jobSystem->wait(*job);
        editor.jobSystem->waitForIdle();
        return true;
    }

    std::string directory;
    ZandelleEditor editor{2};
};

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fuzz::silenceLog();
    static Setup setup;
    const std::string path = Path::join(setup.directory, "project/Game.zdp");
    Path::make(Path::path(path));
    if(!Path::writeAtomic(path, Fuzz::text(data, size))) return 0;
    if(!setup.loadAndWait(path)) return 0;
    const std::string saved = Path::join(setup.directory, "saved/Game.zdp");
    if(saveProject(saved, setup.editor)) setup.loadAndWait(saved);
    return 0;
}
