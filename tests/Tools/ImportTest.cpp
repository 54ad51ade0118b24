#include <cstdint>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>
#include <stb_image_write.h>

#include "Base/Path.h"
#include "Support/EditorFixture.h"
#include "Support/LogCapture.h"
#include "Tools/Import.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;

namespace {

class Import: public Testing::EditorTest {
    protected:
        void SetUp() override {
            ASSERT_TRUE(initProject(editor, "", ""));
            ASSERT_TRUE(saveProject(dir / "Game.zdp", editor));
        }

        /* A 2x2 PNG in the project directory */
        std::string writeImage(const std::string& relative) {
            const std::uint8_t pixels[16]{255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
            Path::make(Path::path(dir / relative));
            EXPECT_TRUE(stbi_write_png((dir / relative).c_str(), 2, 2, 4, pixels, 8));
            return dir / relative;
        }

        std::uint32_t counter(AssetType type) { return editor.data().scene().assetTypeCounter(type); }
        ProjectFile& file() { return editor.data().projectFile(); }
};

}

TEST_F(Import, PathPredicatesAreCaseSensitiveDispatchIsNot) {
    EXPECT_TRUE(isScenePath("a/b.glb"));
    EXPECT_TRUE(isImagePath("x.basis"));
    EXPECT_TRUE(isFontPath("f.ttc"));
    EXPECT_FALSE(isImagePath("photo.JPG"));
    EXPECT_FALSE(isFontPath("ttf"));

    const std::string photo = writeImage("photo.JPG");
    Testing::LogCapture log;
    EXPECT_TRUE(loadFile(photo, editor, LoadMode::Reimport, false));
    EXPECT_EQ(log.problems(), "");
    EXPECT_EQ(editor.data().scene().imageFiles, std::vector<std::string>{photo});
    EXPECT_EQ(file().images().firstResourceWithLink({"photo.JPG", "photo.JPG"}).empty(), false);

    /* Anything else goes to the scene loader, which cannot read text */
    const std::string notes = dir.write("notes.txt", "hello");
    log.clear();
    EXPECT_FALSE(loadFile(notes, editor, LoadMode::Reimport, false));
    EXPECT_EQ(log.all(), "Failed to load scene file " + notes + "\n");
}

TEST_F(Import, SameImageTwiceIsOneEntryRecordAndWatch) {
    const std::string image = writeImage("textures/wall.png");
    const std::size_t files = file().files().size(), watches = editor.fileWatch->watchCount();
    const std::uint32_t textures = counter(AssetType::Textures);
    ASSERT_TRUE(loadImage(image, editor, false));
    const std::vector<std::string> imageKeys = file().images().keys();
    ASSERT_TRUE(loadImage(image, editor, false));

    EXPECT_EQ(editor.data().scene().imageFiles.size(), 1u);
    EXPECT_EQ(file().files().size(), files + 1);
    EXPECT_EQ(file().files()[file().files().keys().back()]["fileName"].asString(), "textures/wall.png");
    EXPECT_EQ(editor.fileWatch->watchCount(), watches + 1);
    EXPECT_EQ(editor.data().watchIds.size(), 1u);
    EXPECT_EQ(file().images().keys(), imageKeys);
    /* both imports compiled */
    EXPECT_EQ(counter(AssetType::Textures), textures + 2);

    /* Other spellings of the same file, a relative one taken from the
       project folder, are the same file: one entry, one record, one watch.
       So is a scene, listed by its relative path, imported by its absolute. */
    for(const std::string& spelling: {dir / "textures/../textures/wall.png", std::string{"textures/wall.png"},
                                      std::string{"./textures\\wall.png"}})
        ASSERT_TRUE(loadImage(spelling, editor, true)) << spelling;
    EXPECT_EQ(editor.data().scene().imageFiles, std::vector<std::string>{image});
    EXPECT_TRUE(isImageLoaded("textures/wall.png", editor));
    const std::string scene = dir / "box.glb";
    ASSERT_TRUE(Path::copy("/usr/share/assimp/models/glTF2/BoxTextured-glTF-Binary/BoxTextured.glb", scene));
    for(int time = 0; time != 3; ++time) ASSERT_TRUE(loadScene(scene, editor, LoadMode::Reimport, "", true));
    EXPECT_EQ(editor.data().scene().sceneFiles, std::vector<std::string>{"box.glb"});
    EXPECT_EQ(file().files().size(), files + 2);
    EXPECT_EQ(editor.data().watchIds.size(), 2u);

    /* Only writes to the contents queue the file, once */
    std::filesystem::permissions(image, std::filesystem::perms::owner_read, std::filesystem::perm_options::remove);
    editor.fileWatch->waitAndPoll(editor, 200);
    EXPECT_TRUE(editor.changedFiles.empty());
    std::filesystem::permissions(image, std::filesystem::perms::owner_read, std::filesystem::perm_options::add);
    writeImage("textures/wall.png");
    writeImage("textures/wall.png");
    editor.fileWatch->waitAndPoll(editor, 1000);
    EXPECT_EQ(editor.changedFiles, std::vector<std::string>{image});
}

TEST_F(Import, FontsReplaceFontZeroAndDeferredImportsCompileNothing) {
    const std::string fonts = "/usr/share/fonts/truetype/dejavu/";
    const std::string font = dir.write("fonts/Title.ttf", *Path::readString(fonts + "DejaVuSans.ttf"));
    const std::uint32_t fontCount = counter(AssetType::Fonts), images = counter(AssetType::Images);
    ASSERT_TRUE(loadFont(font, editor, true));
    EXPECT_EQ(counter(AssetType::Fonts), fontCount);
    EXPECT_EQ(editor.data().watchIds.size(), 1u);
    EXPECT_EQ(editor.data().scene().fontFiles, std::vector<std::string>{font});

    const std::string second = *Path::readString(fonts + "DejaVuSans-Bold.ttf");
    dir.write("fonts/Title.ttf", second);
    ASSERT_TRUE(loadFile(font, editor, LoadMode::Reimport, false));
    const FileLink link{"fonts/Title.ttf", "font_0"};
    const std::vector<char> bytes = editor.data().resources().fonts.resolveLink(link).get();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), second);
    EXPECT_EQ(file().fonts().resourcesWithLink(link).size(), 1u);
    EXPECT_EQ(file().fonts()[file().fonts().firstResourceWithLink(link)]["name"].asString(), "Title.ttf");
    /* The font job marks fonts changed when it completes */
    editor.jobSystem->waitForIdle();
    EXPECT_GT(counter(AssetType::Fonts), fontCount);

    ASSERT_TRUE(loadImage(writeImage("later.png"), editor, true));
    EXPECT_EQ(counter(AssetType::Images), images);
    EXPECT_EQ(editor.data().watchIds.size(), 2u);
}

