#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_STROKER_H

#include "Base/Path.h"
#include "Engine/Font.h"

namespace ZandelleEngine { namespace {

using Font::CodePointRange;

constexpr const char* DejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* Cantarell = "/usr/share/fonts/opentype/cantarell/Cantarell-Regular.otf";
constexpr const char* MicroHei = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
constexpr std::uint32_t Options = 0x1035D, OutlineOptions = 0x103DD;

std::vector<char> fileBytes(const char* path) {
    std::optional<std::vector<char>> bytes = Path::read(path);
    EXPECT_TRUE(bytes) << path;
    return bytes ? std::move(*bytes) : std::vector<char>{};
}

std::optional<Data::GlyphDataView> build(const char* path, std::vector<CodePointRange> ranges,
    std::uint32_t options = Options, const Font::Effect* effect = nullptr)
{
    std::unique_ptr<Font::FontDescription> font = Font::importFont(fileBytes(path));
    if(!font) return {};
    std::optional<std::vector<char>> data = Font::buildGlyphData(*font, ranges, options, effect);
    if(!data) return {};
    return Data::readGlyphData(*data);
}

TEST(FontTest, CodePointRanges) {
    const struct {
        const char* name;
        std::string text;
        std::vector<CodePointRange> expected;
    } cases[]{
        {"runs", "abcx", {{0x61, 0x63}, {0x78, 0x78}}},
        {"repeat starts a range", "aab", {{0x61, 0x61}, {0x61, 0x62}}},
        {"empty", "", {}},
        {"multi-byte", "\xc3\xa9\xc3\xaa\xe2\x82\xac\xf0\x9f\x98\x80", {{0xE9, 0xEA}, {0x20AC, 0x20AC}, {0x1F600, 0x1F600}}},
        {"stops above U+10FFFF", "a\xf4\x90\x80\x80" "b", {{0x61, 0x61}}},
        {"stops at a five-byte form", "ab\xf8\x88\x80\x80\x80" "c", {{0x61, 0x62}}},
        {"malformed bytes", "a\x80\xe2\x82" "b\xe2", {{0x61, 0x61}, {0xFFFD, 0xFFFD}, {0xFFFD, 0xFFFD}, {0x62, 0x62}, {0xFFFD, 0xFFFD}}},
    };
    for(const auto& c: cases) EXPECT_EQ(Font::codePointRanges(c.text), c.expected) << c.name;
}

/* Inside test of a shape by the non-zero winding rule, walking the band a
   shader would walk: a ray along +x through the horizontal band of the point,
   or along +y through its vertical band */
bool inside(const Data::GlyphDataView& d, const Data::GlyphShape& s, double x, double y, bool horizontal) {
    const std::uint16_t count = horizontal ? s.horizontalBandCount : s.verticalBandCount;
    if(!count || s.curveCount == 0) return false;
    const double across = horizontal ? y : x, along = horizontal ? x : y;
    const double low = horizontal ? s.minY : s.minX, high = horizontal ? s.maxY : s.maxX;
    if(across < low || across > high) return false;
    const std::size_t band = std::min<std::size_t>(count - 1, std::size_t((across - low)/(high - low)*count));
    const Data::GlyphBand& b = d.bands[s.firstBand + (horizontal ? 0 : s.horizontalBandCount) + band];
    int winding = 0;
    for(std::uint32_t e = b.firstEntry; e != b.firstEntry + b.entryCount; ++e) {
        const Data::GlyphCurve& c = d.curves[d.bandEntries[e]];
        const double a0 = horizontal ? c.y0 : c.x0, a1 = horizontal ? c.y1 : c.x1, a2 = horizontal ? c.y2 : c.x2;
        const double r0 = horizontal ? c.x0 : c.y0, r1 = horizontal ? c.x1 : c.y1, r2 = horizontal ? c.x2 : c.y2;
        if(std::max({r0, r1, r2}) < along) break;   /* sorted: no later curve reaches the point */
        const double qa = a0 - 2*a1 + a2, qb = 2*(a1 - a0), qc = a0 - across;
        double roots[2];
        int n = 0;
        if(std::abs(qa) < 1e-12) {
            if(qb != 0.0) roots[n++] = -qc/qb;
        } else {
            const double disc = qb*qb - 4*qa*qc;
            if(disc >= 0.0) {
                const double sq = std::sqrt(disc);
                roots[n++] = (-qb - sq)/(2*qa);
                roots[n++] = (-qb + sq)/(2*qa);
            }
        }
        for(int i = 0; i != n; ++i) {
            const double t = roots[i];
            if(t < 0.0 || t >= 1.0) continue;
            const double u = 1.0 - t;
            if(u*u*r0 + 2*u*t*r1 + t*t*r2 <= along) continue;
            const double slope = 2*u*(a1 - a0) + 2*t*(a2 - a1);
            winding += slope > 0 ? 1 : slope < 0 ? -1 : 0;
        }
    }
    return winding != 0;
}

/* A FreeType face at 64 pixels per em, unhinted */
struct Face {
    explicit Face(const char* path) {
        FT_Init_FreeType(&library);
        FT_New_Face(library, path, 0, &face);
        FT_Set_Pixel_Sizes(face, 0, 64);
    }
    ~Face() { FT_Done_Face(face); FT_Done_FreeType(library); }
    /* Pixels per font unit */
    double scaleX() const { return face->size->metrics.x_scale/65536.0/64.0; }
    double scaleY() const { return face->size->metrics.y_scale/65536.0/64.0; }
    FT_Library library = nullptr;
    FT_Face face = nullptr;
};

/* Intersection over union of FreeType's bitmap (coverage of at least half)
   and our pixel-centre samples, over the bitmap grown by a margin. For a
   straight edge the two agree except when the edge runs through the pixel
   centre, which happens often at this size (many coordinates are multiples
   of half a pixel): pixels covered within a few percent of half are left
   out of both counts, either answer being right. */
double iou(const FT_Bitmap& bitmap, int left, int top, const Face& face, const std::function<bool(double, double)>& sample) {
    const int margin = 3;
    int both = 0, either = 0;
    for(int j = -margin; j < int(bitmap.rows) + margin; ++j) for(int i = -margin; i < int(bitmap.width) + margin; ++i) {
        const int coverage = i >= 0 && j >= 0 && i < int(bitmap.width) && j < int(bitmap.rows) ? bitmap.buffer[j*bitmap.pitch + i] : 0;
        if(coverage >= 120 && coverage <= 136) continue;
        /* The tiny offset keeps samples off the font's integer coordinates */
        const bool ours = sample((left + i + 0.5)/face.scaleX() + 1.0/997.0, (top - j - 0.5)/face.scaleY() + 1.0/991.0);
        const bool reference = coverage > 128;
        both += reference && ours;
        either += reference || ours;
    }
    return either ? double(both)/either : 1.0;
}

std::vector<CodePointRange> presentRanges(const Face& face, std::initializer_list<CodePointRange> ranges, std::uint32_t step = 1) {
    std::vector<CodePointRange> out;
    for(const CodePointRange& r: ranges)
        for(std::uint32_t c = r.first; c <= r.last; c += step)
            if(FT_Get_Char_Index(face.face, c)) out.push_back({c, c});
    return out;
}

/* Our curves, filled by the winding rule through either band list, against
   FreeType's own rasteriser, glyph by glyph */
TEST(FontTest, GlyphsMatchFreeTypeRasterizer) {
    const struct {
        const char* path;
        std::initializer_list<CodePointRange> ranges;
        std::uint32_t step;
    } fonts[]{
        {DejaVuSans, {{0x21, 0x7E}, {0xA1, 0x17F}, {0x391, 0x3C9}}, 1},
        {Cantarell, {{0x21, 0x7E}, {0xA1, 0x17F}}, 1},
        {MicroHei, {{0x21, 0x7E}, {0x4E00, 0x9FA5}}, 97},
    };
    for(const auto& f: fonts) {
        Face face{f.path};
        const std::vector<CodePointRange> ranges = presentRanges(face, f.ranges, f.step);
        const std::optional<Data::GlyphDataView> data = build(f.path, ranges);
        ASSERT_TRUE(data) << f.path;
        ASSERT_EQ(data->glyphs.size(), ranges.size());
        double worst = 1.0;
        std::uint32_t worstCodePoint = 0;
        for(std::size_t g = 0; g != data->glyphs.size(); ++g) {
            const Data::GlyphEntry& glyph = data->glyphs[g];
            ASSERT_EQ(FT_Load_Glyph(face.face, glyph.glyphIndex, FT_LOAD_NO_HINTING), 0);
            ASSERT_EQ(FT_Render_Glyph(face.face->glyph, FT_RENDER_MODE_NORMAL), 0);
            const FT_GlyphSlot slot = face.face->glyph;
            for(bool horizontal: {true, false}) {
                const double value = iou(slot->bitmap, slot->bitmap_left, slot->bitmap_top, face, [&](double x, double y) {
                    return inside(*data, data->shapes[g], x, y, horizontal);
                });
                if(value < worst) { worst = value; worstCodePoint = glyph.codePoint; }
            }
        }
        EXPECT_GE(worst, 0.97) << f.path << " U+" << std::hex << worstCodePoint;
        std::printf("%s: %zu glyphs, worst IoU %.4f (U+%04X)\n", f.path, data->glyphs.size(), worst, worstCodePoint);
    }
}

/* The widened outline against FreeType's stroker: the outside border of a
   mitred stroke of the same width */
TEST(FontTest, OutlineEffectMatchesFreeTypeStroker) {
    Font::Effect effect;
    effect.size = 0.04f;
    for(const char* path: {DejaVuSans, Cantarell}) {
        Face face{path};
        const std::vector<CodePointRange> ranges = presentRanges(face, {{0x21, 0x7E}});
        const std::optional<Data::GlyphDataView> data = build(path, ranges, OutlineOptions, &effect);
        ASSERT_TRUE(data) << path;
        ASSERT_EQ(data->shapes.size(), 2*data->glyphs.size());
        EXPECT_EQ(std::string(data->effectType.data(), 4), "DNOR");
        EXPECT_FLOAT_EQ(data->effectDistance, 0.04f*data->metrics.unitsPerEm);

        FT_Stroker stroker;
        FT_Stroker_New(face.library, &stroker);
        FT_Stroker_Set(stroker, FT_Fixed(data->effectDistance*face.scaleX()*64.0), FT_STROKER_LINECAP_BUTT,
            FT_STROKER_LINEJOIN_MITER_FIXED, 4 << 16);
        double worst = 1.0;
        for(std::size_t g = 0; g != data->glyphs.size(); ++g) {
            ASSERT_EQ(FT_Load_Glyph(face.face, data->glyphs[g].glyphIndex, FT_LOAD_NO_HINTING), 0);
            FT_Glyph glyph;
            ASSERT_EQ(FT_Get_Glyph(face.face->glyph, &glyph), 0);
            ASSERT_EQ(FT_Glyph_StrokeBorder(&glyph, stroker, false, true), 0);
            ASSERT_EQ(FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_NORMAL, nullptr, true), 0);
            const auto* bitmap = reinterpret_cast<FT_BitmapGlyph>(glyph);
            const Data::GlyphShape& fill = data->shapes[g];
            const Data::GlyphShape& outline = data->shapes[data->glyphs.size() + g];
            const double value = iou(bitmap->bitmap, bitmap->left, bitmap->top, face, [&](double x, double y) {
                return inside(*data, outline, x, y, true) || inside(*data, fill, x, y, true);
            });
            worst = std::min(worst, value);
            FT_Done_Glyph(glyph);
            /* Bounds grow by at least the distance on every side */
            EXPECT_LE(outline.minX, fill.minX - 0.95f*data->effectDistance) << g;
            EXPECT_GE(outline.maxY, fill.maxY + 0.95f*data->effectDistance) << g;
        }
        FT_Stroker_Done(stroker);
        EXPECT_GE(worst, 0.93) << path;
        std::printf("%s: outline effect, worst IoU %.4f\n", path, worst);
    }
}

TEST(FontTest, CubicSplitStaysWithinTolerance) {
    const double cubics[][8]{
        {0, 0, 100, 300, 400, -200, 500, 100},
        {0, 0, 1000, 0, 0, 1000, 1000, 1000},
        {0, 0, 10, 10, 20, 20, 30, 30},
    };
    for(const auto& c: cubics) {
        std::vector<Data::GlyphCurve> quads;
        Font::appendCubicAsQuadratics(c, c + 2, c + 4, c + 6, 0.25, quads);
        ASSERT_FALSE(quads.empty());
        EXPECT_EQ(quads.front().x0, c[0]);
        EXPECT_EQ(quads.back().x2, c[6]);
        /* Every point of the quadratics lies near the cubic (sampled densely) */
        double worst = 0.0;
        for(const Data::GlyphCurve& q: quads) for(int i = 0; i <= 16; ++i) {
            const double t = i/16.0, u = 1 - t;
            const double x = u*u*q.x0 + 2*u*t*q.x1 + t*t*q.x2, y = u*u*q.y0 + 2*u*t*q.y1 + t*t*q.y2;
            double nearest = 1e30;
            for(int k = 0; k <= 4000; ++k) {
                const double s = k/4000.0, v = 1 - s;
                const double cx = v*v*v*c[0] + 3*v*v*s*c[2] + 3*v*s*s*c[4] + s*s*s*c[6];
                const double cy = v*v*v*c[1] + 3*v*v*s*c[3] + 3*v*s*s*c[5] + s*s*s*c[7];
                nearest = std::min(nearest, std::hypot(x - cx, y - cy));
            }
            worst = std::max(worst, nearest);
        }
        EXPECT_LE(worst, 0.25 + 0.05);
    }
}

TEST(FontTest, KerningMatchesFreeType) {
    Face face{DejaVuSans};
    const std::optional<Data::GlyphDataView> data = build(DejaVuSans, {{0x20, 0x7E}});
    ASSERT_TRUE(data);
    std::size_t expected = 0;
    for(std::uint32_t l = 0x20; l <= 0x7E; ++l) for(std::uint32_t r = 0x20; r <= 0x7E; ++r) {
        FT_Vector k;
        FT_Get_Kerning(face.face, FT_Get_Char_Index(face.face, l), FT_Get_Char_Index(face.face, r), FT_KERNING_UNSCALED, &k);
        if(!k.x) continue;
        ++expected;
        const auto found = std::lower_bound(data->kerning.begin(), data->kerning.end(), std::pair{l, r},
            [](const Data::KerningPair& p, std::pair<std::uint32_t, std::uint32_t> key) { return std::pair{p.left, p.right} < key; });
        ASSERT_TRUE(found != data->kerning.end() && found->left == l && found->right == r) << l << " " << r;
        EXPECT_EQ(found->adjustment, float(k.x));
    }
    EXPECT_GT(expected, 100u);
    EXPECT_EQ(data->kerning.size(), expected);
}

TEST(FontTest, OptionsAndUnits) {
    std::unique_ptr<Font::FontDescription> font = Font::importFont(fileBytes(Cantarell));
    ASSERT_TRUE(font);
    EXPECT_TRUE(font->hasCubicOutlines());
    const std::vector<CodePointRange> a{{0x61, 0x61}};
    const Font::Effect effect{0.1f};
    Font::Effect unknown{0.1f};
    unknown.type = {'X', 'X', 'X', 'X'};
    EXPECT_FALSE(Font::buildGlyphData(*font, a, Options | 0x2));               /* unknown bit */
    EXPECT_FALSE(Font::buildGlyphData(*font, a, OutlineOptions));              /* effect missing */
    EXPECT_FALSE(Font::buildGlyphData(*font, a, Options, &effect));            /* effect not asked for */
    EXPECT_FALSE(Font::buildGlyphData(*font, a, OutlineOptions, &unknown));
    EXPECT_FALSE(Font::buildGlyphData(*font, a, Options & ~Font::CubicsToQuadratics));

    /* Ems: every length divided by the units per em */
    const std::optional<Data::GlyphDataView> units = Data::readGlyphData(*Font::buildGlyphData(*font, a, Options));
    const std::optional<Data::GlyphDataView> ems = Data::readGlyphData(*Font::buildGlyphData(*font, a, Options & ~Font::FontUnits));
    ASSERT_TRUE(units && ems);
    const float upem = units->metrics.unitsPerEm;
    EXPECT_FLOAT_EQ(ems->glyphs[0].advance, units->glyphs[0].advance/upem);
    EXPECT_FLOAT_EQ(ems->metrics.ascender, units->metrics.ascender/upem);
    EXPECT_FLOAT_EQ(ems->curves[3].x1, units->curves[3].x1/upem);

    /* No ranges: the printable ASCII characters */
    const std::optional<Data::GlyphDataView> defaults = Data::readGlyphData(*Font::buildGlyphData(*font, {}, Options));
    ASSERT_TRUE(defaults);
    ASSERT_EQ(defaults->ranges.size(), 1u);
    EXPECT_EQ(defaults->glyphs.size(), 95u);

    /* Bytes FreeType does not take */
    EXPECT_FALSE(Font::importFont({}));
    EXPECT_FALSE(Font::importFont(std::vector<char>(1000, 'x')));

    /* Cut or damaged fonts open or not, build or not, but never crash */
    for(const char* path: {DejaVuSans, Cantarell}) {
        const std::vector<char> whole = fileBytes(path);
        for(std::size_t size = 64; size < whole.size(); size = size*3 + 7) {
            std::vector<char> bytes{whole.begin(), whole.begin() + size};
            if(size % 2) for(std::size_t i = size/2; i < size; i += 97) bytes[i] = char(i);
            if(std::unique_ptr<Font::FontDescription> cut = Font::importFont(std::move(bytes)))
                Font::buildGlyphData(*cut, {}, Options);
        }
    }
}

TEST(FontTest, ReaderRefusesDamagedData) {
    std::unique_ptr<Font::FontDescription> font = Font::importFont(fileBytes(DejaVuSans));
    ASSERT_TRUE(font);
    const std::vector<char> data = *Font::buildGlyphData(*font, std::vector<CodePointRange>{{0x41, 0x44}}, Options);
    ASSERT_TRUE(Data::readGlyphData(data));
    for(std::size_t size = 0; size < data.size(); size += 7)
        EXPECT_FALSE(Data::readGlyphData(std::span{data.data(), size})) << size;
    std::vector<char> appended = data;
    appended.push_back(0);
    EXPECT_FALSE(Data::readGlyphData(appended));
    for(std::size_t at: {std::size_t(5), std::size_t(30), data.size()/2, data.size() - 1}) {
        std::vector<char> damaged = data;
        damaged[at] ^= 0x10;
        EXPECT_FALSE(Data::readGlyphData(damaged)) << at;
    }
}

}}
