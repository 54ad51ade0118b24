#include <algorithm>
#include <cmath>
#include <functional>
#include <tuple>

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
    const auto data = font ? Font::buildGlyphData(*font, ranges, options, effect) : std::nullopt;
    return data ? Data::readGlyphData(*data) : std::nullopt;
}

TEST(FontTest, CodePointRanges) {
    const struct { const char* name; std::string text; std::vector<CodePointRange> expected; } cases[]{
        {"runs, a repeat starts a range", "aabcx", {{0x61, 0x61}, {0x61, 0x63}, {0x78, 0x78}}},
        {"multi-byte", "\xc3\xa9\xc3\xaa\xe2\x82\xac\xf0\x9f\x98\x80",
            {{0xE9, 0xEA}, {0x20AC, 0x20AC}, {0x1F600, 0x1F600}}},
        {"stops above U+10FFFF", "a\xf4\x90\x80\x80" "b", {{0x61, 0x61}}},
        {"stops at a five-byte form", "ab\xf8\x88\x80\x80\x80" "c", {{0x61, 0x62}}},
        {"malformed bytes", "a\x80\xe2\x82" "b\xe2",
            {{0x61, 0x61}, {0xFFFD, 0xFFFD}, {0xFFFD, 0xFFFD}, {0x62, 0x62}, {0xFFFD, 0xFFFD}}},
    };
    for(const auto& c: cases) EXPECT_EQ(Font::codePointRanges(c.text), c.expected) << c.name;
}

/* Inside test of a shape by the non-zero winding rule, walking the band a
   shader would walk: a ray along +x through the horizontal band of the point,
   or along +y through its vertical band */
