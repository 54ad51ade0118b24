#include "Tools/NewProject.h"

#include <deque>
#include <filesystem>
#include <string>

#include <fmt/format.h>

#include "Base/Log.h"
#include "Base/Path.h"
#include "Base/String.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/MeshTools.h"
#include "Engine/Primitives.h"
#include "Tools/ProjectFiles.h"

namespace ZandelleEngine {

namespace {

/* Whether @p inner lies below @p outer */
bool isBelow(std::string_view inner, std::string_view outer) {
    const std::string a = Path::absolute(inner), b = Path::absolute(outer);
    return a.size() > b.size() && String::beginsWith(a, b) && (b == "/" || a[b.size()] == '/');
}

/* The directory part of a path, "." for a bare file name */
std::string directoryOf(std::string_view path) {
    std::string directory = Path::path(path);
    return directory.empty() ? std::string{"."} : directory;
}

}

bool copyDirectory(std::string_view source, std::string_view destination) {
    if(Path::isDirectory(source)) {
        if(Path::absolute(source) == Path::absolute(destination)) return true;
        /* The copy would be listed again while it grows */
        if(isBelow(destination, source)) {
            Error{} << "Cannot copy directory" << source << "into itself:" << destination;
            return false;
        }
    }

    /* Relative paths still to copy; directories append their children, so
       the tree is copied level by level */
    std::deque<std::string> work{std::string{}};
    while(!work.empty()) {
        const std::string entry = std::move(work.front());
        work.pop_front();
        const std::string from = Path::join(source, entry);
        const std::string to = Path::join(destination, entry);
        if(!Path::isDirectory(from)) {
            if(!Path::copy(from, to)) return false;
            continue;
        }
        /* A link to a directory stays a link: following it could lead back
           up the tree forever */
        std::error_code error;
        if(!entry.empty() && std::filesystem::is_symlink(from, error)) {
            std::filesystem::remove(to, error);
            std::filesystem::copy_symlink(from, to, error);
            if(error) return false;
            continue;
        }
        Path::make(to);
        if(std::optional<std::vector<std::string>> children = Path::list(from))
            for(const std::string& child: *children) work.push_back(Path::join(entry, child));
    }
    return true;
}

bool copyPackageTemplate(std::string_view name, std::string_view templateRoot, std::string_view projectRoot,
    bool copyNodeModules)
{
    const std::string packageDirectory = Path::join(templateRoot, "templates/package");

    const std::string packageJson = Path::join(projectRoot, "package.json");
    if(!Path::exists(packageJson)) {
        const std::string from = Path::join(packageDirectory, "package.json");
        if(!Path::copy(from, packageJson))
            Error{} << "Failed to copy package.json from" << from << Debug::nospace << ".";
    }

    Path::make(Path::join(projectRoot, "js"));
    const std::string indexJs = Path::join(projectRoot, "js/index.js");
    if(!Path::exists(indexJs)) {
        const std::string from = Path::join(packageDirectory, "js/index.js");
        if(!Path::copy(from, indexJs))
            Error{} << "Failed to copy index.js from" << from << Debug::nospace << ".";
    }

    /* A package directory without node_modules has nothing to copy; the
       result does not matter */
    if(copyNodeModules)
        copyDirectory(Path::join(packageDirectory, "node_modules"), Path::join(projectRoot, "node_modules"));

    const std::optional<std::string> content = Path::readString(packageJson);
    if(!content) {
        Error{} << "Failed to read package.json from the project's root.";
        return false;
    }
    if(!Path::writeAtomic(packageJson, String::replaceAll(*content, "{{ name }}", name))) {
        Error{} << "Failed to write package.json content in project's root.";
        return false;
    }
    return true;
}

bool newProject(ZandelleEditor& editor, std::string_view name, std::string_view path, bool withPackage) {
    if(!initProject(editor, name, path)) return false;
    if(withPackage) {
        const ProjectData& project = editor.data().project();
        /* A project that was never saved has no directory to put it in */
        if(project.filename().empty()) Warning{} << "No project directory to copy the npm package template into";
        else copyPackageTemplate(editor.data().projectFile()["settings/project/name"].asString(),
            editor.resourcesPath, project.root(), true);
    }
    activateProject(editor, false, false);
    return true;
}

bool newTemplateProject(ZandelleEditor& editor, std::string_view name, std::string_view projectPathIn,
    std::string_view templatePathIn)
{
    const std::string projectPath = Path::fromNativeSeparators(projectPathIn);
    const std::string templatePath = Path::fromNativeSeparators(templatePathIn);
    const std::string projectDirectory = directoryOf(projectPath);

    if(Path::exists(projectPath)) Path::remove(projectPath);
    Path::make(projectDirectory);
    copyPackageTemplate(name, editor.resourcesPath, projectDirectory, true);
    copyDirectory(directoryOf(templatePath), projectDirectory);

    const std::string copied = Path::join(Path::path(projectPath), Path::filename(templatePath));
    Debug{} << "Renaming project file from" << copied << "to" << projectPath;
    if(copied != projectPath) Path::move(copied, projectPath);

    const std::optional<int> job = loadProject(projectPath, editor);
    if(!job) return false;
    /* The finishing job works on the document; naming and saving it at the
       same time would race with it */
    editor.jobSystem->wait(*job);
    editor.data().projectFile()["settings/project/name"].setString(name);
    saveProject(projectPath, editor);
    return true;
}

void addPrimitiveMeshes(ZandelleEditor& editor) {
    using namespace Primitives;
    const std::uint32_t solid = TextureCoordinates|Tangents;
    const std::uint32_t capped = TextureCoordinates|Tangents|Caps;
    const struct {
        const char* name;
        Trade::MeshData(*make)(std::uint32_t);
        std::uint32_t flags;
    } primitives[]{
        {"PrimitivePlane", planeSolid, solid},
        {"PrimitiveCube", [](std::uint32_t) { return cubeSolid(); }, 0},
        {"PrimitiveSphere", [](std::uint32_t f) { return uvSphereSolid(12, 12, f); }, solid},
        {"PrimitiveCone", [](std::uint32_t f) { return coneSolid(1, 12, 1.0f, f); }, capped},
        {"PrimitiveCylinder", [](std::uint32_t f) { return cylinderSolid(1, 12, 1.0f, f); }, capped},
        {"PrimitiveCircle", [](std::uint32_t f) { return circle3DSolid(12, f); }, solid},
    };

    EditorData& data = editor.data();
    ResourceManager<Trade::MeshData>& meshes = data.resources().meshes;
    ProjectSection& section = data.projectFile().meshes();
    meshes.reserve(6);
    for(std::size_t i = 0; i != std::size(primitives); ++i) {
        const Trade::MeshData triangles = MeshTools::convertToTriangles(primitives[i].make(primitives[i].flags));
        const FileLink link{"default", primitives[i].name};
        meshes.add(link, MeshTools::packMesh(triangles, MeshTools::getMeshFlags(triangles)));
        section.addOriginal(link)["name"].setString(primitives[i].name);
        section.addResource(link, fmt::format("p{}", i));
    }
}

}
