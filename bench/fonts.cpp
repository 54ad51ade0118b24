// Glyph data building per glyph, for the 95 printable ASCII characters of a
// TrueType font and 3,000 CJK characters of a font collection, against the
// floor of loading the same glyphs and walking their outlines with FreeType
// alone; and the cache-hit path of the font job (reading the cache file and
// checking it) against the build of the same glyph data.

#include <filesystem>
#include <vector>

#include <benchmark/benchmark.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include "Base/Path.h"
#include "Engine/Font.h"

using namespace ZandelleEngine;

namespace {

constexpr const char* DejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* MicroHei = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
constexpr std::uint32_t Options = 0x1035D;

struct GlyphSet {
    std::vector<char> bytes;
    std::vector<Font::CodePointRange> ranges;
    std::int64_t glyphs = 0;
};

GlyphSet makeAscii() { return {*Path::read(DejaVuSans), {{0x20, 0x7E}}, 95}; }

/* The first 3,000 CJK ideographs that the collection's first face maps */
GlyphSet makeCjk() {
    GlyphSet set{*Path::read(MicroHei), {}, 0};
    FT_Library library;
    FT_Face face;
    FT_Init_FreeType(&library);
    FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(set.bytes.data()), FT_Long(set.bytes.size()), 0, &face);
    for(std::uint32_t c = 0x4E00; set.glyphs != 3000 && c <= 0x9FFF; ++c) {
        if(!FT_Get_Char_Index(face, c)) continue;
        if(!set.ranges.empty() && set.ranges.back().last + 1 == c) set.ranges.back().last = c;
        else set.ranges.push_back({c, c});
        ++set.glyphs;
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return set;
}

const GlyphSet& glyphSet(bool cjk) {
    static const GlyphSet ascii = makeAscii(), ideographs = makeCjk();
    return cjk ? ideographs : ascii;
}

/* Building the glyph data from an opened font */
void Build(benchmark::State& state) {
    const GlyphSet& set = glyphSet(state.range(0));
    std::unique_ptr<Font::FontDescription> font = Font::importFont(set.bytes);
    for(auto _: state) benchmark::DoNotOptimize(Font::buildGlyphData(*font, set.ranges, Options));
    state.SetItemsProcessed(state.iterations()*set.glyphs);
}

/* The floor: FreeType loads the same glyphs unscaled and walks their outlines
   into callbacks that only count */
void FreeTypeDecompose(benchmark::State& state) {
    const GlyphSet& set = glyphSet(state.range(0));
    FT_Library library;
    FT_Face face;
    FT_Init_FreeType(&library);
    FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(set.bytes.data()), FT_Long(set.bytes.size()), 0, &face);
    static const FT_Outline_Funcs count{
        [](const FT_Vector*, void* user) { ++*static_cast<long*>(user); return 0; },
        [](const FT_Vector*, void* user) { ++*static_cast<long*>(user); return 0; },
        [](const FT_Vector*, const FT_Vector*, void* user) { ++*static_cast<long*>(user); return 0; },
        [](const FT_Vector*, const FT_Vector*, const FT_Vector*, void* user) { ++*static_cast<long*>(user); return 0; },
        0, 0};
    for(auto _: state) {
        long segments = 0;
        for(const Font::CodePointRange& r: set.ranges) for(std::uint32_t c = r.first; c <= r.last; ++c) {
            FT_Load_Glyph(face, FT_Get_Char_Index(face, c), FT_LOAD_NO_SCALE);
            FT_Outline_Decompose(&face->glyph->outline, &count, &segments);
        }
        benchmark::DoNotOptimize(segments);
    }
    state.SetItemsProcessed(state.iterations()*set.glyphs);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

/* What the font job does on a cache hit: read the file, check it is whole
   glyph data */
void CacheHit(benchmark::State& state) {
    const GlyphSet& set = glyphSet(state.range(0));
    std::unique_ptr<Font::FontDescription> font = Font::importFont(set.bytes);
    const std::vector<char> data = *Font::buildGlyphData(*font, set.ranges, Options);
    const std::string path = Path::join(std::filesystem::temp_directory_path().generic_string(), "bench-fonts-cache.bin");
    Path::writeAtomic(path, {data.data(), data.size()});
    for(auto _: state) {
        const std::optional<std::vector<char>> bytes = Path::read(path);
        benchmark::DoNotOptimize(Data::isGlyphData(*bytes));
    }
    state.SetItemsProcessed(state.iterations()*set.glyphs);
    Path::remove(path);
}

}

BENCHMARK(FreeTypeDecompose)->Arg(0)->Arg(1)->ArgName("cjk")->Unit(benchmark::kMicrosecond);
BENCHMARK(Build)->Arg(0)->Arg(1)->ArgName("cjk")->Unit(benchmark::kMicrosecond);
BENCHMARK(CacheHit)->Arg(0)->Arg(1)->ArgName("cjk")->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
