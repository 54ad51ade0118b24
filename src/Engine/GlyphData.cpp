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

template<class T> void putSection(std::vector<char>& out, std::size_t& offset, const std::vector<T>& items) {
    if(items.empty()) return;
    std::memcpy(out.data() + offset, items.data(), items.size()*sizeof(T));
    offset += items.size()*sizeof(T);
}

template<class T> void getSection(std::span<const char> data, std::size_t& offset, std::size_t count, std::vector<T>& items) {
    items.resize(count);
    if(count) std::memcpy(items.data(), data.data() + offset, count*sizeof(T));
    offset += count*sizeof(T);
}

/* Every index points inside its array, so a reader can follow them blindly */
bool indicesValid(const GlyphDataView& v) {
    for(const GlyphRange& r: v.ranges)
        if(r.last < r.first || std::uint64_t(r.firstGlyph) + (r.last - r.first) + 1 > v.glyphs.size()) return false;
    for(const GlyphShape& s: v.shapes) {
        if(std::uint64_t(s.firstCurve) + s.curveCount > v.curves.size()) return false;
        if(std::uint64_t(s.firstBand) + s.horizontalBandCount + s.verticalBandCount > v.bands.size()) return false;
    }
    for(const GlyphBand& b: v.bands)
        if(std::uint64_t(b.firstEntry) + b.entryCount > v.bandEntries.size()) return false;
    for(std::uint32_t e: v.bandEntries)
        if(e >= v.curves.size()) return false;
    return true;
}

}

std::vector<char> createGlyphData(const GlyphDataView& c) {
    const std::size_t size = GlyphDataHeaderSize + c.ranges.size()*sizeof(GlyphRange) + c.glyphs.size()*sizeof(GlyphEntry) +
        c.shapes.size()*sizeof(GlyphShape) + c.bands.size()*sizeof(GlyphBand) + c.bandEntries.size()*4 +
        c.curves.size()*sizeof(GlyphCurve) + c.kerning.size()*sizeof(KerningPair);
    std::vector<char> out(size, 0);
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

    offset = GlyphDataHeaderSize;
    putSection(out, offset, c.ranges);
    putSection(out, offset, c.glyphs);
    putSection(out, offset, c.shapes);
    putSection(out, offset, c.bands);
    putSection(out, offset, c.bandEntries);
    putSection(out, offset, c.curves);
    putSection(out, offset, c.kerning);
    put(out, 80, std::uint64_t(XXH3_64bits(out.data() + GlyphDataHeaderSize, size - GlyphDataHeaderSize)));
    return out;
}

std::optional<GlyphDataView> readGlyphData(std::span<const char> data) {
    if(data.size() < GlyphDataHeaderSize || std::memcmp(data.data(), "ZFNT", 4) != 0 ||
       get<std::uint16_t>(data, 4) != GlyphDataVersion || get<std::uint32_t>(data, 8) != data.size())
        return {};

    std::uint64_t counts[7];
    for(std::size_t i = 0; i != 7; ++i) counts[i] = get<std::uint32_t>(data, 16 + 4*i);
    const std::uint64_t expected = GlyphDataHeaderSize + counts[0]*sizeof(GlyphRange) + counts[1]*sizeof(GlyphEntry) +
        counts[2]*sizeof(GlyphShape) + counts[4]*sizeof(GlyphBand) + counts[5]*4 + counts[3]*sizeof(GlyphCurve) +
        counts[6]*sizeof(KerningPair);
    if(expected != data.size() ||
       get<std::uint64_t>(data, 80) != XXH3_64bits(data.data() + GlyphDataHeaderSize, data.size() - GlyphDataHeaderSize))
        return {};

    GlyphDataView v;
    v.options = get<std::uint32_t>(data, 12);
    std::memcpy(v.effectType.data(), data.data() + 44, 4);
    v.effectDistance = get<float>(data, 48);
    float* metrics[]{&v.metrics.unitsPerEm, &v.metrics.ascender, &v.metrics.descender, &v.metrics.lineHeight,
                     &v.metrics.underlinePosition, &v.metrics.underlineThickness};
    for(std::size_t i = 0; i != 6; ++i) *metrics[i] = get<float>(data, 52 + 4*i);
    v.metrics.glyphCount = get<std::uint32_t>(data, 76);

    std::size_t offset = GlyphDataHeaderSize;
    getSection(data, offset, counts[0], v.ranges);
    getSection(data, offset, counts[1], v.glyphs);
    getSection(data, offset, counts[2], v.shapes);
    getSection(data, offset, counts[4], v.bands);
    getSection(data, offset, counts[5], v.bandEntries);
    getSection(data, offset, counts[3], v.curves);
    getSection(data, offset, counts[6], v.kerning);
    if(!indicesValid(v)) return {};
    return v;
}

}}
