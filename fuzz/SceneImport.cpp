// Fuzz target: a binary glTF file imported into a fresh project and
// compiled. One editor serves every input.

#include <string>

#include "Base/Path.h"
#include "FuzzTarget.h"
#include "Tools/Import.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fuzz::silenceLog();
    static Fuzz::EditorSetup setup;
    const std::string project = Path::join(setup.directory, "project/Game.zdp");
    const std::string scene = Path::join(setup.directory, "project/scene.glb");
    if(!initProject(setup.editor, "Fuzz", project)) return 0;
    if(!Path::writeAtomic(scene, Fuzz::text(data, size))) return 0;
    loadScene(scene, setup.editor, LoadMode::Default, "", false);
    setup.editor.jobSystem->waitForIdle();
    return 0;
}
