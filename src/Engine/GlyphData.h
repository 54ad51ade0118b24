#pragma once
// Glyph data: what the text renderer draws from. Each glyph is one or two
// shapes of quadratic Bézier curves; the fragment shader of a glyph quad finds
// the band its pixel lies in and evaluates only that band's curves, casting a
// ray to +x (horizontal bands) or +y (vertical bands) and summing the signed
// crossings into a non-zero winding number.
//
// Byte layout, version 1. Every value is little endian and 4-byte aligned:
//
//   header, 88 bytes
//     0  char[4] magic "ZFNT"
//     4  u16     format version
//     6  u16     0
//     8  u32     size of the whole array in bytes
//    12  u32     the option word the data was built with (Font::Option)
//    16  u32     range count R
//    20  u32     glyph count G
//    24  u32     shape count S: G, or 2G when an outline effect was built
//    28  u32     curve count C
//    32  u32     band count B
//    36  u32     band entry count E
//    40  u32     kerning pair count K
//    44  char[4] outline effect type code, zeros without an effect
//    48  f32     outline effect distance, 0 without an effect
//    52  f32     units per em (of the font, whatever the output units)
//    56  f32     ascender, 60 f32 descender, 64 f32 line height,
//    68  f32     underline position, 72 f32 underline thickness
//    76  u32     number of glyphs in the font
//    80  u64     XXH3 64-bit hash of every byte after the header
//   ranges,   R x 12 bytes: u32 first and last code point, u32 index of the
//             range's first glyph; the glyphs of a range are consecutive
//   glyphs,   G x 20 bytes: u32 code point, u32 glyph index in the font,
//             f32 advance, f32 left bearing, f32 top bearing
//   shapes,   S x 32 bytes: f32 min x, min y, max x, max y; u32 first curve,
//             u32 curve count; u32 first band, u16 horizontal band count,
//             u16 vertical band count. Glyph i has shape i; with an outline
//             effect shape G + i is its widened outline.
//   bands,    B x 8 bytes: u32 first entry, u32 entry count. A shape's
//             horizontal bands split [min y, max y] evenly, bottom first; its
//             vertical bands, which follow them, split [min x, max x].
//   entries,  E x 4 bytes: u32 curve index. A horizontal band lists the
//             curves whose y extent meets it, by descending max x (a shader
//             stops once a curve lies left of the pixel); a vertical band
//             those whose x extent meets it, by descending max y. Curves
//             parallel to a band's ray are left out.
//   curves,   C x 24 bytes: f32 x0 y0, x1 y1, x2 y2 (start, control, end).
//   kerning,  K x 12 bytes: u32 left and right code point, f32 advance
//             adjustment; sorted by left, then right code point.
//
// Lengths are in font units, or in ems when the data was built without
// Font::Option::FontUnits. Contours are closed; a straight segment is a curve
// whose control point is its midpoint.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "Base/Export.h"

namespace ZandelleEngine { namespace Data {

constexpr std::uint16_t GlyphDataVersion = 1;
constexpr std::size_t GlyphDataHeaderSize = 88;

struct GlyphRange {
    std::uint32_t first, last, firstGlyph;
};

struct GlyphEntry {
    std::uint32_t codePoint, glyphIndex;
    float advance, bearingX, bearingY;
};

struct GlyphShape {
    float minX, minY, maxX, maxY;
    std::uint32_t firstCurve, curveCount;
    std::uint32_t firstBand;
    std::uint16_t horizontalBandCount, verticalBandCount;
};

struct GlyphBand {
    std::uint32_t firstEntry, entryCount;
};

struct GlyphCurve {
    float x0, y0, x1, y1, x2, y2;
};

struct KerningPair {
    std::uint32_t left, right;
    float adjustment;
};

struct FontMetrics {
    float unitsPerEm = 0.0f, ascender = 0.0f, descender = 0.0f, lineHeight = 0.0f;
    float underlinePosition = 0.0f, underlineThickness = 0.0f;
    std::uint32_t glyphCount = 0;
};

/** The content of glyph data, unpacked */
struct GlyphDataView {
    std::uint32_t options = 0;
    std::array<char, 4> effectType{};
    float effectDistance = 0.0f;
    FontMetrics metrics;
    std::vector<GlyphRange> ranges;
    std::vector<GlyphEntry> glyphs;
    std::vector<GlyphShape> shapes;
    std::vector<GlyphBand> bands;
    std::vector<std::uint32_t> bandEntries;
    std::vector<GlyphCurve> curves;
    std::vector<KerningPair> kerning;
};

/** Packs @p content; the counts and hash are taken from it */
ZANDELLE_EXPORT std::vector<char> createGlyphData(const GlyphDataView& content);

/** Whether @p data is whole glyph data of this version, checked as
    readGlyphData() checks it, without unpacking */
ZANDELLE_EXPORT bool isGlyphData(std::span<const char> data);

/** Unpacks glyph data; empty when the bytes are not whole glyph data of this
    version: wrong magic, version or size, a hash that does not match, or an
    index that points outside its array */
ZANDELLE_EXPORT std::optional<GlyphDataView> readGlyphData(std::span<const char> data);

}}
