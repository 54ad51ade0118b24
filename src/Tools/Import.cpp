#include "Tools/Import.h"

#include <algorithm>
#include <array>
#include <functional>

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

ValueAccessRange recordRange(ProjectSection& section, const std::vector<std::string>& keys) {
    ValueAccessRange range;
    for(const std::string& key: keys) range.push_back(section[key]);
    return range;
}

/* The steps every kind shares around its own import: the list entry, the
   files record and the watch are added when the kind's list does not hold
   @p path as given, the import and the compile run every time. @p entry is
   what the kind's list keeps. */
bool importCommon(ZandelleEditor& editor, std::string_view path, std::vector<std::string>& list, const std::string& entry,
    const std::function<bool(const std::string& relative)>& import, const std::function<void()>& compile, bool wait) {
    EditorData& data = editor.data();
    const std::string absolute = Path::absolute(path);
    const std::string relative = Path::relativeTo(absolute, Path::absolute(data.project().root()));
    const bool known = std::find(list.begin(), list.end(), path) != list.end();

    /* The relative path is written into the project file, whose text every
       JSON reader must accept */
    if(!String::isValidUtf8(relative)) {
        Error{} << "Not importing" << path << "(its name is not valid UTF-8)";
        return false;
    }
    if(!import(relative)) return false;

    if(!known) {
        list.push_back(entry);
        ProjectSection& files = data.projectFile().files();
        if(files.resourceByName(relative, "fileName").empty()) {
            ValueAccess record = files[files.addResource()];
            record["fileName"].setString(relative);
            record["importerName"].setString("");
        }
        if(editor.fileWatch) {
            const int id = editor.fileWatch->watch(absolute, [](ZandelleEditor& e, const std::string& changed) {
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
    return std::find(images.begin(), images.end(), path) != images.end();
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
    const std::string relative = Path::relativeTo(Path::absolute(path), Path::absolute(data.project().root()));
    SceneLoadResult result;
    const bool success = importCommon(editor, path, data.scene().sceneFiles, relative,
        [&](const std::string&) {
            result = editor.sceneLoader->loadScene(Path::join(data.project().root(), path), data, mode, std::string{importerName});
            if(!result.success) {
                Error{} << "Failed to load scene file" << path;
                return false;
            }
            Debug{} << "Loaded scene file" << path;
            return true;
        },
        [&] {
            AssetCompiler& compiler = *editor.assetCompiler;
            ProjectFile& file = data.projectFile();
            compiler.compileImages(recordRange(file.images(), result.images));
            compiler.compileTextures(recordRange(file.textures(), result.textures));
            compiler.compileMaterials();
            compiler.compileMeshes();
            compiler.compileObjects(false);
            compiler.compileAnimations();
            compiler.compileSkins();
            compiler.compileObjects(true);
        }, wait);
    return success;
}

bool loadImage(std::string_view path, ZandelleEditor& editor, bool wait) {
    EditorData& data = editor.data();
    const std::string absolute = Path::absolute(path);
    SceneLoadResult result;
    return importCommon(editor, path, data.scene().imageFiles, absolute,
        [&](const std::string&) {
            result = editor.sceneLoader->loadImage(absolute, data);
            if(!result.success) Error{} << "Failed to load image file" << absolute;
            return result.success;
        },
        [&] {
            ProjectFile& file = data.projectFile();
            editor.assetCompiler->compileImages(recordRange(file.images(), result.images));
            editor.assetCompiler->compileTextures(recordRange(file.textures(), result.textures));
        }, wait);
}

bool loadFont(std::string_view path, ZandelleEditor& editor, bool wait) {
    EditorData& data = editor.data();
    const std::string absolute = Path::absolute(path);
    std::string fontKey;
    return importCommon(editor, path, data.scene().fontFiles, absolute,
        [&](const std::string& relative) {
            std::optional<std::vector<char>> bytes = Path::read(absolute);
            /* A file FreeType cannot open would be recorded and then
               compile to nothing */
            if(!bytes || !Font::importFont(*bytes)) {
                Error{} << "Failed to load font file" << absolute;
                return false;
            }
            /* Always "font_0": importing the file again replaces its data */
            const FileLink link{relative, "font_0"};
            data.resources().fonts.add(link, std::move(*bytes));
            ProjectSection& fonts = data.projectFile().fonts();
            fonts.getOrAddOriginal(link)["name"].setString(Path::filename(absolute));
            fontKey = fonts.firstResourceWithLink(link);
            if(fontKey.empty()) fontKey = fonts.addResource(link);
            return true;
        },
        [&] { editor.assetCompiler->compileFont(fontKey); }, wait);
}

}
