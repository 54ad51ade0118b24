#include "Tools/Import.h"

#include <algorithm>
#include <array>
#include <functional>
#include <initializer_list>

#include "AssetCompiler/AssetCompiler.h"
#include "Base/Log.h"
#include "Base/Path.h"
#include "Base/String.h"
#include "Editor/SceneLoader.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/Font.h"

namespace ZandelleEngine {

namespace {

constexpr std::array<std::string_view, 18> ImageExtensions{".png", ".jpg", ".jpeg", ".bmp", ".tga", ".dds", ".ktx2",
    ".exr", ".hdr", ".webp", ".gif", ".psd", ".tif", ".tiff", ".jpe", ".jp2", ".ico", ".basis"};
constexpr std::array<std::string_view, 4> FontExtensions{".otf", ".ttf", ".otc", ".ttc"};

template<std::size_t n> bool endsWithAny(std::string_view path, const std::array<std::string_view, n>& extensions) {
    return std::any_of(extensions.begin(), extensions.end(), [&](std::string_view e) { return path.ends_with(e); });
}

template<std::size_t n> std::string dialogPattern(const std::array<std::string_view, n>& extensions) {
    std::string pattern;
    for(std::string_view e: extensions) {
        if(!pattern.empty()) pattern += ' ';
        pattern += '*';
        pattern += e;
    }
    return pattern;
}

/* Compiles what an import added, through the compile steps of the
   sections @p sections in table order: images and textures only the
   records of @p result, the other sections whole, as their new records link
   to older ones and the other way round */
void compileImported(AssetCompiler& compiler, std::initializer_list<std::string_view> sections, const SceneLoadResult& result) {
    for(const CompileStep& step: AssetCompiler::compileSteps()) {
        const std::string_view section = step.section;
        if(std::find(sections.begin(), sections.end(), section) == sections.end()) continue;
        if(section == "images") compiler.compile(step.name, result.images);
        else if(section == "textures") compiler.compile(step.name, result.textures);
        else compiler.compile(step.name);
    }
}

/* The files record of @p relative, also when a project written on Windows
   spells it with backslashes; such a record is rewritten with "/" */
std::string filesRecord(ProjectSection& files, const std::string& relative) {
    for(ValueAccess record: files.range()) {
        const std::string_view fileName = record["fileName"].asString();
        if(!Path::equalSeparatorsIgnored(fileName, relative)) continue;
        if(fileName != relative) record["fileName"].setString(relative);
        return record.key();
    }
    return {};
}

/* Where an import finds its file and how the project names it */
struct ImportPath {
    std::string absolute, relative;
};

ImportPath importPath(EditorData& data, std::string_view path) {
    ImportPath out;
    out.absolute = data.project().absolutePath(path);
    out.relative = data.project().relativePath(out.absolute);
    return out;
}

/* The steps every kind shares around its own import: the list entry, the
   files record and the watch are added when the kind's list does not hold
   the file yet, however @p path spells it; the import and the compile run
   every time. The kind's list keeps @p entry, the file's relative or
   absolute path. */
bool importCommon(ZandelleEditor& editor, const ImportPath& file, std::vector<std::string>& list, const std::string& entry,
    const std::function<bool()>& import, const std::function<void()>& compile, bool wait) {
    EditorData& data = editor.data();
    const bool known = std::find(list.begin(), list.end(), entry) != list.end();

    /* The relative path is written into the project file, whose text every
       JSON reader must accept */
    if(!String::isValidUtf8(file.relative)) {
        Error{} << "Not importing" << file.absolute << "(its name is not valid UTF-8)";
        return false;
    }
    if(!import()) return false;

    if(!known) {
        list.push_back(entry);
        ProjectSection& files = data.projectFile().files();
        if(filesRecord(files, file.relative).empty()) {
            ValueAccess record = files[files.addResource()];
            record["fileName"].setString(file.relative);
            record["importerName"].setString("");
        }
        if(editor.fileWatch) {
            const int id = editor.fileWatch->watch(file.absolute, [](ZandelleEditor& e, const std::string& changed) {
                if(std::find(e.changedFiles.begin(), e.changedFiles.end(), changed) == e.changedFiles.end())
                    e.changedFiles.push_back(changed);
            }, false, FileWatch::Events::Modified);
            if(id >= 0) data.watchIds.push_back(id);
        }
    }

    if(!wait && editor.assetCompiler) compile();
    return true;
}

}

bool isScenePath(std::string_view path) { return endsWithAny(path, SceneExtensions); }
bool isImagePath(std::string_view path) { return endsWithAny(path, ImageExtensions); }
bool isFontPath(std::string_view path) { return endsWithAny(path, FontExtensions); }

bool isImageLoaded(std::string_view path, ZandelleEditor& editor) {
    const std::vector<std::string>& images = editor.data().scene().imageFiles;
    return std::find(images.begin(), images.end(), editor.data().project().absolutePath(path)) != images.end();
}

bool loadFile(ZandelleEditor& editor) {
    const DialogFilters filters{
        {"Scene Files", dialogPattern(SceneExtensions)},
        {"Image Files", dialogPattern(ImageExtensions)},
        {"Font Files", dialogPattern(FontExtensions)},
        {"All Files", "*"}};
    if(!editor.dialogs) return false;
    const std::vector<std::string> paths = editor.dialogs->openFile("Load Asset", editor.data().project().root(), filters, true);
    bool success = !paths.empty();
    for(const std::string& path: paths) {
        if(loadFile(path, editor, LoadMode::Reimport, false)) continue;
        Warning{} << "Import of" << path << "failed";
        success = false;
    }
    return success;
}

bool loadFile(std::string_view path, ZandelleEditor& editor, LoadMode mode, bool wait) {
    const std::string extension = String::lowercase(Path::splitExtension(path).second);
    if(std::find(ImageExtensions.begin(), ImageExtensions.end(), extension) != ImageExtensions.end())
        return loadImage(path, editor, wait);
    if(std::find(FontExtensions.begin(), FontExtensions.end(), extension) != FontExtensions.end())
        return loadFont(path, editor, wait);
    return loadScene(path, editor, mode, "", wait);
}

bool loadScene(std::string_view path, ZandelleEditor& editor, LoadMode mode, std::string_view importerName, bool wait) {
    EditorData& data = editor.data();
    const ImportPath file = importPath(data, path);
    SceneLoadResult result;
    const bool success = importCommon(editor, file, data.scene().sceneFiles, file.relative,
        [&] {
            result = editor.sceneLoader->loadScene(file.absolute, data, mode, std::string{importerName});
            if(!result.success) {
                Error{} << "Failed to load scene file" << path;
                return false;
            }
            Debug{} << "Loaded scene file" << path;
            return true;
        },
        [&] {
            compileImported(*editor.assetCompiler,
                {"images", "textures", "materials", "meshes", "objects", "animations", "skins"}, result);
        }, wait);
    return success;
}

bool loadImage(std::string_view path, ZandelleEditor& editor, bool wait) {
    EditorData& data = editor.data();
    const ImportPath file = importPath(data, path);
    SceneLoadResult result;
    return importCommon(editor, file, data.scene().imageFiles, file.absolute,
        [&] {
            result = editor.sceneLoader->loadImage(file.absolute, data);
            if(!result.success) Error{} << "Failed to load image file" << file.absolute;
            return result.success;
        },
        [&] { compileImported(*editor.assetCompiler, {"images", "textures"}, result); }, wait);
}

bool loadFont(std::string_view path, ZandelleEditor& editor, bool wait) {
    EditorData& data = editor.data();
    const ImportPath file = importPath(data, path);
    std::string fontKey;
    return importCommon(editor, file, data.scene().fontFiles, file.absolute,
        [&] {
            std::optional<std::vector<char>> bytes = Path::read(file.absolute);
            /* A file FreeType cannot open would be recorded and then
               compile to nothing */
            if(!bytes || !Font::importFont(*bytes)) {
                Error{} << "Failed to load font file" << file.absolute;
                return false;
            }
            /* Always "font_0": importing the file again replaces its data */
            const FileLink link{file.relative, "font_0"};
            data.resources().fonts.add(link, std::move(*bytes));
            ProjectSection& fonts = data.projectFile().fonts();
            fonts.getOrAddOriginal(link)["name"].setString(Path::filename(file.absolute));
            fontKey = fonts.firstResourceWithLink(link);
            if(fontKey.empty()) fontKey = fonts.addResource(link);
            /* A record written on Windows is found by its backslashes and
               stored with "/" from now on */
            else if(ValueAccess stored = fonts[fontKey]["link/file"]; stored.asString() != link.file)
                stored.setString(link.file);
            return true;
        },
        [&] { editor.assetCompiler->compile("fonts", {fontKey}); }, wait);
}

}
