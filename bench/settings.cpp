// The settings step of a web app project: the physics world and id scheme
// alone, and with the app icon set (seven sizes resized from a compiled
// 1,024 x 1,024 image and written as PNG files).

#include <cstdlib>
#include <filesystem>

#include <benchmark/benchmark.h>

#include "AssetCompiler/AssetCompiler.h"
#include "Editor/ZandelleEditor.h"
#include "Tools/ProjectFiles.h"
#include "support/Photo.h"
#include "support/ScratchProject.h"

using namespace ZandelleEngine;

namespace {

void compileSettings(benchmark::State& state) {
    ZandelleEditor editor{1};
    const Generated::ScratchProject scratch{editor};
    if(scratch.root.empty()) {
        state.SkipWithError("no temporary directory");
        return;
    }
    ProjectFile& file = editor.data().projectFile();
    editor.data().resources().images.add(FileLink{"icon.png", "icon"}, Generated::photo(1024));
    file["images/icon/name"].setString("icon");
    file["images/icon/compression"].setString("none");
    file["images/icon/link/file"].setString("icon.png");
    file["images/icon/link/name"].setString("icon");
    file["settings/runtime/pwa/enable"].setBool(state.range(0) != 0);
    file["settings/runtime/pwa/appIcon"].setString("icon");
    AssetCompiler& compiler = *editor.assetCompiler;
    compiler.compile("images");

    for(auto _: state)
        if(!compiler.compile("settings")) state.SkipWithError("icon refused");
    state.SetLabel(state.range(0) ? "with the app icon set" : "no app icons");
}

}

BENCHMARK(compileSettings)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
