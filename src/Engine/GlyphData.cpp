#include "Engine/GlyphData.h"

#include <cstring>

#include <xxhash.h>

namespace ZandelleEngine { namespace Data {

/* The sections are the structs' bytes as they lie in memory: no padding, and
   little endian on every platform the runtime targets */
static_assert(sizeof(GlyphRange) == 12 && sizeof(GlyphEntry) == 20 && sizeof(GlyphShape) == 32 &&
              sizeof(GlyphBand) == 8 && sizeof(GlyphCurve) == 24 && sizeof(KerningPair) == 12);

namespace {

template<class T> void put(std::vector<char>& out, std::size_t offset, const T& value) {
    std::memcpy(out.data() + offset, &value, sizeof(T));
}

template<class T> T get(std::span<const char> data, std::size_t offset) {
    T value;
    std::memcpy(&value, data.data() + offset, sizeof(T));
    return value;
}

template<class T> void putSection(std::vector<char>& out, const std::vector<T>& items) {
    const char* bytes = reinterpret_cast<const char*>(items.data());
    out.insert(out.end(), bytes, bytes + items.size()*sizeof(T));
}

template<class T> void getSection(std::span<const char> data, std::size_t offset, std::size_t count, std::vector<T>& items) {
    items.resize(count);
    if(count) std::memcpy(items.data(), data.data() + offset, count*sizeof(T));
}

/* Element counts and offsets of the sections, in layout order */
enum Section { Ranges, Glyphs, Shapes, Bands, Entries, Curves, Kerning, SectionCount };
constexpr std::size_t ElementSizes[SectionCount]{sizeof(GlyphRange), sizeof(GlyphEntry), sizeof(GlyphShape),
    sizeof(GlyphBand), 4, sizeof(GlyphCurve), sizeof(KerningPair)};
/* Where each section's count sits in the header */
constexpr std::size_t CountOffsets[SectionCount]{16, 20, 24, 32, 36, 28, 40};

struct Layout {
    std::uint64_t counts[SectionCount];
    std::size_t offsets[SectionCount];
};

/* The sections of whole glyph data of this version: magic, version, sizes
   and hash checked */
std::optional<Layout> layoutOf(std::span<const char> data) {
    if(data.size() < GlyphDataHeaderSize || std::memcmp(data.data(), "ZFNT", 4) != 0 ||
       get<std::uint16_t>(data, 4) != GlyphDataVersion || get<std::uint32_t>(data, 8) != data.size())
        return {};
    Layout l;
    std::uint64_t offset = GlyphDataHeaderSize;
    for(std::size_t i = 0; i != SectionCount; ++i) {
        l.counts[i] = get<std::uint32_t>(data, CountOffsets[i]);
        l.offsets[i] = std::size_t(offset);
        offset += l.counts[i]*ElementSizes[i];
    }
    if(offset != data.size() ||
       get<std::uint64_t>(data, 80) != XXH3_64bits(data.data() + GlyphDataHeaderSize, data.size() - GlyphDataHeaderSize))
        return {};
    return l;
}

template<class T> T element(std::span<const char> data, const Layout& l, Section section, std::size_t i) {
    return get<T>(data, l.offsets[section] + i*sizeof(T));
}

/* Every index points inside its array, so a reader can follow them blindly */
bool indicesValid(std::span<const char> data, const Layout& l) {
    for(std::size_t i = 0; i != l.counts[Ranges]; ++i) {
        const auto r = element<GlyphRange>(data, l, Ranges, i);
        if(r.last < r.first || std::uint64_t(r.firstGlyph) + (r.last - r.first) + 1 > l.counts[Glyphs]) return false;
    }
    for(std::size_t i = 0; i != l.counts[Shapes]; ++i) {
        const auto s = element<GlyphShape>(data, l, Shapes, i);
        if(std::uint64_t(s.firstCurve) + s.curveCount > l.counts[Curves] ||
           std::uint64_t(s.firstBand) + s.horizontalBandCount + s.verticalBandCount > l.counts[Bands]) return false;
    }
    for(std::size_t i = 0; i != l.counts[Bands]; ++i) {
        const auto b = element<GlyphBand>(data, l, Bands, i);
        if(std::uint64_t(b.firstEntry) + b.entryCount > l.counts[Entries]) return false;
    }
    for(std::size_t i = 0; i != l.counts[Entries]; ++i)
        if(element<std::uint32_t>(data, l, Entries, i) >= l.counts[Curves]) return false;
    return true;
}

}

bool isGlyphData(std::span<const char> data) {
    const std::optional<Layout> layout = layoutOf(data);
    return layout && indicesValid(data, *layout);
}

std::vector<char> createGlyphData(const GlyphDataView& c) {
    const std::size_t size = GlyphDataHeaderSize + c.ranges.size()*sizeof(GlyphRange) + c.glyphs.size()*sizeof(GlyphEntry) +
        c.shapes.size()*sizeof(GlyphShape) + c.bands.size()*sizeof(GlyphBand) + c.bandEntries.size()*4 +
        c.curves.size()*sizeof(GlyphCurve) + c.kerning.size()*sizeof(KerningPair);
    /* The header is zeroed and filled in place; the sections are appended,
       so the bulk of the array is written once */
    std::vector<char> out;
    out.reserve(size);
    out.resize(GlyphDataHeaderSize, 0);
    std::memcpy(out.data(), "ZFNT", 4);
    put(out, 4, GlyphDataVersion);
    put(out, 8, std::uint32_t(size));
    put(out, 12, c.options);
    put(out, 16, std::uint32_t(c.ranges.size()));
    put(out, 20, std::uint32_t(c.glyphs.size()));
    put(out, 24, std::uint32_t(c.shapes.size()));
    put(out, 28, std::uint32_t(c.curves.size()));
    put(out, 32, std::uint32_t(c.bands.size()));
    put(out, 36, std::uint32_t(c.bandEntries.size()));
    put(out, 40, std::uint32_t(c.kerning.size()));
    std::memcpy(out.data() + 44, c.effectType.data(), 4);
    put(out, 48, c.effectDistance);
    const FontMetrics& m = c.metrics;
    std::size_t offset = 52;
    for(float f: {m.unitsPerEm, m.ascender, m.descender, m.lineHeight, m.underlinePosition, m.underlineThickness}) {
        put(out, offset, f);
        offset += 4;
    }
    put(out, 76, m.glyphCount);

    putSection(out, c.ranges);
    putSection(out, c.glyphs);
    putSection(out, c.shapes);
    putSection(out, c.bands);
    putSection(out, c.bandEntries);
    putSection(out, c.curves);
    putSection(out, c.kerning);
    put(out, 80, std::uint64_t(XXH3_64bits(out.data() + GlyphDataHeaderSize, size - GlyphDataHeaderSize)));
    return out;
}

std::optional<GlyphDataView> readGlyphData(std::span<const char> data) {
    const std::optional<Layout> layout = layoutOf(data);
    if(!layout || !indicesValid(data, *layout)) return {};
    const Layout& l = *layout;

    GlyphDataView v;
    v.options = get<std::uint32_t>(data, 12);
    std::memcpy(v.effectType.data(), data.data() + 44, 4);
    v.effectDistance = get<float>(data, 48);
    float* metrics[]{&v.metrics.unitsPerEm, &v.metrics.ascender, &v.metrics.descender, &v.metrics.lineHeight,
                     &v.metrics.underlinePosition, &v.metrics.underlineThickness};
    for(std::size_t i = 0; i != 6; ++i) *metrics[i] = get<float>(data, 52 + 4*i);
    v.metrics.glyphCount = get<std::uint32_t>(data, 76);

    getSection(data, l.offsets[Ranges], l.counts[Ranges], v.ranges);
    getSection(data, l.offsets[Glyphs], l.counts[Glyphs], v.glyphs);
    getSection(data, l.offsets[Shapes], l.counts[Shapes], v.shapes);
    getSection(data, l.offsets[Bands], l.counts[Bands], v.bands);
    getSection(data, l.offsets[Entries], l.counts[Entries], v.bandEntries);
    getSection(data, l.offsets[Curves], l.counts[Curves], v.curves);
    getSection(data, l.offsets[Kerning], l.counts[Kerning], v.kerning);
    return v;
}

}}
