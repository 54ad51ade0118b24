#include <atomic>
#include <chrono>
#include <set>
#include <cinttypes>
#include <thread>
#include <tuple>

#include <xxhash.h>

#include "CompilerFixture.h"
#include "Base/Path.h"
#include "Engine/Basis.h"
#include "Engine/ImageTools.h"
#include "Engine/RuntimeData.h"
#include "Support/BlockDecoders.h"
#include "Support/LogCapture.h"

namespace ZandelleEngine { namespace Testing { namespace {

using Trade::ImageData;
using Trade::PixelFormat;

ImageData solid(Vector2i size, std::array<std::uint8_t, 4> rgba, PixelFormat format = PixelFormat::RGBA8Unorm) {
    ImageData image{format, size, {}};
    for(int i = 0; i != size.x*size.y; ++i) image.data.insert(image.data.end(), rgba.begin(), rgba.end());
    return image;
}

/* Pixels that differ everywhere, so every tile has its own name */
ImageData noise(Vector2i size, std::uint32_t seed = 1) {
    ImageData image{PixelFormat::RGBA8Unorm, size, std::vector<std::uint8_t>(std::size_t(size.x)*size.y*4)};
    for(std::uint8_t& b: image.data) { seed = seed*1664525u + 1013904223u; b = std::uint8_t(seed >> 24); }
    return image;
}

class ImagesTest: public CompilerTest {
    protected:
        /* An image named @p key, imported from "scene.glb" */
        void addImage(std::string_view key, ImageData image, std::string_view extra = R"("compression": "none")") {
            editor.data().resources().images.add(FileLink{"scene.glb", std::string{key}}, std::move(image));
            setLinkedRecord("images", key, R"("name": ")" + std::string{key} + R"(", )" + std::string{extra});
        }
        Data::Id id(std::string_view key) { return ResourceIndex::lookup(compiler().resourceIndex.images, key); }
        EditorSceneData::CompiledImage& slot(std::string_view key) { return sceneData().images.at(id(key)); }
        std::string cache(std::string_view file) { return projectDirectory/("cache/" + std::string{file}); }
        void waitForJobs() {
            editor.jobSystem->waitForIdle();
            ASSERT_EQ(compiler().pendingImageJobs.load(), 0u);
        }
        bool basisAvailable() { return BasisImageConverter{}.available(); }
};

TEST_F(ImagesTest, FormatsSizesAndPlaceholders) {
    addImage("big", solid({4096, 2048}, {10, 20, 30, 40}),
        R"("compression": "none", "maxSize": [1024, 1024], "stream": false)");
    /* 0, 257, 65535, 32896, 514, 128, 65279 and 1 in little-endian 16 bits */
    addImage("deep", ImageData{PixelFormat::RGBA16Unorm, {2, 1},
                               {0, 0, 1, 1, 255, 255, 128, 128, 2, 2, 128, 0, 255, 254, 1, 0}});
    addImage("srgb", solid({3, 2}, {1, 2, 3, 4}, PixelFormat::RGBA8Srgb));
    addImage("empty", ImageData{PixelFormat::RGBA8Unorm, {0, 5}, {}});
    addImage("zero", solid({2, 2}, {1, 2, 3, 4}), R"("compression": "none", "maxSize": [0, 0])");
    setRecord("images", "lost", R"({"name": "lost", "link": {"file": "gone.png", "name": "lost"}})");
    setSection("textures", R"({"t2": {"image": "empty"}, "t3": {"image": "deep"},
        "t1": {"image": "big", "wrapping": [1, 2, 3], "minFilter": 4, "magFilter": 5, "mipFilter": 6, "type": 7}})");

    LogCapture log;
    compiler().compile("images");
    compiler().compile("textures");

    /* 4096 x 2048 within 1024 x 1024, in the scene and in the cache */
    EXPECT_EQ(std::tuple(slot("big").image.size, ImageTools::readPng(cache("big.png")).value().size),
              std::tuple(Vector2i(1024, 1024), Vector2i(1024, 1024)));
    EXPECT_EQ(Data::readImageData(slot("big").imageData)->names, std::vector<std::string>{"big.png"});
    EXPECT_EQ(std::tuple(sceneData().streamedImages[id("big")], sceneData().streamedImages[id("deep")]),
              std::tuple(false, true));

