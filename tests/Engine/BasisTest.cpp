#include <algorithm>

#include <gtest/gtest.h>

#include "Engine/Basis.h"
#include "Support/BlockDecoders.h"
#include "Support/LogCapture.h"

namespace ZandelleEngine { namespace Testing { namespace {

using Trade::CompressedPixelFormat;

TEST(Basis, SolidTilesTranscodeToTheirColourInEveryTarget) {
    BasisImageConverter converter;
    if(!converter.available()) GTEST_SKIP() << "no Basis encoder installed";
    converter.setValue("compression_level", "2");
    converter.setValue("threads", "1");
    converter.setValue("y_flip", "true");
    Trade::ImageData tile{Trade::PixelFormat::RGBA8Unorm, {260, 260}, {}};
    const Colour colour{200, 30, 60, 255};
    for(int i = 0; i != 260*260; ++i) for(int c: colour) tile.data.push_back(std::uint8_t(c));
    const std::optional<std::vector<char>> basis = converter.convertToData(tile);
    ASSERT_TRUE(basis);

    const struct { const char* name; CompressedPixelFormat format; Colour (*decode)(const std::uint8_t*); } targets[]{
        {"Bc3RGBA", CompressedPixelFormat::Bc3RGBAUnorm, decodeBc3},
        {"Bc7RGBA", CompressedPixelFormat::Bc7RGBAUnorm, nullptr},
        {"Etc2RGBA", CompressedPixelFormat::Etc2RGBA8Unorm, decodeEtc2},
        {"Astc4x4RGBA", CompressedPixelFormat::Astc4x4RGBAUnorm, decodeAstc},
    };
    BasisImporter importer;
    for(const auto& target: targets) {
        SCOPED_TRACE(target.name);
        BasisImporter::setGlobalValue("format", target.name);
        ASSERT_TRUE(importer.openData(*basis));
        ASSERT_TRUE(importer.image());
        EXPECT_EQ(importer.image()->format, target.format);
        EXPECT_EQ(importer.image()->size, Vector2i(260, 260));
        ASSERT_EQ(importer.image()->data.size(), 65u*65u*16u);
        const auto* block = reinterpret_cast<const std::uint8_t*>(importer.image()->data.data());
        if(!target.decode) {
            EXPECT_EQ(block[0], 0x20);   /* an unrotated mode 5 block */
            continue;
        }
        const Colour decoded = target.decode(block);
        for(int c = 0; c != 4; ++c) EXPECT_NEAR(decoded[c], colour[c], 8) << c;
    }

    /* Plain pixels: validated, nothing kept */
    BasisImporter::setGlobalValue("format", "RGBA");
    EXPECT_TRUE(importer.openData(*basis));
    EXPECT_FALSE(importer.image());
}

TEST(Basis, BatchesGiveWhatSingleRunsGive) {
    BasisImageConverter converter;
    if(!converter.available()) GTEST_SKIP() << "no Basis encoder installed";
    converter.setValue("compression_level", "2");
    converter.setValue("threads", "1");
    /* Three different tiles, the middle one too small for the encoder's
       block size to matter */
    std::vector<Trade::ImageData> tiles;
    for(const int size: {64, 8, 40}) {
        Trade::ImageData& tile = tiles.emplace_back(Trade::PixelFormat::RGBA8Unorm, Vector2i{size, size});
        for(int i = 0; i != size*size; ++i)
            tile.data.insert(tile.data.end(), {std::uint8_t(i*7), std::uint8_t(size), std::uint8_t(i), 255});
    }
    const Trade::ImageData* const batch[]{&tiles[0], &tiles[1], &tiles[2]};
    const std::vector<std::optional<std::vector<char>>> encoded = converter.convertToData(batch);
    ASSERT_EQ(encoded.size(), 3u);
    for(std::size_t i = 0; i != 3; ++i) {
        ASSERT_TRUE(encoded[i]) << i;
        EXPECT_EQ(*encoded[i], *converter.convertToData(tiles[i])) << i;
    }

    /* A damaged file in a batch fails alone; the others open as openData()
       opens them */
    BasisImporter importer;
    BasisImporter::setGlobalValue("format", "Bc7RGBA");
    const std::span<const char> files[]{*encoded[0], std::span<const char>{encoded[1]->data(), 20}, *encoded[2]};
    const std::vector<BasisImporter::Opened> opened = importer.openAll(files);
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_FALSE(opened[1].valid);
    for(const std::size_t i: {0u, 2u}) {
        ASSERT_TRUE(opened[i].valid && opened[i].image) << i;
        ASSERT_TRUE(importer.openData(*encoded[i]));
        EXPECT_EQ(opened[i].image->size, tiles[i].size) << i;
        EXPECT_EQ(opened[i].image->data, importer.image()->data) << i;
    }
    BasisImporter::setGlobalValue("format", "RGBA");
}

TEST(Basis, MissingExecutable) {
    LogCapture log;
    BasisImageConverter converter{"/nonexistent/basisu"};
    EXPECT_FALSE(converter.available());
    EXPECT_FALSE(converter.convertToData(Trade::ImageData{Trade::PixelFormat::RGBA8Unorm, {1, 1}, {0, 0, 0, 0}}));
    BasisImporter importer{"/nonexistent/basisu"};
    EXPECT_FALSE(importer.openData(std::vector<char>(4)));
    EXPECT_EQ(log.error(),
        "Trade::BasisImageConverter::convertToData(): basisu executable not found at /nonexistent/basisu\n"
        "Trade::BasisImporter::openData(): basisu executable not found at /nonexistent/basisu\n");
}

}}}
