#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Base/Path.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/MeshTools.h"
#include "Support/EditorFixture.h"
#include "Support/LogCapture.h"
#include "Tools/NewProject.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;
using Testing::minimalProject;
using A = Trade::MeshAttribute;

namespace {

class NewProject: public Testing::EditorTest {};
class TemplateProject: public Testing::EditorTest {};
class PackageTemplate: public Testing::EditorTest {};

const char* const PrimitiveNames[]{"PrimitivePlane", "PrimitiveCube", "PrimitiveSphere",
    "PrimitiveCone", "PrimitiveCylinder", "PrimitiveCircle"};

/* The unit cube as the engine defines it, a face a row: normal, tangent, then
   four corners of position and texture coordinates */
const float CubeFaces[6][27]{
    {0, 0, 1,   -1, 0, 0, 1,   -1, -1, 1, 0, 0,    1, -1, 1, 1, 0,    1, 1, 1, 1, 1,     -1, 1, 1, 0, 1},
    {1, 0, 0,   0, 0, 1, 1,    1, -1, 1, 0, 0,     1, -1, -1, 1, 0,   1, 1, -1, 1, 1,    1, 1, 1, 0, 1},
    {0, 1, 0,   1, 0, 0, 1,    -1, 1, 1, 1, 1,     1, 1, 1, 0, 1,     1, 1, -1, 0, 0,    -1, 1, -1, 1, 0},
    {0, 0, -1,  1, 0, 0, 1,    1, -1, -1, 0, 0,    -1, -1, -1, 1, 0,  -1, 1, -1, 1, 1,   1, 1, -1, 0, 1},
    {0, -1, 0,  -1, 0, 0, 1,   -1, -1, -1, 1, 0,   1, -1, -1, 0, 0,   1, -1, 1, 0, 1,    -1, -1, 1, 1, 1},
    {-1, 0, 0,  0, 0, -1, 1,   -1, -1, -1, 0, 0,   -1, -1, 1, 1, 0,   -1, 1, 1, 1, 1,    -1, 1, -1, 0, 1},
};

template<class T> std::vector<std::uint8_t> bytes(const std::vector<T>& values) {
    std::vector<std::uint8_t> out(values.size()*sizeof(T));
    std::memcpy(out.data(), values.data(), out.size());
    return out;
}

/* A vertex is position, normal, texture coordinates and tangent */
std::vector<std::uint8_t> expectedCubeVertices() {
    std::vector<float> floats;
    for(const float* face: CubeFaces) for(const float* corner = face + 7; corner != face + 27; corner += 5) {
        floats.insert(floats.end(), corner, corner + 3);
        floats.insert(floats.end(), face, face + 3);
        floats.insert(floats.end(), corner + 3, corner + 5);
        floats.insert(floats.end(), face + 3, face + 7);
    }
    return bytes(floats);
}

/* One attribute of every vertex */
template<class T> std::vector<T> column(const Trade::MeshData& mesh, A name) {
    const Trade::MeshAttributeData* a = mesh.attribute(name);
    std::vector<T> out(mesh.vertexCount);
    for(std::uint32_t v = 0; v != mesh.vertexCount; ++v) for(int i = 0; i != T::length(); ++i)
        std::memcpy(&out[v][i], mesh.vertexData.data() + a->offset + std::size_t(a->stride)*v + 4*i, 4);
    return out;
}

}

TEST_F(NewProject, SavedProjectReopensWithBuiltIns) {
    const std::string path = dir / "game/Game.zdp";
    ASSERT_TRUE(newProject(editor, "Game", path, false));
    EXPECT_FALSE(Path::exists(dir / "game/package.json"));
    /* The new project is active without a load */
    EXPECT_EQ(editor.scripting->runtimeEntryPath(), dir / "game/js/index.js");
    ASSERT_TRUE(loadAndWait(path));

    ProjectFile& file = editor.data().projectFile();
    EXPECT_EQ(file["settings/project/name"].asString(), "Game");
    ProjectSection& meshes = file.meshes();
    for(std::size_t i = 0; i != 6; ++i) {
        SCOPED_TRACE(PrimitiveNames[i]);
        const FileLink link{"default", PrimitiveNames[i]};
        EXPECT_EQ(meshes.resourcesWithLink(link), std::vector<std::string>{"p" + std::to_string(i)});
        EXPECT_EQ(meshes.getOriginal(link)["name"].asString(), PrimitiveNames[i]);
    }

    const std::string fontId = file.fonts().firstResourceWithLink(FileLink{"default", "DejaVuSans.ttf"});
    ASSERT_FALSE(fontId.empty());
    ProjectSection& materials = file.materials();
    EXPECT_EQ(materials.resourcesWithLink(FileLink{"default", "DefaultFontMaterial"}),
        std::vector<std::string>{"DefaultFontMaterial"});
    OriginalAccess material = materials.getOriginal(FileLink{"default", "DefaultFontMaterial"});
    EXPECT_EQ(material["Text/font"].asString(), fontId);
    EXPECT_NE(material["pipeline"].asString(), "");
    EXPECT_EQ(material["pipeline"].asString(), file.pipelines().resourceByName("Text"));
}

