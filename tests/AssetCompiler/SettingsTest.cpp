#include <btBulletDynamicsCommon.h>
#include <stb_image.h>

#include <tuple>

#include "CompilerFixture.h"
#include "Engine/PhysXManager.h"
#include "Base/Path.h"
#include "Support/LogCapture.h"
#include "Support/TempDirectory.h"

namespace ZandelleEngine { namespace Testing { namespace {

class SettingsTest: public CompilerTest {
    protected:
        void setSetting(std::string_view path, std::string_view json) {
            JsonDocument parsed;
            parsed.Parse(json.data(), json.size());
            file()["settings/" + std::string{path}].setValue(parsed);
        }
        PhysXManager& physx() { return scene().manager<PhysXManager>(); }
};

TEST_F(SettingsTest, PhysicsHeaderWorldAndVisualization) {
    const struct { const char* name; const char* physx; PhysXHeader expected; bool visualized; } data[]{
        {"as written", R"({"enable": true, "maxTimestep": 0.01, "contactOffset": 0.5, "restOffset": 0.25,
            "gravity": [1, 2, 3], "lengthToleranceScale": 2, "speedToleranceScale": 3})",
            {0.01f, 0.5f, 0.25f, {1, 2, 3}, 2.0f, 3.0f}, true},
        {"zero step and scales", R"({"enable": false, "maxTimestep": 0, "contactOffset": 0, "restOffset": 0,
            "gravity": [0, -9.81, 0], "lengthToleranceScale": 0, "speedToleranceScale": -1})",
            {0.002f, 0, 0, {0, -9.81f, 0}, 0.0001f, 0.0001f}, false},
    };
    const auto fields = [](const PhysXHeader& h) {
        return std::tuple(h.maxTimestep, h.contactOffset, h.restOffset, h.gravity, h.lengthToleranceScale,
                          h.speedToleranceScale);
    };
    btBoxShape box{btVector3{1, 1, 1}};
    for(const auto& row: data) {
        SCOPED_TRACE(row.name);
        setSetting("physx", row.physx);
        EXPECT_TRUE(compiler().compile("settings"));
        EXPECT_EQ(fields(physx().physxHeader()), fields(row.expected));
        EXPECT_EQ(physx().world().gravity(), row.expected.gravity);
        EXPECT_EQ(physx().world().fixedTimestep(), row.expected.maxTimestep);

        /* Enabled, the world draws twelve edges of a box plus its bounding box */
        EXPECT_EQ(physx().visualization(), row.visualized);
        btCollisionObject body;
        body.setCollisionShape(&box);
        physx().world().bullet().addCollisionObject(&body);
        physx().doFalseUpdate();
        EXPECT_EQ(physx().world().visualizationLineCount(), row.visualized ? 24u : 0u);
        physx().world().bullet().removeCollisionObject(&body);
    }
}

TEST_F(SettingsTest, RebuildKeepsCookedMeshes) {
    addMesh("cube", makeCube());
    compiler().compile("meshes");
    setRecord("objects", "a", R"({"components": [
        {"type": "physx", "active": true, "physx": {"shape": "convexMesh", "convexMesh": {"mesh": "cube"}}},
        {"type": "physx", "active": true, "physx": {"shape": "triangleMesh", "triangleMesh": {"mesh": "cube"}}}]})");
    compiler().compile("components");
    const PhysXManager* before = &physx();
    ASSERT_EQ(before->size(), 2u);

    LogCapture log;
    compiler().compile("settings");
    EXPECT_NE(&physx(), before);
    EXPECT_EQ(physx().size(), 0u);
    EXPECT_TRUE(scene().components(object("a")).empty());
    ASSERT_EQ(physx().convexMeshes().size(), 1u);
    ASSERT_EQ(physx().triangleMeshes().size(), 1u);
    EXPECT_EQ(physx().convexMeshes()[0]->elementCount(), 8u);
    EXPECT_EQ(physx().triangleMeshes()[0]->elementCount(), 12u);
    EXPECT_EQ(log.problems(), "");
}

/* Width and height of a PNG file as stb reads them */
Vector2i pngSize(const std::string& path) {
    Vector2i size{0, 0};
    int channels;
    return stbi_info(path.c_str(), &size.x, &size.y, &channels) ? size : Vector2i{0, 0};
}

TEST_F(SettingsTest, AppIcons) {
    TempDirectory dir;
    editor.data().project().setRoot(dir.path());
    const std::string cache = editor.data().project().cachePath();
    for(const auto& [name, height]: {std::pair{"icon.png", 1024}, {"wide.png", 512}}) {
        Trade::ImageData image{Trade::PixelFormat::RGBA8Unorm, {1024, height}, {}};
        image.data.resize(std::size_t(1024)*height*4, 0x7f);
        editor.data().resources().images.add(FileLink{name, name}, std::move(image));
    }
    setSection("images", R"({"icon": {"compression": "none", "link": {"file": "icon.png", "name": "icon.png"}},
        "wide": {"compression": "none", "link": {"file": "wide.png", "name": "wide.png"}},
        "lost": {"compression": "none", "link": {"file": "lost.png", "name": "lost.png"}},
        "small": {"compression": "none", "maxSize": [256, 256], "link": {"file": "icon.png", "name": "icon.png"}}})");
    setSetting("editor/ids", R"("uuid")");
    setSetting("runtime/pwa", R"({"enable": true, "appIcon": "wide"})");

    const std::uint32_t runs = counter(AssetType::Settings);
    const std::string notSquare = "App icon needs to be a square image, at least 512x512 pixels\n";
    const struct { const char* icon; bool result; std::string problems; } data[]{
        {"wide", false, notSquare},
        {"lost", false, "AssetCompiler::compileImages(): Missing image lost.png from file lost.png\n" + notSquare},
        /* The compiled image counts: 1024 pixels imported, 256 compiled */
        {"small", false, notSquare},
        {"", true, "Enabling PWA requires an appIcon to be set\n"},
        {"icon", true, ""},
    };
    for(const auto& row: data) {
        SCOPED_TRACE(row.icon);
        setSetting("runtime/pwa/appIcon", std::string{"\""} + row.icon + "\"");
        LogCapture log;
        EXPECT_EQ(compiler().compile("settings"), row.result);
        EXPECT_EQ(log.problems(), row.problems);
        /* A rejected icon leaves the id scheme and the counter alone */
        if(!row.result) {
            EXPECT_EQ(file().idScheme(), IdScheme::IncrementalNumber);
            EXPECT_EQ(counter(AssetType::Settings), runs);
            EXPECT_FALSE(Path::exists(cache + "/icon512.png"));
        }
    }
    EXPECT_EQ(file().idScheme(), IdScheme::Uuid);
    for(const int size: {512, 192, 168, 144, 96, 72, 48})
        EXPECT_EQ(pngSize(cache + "/icon" + std::to_string(size) + ".png"), Vector2i(size)) << size;
    /* Seven icons beside the uncompressed images' own cache files */
    const std::vector<std::string> files = *Path::list(cache);
    EXPECT_EQ(std::count_if(files.begin(), files.end(),
        [](const std::string& f) { return f.starts_with("icon") && f != "icon.png"; }), 7);
}

}}}
