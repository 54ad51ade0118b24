// A program that uses the installed library: opens a project and prints its
// name.
//
//     consumer PROJECT.zdp RESOURCES_DIR

#include <cstdio>
#include <string>

#include <Zandelle/Editor/ZandelleEditor.h>
#include <Zandelle/Tools/ProjectFiles.h>

int main(int argc, char** argv) {
    if(argc != 3) return 2;
    ZandelleEngine::Debug::setQuiet(true);
    ZandelleEngine::ZandelleEditor editor;
    editor.resourcesPath = argv[2];
    editor.shaderDirectory = editor.resourcesPath + "/shaders";
    editor.suppressRecentProjects = true;
    const std::optional<int> job = ZandelleEngine::loadProject(argv[1], editor);
    if(!job) return 1;
    editor.jobSystem->wait(*job);
    editor.jobSystem->waitForIdle();
    const std::string name{editor.data().projectFile()["settings/project/name"].asString()};
    std::printf("%s\n", name.c_str());
    return 0;
}