/* Every built-in mesh: indexed triangles facing outwards, unit normals and
   tangents at right angles, tangents following the texture's U direction;
   the cube's packed bytes those of its table */
TEST_F(NewProject, PrimitivesAreConsistentTriangleMeshes) {
    std::vector<std::uint16_t> cubeIndices;
    for(std::uint16_t f = 0; f != 24; f += 4) for(std::uint16_t i: {0, 1, 2, 0, 2, 3}) cubeIndices.push_back(f + i);
    ASSERT_TRUE(initProject(editor, "", ""));
    /* Vertices and triangles: a plane strip of two; sphere rings; a cone's cap
       centre and rim, base ring and tip; a circle's fan of 12 */
    const std::uint32_t expected[6][2]{{4, 2}, {24, 12}, {2 + 11*13, 12 + 10*12*2 + 12}, {1 + 13 + 13 + 12, 12 + 12},
        {2*(1 + 13) + 2*13, 12 + 12*2 + 12}, {1 + 13, 12}};
    using F = MeshTools::MeshDataFlag;
    for(std::size_t m = 0; m != 6; ++m) {
        SCOPED_TRACE(PrimitiveNames[m]);
        const Resource<Trade::MeshData> resource =
            editor.data().resources().meshes.resolveLink(FileLink{"default", PrimitiveNames[m]});
        ASSERT_TRUE(resource);
        const Trade::MeshData& mesh = resource.get();
        EXPECT_EQ(mesh.primitive, Trade::MeshPrimitive::Triangles);
        EXPECT_EQ(MeshTools::getMeshFlags(mesh), F::Position|F::Normals|F::TextureCoordinates|F::Tangents);
        EXPECT_EQ(mesh.vertexCount, expected[m][0]);
        ASSERT_EQ(mesh.indexType, Trade::IndexType::UnsignedShort);
        ASSERT_EQ(mesh.indexCount(), 3*expected[m][1]);
        if(m == 1) {
            EXPECT_EQ(mesh.vertexData, expectedCubeVertices());
            EXPECT_EQ(mesh.indexData, bytes(cubeIndices));
        }

        const std::vector<Vector3> p = column<Vector3>(mesh, A::Position), n = column<Vector3>(mesh, A::Normal);
        const std::vector<Vector4> t = column<Vector4>(mesh, A::Tangent);
        const std::vector<Vector2> uv = column<Vector2>(mesh, A::TextureCoordinates);
        for(std::uint32_t v = 0; v != mesh.vertexCount; ++v) {
            EXPECT_NEAR(glm::length(n[v]), 1.0f, 1e-5f) << v;
            EXPECT_NEAR(glm::length(Vector3{t[v]}), 1.0f, 1e-5f) << v;
            EXPECT_NEAR(glm::dot(n[v], Vector3{t[v]}), 0.0f, 1e-5f) << v;
            for(int i = 0; i != 2; ++i) EXPECT_TRUE(uv[v][i] >= 0.0f && uv[v][i] <= 1.0f) << v;
            for(int i = 0; i != 3; ++i) EXPECT_LE(std::abs(p[v][i]), 1.0f + 1e-6f) << v;
        }

        for(std::size_t i = 0; i != mesh.indexCount(); i += 3) {
            std::uint16_t c[3];
            std::memcpy(c, mesh.indexData.data() + 2*i, sizeof(c));
            ASSERT_TRUE(c[0] < mesh.vertexCount && c[1] < mesh.vertexCount && c[2] < mesh.vertexCount) << i/3;
            const Vector3 e1 = p[c[1]] - p[c[0]], e2 = p[c[2]] - p[c[0]], face = glm::cross(e1, e2);
            EXPECT_GT(glm::length(face), 1e-6f) << "degenerate triangle " << i/3;
            EXPECT_GT(glm::dot(face, n[c[0]] + n[c[1]] + n[c[2]]), 0.0f) << "triangle " << i/3 << " faces inwards";

            /* The cube's tangents are fixed by its table, not by its
               texture coordinates; the sphere's poles have no U direction */
            if(m == 1) continue;
            const Vector2 d1 = uv[c[1]] - uv[c[0]], d2 = uv[c[2]] - uv[c[0]];
            const float r = d1.x*d2.y - d2.x*d1.y;
            if(std::abs(r) < 1e-6f) continue;
            const Vector3 u = (e1*d2.y - e2*d1.y)/r, vDirection = (e2*d1.x - e1*d2.x)/r;
            for(const std::uint16_t k: c) {
                if(m == 2 && (k == 0 || k == mesh.vertexCount - 1)) continue;
                EXPECT_GT(glm::dot(Vector3{t[k]}, u), 0.0f) << "triangle " << i/3 << " vertex " << k;
                EXPECT_GT(glm::dot(glm::cross(n[k], Vector3{t[k]})*t[k].w, vDirection), 0.0f)
                    << "triangle " << i/3 << " vertex " << k;
            }
        }
    }
}

