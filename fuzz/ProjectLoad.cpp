// Fuzz target: a project file loaded (every migration on the way, the
// finishing job with its full compile), saved, and the saved file loaded
// again. One editor serves every input; each load starts from a reset.

#include <string>

#include "Base/Path.h"
#include "FuzzTarget.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fuzz::silenceLog();
    static Fuzz::EditorSetup setup;
    const std::string path = Path::join(setup.directory, "project/Game.zdp");
    Path::make(Path::path(path));
    if(!Path::writeAtomic(path, Fuzz::text(data, size))) return 0;
    if(!setup.loadAndWait(path)) return 0;
    const std::string saved = Path::join(setup.directory, "saved/Game.zdp");
    if(saveProject(saved, setup.editor)) setup.loadAndWait(saved);
    return 0;
}
