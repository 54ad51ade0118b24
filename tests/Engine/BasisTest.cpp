#include <algorithm>

#include <gtest/gtest.h>

#include "Engine/Basis.h"
#include "Support/LogCapture.h"

namespace ZandelleEngine { namespace Testing { namespace {

using Colour = std::array<int, 4>;
using Trade::CompressedPixelFormat;

/* Minimal decoders of the first pixel of a 16-byte block, enough to read back
   a solid colour in the block modes the encoder picks for one; any other mode
   fails the test. BC7 is only told apart by its mode: the colour read back in
   the other targets already shows the right bytes are taken. */

int expand(int value, int bits) { return (value << (8 - bits)) | (value >> (2*bits - 8)); }

Colour decodeBc3(const std::uint8_t* b) {
    const int a0 = b[0], a1 = b[1], ai = b[2] & 7;
    int alpha = ai == 0 ? a0 : ai == 1 ? a1 : a0 > a1 ? ((8 - ai)*a0 + (ai - 1)*a1)/7 :
        ai == 6 ? 0 : ai == 7 ? 255 : ((6 - ai)*a0 + (ai - 1)*a1)/5;
    const int c0 = b[8] | b[9] << 8, c1 = b[10] | b[11] << 8, ci = b[12] & 3;
    Colour out{0, 0, 0, alpha};
    const int shifts[3]{11, 5, 0}, bits[3]{5, 6, 5};
    for(int c = 0; c != 3; ++c) {
        const int e0 = expand((c0 >> shifts[c]) & ((1 << bits[c]) - 1), bits[c]);
        const int e1 = expand((c1 >> shifts[c]) & ((1 << bits[c]) - 1), bits[c]);
        out[c] = ci == 0 ? e0 : ci == 1 ? e1 : ci == 2 ? (2*e0 + e1)/3 : (e0 + 2*e1)/3;
    }
    return out;
}

Colour decodeEtc2(const std::uint8_t* b) {
    static constexpr int Tables[8][2]{{2, 8}, {5, 17}, {9, 29}, {13, 42}, {18, 60}, {24, 80}, {33, 106}, {47, 183}};
    const std::uint8_t* c = b + 8;
    Colour out{0, 0, 0, b[0]};   /* the alpha block's base value */
    if(!(c[3] & 2)) ADD_FAILURE() << "individual block";
    int base[3];
    for(int i = 0; i != 3; ++i) {
        const int value = c[i] >> 3, delta = (c[i] & 7) > 3 ? (c[i] & 7) - 8 : c[i] & 7;
        if(value + delta < 0 || value + delta > 31) ADD_FAILURE() << "T, H or planar block";
        base[i] = expand(value, 5);
    }
    /* Pixel (0, 0): its index bits are the lowest of the last two 16-bit words */
    const int msb = c[5] & 1, lsb = c[7] & 1;
    const int* table = Tables[c[3] >> 5];
    const int modifier = (msb ? -1 : 1)*table[lsb];
    for(int i = 0; i != 3; ++i) out[i] = std::clamp(base[i] + modifier, 0, 255);
    return out;
}

Colour decodeAstc(const std::uint8_t* b) {
    if(b[0] != 0xfc || (b[1] & 1) != 1) { ADD_FAILURE() << "not a void-extent block"; return {}; }
    Colour out;
    for(int i = 0; i != 4; ++i) out[i] = b[8 + 2*i + 1];
    return out;
}

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