TEST_F(NewProject, PackageSetUp) {
    Testing::LogCapture log;
    ASSERT_TRUE(newProject(editor, "Game", dir / "game/Game.zdp", true));
    EXPECT_EQ(log.problems(), "");
    const std::string packageJson = Path::readString(dir / "game/package.json").value_or("");
    EXPECT_NE(packageJson.find("\"name\": \"Game\""), std::string::npos);
    EXPECT_TRUE(Path::isDirectory(dir / "game/node_modules"));

    /* A project that was never saved has nowhere to put it (nor its caches) */
    Testing::ScopedWorkingDirectory workingDirectory{dir.path()};
    log.clear();
    ASSERT_TRUE(newProject(editor, "Unsaved", "", true));
    EXPECT_EQ(log.warning(), "No project directory to copy the npm package template into\n");
    EXPECT_FALSE(Path::exists("package.json"));
}

TEST_F(TemplateProject, CopiedRenamedNamedAndLoaded) {
    const std::string templatePath = writeProject("tpl/Template.zdp", minimalProject("[1, 1, 6, 1]"));
    dir.write("tpl/js/extra.js", "export const x = 1;\n");
    dir.write("tpl/assets/deep/er/note.txt", "deep");
    const std::string path = dir / "made/Fresh.zdp";
    /* A stale project file at the target is replaced */
    dir.write("made/Fresh.zdp", "not a project");

    Testing::LogCapture log;
    ASSERT_TRUE(newTemplateProject(editor, "Fresh", path, templatePath));
    editor.jobSystem->waitForIdle();
    EXPECT_NE(log.debug().find("Renaming project file from " + dir / "made/Template.zdp" + " to " + path + "\n"),
        std::string::npos) << log.all();
    EXPECT_FALSE(Path::exists(dir / "made/Template.zdp"));
    EXPECT_TRUE(Path::exists(templatePath));
    EXPECT_EQ(Path::readString(dir / "made/js/extra.js"), "export const x = 1;\n");
    EXPECT_EQ(Path::readString(dir / "made/assets/deep/er/note.txt"), "deep");
    EXPECT_TRUE(Path::exists(dir / "made/node_modules/.keep"));
    EXPECT_NE(Path::readString(dir / "made/package.json").value_or("").find("\"name\": \"Fresh\""), std::string::npos);
    EXPECT_EQ(editor.data().project().filename(), "Fresh.zdp");
    ProjectFile saved;
    ASSERT_TRUE(saved.parse(Path::readString(path).value_or("")));
    EXPECT_EQ(saved["settings/project/name"].asString(), "Fresh");

    /* A target of the template's own file name is not moved, but logged */
    log.clear();
    ASSERT_TRUE(newTemplateProject(editor, "Copy", dir / "copy/Template.zdp", templatePath));
    editor.jobSystem->waitForIdle();
    EXPECT_NE(log.debug().find("Renaming project file from " + dir / "copy/Template.zdp" + " to " +
        dir / "copy/Template.zdp" + "\n"), std::string::npos) << log.all();
    EXPECT_EQ(editor.data().projectFile()["settings/project/name"].asString(), "Copy");
}

TEST_F(TemplateProject, FailsOnlyWhenTheLoadFails) {
    const std::string templatePath = dir.write("tpl/Broken.zdp", "{\"settings\": ");
    Testing::LogCapture log;
    EXPECT_FALSE(newTemplateProject(editor, "X", dir / "out/X.zdp", templatePath));
    EXPECT_NE(log.error().find("Failed parsing project from " + dir / "out/X.zdp"), std::string::npos) << log.all();

    /* A template directory holding the target directory is not copied into
       itself */
    const std::string nested = writeProject("outer/Outer.zdp", minimalProject("[1, 1, 6, 1]"));
    log.clear();
    EXPECT_FALSE(newTemplateProject(editor, "Inner", dir / "outer/inner/Inner.zdp", nested));
    EXPECT_FALSE(Path::exists(dir / "outer/inner/outer"));
}

