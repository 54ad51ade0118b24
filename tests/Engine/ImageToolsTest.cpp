#include <gtest/gtest.h>

#include <stb_image.h>

#include "Engine/ImageTools.h"
#include "Support/LogCapture.h"

namespace ZandelleEngine { namespace Testing { namespace {

using Trade::ImageData;
using Trade::PixelFormat;

/* Every byte differs from its neighbours and the rows differ, so a flip, a
   swap of channels or a shifted row shows */
ImageData pattern(PixelFormat format, Vector2i size) {
    ImageData image{format, size, {}};
    image.data.resize(std::size_t(size.x)*size.y*Trade::pixelSize(format));
    for(std::size_t i = 0; i != image.data.size(); ++i) image.data[i] = std::uint8_t(i*7 + i/13);
    return image;
}

TEST(ImageTools, PngRoundTripAgreesWithAnIndependentDecoder) {
    for(PixelFormat format: {PixelFormat::R8Unorm, PixelFormat::RG8Unorm, PixelFormat::RGB8Unorm,
                             PixelFormat::RGBA8Unorm}) {
        SCOPED_TRACE(int(format));
        const ImageData image = pattern(format, {5, 3});
        const std::optional<std::vector<char>> png = ImageTools::encodePng(image);
        ASSERT_TRUE(png);

        const std::optional<ImageData> back = ImageTools::decodePng(*png);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->format, format);
        EXPECT_EQ(back->size, image.size);
        EXPECT_EQ(back->data, image.data);

        /* stb reads the file top row first: that is our last row */
        int w, h, channels;
        stbi_uc* decoded = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png->data()), int(png->size()),
            &w, &h, &channels, 0);
        ASSERT_TRUE(decoded);
        const std::size_t row = std::size_t(w)*channels;
        EXPECT_EQ(std::size_t(channels), Trade::pixelSize(format));
        EXPECT_TRUE(std::equal(decoded, decoded + row, image.data.end() - row));
        stbi_image_free(decoded);

        /* A file cut before its pixels end is refused, never read past */
        for(std::size_t size: {std::size_t(8), png->size()/2})
            EXPECT_FALSE(ImageTools::decodePng(std::span<const char>{png->data(), size})) << size;
    }
    EXPECT_FALSE(ImageTools::encodePng(ImageData{PixelFormat::RGBA8Unorm, {0, 4}, {}}));
    EXPECT_FALSE(ImageTools::encodePng(pattern(PixelFormat::RGBA32F, {2, 2})));
}

TEST(ImageTools, ResizeConverterRefusesABadSizeText) {
    ImageTools::StbResizeImageConverter converter;
    LogCapture log;
    std::string expected;
    for(const std::string bad: {"", "1024", "1024  1024", "0 5"}) {
        converter.setValue("size", bad);
        EXPECT_FALSE(converter.convert(pattern(PixelFormat::RGBA8Unorm, {4, 4}))) << bad;
        expected += "Trade::StbResizeImageConverter::convert(): invalid size " + bad + "\n";
    }
    EXPECT_EQ(log.error(), expected);
}

TEST(ImageTools, MipsHalveDownToOnePixel) {
    ImageTools::StbResizeImageConverter converter;
    const std::vector<ImageData> levels =
        ImageTools::generateMips(pattern(PixelFormat::RGB8Unorm, {300, 100}), 9, converter);
    ASSERT_EQ(levels.size(), 9u);
    EXPECT_EQ(levels[0].size, Vector2i(150, 50));
    EXPECT_EQ(levels[6].size, Vector2i(2, 1));
    EXPECT_EQ(levels[8].size, Vector2i(1, 1));
}

TEST(ImageTools, TilesRepeatTheEdgeOutsideTheImage) {
    const ImageData image = pattern(PixelFormat::RG8Unorm, {300, 100});
    auto at = [](const ImageData& i, int x, int y) {
        const std::uint8_t* p = i.data.data() + (std::size_t(y)*i.size.x + x)*2;
        return std::pair{p[0], p[1]};
    };
    const ImageData first = ImageTools::tile(image, 0, 0);
    ASSERT_EQ(first.size, Vector2i(260, 260));
    EXPECT_EQ(at(first, 2, 2), at(image, 0, 0));
    EXPECT_EQ(at(first, 0, 0), at(image, 0, 0));
    EXPECT_EQ(at(first, 259, 50), at(image, 257, 48));
    EXPECT_EQ(at(first, 10, 259), at(image, 8, 99));

    const ImageData second = ImageTools::tile(image, 1, 0);
    EXPECT_EQ(at(second, 0, 2), at(image, 254, 0));
    EXPECT_EQ(at(second, 45, 101), at(image, 299, 99));
}

}}}