    EXPECT_EQ(std::tuple(slot("deep").image.format, slot("deep").image.data),
              std::tuple(PixelFormat::RGBA8Unorm, std::vector<std::uint8_t>{0, 1, 255, 128, 2, 0, 254, 0}));
    EXPECT_EQ(slot("srgb").image.data, solid({3, 2}, {255, 0, 255, 255}).data);
    EXPECT_EQ(std::tuple(id("empty"), id("zero")), std::tuple(0, 0));

    EXPECT_EQ(log.problems(),
        "Converted image deep from pixel format PixelFormat::RGBA16Unorm to PixelFormat::RGBA8Unorm\n"
        "Cannot compile image srgb - unsupported pixel format PixelFormat::RGBA8Srgb\n"
        "Cannot compile image empty - image is empty\n"
        "Cannot scale down image zero - invalid size 0 0\n"
        "AssetCompiler::compileImages(): Missing image lost from file gone.png\n"
        "Image for texture t2 not compiled, skipping.\n");
    const std::string debug = log.debug();
    EXPECT_EQ(debug.find("Wrote uncompressed image " + cache("big.png") + " in "), 0u) << debug;
    EXPECT_NE(debug.find(" s\n"), std::string::npos);

    const Data::Id t1Id = compiler().resourceIndex.textures.at("t1");
    const std::optional<Data::TextureDataView> t1 = Data::readTextureData(sceneData().textures.at(t1Id));
    ASSERT_TRUE(t1);
    const Data::TextureInfo& info = t1->info;
    EXPECT_EQ(std::tuple(t1->id, info.image, info.type, info.minFilter, info.magFilter, info.mipFilter),
              std::tuple(t1Id, id("big"), 7, 4, 5, 6));
    EXPECT_EQ(std::tuple(info.wrapping[0], info.wrapping[2]), std::tuple(1, 3));

