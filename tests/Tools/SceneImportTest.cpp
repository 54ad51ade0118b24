#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <tuple>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <sys/stat.h>

#include "AssetCompiler/AssetCompiler.h"
#include "Base/Path.h"
#include "Base/String.h"
#include "Editor/SceneLoader.h"
#include "Support/EditorFixture.h"
#include "Support/LogCapture.h"
#include "Tools/Import.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;

namespace {

/* Sample files of the assimp-testmodels package */
const std::string Models = "/usr/share/assimp/models/glTF2/";

/* The JSON of a .gltf, or the JSON chunk of a .glb */
rapidjson::Document readGltfJson(const std::string& path) {
    std::ifstream in{path, std::ios::binary};
    std::string bytes{std::istreambuf_iterator<char>{in}, {}};
    if(bytes.compare(0, 4, "glTF") == 0) {
        std::uint32_t length;
        std::memcpy(&length, bytes.data() + 12, 4);
        bytes = bytes.substr(20, length);
    }
    rapidjson::Document json;
    json.Parse(bytes.data(), bytes.size());
    return json;
}

/* What the import must produce, by kind of record */
using Counts = std::map<std::string, std::size_t>;

/* The counts read from the file's own JSON */
Counts expectedCounts(const rapidjson::Document& json) {
    Counts c{{"objects with meshes", 0}, {"meshes", 0}};
    auto array = [&](const char* name) -> const rapidjson::Value& {
        static const rapidjson::Value empty{rapidjson::kArrayType};
        return json.HasMember(name) && json[name].IsArray() ? json[name] : empty;
    };
    /* Nodes reachable from the default scene; skins used by their meshes */
    const std::size_t sceneIndex = json.HasMember("scene") ? json["scene"].GetUint() : 0;
    std::vector<unsigned> stack;
    for(const auto& n: array("scenes")[rapidjson::SizeType(sceneIndex)]["nodes"].GetArray())
        stack.push_back(n.GetUint());
    std::set<unsigned> skins;
    while(!stack.empty()) {
        const rapidjson::Value& node = array("nodes")[stack.back()];
        stack.pop_back();
        if(node.HasMember("mesh")) {
            ++c["objects with meshes"];
            if(node.HasMember("skin")) skins.insert(node["skin"].GetUint());
        }
        if(node.HasMember("children"))
            for(const auto& child: node["children"].GetArray()) stack.push_back(child.GetUint());
    }
    c["skins"] = skins.size();

    bool defaultMaterial = false;
    for(const auto& mesh: array("meshes").GetArray()) for(const auto& primitive: mesh["primitives"].GetArray()) {
        ++c["meshes"];
        defaultMaterial |= !primitive.HasMember("material");
    }
    c["materials"] = array("materials").Size() + (defaultMaterial ? 1 : 0);

    /* Images behind the core material textures */
    std::set<unsigned> images;
    for(const auto& material: array("materials").GetArray()) {
        std::vector<const rapidjson::Value*> slots{&material};
        if(material.HasMember("pbrMetallicRoughness")) slots.push_back(&material["pbrMetallicRoughness"]);
        for(const rapidjson::Value* slot: slots) for(const char* name: {"baseColorTexture", "metallicRoughnessTexture",
            "normalTexture", "occlusionTexture", "emissiveTexture"}) {
            if(!slot->HasMember(name)) continue;
            const rapidjson::Value& texture = array("textures")[(*slot)[name]["index"].GetUint()];
            if(texture.HasMember("source")) images.insert(texture["source"].GetUint());
        }
    }
    c["images"] = images.size();
    c["animations"] = array("animations").Size();
    return c;
}

class SceneImport: public Testing::EditorTest {
    protected:
        void SetUp() override {
            ASSERT_TRUE(initProject(editor, "", ""));
            ASSERT_TRUE(saveProject(dir / "Game.zdp", editor));
        }

        /* Copies the sample's directory into the project, so that the file
           sits beside the files it refers to */
        void copySample(const std::string& file) {
            const std::string directory = Path::path(file);
            ASSERT_TRUE(Path::make(dir / directory));
            for(const std::string& entry: Path::list(Models + directory).value_or(std::vector<std::string>{}))
                ASSERT_TRUE(Path::copy(Models + directory + "/" + entry, dir / (directory + "/" + entry)));
        }

