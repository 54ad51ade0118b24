// Time from an edit to its recompile having finished, through the change
// tracker and the change handlers, on generated projects of 1,000 and 10,000
// objects (with 200 Phong materials and 20 uncompressed 256 x 256 images):
// one object's translation, one material colour, one image's maxSize, one
// font's characters. The two sizes should take the same time per edit.

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "AssetCompiler/AssetCompiler.h"
#include "Base/Log.h"
#include "Editor/ZandelleEditor.h"
#include "Tools/ChangeHandlers.h"
#include "Tools/ProjectFiles.h"

#include "support/ScratchProject.h"

using namespace ZandelleEngine;

namespace {

void setSection(ProjectFile& file, const char* section, const std::string& json) {
    JsonDocument parsed;
    parsed.Parse(json.data(), json.size());
    file[section].setValue(parsed);
}

struct Project {
    explicit Project(int objects) {
        Debug::setQuiet(true);
        ProjectFile& file = editor.data().projectFile();
        const std::string phong = file.pipelines().resourceByName("Phong Opaque");
        std::string o = "{", m = "{", i = "{";
        for(int n = 0; n != objects; ++n)
            o += (n ? "," : "") + fmt::format(R"("o{}": {{"name": "O{}", "translation": [0, 0, 0]}})", n, n);
        for(int n = 0; n != 200; ++n)
            m += (n ? "," : "") + fmt::format(R"("m{}": {{"pipeline": "{}", "Phong": {{"diffuseColor": [1, 1, 1, 1]}}}})", n, phong);
        for(int n = 0; n != 20; ++n) {
            const std::string key = "i" + std::to_string(n);
            editor.data().resources().images.add(FileLink{"pictures.png", key},
                Trade::ImageData{Trade::PixelFormat::RGBA8Unorm, {256, 256}, std::vector<std::uint8_t>(256*256*4, std::uint8_t(n))});
            i += (n ? "," : "") + fmt::format(R"("{}": {{"name": "I{}", "compression": "none",)"
                R"( "link": {{"file": "pictures.png", "name": "{}"}}}})", key, n, key);
        }
        setSection(file, "objects", o + "}");
        setSection(file, "materials", m + "}");
        setSection(file, "images", i + "}");
        file.invalidateLookups();
        editor.assetCompiler->compileAll();
        editor.jobSystem->waitForIdle();
    }
    ZandelleEditor editor{2};
    /* Uncompressed images are written to the project's cache */
    Generated::ScratchProject scratch{editor};
};

Project& project(int objects) {
    static std::map<int, std::unique_ptr<Project>> projects;
    auto& p = projects[objects];
    if(!p) p = std::make_unique<Project>(objects);
    return *p;
}

const char* const Pointers[]{"/objects/o500/translation", "/materials/m100/Phong/diffuseColor",
                             "/images/i10/maxSize", "/fonts/1/characters"};

void editToRecompiled(benchmark::State& state) {
    ZandelleEditor& editor = project(int(state.range(0))).editor;
    const char* pointer = Pointers[state.range(1)];
    JsonDocument values[2];
    const bool text = state.range(1) == 3;
    values[0].Parse(text ? R"("abc")" : state.range(1) == 2 ? "[32, 32]" : "[1, 0, 0, 1]");
    values[1].Parse(text ? R"("xyz")" : state.range(1) == 2 ? "[64, 64]" : "[0, 1, 0, 1]");
    std::size_t n = 0;
    for(auto _: state) {
        editor.changeTracker->setValue(pointer, values[n++ & 1]);
        editor.changeTracker->dispatch();
        compileListedObjects(editor);
        editor.jobSystem->waitForIdle();
    }
    state.SetLabel(pointer);
}

}

BENCHMARK(editToRecompiled)->ArgsProduct({{1000, 10000}, {0, 1, 2, 3}})->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
