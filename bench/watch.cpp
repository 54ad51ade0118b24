// From a change being seen by the file watch to the last job it caused
// finishing, through the watch loop's own handlers, on loaded projects of
// 1,000 and 60,000 objects: one object's translation and one material's
// colour edited in the project file on disk, and a 256 x 256 region of a
// 2048 x 2048 image saved again. The two sizes should take the same time.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <benchmark/benchmark.h>
#include <poll.h>

#include "Base/Log.h"
#include "Base/Path.h"
#include "Editor/Json.h"
#include "Editor/JsonPointer.h"
#include "Editor/ProjectFile.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/ImageTools.h"
#include "Tools/Import.h"
#include "Tools/ProjectFiles.h"
#include "Tools/ProjectWatch.h"

#include "support/GeneratedProject.h"
#include "support/Photo.h"

using namespace ZandelleEngine;

namespace {

bool waitForIdle(ZandelleEditor& editor) {
    editor.jobSystem->waitForIdle();
    return true;
}

struct Project {
    explicit Project(int objects) {
        char pattern[] = "/tmp/zandelle-bench-XXXXXX";
        directory = ::mkdtemp(pattern);
        ::setenv("APPDATA", (directory + "/appdata").c_str(), 1);
        path = directory + "/Big.zdp";
        image = directory + "/photo.png";
        Path::writeAtomic(path, Generated::project(std::size_t(objects), "[1, 1, 6, 1]"));
        photo = Generated::photo(2048);
        ImageTools::writePng(image, photo);
        editor.resourcesPath = ZANDELLE_RESOURCES_DIR;
        editor.shaderDirectory = Path::join(ZANDELLE_RESOURCES_DIR, "shaders");
        editor.suppressRecentProjects = true;
        if(const std::optional<int> job = loadProject(path, editor)) editor.jobSystem->wait(*job);
        loadFile(image, editor, LoadMode::Reimport, false);
        JsonDocument material;
        material.Parse(R"({"pipeline": "1", "Phong": {"diffuseColor": [1, 1, 1, 1]}})");
        editor.changeTracker->setValue("/materials/m1", material);
        editor.changeTracker->dispatch();
        editor.jobSystem->waitForIdle();
        saveProject(editor, false);
        document.Parse(Path::readString(path).value_or("").c_str());
        watch = std::make_unique<ProjectWatch>(editor, std::chrono::milliseconds{0});
    }
    ~Project() {
        watch.reset();
        std::error_code ec;
        std::filesystem::remove_all(directory, ec);
    }

    /* Waits for the report of the change just made */
    double handled() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds{120};
        while(std::chrono::steady_clock::now() < end) {
            pollfd p{editor.fileWatch->descriptor(), POLLIN, 0};
            ::poll(&p, 1, 10);
            watch->poll(waitForIdle);
            if(const std::optional<WatchReport> report = watch->handleNext(waitForIdle))
                return report->milliseconds/1000.0;
        }
        return 120.0;
    }

    /* Writes the project file with the value at @p pointer set to a
       value of its own, as a text editor that saves by renaming does */
    void edit(const char* pointer, int n) {
        auto* value = const_cast<JsonValue*>(JsonPointer::find(&document, pointer));
        if(!value || !value->IsArray()) return;
        (*value)[0].SetDouble(0.5 + n/1024.0);
        Path::writeAtomic(path, Json::toString(document, Json::JsonPretty).value_or(""), Path::Sync::Rewritable);
    }

    /* Saves the image with one tile-sized region changed */
    void paint(int n) {
        for(int y = 512; y != 768; ++y) for(int x = 512; x != 768; ++x)
            photo.data[(std::size_t(y)*2048 + x)*4] = std::uint8_t(n*37 + x);
        ImageTools::writePng(image + ".tmp", photo);
        Path::move(image + ".tmp", image);
    }

    ZandelleEditor editor{2};
    std::string directory, path, image;
    Trade::ImageData photo;
    JsonDocument document;
    std::unique_ptr<ProjectWatch> watch;
};

Project& project(int objects) {
    static std::map<int, std::unique_ptr<Project>> projects;
    auto& p = projects[objects];
    if(!p) p = std::make_unique<Project>(objects);
    return *p;
}

void changeSeenToRecompiled(benchmark::State& state) {
    Project& p = project(int(state.range(0)));
    const int kind = int(state.range(1));
    /* Counted across the runs the benchmark library makes, so that every
       edit writes a value the file did not hold before: an unchanged file
       is no change */
    static int n = 0;
    for(auto _: state) {
        ++n;
        if(kind == 0) p.edit("/objects/500/translation", n);
        if(kind == 1) p.edit("/materials/m1/Phong/diffuseColor", n);
        if(kind == 2) p.paint(n);
        state.SetIterationTime(p.handled());
    }
    state.SetLabel(kind == 0 ? "object" : kind == 1 ? "material" : "image region");
}

}

BENCHMARK(changeSeenToRecompiled)->ArgsProduct({{1000, 60000}, {0, 1, 2}})->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