        Counts importedCounts(const std::string& file) {
            ProjectFile& project = editor.data().projectFile();
            Counts c{{"objects with meshes", 0}};
            for(const char* section: {"meshes", "materials", "images", "skins", "animations"}) {
                std::size_t& n = c[section];
                for(const ValueAccess& r: project.section(section)->range()) n += r["link/file"].asString() == file;
            }
            for(const ValueAccess& object: project.objects().range()) {
                if(object["link/file"].asString() != file) continue;
                bool mesh = false;
                for(const ValueAccess& component: object["components"].range())
                    mesh |= component["type"].asString() == "mesh";
                c["objects with meshes"] += mesh;
            }
            return c;
        }
};

}

TEST_F(SceneImport, GltfCountsAgreeWithTheFilesOwnJson) {
    /* Points and lines are meshes of their own primitive; strips, fans and
       index types reach us as triangles */
    for(const std::string file: {"2CylinderEngine-glTF-Binary/2CylinderEngine.glb",
            "BoxTextured-glTF/BoxTextured.gltf", "BoxTextured-glTF-Binary/BoxTextured.glb",
            "BoxTexcoords-glTF/boxTexcoords.gltf", "ClearCoat-glTF/ClearCoatTest.gltf", "cameras/Cameras.gltf",
            "glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf", "simple_skin/simple_skin.gltf",
            "textureTransform/TextureTransformTest.gltf",
            "glTF-Asset-Generator/Mesh_PrimitiveMode/Mesh_PrimitiveMode_00.gltf",
            "glTF-Asset-Generator/Mesh_PrimitiveMode/Mesh_PrimitiveMode_01.gltf"}) {
        SCOPED_TRACE(file);
        copySample(file);
        Testing::LogCapture log;
        ASSERT_TRUE(loadFile(dir / file, editor, LoadMode::Reimport, true));
        EXPECT_EQ(log.problems(), "");
        EXPECT_EQ(importedCounts(file), expectedCounts(readGltfJson(Models + file)));
    }
}

TEST_F(SceneImport, ReimportKeepsRecordsAndSavedProjectsRoundTrip) {
    const std::string file = "simple_skin/simple_skin.gltf";
    copySample(file);
    /* A record linked with Windows separators is taken over */
    ProjectSection& objects = editor.data().projectFile().objects();
    const std::string renamed = objects.addResource({"simple_skin\\simple_skin.gltf", "object_0"});
    objects[renamed]["name"].setString("Renamed by the user");
    ASSERT_TRUE(loadFile(dir / file, editor, LoadMode::Reimport, false));
    EXPECT_EQ(objects.keys().size(), 3u);
    EXPECT_EQ(objects.firstResourceWithLink({file, "object_0"}), renamed);
    EXPECT_EQ(objects[renamed]["name"].asString(), "Renamed by the user");

    /* Three unnamed nodes in a chain; the skin's joints are nodes 1 and 2 in
       that order, and node 2's rotation is animated */
    const std::vector<std::string> paths{"object_0", "object_0<object_0", "object_0<object_0<object_0"};
    ResourceManagers& resources = editor.data().resources();
    const Resource<Trade::SkinData> skin = resources.skins.resolveLink({file, "skin_0"});
    ASSERT_TRUE(skin);
    EXPECT_EQ(skin->joints, (std::vector<std::string>{paths[1], paths[2]}));
    const Resource<Trade::AnimationData> animation = resources.animations.resolveLink({file, "animation_0"});
    ASSERT_TRUE(animation);
    ASSERT_EQ(animation->tracks.size(), 1u);
    EXPECT_EQ(animation->tracks[0].target, paths[2]);
    EXPECT_EQ(animation->tracks[0].property, "rotation");

    ProjectFile& project = editor.data().projectFile();
    const std::string joint = project.objects().firstResourceWithLink({file, paths[2]});
    EXPECT_EQ(project.animations()[project.animations().firstResourceWithLink({file, "animation_0"})]["targets"]
        .asStringViewArray(), std::vector<std::string_view>{joint});
    auto keys = [&] {
        std::vector<std::vector<std::string>> out;
        for(const char* name: {"objects", "meshes", "materials", "skins", "animations", "files"})
            out.push_back(project.section(name)->keys());
        return out;
    };
    const auto before = keys();
    ASSERT_TRUE(loadFile(dir / file, editor, LoadMode::Reimport, false));
    EXPECT_EQ(keys(), before);

    /* Saving, loading (which imports the file again) and saving gives the same file */
    ASSERT_TRUE(saveProject(dir / "Game.zdp", editor));
    const std::string saved = *Path::readString(dir / "Game.zdp");
    Testing::LogCapture log;
    ASSERT_TRUE(loadAndWait(dir / "Game.zdp"));
    EXPECT_NE(log.debug().find("Loaded scene file " + (dir / file) + "\n"), std::string::npos);
    ASSERT_TRUE(saveProject(dir / "Game.zdp", editor));
    EXPECT_EQ(*Path::readString(dir / "Game.zdp"), saved);
    EXPECT_EQ(editor.data().scene().sceneFiles, std::vector<std::string>{file});
}

