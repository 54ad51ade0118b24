#pragma once
// The font outline library: reads TrueType and CFF fonts (plain .ttf/.otf
// files, and face 0 of a .ttc/.otc collection) through FreeType into a font
// description, and builds from a description the glyph data of
// Engine/GlyphData.h that the text shaders draw.
//
// Outlines stay in font units, without hinting. TrueType contours are
// quadratic already; a CFF cubic is split into quadratics that stay within
// CubicTolerance ems of it. Kerning comes from the font's "kern" table;
// pair adjustments of the layout tables are not read.
//
// A description owns its own FreeType instance, so different descriptions may
// be used on different threads at the same time; one description is used by
// one thread at a time.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Engine/GlyphData.h"

namespace ZandelleEngine { namespace Font {

/** Largest distance, in ems, between a CFF cubic and the quadratics that
    replace it */
constexpr double CubicTolerance = 1.0/4096.0;

/** An inclusive range of Unicode code points */
struct CodePointRange {
    std::uint32_t first, last;
    bool operator==(const CodePointRange&) const = default;
};

/** The code point ranges of a UTF-8 text, in text order: a code point one
    above the end of the last range extends it, any other (a repeat too)
    starts a new range. Decoding stops at the first value above U+10FFFF;
    a malformed byte counts as U+FFFD. */
ZANDELLE_EXPORT std::vector<CodePointRange> codePointRanges(std::string_view utf8);

/** Bits of the option word of buildGlyphData(). Bits not listed here make
    the build fail. */
enum Option: std::uint32_t {
    Curves = 0x1,               /**< glyph outlines */
    HorizontalBands = 0x4,      /**< band lists for rays along +x */
    VerticalBands = 0x8,        /**< band lists for rays along +y */
    GlyphMetrics = 0x10,        /**< advance and bearings */
    Kerning = 0x40,             /**< kerning pairs */
    OutlineEffect = 0x80,       /**< a widened outline shape per glyph; needs an effect */
    CubicsToQuadratics = 0x100, /**< split cubics; without it a CFF outline fails */
    FontMetrics = 0x200,        /**< ascender, descender, line height, underline */
    FontUnits = 0x10000         /**< lengths in font units; without it in ems */
};

constexpr std::uint32_t KnownOptions = Curves|HorizontalBands|VerticalBands|GlyphMetrics|Kerning|
    OutlineEffect|CubicsToQuadratics|FontMetrics|FontUnits;

/** A widened copy of each glyph, drawn behind it as its outline. The
    outline lies size*scale ems outside the glyph's contours. */
struct Effect {
    float size = 0.0f;
    float scale = 1.0f;
    /** "DNOR": every contour moved out along its normals, mitred corners */
    std::array<char, 4> type{'D', 'N', 'O', 'R'};
};

/** A font opened from its file bytes */
class ZANDELLE_EXPORT FontDescription {
    public:
        ~FontDescription();
        FontDescription(const FontDescription&) = delete;
        FontDescription& operator=(const FontDescription&) = delete;

        const Data::FontMetrics& metrics() const { return _metrics; }
        /** Whether the outlines are cubic (CFF) */
        bool hasCubicOutlines() const { return _cubic; }

    private:
        friend std::unique_ptr<FontDescription> importFont(std::vector<char> bytes);
        friend std::optional<std::vector<char>> buildGlyphData(FontDescription& font,
            std::span<const CodePointRange> ranges, std::uint32_t options, const Effect* effect);
        struct State;

        FontDescription();

        std::unique_ptr<State> _state;
        Data::FontMetrics _metrics;
        bool _cubic = false;
};

/** Opens face 0 of a font file; null when FreeType does not accept the bytes
    or the font has no scalable outlines */
ZANDELLE_EXPORT std::unique_ptr<FontDescription> importFont(std::vector<char> bytes);

/** The glyph data of @p ranges: one glyph per code point, in range order (a
    code point the font lacks gets the font's glyph 0). No ranges means the
    printable ASCII characters U+0020 to U+007E. @p effect must be given
    exactly when @p options holds OutlineEffect. Empty on an unknown option
    bit, an effect that does not match the options or is of an unknown type,
    a glyph that does not load, or a cubic outline without
    CubicsToQuadratics. */
ZANDELLE_EXPORT std::optional<std::vector<char>> buildGlyphData(FontDescription& font,
    std::span<const CodePointRange> ranges, std::uint32_t options, const Effect* effect = nullptr);

/** Replaces the cubic (@p p0, @p c1, @p c2, @p p3) by quadratics that stay
    within @p tolerance of it, appended to @p out */
ZANDELLE_EXPORT void appendCubicAsQuadratics(const double p0[2], const double c1[2], const double c2[2], const double p3[2],
    double tolerance, std::vector<Data::GlyphCurve>& out);

}}