bool inside(const Data::GlyphDataView& d, const Data::GlyphShape& s, double x, double y, bool horizontal) {
    const std::uint16_t count = horizontal ? s.horizontalBandCount : s.verticalBandCount;
    const double across = horizontal ? y : x, along = horizontal ? x : y;
    const double low = horizontal ? s.minY : s.minX, high = horizontal ? s.maxY : s.maxX;
    if(!count || s.curveCount == 0 || across < low || across > high) return false;
    const std::size_t band = std::min<std::size_t>(count - 1, std::size_t((across - low)/(high - low)*count));
    const Data::GlyphBand& b = d.bands[s.firstBand + (horizontal ? 0 : s.horizontalBandCount) + band];
    int winding = 0;
    for(std::uint32_t e = b.firstEntry; e != b.firstEntry + b.entryCount; ++e) {
        const Data::GlyphCurve& c = d.curves[d.bandEntries[e]];
        /* a: control point coordinates across the ray, r: along it */
        const double a[3]{horizontal ? c.y0 : c.x0, horizontal ? c.y1 : c.x1, horizontal ? c.y2 : c.x2};
        const double r[3]{horizontal ? c.x0 : c.y0, horizontal ? c.x1 : c.y1, horizontal ? c.x2 : c.y2};
        if(std::max({r[0], r[1], r[2]}) < along) break;   /* sorted: no later curve reaches the point */
        /* Where the curve crosses the ray's line; -1 for no root */
        const double qa = a[0] - 2*a[1] + a[2], qb = 2*(a[1] - a[0]), qc = a[0] - across;
        const double disc = qb*qb - 4*qa*qc, sq = std::sqrt(std::max(disc, 0.0));
        const bool linear = std::abs(qa) < 1e-12;
        const double roots[2]{linear ? (qb != 0.0 ? -qc/qb : -1.0) : disc < 0.0 ? -1.0 : (-qb - sq)/(2*qa),
                              linear || disc < 0.0 ? -1.0 : (-qb + sq)/(2*qa)};
        for(const double t: roots) {
            const double u = 1.0 - t;
            if(t < 0.0 || t >= 1.0 || u*u*r[0] + 2*u*t*r[1] + t*t*r[2] <= along) continue;
            const double slope = u*(a[1] - a[0]) + t*(a[2] - a[1]);
            winding += (slope > 0) - (slope < 0);
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
    /* Pixels per font unit, the same across and up */
    double scale() const { return face->size->metrics.y_scale/65536.0/64.0; }
    FT_Library library = nullptr;
    FT_Face face = nullptr;
};

/* Intersection over union of FreeType's bitmap (coverage of at least half)
   and our pixel-centre samples, over the bitmap grown by a margin. For a
   straight edge the two agree except when the edge runs through the pixel
   centre, which happens often at this size (many coordinates are multiples
   of half a pixel): pixels covered within a few percent of half are left
   out of both counts, either answer being right. */
double iou(const FT_BitmapGlyphRec& glyph, const Face& face, const std::function<bool(double, double)>& sample) {
    const FT_Bitmap& bitmap = glyph.bitmap;
    const int margin = 3, width = int(bitmap.width), rows = int(bitmap.rows);
    int both = 0, either = 0;
    for(int j = -margin; j < rows + margin; ++j) for(int i = -margin; i < width + margin; ++i) {
        const int coverage = i >= 0 && j >= 0 && i < width && j < rows ? bitmap.buffer[j*bitmap.pitch + i] : 0;
        if(coverage >= 120 && coverage <= 136) continue;
        /* The tiny offset keeps samples off the font's integer coordinates */
        const bool ours = sample((glyph.left + i + 0.5)/face.scale() + 1.0/997.0,
                                 (glyph.top - j - 0.5)/face.scale() + 1.0/991.0);
        const bool reference = coverage > 128;
        both += reference && ours;
        either += reference || ours;
    }
    return either ? double(both)/either : 1.0;
}

/* Our curves, filled by the winding rule through either band list, against
   FreeType's own rasteriser glyph by glyph; with the outline effect, the fill
   and the widened outline together against the outside border of FreeType's
   mitred stroke of the same width. Our kerning pairs against FreeType's. */
TEST(FontTest, GlyphsAndKerningMatchFreeType) {
    const struct {
        const char* path; std::initializer_list<CodePointRange> ranges; std::uint32_t step;
        bool outline; double minimum;
    } cases[]{
        {DejaVuSans, {{0x21, 0x7E}, {0xA1, 0x17F}, {0x391, 0x3C9}}, 1, false, 0.97},
        {Cantarell, {{0x21, 0x7E}, {0xA1, 0x17F}}, 1, false, 0.97},
        {MicroHei, {{0x21, 0x7E}, {0x4E00, 0x9FA5}}, 97, false, 0.97},
        {DejaVuSans, {{0x21, 0x7E}}, 1, true, 0.93},
        {Cantarell, {{0x21, 0x7E}}, 1, true, 0.93},
    };
    const Font::Effect effect{0.04f};
    for(const auto& c: cases) {
        SCOPED_TRACE(c.path + std::string{c.outline ? ", outline" : ""});
        Face face{c.path};
        std::vector<CodePointRange> ranges;   /* every step-th code point the face has, one range each */
        for(const CodePointRange& r: c.ranges) for(std::uint32_t p = r.first; p <= r.last; p += c.step)
            if(FT_Get_Char_Index(face.face, p)) ranges.push_back({p, p});
        const std::optional<Data::GlyphDataView> data =
            build(c.path, ranges, c.outline ? OutlineOptions : Options, c.outline ? &effect : nullptr);
        ASSERT_TRUE(data);
        const std::size_t count = data->glyphs.size();
        ASSERT_EQ(count, ranges.size());
        ASSERT_EQ(data->shapes.size(), c.outline ? 2*count : count);
        if(c.outline) {
            EXPECT_EQ(std::string(data->effectType.data(), 4), "DNOR");
            EXPECT_FLOAT_EQ(data->effectDistance, 0.04f*data->metrics.unitsPerEm);
        }
        /* Every pair FreeType kerns among these code points, with its
           adjustment, sorted by left and right code point */
        std::vector<std::tuple<std::uint32_t, std::uint32_t, float>> kerning, ours;
        for(const CodePointRange& l: ranges) for(const CodePointRange& r: ranges) {
            FT_Vector k;
            FT_Get_Kerning(face.face, FT_Get_Char_Index(face.face, l.first), FT_Get_Char_Index(face.face, r.first),
                FT_KERNING_UNSCALED, &k);
            if(k.x) kerning.emplace_back(l.first, r.first, float(k.x));
        }
        for(const Data::KerningPair& p: data->kerning) ours.emplace_back(p.left, p.right, p.adjustment);
        EXPECT_EQ(ours, kerning);
        FT_Stroker stroker;
        FT_Stroker_New(face.library, &stroker);
        FT_Stroker_Set(stroker, FT_Fixed(data->effectDistance*face.scale()*64.0), FT_STROKER_LINECAP_BUTT,
            FT_STROKER_LINEJOIN_MITER_FIXED, 4 << 16);
        for(std::size_t g = 0; g != count; ++g) {
            FT_Glyph glyph;
            ASSERT_EQ(FT_Load_Glyph(face.face, data->glyphs[g].glyphIndex, FT_LOAD_NO_HINTING), 0);
            ASSERT_EQ(FT_Get_Glyph(face.face->glyph, &glyph), 0);
            if(c.outline) { ASSERT_EQ(FT_Glyph_StrokeBorder(&glyph, stroker, false, true), 0); }
            ASSERT_EQ(FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_NORMAL, nullptr, true), 0);
            const Data::GlyphShape& fill = data->shapes[g];
            const Data::GlyphShape& outline = data->shapes[c.outline ? count + g : g];
            for(bool horizontal: {true, false}) {
                EXPECT_GE(iou(*reinterpret_cast<FT_BitmapGlyph>(glyph), face, [&](double x, double y) {
                    return inside(*data, fill, x, y, horizontal) || inside(*data, outline, x, y, horizontal);
                }), c.minimum) << "U+" << std::hex << data->glyphs[g].codePoint;
            }
            FT_Done_Glyph(glyph);
        }
        FT_Stroker_Done(stroker);
    }
}

TEST(FontTest, CubicSplitStaysWithinTolerance) {
    const double cubics[][8]{
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

TEST(FontTest, OptionsAndUnits) {
    std::unique_ptr<Font::FontDescription> font = Font::importFont(fileBytes(Cantarell));
    ASSERT_TRUE(font);
    EXPECT_TRUE(font->hasCubicOutlines());
    const std::vector<CodePointRange> a{{0x61, 0x61}};
    const Font::Effect effect{0.1f}, unknown{0.1f, 1.0f, {'X', 'X', 'X', 'X'}};
    /* An unknown bit; an effect missing, not asked for or unknown; cubics kept */
    const std::pair<std::uint32_t, const Font::Effect*> refused[]{{Options | 0x2, nullptr}, {OutlineOptions, nullptr},
        {Options, &effect}, {OutlineOptions, &unknown}, {Options & ~Font::CubicsToQuadratics, nullptr}};
    for(const auto& [options, e]: refused) EXPECT_FALSE(Font::buildGlyphData(*font, a, options, e)) << options;

    /* Ems: every length divided by the units per em */
    const std::optional<Data::GlyphDataView> units = build(Cantarell, a);
    const std::optional<Data::GlyphDataView> ems = build(Cantarell, a, Options & ~Font::FontUnits);
    ASSERT_TRUE(units && ems);
    const float upem = units->metrics.unitsPerEm;
    EXPECT_FLOAT_EQ(ems->glyphs[0].advance, units->glyphs[0].advance/upem);
    EXPECT_FLOAT_EQ(ems->metrics.ascender, units->metrics.ascender/upem);
    EXPECT_FLOAT_EQ(ems->curves[3].x1, units->curves[3].x1/upem);
    EXPECT_FALSE(Font::importFont(std::vector<char>(1000, 'x')));
}

TEST(FontTest, ReaderRefusesDamagedData) {
    std::unique_ptr<Font::FontDescription> font = Font::importFont(fileBytes(DejaVuSans));
    ASSERT_TRUE(font);
    const std::vector<char> data = *Font::buildGlyphData(*font, std::vector<CodePointRange>{{0x41, 0x44}}, Options);
    ASSERT_TRUE(Data::readGlyphData(data));
    for(std::size_t size = 0; size < data.size(); size += 7)
        EXPECT_FALSE(Data::readGlyphData(std::span{data.data(), size})) << size;
    /* The version, a section count, the hashed sections */
    for(std::size_t at: {std::size_t(5), std::size_t(30), data.size() - 1}) {
        std::vector<char> damaged = data;
        damaged[at] ^= 0x10;
        EXPECT_FALSE(Data::readGlyphData(damaged)) << at;
    }
}

}}