/* A project saved on Windows names its files with backslashes: in the files
   section and in every link. It loads, compiles to the same counts as its
   "/" twin, duplicates nothing and is saved with "/" again. */
TEST_F(SceneImport, AProjectWrittenOnWindowsCompilesLikeItsTwin) {
    const std::string scene = "BoxTextured-glTF/BoxTextured.gltf", image = "textures/wall.png",
        font = "fonts/Title.ttf";
    copySample(scene);
    ASSERT_TRUE(Path::make(dir / "textures") && Path::make(dir / "fonts"));
    ASSERT_TRUE(Path::copy(Models + "BoxTextured-glTF/CesiumLogoFlat.png", dir / image));
    ASSERT_TRUE(Path::copy("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", dir / font));
    for(const std::string& file: {scene, image, font}) ASSERT_TRUE(loadFile(dir / file, editor, LoadMode::Reimport, true));
    editor.data().projectFile()["settings/scripting/entryPoint"].setString("js/main.js");
    editor.data().projectFile()["settings/scripting/sourcePaths"].setArray(std::vector<std::string>{"js/lib"});
    ASSERT_TRUE(saveProject(dir / "Game.zdp", editor));
    const std::string twin = *Path::readString(dir / "Game.zdp");

    /* Records compiled, by kind, the scripts' paths and the problems the
       load reported */
    auto load = [&] {
        Testing::LogCapture log;
        EXPECT_TRUE(loadAndWait(dir / "Game.zdp"));
        std::vector<std::size_t> compiled;
        const ResourceIndex& index = editor.assetCompiler->resourceIndex;
        for(const ResourceIndex::Map* map: {&index.objects, &index.meshes, &index.images, &index.textures,
                                            &index.materials, &index.fonts})
            compiled.push_back(std::size_t(std::count_if(map->begin(), map->end(),
                [](const auto& entry) { return entry.second != 0; })));
        return std::make_tuple(compiled, editor.scripting->runtimeEntryPath(), editor.scripting->paths(),
            log.problems());
    };
    const auto expected = load();
    /* The box's two objects, its mesh beside the six primitives, the
       scene's image and the image file with their textures, the box's
       material beside the text one, the default font and the imported one */
    EXPECT_EQ(std::get<0>(expected), (std::vector<std::size_t>{2, 7, 2, 2, 2, 2}));
    EXPECT_EQ(std::get<1>(expected), dir / "js/main.js");

    /* Every spelling of the paths in the files records, links and settings */
    auto backslashed = [](std::string text, std::initializer_list<std::string> paths) {
        for(const std::string& path: paths)
            text = String::replaceAll(text, "\"" + path + "\"", String::replaceAll("\"" + path + "\"", "/", "\\\\"));
        return text;
    };
    dir.write("Game.zdp", backslashed(twin, {scene, image, font, "js/main.js", "js/lib"}));
    EXPECT_EQ(load(), expected);
    /* Saved with "/" again, but for the settings, which are the user's */
    ASSERT_TRUE(saveProject(dir / "Game.zdp", editor));
    EXPECT_EQ(*Path::readString(dir / "Game.zdp"), backslashed(twin, {"js/main.js", "js/lib"}));
}

/* The deliberately broken samples import (warnings of the compile steps
   allowed) or fail with their one line; none crashes, and the test's time
   limit catches a hang */
TEST_F(SceneImport, BrokenSamplesFailCleanly) {
    for(const char* folder: {"IndexOutOfRange", "SchemaFailures", "wrongTypes", "RecursiveNodes", "MissingBin",
                             "IncorrectVertexArrays", "TestNoRootNode", "issue_3269", "draco"}) {
        const auto entries = Path::list(Models + folder);
        ASSERT_TRUE(entries && !entries->empty()) << folder;
        for(const std::string& entry: *entries) {
            const std::string file = Models + folder + "/" + entry;
            Testing::LogCapture log;
            const bool imported = loadFile(file, editor, LoadMode::Reimport, false);
            /* A file the checks refuse says why first */
            std::string problems = log.problems();
            if(problems.starts_with("SceneLoader::loadScene(): Refusing ") && problems.find('\n') != std::string::npos)
                problems.erase(0, problems.find('\n') + 1);
            if(!imported) { EXPECT_EQ(problems, "Failed to load scene file " + file + "\n"); }
        }
    }
}