    const Data::Id deepId = id("deep"), textureId = compiler().resourceIndex.textures.at("t3");
    compiler().compile("images", {"deep"});
    compiler().compile("textures", {"t3"});
    EXPECT_EQ(std::tuple(id("deep"), compiler().resourceIndex.textures.at("t3")), std::tuple(deepId, textureId));
    EXPECT_EQ(Data::readTextureData(sceneData().textures[textureId])->id, textureId);
}

TEST_F(ImagesTest, TileNames) {
    /* A tile's name is the XXH3-128 hash of its pixels, the low half first;
       UASTC hashes that name again */
    const auto name = [](std::string_view bytes) {
        const XXH128_hash_t hash = XXH3_128bits(bytes.data(), bytes.size());
        char text[33];
        std::snprintf(text, sizeof(text), "%016" PRIx64 "%016" PRIx64, hash.low64, hash.high64);
        return std::string{text};
    };
    const ImageData tile = ImageTools::tile(noise({300, 100}), 1, 0);
    const std::string expected = name({reinterpret_cast<const char*>(tile.data.data()), tile.data.size()});
    EXPECT_EQ(AssetCompiler::tileCacheName(tile, false), expected);
    EXPECT_EQ(AssetCompiler::tileCacheName(tile, true), name(expected + "uastc"));

    /* 300 x 100 follows the algorithm: ceil(log2(300)) - 8 = 1 extra level
       (150 x 50), so 2 x 1 tiles at level 0 and one tile below it */
    EXPECT_EQ(std::tuple(AssetCompiler::extraMipLevels({300, 100}), AssetCompiler::workUnits({300, 100})),
              std::tuple(1, 3u));
    EXPECT_EQ(AssetCompiler::extraMipLevels({256, 256}), 0);
    EXPECT_EQ(AssetCompiler::workUnits({4096, 64}), 16u + 8u + 4u + 2u + 1u);
}

TEST_F(ImagesTest, CompressionAndItsCache) {
    if(!basisAvailable()) GTEST_SKIP() << "no Basis encoder installed";
    addImage("photo", noise({300, 100}), R"("compression": "etc1s")");
    LogCapture log;
    const std::uint32_t images = counter(AssetType::Images);
    compiler().compile("images");
    waitForJobs();
    EXPECT_EQ(log.problems(), "");
    /* compileImages and the last job each bump the counter */
    EXPECT_EQ(counter(AssetType::Images), images + 2);

    const EditorSceneData::CompiledImage& photo = slot("photo");
    ASSERT_EQ(std::tuple(photo.basisTiles.size(), photo.compressedTiles.size(), photo.image.size),
              std::tuple(3, 3, Vector2i(300, 100)));
    EXPECT_EQ(std::tuple(photo.compressedTiles[0].format, photo.compressedTiles[0].data.size()),
              std::tuple(Trade::CompressedPixelFormat::Bc3RGBAUnorm, 65u*65u*16u));
    const std::optional<Data::ImageDataView> view = Data::readImageData(photo.imageData);
    ASSERT_TRUE(view && view->tiled);
    ASSERT_EQ(std::tuple(view->size, view->names.size()), std::tuple(Vector3i(300, 100, 1), 3));
    EXPECT_EQ(view->names[0], AssetCompiler::tileCacheName(ImageTools::tile(noise({300, 100}), 0, 0), false));
    EXPECT_EQ(std::tuple(compiler().tilesEncoded.load(), compiler().imagesCompressed.load()), std::tuple(3, 1));
    const std::shared_ptr<Progress> progress = editor.tasks().back();
    EXPECT_EQ(progress->title(), "Compressing textures");
    EXPECT_EQ(progress->done.load(), progress->total.load());

    /* Unchanged: everything from the cache, with the same blocks (taken
       from the previous compile, as the cache files are unchanged) */
    const std::vector<char> blocks = photo.compressedTiles[2].data;
    compiler().compile("images");
    waitForJobs();
    EXPECT_EQ(std::tuple(compiler().tilesEncoded.load(), compiler().tilesFromCache.load()), std::tuple(3, 3));
    ASSERT_EQ(slot("photo").compressedTiles.size(), 3u);
    EXPECT_EQ(slot("photo").compressedTiles[2].data, blocks);

    /* A cut cache file is reported and written again */
    const std::string damaged = cache(view->names[1] + ".basis");
    const std::string bytes = *Path::readString(damaged);
    ASSERT_TRUE(Path::writeAtomic(damaged, bytes.substr(0, bytes.size()/2)));
    log.clear();
    compiler().compile("images");
    waitForJobs();
    EXPECT_EQ(log.problems(),
        "Failed loading image cache file: " + damaged + ", re-compressing tile 1 of image photo\n");
    EXPECT_EQ(compiler().tilesEncoded.load(), 4u);
    EXPECT_EQ(*Path::readString(damaged), bytes);
}

TEST_F(ImagesTest, EqualTilesAreEncodedOnce) {
    if(!basisAvailable()) GTEST_SKIP() << "no Basis encoder installed";
    /* 3 x 2 tiles, 2 x 1 and 1 below them, all of one colour and one name */
    addImage("plain", solid({600, 300}, {40, 80, 120, 255}), R"("compression": "etc1s")");
    compiler().compile("images");
    waitForJobs();
    EXPECT_EQ(std::tuple(compiler().tilesEncoded.load(), compiler().tilesFromCache.load()), std::tuple(1, 8));
    ASSERT_EQ(slot("plain").basisTiles.size(), 9u);
    EXPECT_EQ(slot("plain").basisTiles[8], slot("plain").basisTiles[0]);
    EXPECT_EQ(slot("plain").compressedTiles[8].data, slot("plain").compressedTiles[0].data);
}

TEST_F(ImagesTest, OneImagesTilesSpreadOverTheWorkersInOrder) {
    if(!basisAvailable()) GTEST_SKIP() << "no Basis encoder installed";
    ASSERT_GE(editor.jobSystem->workerCount(), 2);
    /* 2 x 2 tiles and one of the level below */
    const ImageData image = noise({512, 512}, 3);
    addImage("photo", image, R"("compression": "etc1s")");
    LogCapture log;
    compiler().compile("images");
    waitForJobs();
    EXPECT_EQ(log.problems(), "");
    std::set<int> workers;
    for(const RunSpan& span: editor.runRecord->spans())
        if(span.kind == RunSpanKind::Tiles && span.label == "photo") workers.insert(span.worker);
    EXPECT_GE(workers.size(), 2u);
    /* Whichever worker encoded a tile, the list keeps tile order */
    const std::optional<Data::ImageDataView> view = Data::readImageData(slot("photo").imageData);
    ASSERT_TRUE(view && view->names.size() == 5);
    for(int i = 0; i != 4; ++i)
        EXPECT_EQ(view->names[std::size_t(i)], AssetCompiler::tileCacheName(ImageTools::tile(image, i % 2, i/2), false)) << i;
    EXPECT_EQ(std::tuple(compiler().tilesEncoded.load(), slot("photo").basisTiles.size()), std::tuple(5, 5));
}

/* Workers added by the jobs setting after the project was set up get
   plug-ins of their own, so that none shares another's */
TEST_F(ImagesTest, WorkersAddedAfterTheProjectWasSetUpCompressToo) {
    if(!basisAvailable()) GTEST_SKIP() << "no Basis encoder installed";
    ASSERT_TRUE(editor.setJobCount(std::to_string(editor.jobSystem->workerCount() + 3)));
    addImage("photo", noise({600, 300}, 4), R"("compression": "etc1s")");
    LogCapture log;
    compiler().compile("images");
    waitForJobs();
    EXPECT_EQ(log.problems(), "");
    EXPECT_EQ(std::tuple(compiler().tilesEncoded.load(), slot("photo").basisTiles.size()), std::tuple(9, 9));
}

TEST_F(ImagesTest, CancellingWhileTilesEncodeStillEndsTheChainOnce) {
    if(!basisAvailable()) GTEST_SKIP() << "no Basis encoder installed";
    addImage("photo", noise({512, 512}, 5), R"("compression": "etc1s")");
    const std::uint32_t images = counter(AssetType::Images);
    compiler().compile("images");
    /* Once the mips are made, the tiles are named and being encoded */
    auto mipsDone = [&] {
        for(const RunSpan& span: editor.runRecord->spans()) if(span.kind == RunSpanKind::Mips) return true;
        return false;
    };
    for(int i = 0; i != 20000 && !mipsDone(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds{1});
    editor.jobSystem->cancelAll();
    waitForJobs();
    /* The follow-up ran once, and a cancelled image keeps what it had */
    EXPECT_EQ(counter(AssetType::Images), images + 2);
    EXPECT_EQ(std::tuple(compiler().imagesCompressed.load(), slot("photo").basisTiles.size()), std::tuple(0, 0));
}

TEST_F(ImagesTest, RecompilingWhileTheJobRunsDiscardsItsResult) {
    if(!basisAvailable()) GTEST_SKIP() << "no Basis encoder installed";
    addImage("photo", noise({600, 300}), R"("compression": "etc1s")");
    compiler().compile("images");
    /* The first job is still encoding: its result must not land */
    editor.data().resources().images.add(FileLink{"scene.glb", "photo"}, noise({300, 100}, 7));
    compiler().compile("images", {"photo"});
    waitForJobs();
    EXPECT_EQ(std::tuple(compiler().imagesCompressed.load(), slot("photo").image.size, slot("photo").basisTiles.size()),
              std::tuple(1, Vector2i(300, 100), 3));
    EXPECT_EQ(Data::readImageData(slot("photo").imageData)->names.size(), 3u);
}

TEST_F(ImagesTest, WithoutTheEncoderImagesStayUncompressed) {
    for(auto& p: compiler().imagePlugins) p.encoder = std::make_unique<BasisImageConverter>("/nonexistent/basisu");
    addImage("a", solid({4, 4}, {1, 2, 3, 4}), R"("compression": "uastc")");
    LogCapture log;
    compiler().compile("images");
    EXPECT_EQ(compiler().pendingImageJobs.load(), 0u);
    EXPECT_EQ(log.error(), "Cannot compress image a - Basis encoder not found at " + basisExecutable() + "\n");
    EXPECT_TRUE(Path::exists(cache("a.png")));
    EXPECT_EQ(slot("a").image.size, Vector2i(4, 4));
}

TEST_F(ImagesTest, AFailingEncoderGivesPlaceholderTiles) {
    /* One line per tile; magenta blocks in the target format; image data
       whose tiles name no cache file */
    for(auto& p: compiler().imagePlugins) p.encoder = std::make_unique<BasisImageConverter>("/bin/false");
    addImage("photo", noise({300, 100}), R"("compression": "etc1s")");
    const struct { const char* format; Colour (*decode)(const std::uint8_t*); } targets[]{
        {"Bc3RGBA", decodeBc3}, {"Astc4x4RGBA", decodeAstc}};
    for(const auto& target: targets) {
        SCOPED_TRACE(target.format);
        BasisImporter::setGlobalValue("format", target.format);
        LogCapture log;
        compiler().compile("images");
        waitForJobs();
        std::string lines;
        for(const char* tile: {"0", "1", "2"})
            lines += "Image compression failed: could not transcode basis image for tile " + std::string{tile} +
                " of image photo - encoding failed with exit code 1\n";
        EXPECT_EQ(log.problems(), lines);
        const EditorSceneData::CompiledImage& photo = slot("photo");
        ASSERT_EQ(photo.compressedTiles.size(), 3u);
        for(const Trade::CompressedImageData& tile: photo.compressedTiles) {
            const Colour colour = target.decode(reinterpret_cast<const std::uint8_t*>(tile.data.data()));
            EXPECT_EQ(colour, (Colour{255, 0, 255, 255}));
        }
        const std::optional<Data::ImageDataView> view = Data::readImageData(photo.imageData);
        ASSERT_TRUE(view && view->tiled);
        EXPECT_EQ(std::tuple(view->size, view->names), std::tuple(Vector3i(300, 100, 1), std::vector<std::string>(3)));
    }
}

TEST_F(ImagesTest, ProbeLevelsAreCachedAsPng) {
    if(!basisAvailable()) GTEST_SKIP() << "no Basis encoder installed";
    addImage("sky", noise({64, 32}), R"("compression": "etc1s", "isSpecularProbe": true)");
    addImage("light", solid({32, 16}, {90, 120, 200, 255}), R"("compression": "etc1s", "isProbe": true)");
    /* The levels are convolved by the jobs, not on the compiling thread:
       none is there while the workers are busy. Relaxed, so that nothing
       orders the jobs after the compile. */
    std::atomic<bool> release{false};
    for(int i = 0; i != editor.jobSystem->workerCount(); ++i) editor.jobSystem->dispatchFunc([&release](JobSystem&, int) {
        while(!release.load(std::memory_order_relaxed)) std::this_thread::yield();
        return JobResult::Success;
    });
    LogCapture log;
    compiler().compile("images");
    EXPECT_FALSE(Path::exists(cache("light-mip-0.png")));
    release.store(true, std::memory_order_relaxed);
    waitForJobs();
    EXPECT_EQ(log.debug(),
        "Compressing 2 images\n"
        "Generating specular environment pyramid for image: sky\n"
        "Generating irradiance environment for image: light\n");
    for(int l = 0; l != 5; ++l)
        EXPECT_EQ(ImageTools::readPng(cache("sky-mip-" + std::to_string(l) + ".png")).value().size,
                  Vector2i(64 >> l, 32 >> l)) << l;
    /* A uniform sky lights every direction with its own colour */
    const std::optional<ImageData> irradiance = ImageTools::readPng(cache("light-mip-0.png"));
    ASSERT_TRUE(irradiance);
    for(int c = 0; c != 3; ++c) EXPECT_NEAR(irradiance->data[4*100 + c], (std::array{90, 120, 200})[c], 4);
    EXPECT_EQ(slot("sky").basisTiles.size(), 5u);

    log.clear();
    compiler().compile("images");
    waitForJobs();
    EXPECT_EQ(log.debug(), "Compressing 2 images\n");

    /* New pixels of the same size make new levels */
    editor.data().resources().images.add(FileLink{"scene.glb", "light"}, solid({32, 16}, {200, 40, 10, 255}));
    log.clear();
    compiler().compile("images");
    waitForJobs();
    EXPECT_EQ(log.debug(), "Compressing 2 images\nGenerating irradiance environment for image: light\n");
    EXPECT_NEAR(ImageTools::readPng(cache("light-mip-0.png")).value().data[4*100], 200, 4);
}

}}}