TEST_F(PackageTemplate, CopiesWhatIsMissingAndNamesThePackage) {
    Testing::TempDirectory templateRoot;
    const std::string root = dir / "p";
    Path::make(root);
    /* No template files: each one named, the js directory made all the same */
    Testing::LogCapture log;
    EXPECT_FALSE(copyPackageTemplate("Game", templateRoot.path(), root, true));
    EXPECT_EQ(log.error(),
        "Failed to copy package.json from " + templateRoot / "templates/package/package.json" + ".\n"
        "Failed to copy index.js from " + templateRoot / "templates/package/js/index.js" + ".\n"
        "Failed to read package.json from the project's root.\n");
    EXPECT_TRUE(Path::isDirectory(root + "/js"));

    /* A template without node_modules: every placeholder replaced, none made */
    templateRoot.write("templates/package/package.json", R"({"name": "{{ name }}", "version": "{{ name }}"})");
    templateRoot.write("templates/package/js/index.js", "// template\n");
    log.clear();
    EXPECT_TRUE(copyPackageTemplate("Game", templateRoot.path(), root, true));
    EXPECT_EQ(log.all(), "");
    EXPECT_EQ(Path::readString(root + "/package.json"), R"({"name": "Game", "version": "Game"})");
    EXPECT_EQ(Path::readString(root + "/js/index.js"), "// template\n");
    EXPECT_FALSE(Path::exists(root + "/node_modules"));

    /* Files the project has keep their content, apart from the name */
    dir.write("p/package.json", R"({"name": "{{ name }}", "dependencies": {"left-pad": "1.3.0"}})");
    dir.write("p/js/index.js", "// mine\n");
    EXPECT_TRUE(copyPackageTemplate("Mine", templateRoot.path(), root, false));
    EXPECT_EQ(log.all(), "");
    EXPECT_EQ(Path::readString(root + "/package.json"), R"({"name": "Mine", "dependencies": {"left-pad": "1.3.0"}})");
    EXPECT_EQ(Path::readString(root + "/js/index.js"), "// mine\n");

    /* A project from elsewhere whose missing files are links to places
       outside it: the links are replaced, nothing is created where they
       point */
    Path::remove(root + "/package.json");
    Path::remove(root + "/js/index.js");
    ASSERT_EQ(::symlink((dir / "outside/package.json").c_str(), (root + "/package.json").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "outside/index.js").c_str(), (root + "/js/index.js").c_str()), 0);
    Path::make(dir / "outside");
    EXPECT_TRUE(copyPackageTemplate("Linked", templateRoot.path(), root, false));
    EXPECT_EQ(Path::list(dir / "outside"), std::vector<std::string>{});
    EXPECT_EQ(Path::readString(root + "/package.json"), R"({"name": "Linked", "version": "Linked"})");
    EXPECT_FALSE(std::filesystem::is_symlink(root + "/js/index.js"));
}

/* Nested files are copied in the template project test */
TEST_F(PackageTemplate, DirectoryCopy) {
    dir.write("src/a.txt", "a");
    Path::make(dir / "src/b/empty");
    EXPECT_TRUE(copyDirectory(dir / "src", dir / "dst"));
    EXPECT_TRUE(Path::isDirectory(dir / "dst/b/empty"));

    /* Copying over an existing copy overwrites, a link in the copy too
       instead of what it points to, and keeps permissions; into itself is
       refused */
    dir.write("src/a.txt", "A");
    const std::string outside = dir.write("outside.txt", "keep");
    Path::remove(dir / "dst/a.txt");
    ASSERT_EQ(::symlink(outside.c_str(), (dir / "dst/a.txt").c_str()), 0);
    dir.write("src/run.sh", "#!/bin/sh\n");
    ASSERT_EQ(::chmod((dir / "src/run.sh").c_str(), 0755), 0);
    EXPECT_TRUE(copyDirectory(dir / "src", dir / "dst"));
    EXPECT_EQ(Path::readString(dir / "dst/a.txt"), "A");
    EXPECT_EQ(Path::readString(outside), "keep");
    EXPECT_EQ(::access((dir / "dst/run.sh").c_str(), X_OK), 0);
    Testing::LogCapture log;
    EXPECT_FALSE(copyDirectory(dir / "src", dir / "src/b/inside"));
    EXPECT_EQ(log.error(), "Cannot copy directory " + dir / "src" + " into itself: " + dir / "src/b/inside" + "\n");
    EXPECT_FALSE(Path::exists(dir / "src/b/inside"));
    EXPECT_TRUE(copyDirectory(dir / "src", dir / "src/"));

    /* A link back up the tree is copied as a link, not followed */
    std::filesystem::create_directory_symlink("..", dir / "src/b/up");
    EXPECT_TRUE(copyDirectory(dir / "src", dir / "dst3"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "dst3/b/up"));
    EXPECT_EQ(Path::readString(dir / "dst3/b/up/a.txt"), "A");

    EXPECT_FALSE(copyDirectory(dir / "missing", dir / "dst2"));
    EXPECT_FALSE(Path::exists(dir / "dst2"));
}