/* Every format compiles: each mesh record of the file gets a compiled mesh,
   each skin a compiled skin, each object an object of the scene */
TEST_F(SceneImport, OtherFormatsCompile) {
    for(const char* file: {"FBX/animation_with_skeleton.fbx", "OBJ/cube_usemtl.obj", "PLY/cube_uv.ply",
                           "OpenGEX/Example.ogex", "Collada/duck.dae", "glTF2/simple_skin/simple_skin.gltf"}) {
        SCOPED_TRACE(file);
        Testing::LogCapture log;
        const std::string path = "/usr/share/assimp/models/" + std::string{file};
        ASSERT_TRUE(loadFile(path, editor, LoadMode::Reimport, false));
        EXPECT_EQ(log.problems(), "");
        ProjectFile& project = editor.data().projectFile();
        const std::string link = Path::relativeTo(path, dir.path());
        AssetCompiler& compiler = *editor.assetCompiler;
        std::size_t meshes = 0;
        for(const ValueAccess& r: project.meshes().range()) if(r["link/file"].asString() == link) {
            ++meshes;
            EXPECT_NE(compiler.meshId(r.key()), 0) << r["link/name"].asString();
        }
        EXPECT_GT(meshes, 0u);
        for(const ValueAccess& r: project.skins().range()) {
            if(r["link/file"].asString() == link) { EXPECT_NE(compiler.skinId(r.key()), 0); }
        }
        for(const ValueAccess& r: project.objects().range()) {
            if(r["link/file"].asString() == link) { EXPECT_NE(compiler.objectId(r.key()), 0); }
        }
    }
}

namespace {

/* A glTF of @p nodes nodes (no meshes) whose node i lists @p children */
std::string gltfNodes(std::size_t nodes, const std::function<std::string(std::size_t)>& children,
    const std::string& buffers = "[]") {
    std::string json = R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}], "buffers": )" + buffers +
        R"(, "nodes": [)";
    for(std::size_t i = 0; i != nodes; ++i)
        json += (i ? ", " : "") + std::string{R"({"children": [)"} + children(i) + "]}";
    return json + "]}";
}
std::string chain(std::size_t depth) {
    return gltfNodes(depth, [depth](std::size_t i) { return i + 1 < depth ? std::to_string(i + 1) : ""; });
}
std::string withBuffer(const std::string& uri, std::size_t byteLength) {
    return gltfNodes(1, [](std::size_t) { return ""; },
        R"([{"uri": ")" + uri + R"(", "byteLength": )" + std::to_string(byteLength) + "}]");
}

}

/* Files that would hang, blow up or read outside the model's folder are
   refused before the reader sees them: one warning saying why, the failure
   line, the project as it was */
TEST_F(SceneImport, HostileFilesAreRefusedWithOneLine) {
    ASSERT_TRUE(Path::make(dir / "m"));
    dir.write("outside.bin", std::string(64, 'x'));
    dir.write("m/short.bin", std::string(16, 'x'));
    ASSERT_EQ(::mkfifo((dir / "m/fifo.bin").c_str(), 0600), 0);
    std::string glb = *Path::readString(Models + "BoxTextured-glTF-Binary/BoxTextured.glb");
    glb.replace(12, 4, "\xf0\xff\xff\xff");
    const struct {
        const char* name;
        std::string contents, reason;
    } cases[]{
        {"chunk.glb", glb, "GLB chunk length beyond the end of the file"},
        {"parent.gltf", withBuffer("../outside.bin", 64), "buffer uri ../outside.bin is not a regular file inside the model's folder"},
        {"encoded.gltf", withBuffer("%2e%2e/outside.bin", 64), "buffer uri %2e%2e/outside.bin is not a regular file inside the model's folder"},
        {"absolute.gltf", withBuffer(dir / "outside.bin", 64), "buffer uri " + (dir / "outside.bin") + " is not a regular file inside the model's folder"},
        {"fifo.gltf", withBuffer("fifo.bin", 64), "buffer uri fifo.bin is not a regular file inside the model's folder"},
        {"long.gltf", withBuffer("short.bin", 4000000000), "buffer 0 is 4000000000 bytes long, its source holds 16"},
        {"deep.gltf", chain(20000), "node hierarchy deeper than 256 levels"},
        {"cycle.gltf", gltfNodes(3, [](std::size_t i) { return std::to_string((i + 1)%3); }), "node hierarchy with a cycle"},
        /* Thirty levels, each listing the next node twice: 2^30 instances */
        {"doubling.gltf", gltfNodes(30, [](std::size_t i) { return i < 29 ? fmt::format("{0}, {0}", i + 1) : ""; }),
            "node hierarchy of more than 1000000 nodes"},
    };
    const std::size_t objects = editor.data().projectFile().objects().keys().size();
    for(const auto& c: cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.write(std::string{"m/"} + c.name, c.contents);
        Testing::LogCapture log;
        EXPECT_FALSE(loadFile(path, editor, LoadMode::Reimport, true));
        EXPECT_EQ(log.problems(), "SceneLoader::loadScene(): Refusing m/" + std::string{c.name} + ": " + c.reason +
            "\nFailed to load scene file " + path + "\n");
    }
    EXPECT_EQ(editor.data().projectFile().objects().keys().size(), objects);

    /* At the limit the chain imports, each link name the path to the root */
    Testing::LogCapture log;
    ASSERT_TRUE(loadFile(dir.write("m/limit.gltf", chain(256)), editor, LoadMode::Reimport, true));
    EXPECT_EQ(log.problems(), "");
    std::string deepest = "object_0";
    for(int i = 1; i != 256; ++i) deepest += "<object_0";
    EXPECT_NE(editor.data().projectFile().objects().firstResourceWithLink({"m/limit.gltf", deepest}), "");
}

