// Importing the largest glTF 2 sample model of the assimp-testmodels package,
// against Assimp reading the same file with the same post-processing. The
// ratio is what turning Assimp's scene into records, originals and resource
// data costs on top of reading it. A second, unchanged import of the same
// file shows what re-importing on project load costs. The same read in the
// child process the loader runs it in shows what the isolation costs.

#include <string>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>

#include "Base/Log.h"
#include "Editor/SceneReader.h"
#include "Editor/ZandelleEditor.h"
#include "Tools/Import.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;

namespace {

const std::string Model = "/usr/share/assimp/models/glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb";

constexpr unsigned Flags = aiProcess_Triangulate | aiProcess_GenNormals | aiProcess_LimitBoneWeights |
    aiProcess_ValidateDataStructure;

void AssimpReadFile(benchmark::State& state) {
    for(auto _: state) {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(Model, Flags);
        if(!scene) {
            state.SkipWithError("Assimp cannot read the model");
            break;
        }
        benchmark::DoNotOptimize(scene->mNumMeshes);
    }
}

void IsolatedReadFile(benchmark::State& state) {
    const std::string reader = defaultSceneReaderPath();
    for(auto _: state) {
        const std::unique_ptr<Assimp::Importer> importer = readSceneIsolated(reader, Model, Flags, {});
        if(!importer) {
            state.SkipWithError("the scene reader cannot read the model");
            break;
        }
        benchmark::DoNotOptimize(importer->GetScene()->mNumMeshes);
    }
}

struct Editor {
    Editor() {
        Debug::setQuiet(true);
        editor.resourcesPath = ZANDELLE_RESOURCES_DIR;
        editor.shaderDirectory = std::string{ZANDELLE_RESOURCES_DIR} + "/shaders";
        editor.suppressRecentProjects = true;
    }
    ~Editor() { Debug::setQuiet(false); }
    ZandelleEditor editor{2};
};

void FirstImport(benchmark::State& state) {
    Editor e;
    for(auto _: state) {
        state.PauseTiming();
        initProject(e.editor, "", "");
        state.ResumeTiming();
        if(!loadFile(Model, e.editor, LoadMode::Reimport, true)) {
            state.SkipWithError("import failed");
            break;
        }
    }
}

void UnchangedReimport(benchmark::State& state) {
    Editor e;
    initProject(e.editor, "", "");
    loadFile(Model, e.editor, LoadMode::Reimport, true);
    for(auto _: state) {
        if(!loadFile(Model, e.editor, LoadMode::Reimport, true)) {
            state.SkipWithError("import failed");
            break;
        }
    }
}

}

BENCHMARK(AssimpReadFile)->Unit(benchmark::kMillisecond);
BENCHMARK(IsolatedReadFile)->Unit(benchmark::kMillisecond);
BENCHMARK(FirstImport)->Unit(benchmark::kMillisecond);
BENCHMARK(UnchangedReimport)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