TEST_F(Import, FailedImportsChangeNothing) {
    const std::string before = *Path::readString(dir / "Game.zdp");
    const std::string broken = dir.write("broken.png", "not an image");
    const std::string missingFont = dir / "missing.otf";
    /* Fonts FreeType cannot open: garbage, empty, cut short */
    const std::string garbage = dir.write("garbage.ttf", std::string(4096, 'x'));
    const std::string empty = dir.write("empty.otf", "");
    const std::string cut = dir.write("cut.ttc", Path::readString(
        "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc").value_or("").substr(0, 64));
    /* A name other JSON readers would reject in the project file */
    const std::string latin1 = writeImage("caf\xe9.png");

    Testing::LogCapture log;
    EXPECT_FALSE(loadFile(broken, editor, LoadMode::Reimport, false));
    for(const std::string& font: {missingFont, garbage, empty, cut})
        EXPECT_FALSE(loadFile(font, editor, LoadMode::Reimport, false)) << font;
    EXPECT_FALSE(loadFile(dir.write("scene.gltf", "{\"asset\": 5"), editor, LoadMode::Reimport, false));
    EXPECT_FALSE(loadFile(latin1, editor, LoadMode::Reimport, false));
    EXPECT_EQ(log.all(), "Failed to load image file " + broken + "\n"
        "Failed to load font file " + missingFont + "\nFailed to load font file " + garbage + "\n"
        "Failed to load font file " + empty + "\nFailed to load font file " + cut + "\n"
        "Failed to load scene file " + (dir / "scene.gltf") + "\n"
        "Not importing " + latin1 + " (its name is not valid UTF-8)\n");
    EXPECT_TRUE(editor.data().scene().fontFiles.empty());
    EXPECT_TRUE(editor.data().watchIds.empty());
    EXPECT_TRUE(editor.data().scene().imageFiles.empty());

    ASSERT_TRUE(saveProject(dir / "Game.zdp", editor));
    EXPECT_EQ(*Path::readString(dir / "Game.zdp"), before);
}

TEST_F(Import, DialogImportGoesOnAfterAFailure) {
    auto& dialogs = static_cast<HeadlessDialogs&>(*editor.dialogs);
    const std::string good = writeImage("good.png");
    dialogs.queueAnswer(std::vector<std::string>{dir / "bad.png", good});

    Testing::LogCapture log;
    EXPECT_FALSE(loadFile(editor));
    EXPECT_EQ(log.problems(), "Failed to load image file " + (dir / "bad.png") + "\n"
        "Import of " + (dir / "bad.png") + " failed\n");
    EXPECT_TRUE(isImageLoaded(good, editor));
    EXPECT_EQ(dialogs.requests().back(), "open|Load Asset|" + dir.path() + "|"
        "Scene Files=*.gltf *.glb *.fbx *.obj *.ply *.ogex *.dae,"
        "Image Files=*.png *.jpg *.jpeg *.bmp *.tga *.dds *.ktx2 *.exr *.hdr *.webp *.gif *.psd *.tif *.tiff"
        " *.jpe *.jp2 *.ico *.basis,"
        "Font Files=*.otf *.ttf *.otc *.ttc,All Files=*|multiple");

    /* Cancelled: nothing chosen is a failure */
    dialogs.queueAnswer(std::vector<std::string>{});
    EXPECT_FALSE(loadFile(editor));
}