/* Images are opened only when they are regular files inside the model's folder */
TEST_F(SceneImport, ImagesOutsideTheModelsFolderAreRefused) {
    const std::string file = "BoxTextured-glTF/BoxTextured.gltf";
    copySample(file);
    const std::string gltf = *Path::readString(dir / file);
    ASSERT_TRUE(Path::copy(dir / "BoxTextured-glTF/CesiumLogoFlat.png", dir / "outside.png"));
    ASSERT_EQ(::mkfifo((dir / "BoxTextured-glTF/fifo.png").c_str(), 0600), 0);
    for(const std::string uri: {"../outside.png", "fifo.png"}) {
        SCOPED_TRACE(uri);
        std::string changed = gltf;
        changed.replace(changed.find("CesiumLogoFlat.png"), 18, uri);
        ASSERT_TRUE(Path::writeAtomic(dir / file, changed));
        Testing::LogCapture log;
        EXPECT_TRUE(loadFile(dir / file, editor, LoadMode::Reimport, true));
        EXPECT_EQ(log.problems(), "SceneLoader::loadScene(): Refusing image " + uri + " from file " + file +
            ": not a regular file inside the model's folder\n");
    }
}

/* The reader runs in a child: its crash (a GLB on which Assimp 5.2.5 reads
   through a null pointer), its time and memory running out, or no reader at
   all fail the import with the failure line; the project stays as it was and
   the next import works */
TEST_F(SceneImport, ReaderFailuresFailTheImportOnly) {
    const std::string box = dir.write("box.glb", *Path::readString(Models + "BoxTextured-glTF-Binary/BoxTextured.glb"));
    SceneLoader& loader = *editor.sceneLoader;
    const struct {
        const char* name;
        std::string file;
        std::function<void()> setUp;
        std::string warning;
    } cases[]{
        {"crash", dir.write("crash.glb", *Path::readString(ZANDELLE_FUZZ_CORPUS_DIR "/SceneImport/scene-import-segv.glb")), [] {}, ""},
        {"time", box, [&] { loader.readerLimits.time = std::chrono::milliseconds{1}; }, ""},
        {"memory", box, [&] { loader.readerLimits.memory = 1 << 20; }, ""},
        {"no reader", box, [&] { loader.readerPath = ""; },
            "SceneLoader::loadScene(): no zandelle-scene-reader beside the library, scene files cannot be read\n"},
    };
    const std::string reader = loader.readerPath;
    ASSERT_NE(reader, "");
    for(const auto& c: cases) {
        SCOPED_TRACE(c.name);
        c.setUp();
        Testing::LogCapture log;
        EXPECT_FALSE(loadFile(c.file, editor, LoadMode::Reimport, true));
        EXPECT_EQ(log.problems(), c.warning + "Failed to load scene file " + c.file + "\n");
        EXPECT_EQ(editor.data().projectFile().objects().keys().size(), 0u);
        loader.readerPath = reader;
        loader.readerLimits = {};
    }
    EXPECT_TRUE(loadFile(box, editor, LoadMode::Reimport, true));
    EXPECT_EQ(editor.data().projectFile().objects().keys().size(), 2u);
}
