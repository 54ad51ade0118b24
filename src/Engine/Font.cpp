#include "Engine/Font.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_FONT_FORMATS_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

namespace ZandelleEngine { namespace Font {

/* Code point ranges */

std::vector<CodePointRange> codePointRanges(std::string_view utf8) {
    std::vector<CodePointRange> ranges;
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t size = utf8.size();
    for(std::size_t i = 0; i < size;) {
        const unsigned char lead = s[i];
        /* Five- and six-byte forms lie above U+10FFFF */
        if(lead >= 0xF8) break;
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xC0 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        std::uint32_t c = length == 1 ? lead : length ? lead & (0x7F >> length) : 0xFFFD;
        std::size_t used = 1;
        /* A malformed or cut short sequence counts once, with the bytes it had */
        for(; used < length; ++used) {
            if(i + used >= size || (s[i + used] & 0xC0) != 0x80) { c = 0xFFFD; break; }
            c = (c << 6) | (s[i + used] & 0x3F);
        }
        i += used;
        if(c > 0x10FFFF) break;
        if(!ranges.empty() && c == ranges.back().last + 1) ranges.back().last = c;
        else ranges.push_back({c, c});
    }
    return ranges;
}

namespace {

struct P {
    double x, y;
    P operator+(P o) const { return {x + o.x, y + o.y}; }
    P operator-(P o) const { return {x - o.x, y - o.y}; }
    P operator*(double f) const { return {x*f, y*f}; }
};
double dot(P a, P b) { return a.x*b.x + a.y*b.y; }
double cross(P a, P b) { return a.x*b.y - a.y*b.x; }
double length(P a) { return std::sqrt(dot(a, a)); }
P normalized(P a) { const double l = length(a); return l > 0.0 ? a*(1.0/l) : P{0.0, 0.0}; }
P mid(P a, P b) { return (a + b)*0.5; }

struct Quad { P p0, p1, p2; };

Quad line(P a, P b) { return {a, mid(a, b), b}; }

/* Tangents at the start and the end of a quadratic, falling back to the chord
   where the control point sits on an end point */
P startTangent(const Quad& q) { P t = q.p1 - q.p0; return dot(t, t) > 0.0 ? t : q.p2 - q.p0; }
P endTangent(const Quad& q) { P t = q.p2 - q.p1; return dot(t, t) > 0.0 ? t : q.p2 - q.p0; }

/* A quadratic with control point (3(c1 + c2) - (p0 + p3))/4 stays within
   sqrt(3)/36 |p3 - 3 c2 + 3 c1 - p0| of the cubic; cutting the cubic into n
   equal parameter steps divides that third difference by n^3 */
void cubicToQuadratics(P p0, P c1, P c2, P p3, double tolerance, std::vector<Quad>& out) {
    const double d = length(p3 - c2*3.0 + c1*3.0 - p0);
    const double error = std::sqrt(3.0)/36.0*d;
    const int n = error <= tolerance ? 1 : std::min(64, int(std::ceil(std::cbrt(error/tolerance))));
    /* Evaluate the cubic and its derivative at each cut, and build each
       piece's control points from them */
    auto at = [&](double t) {
        const double u = 1.0 - t;
        return p0*(u*u*u) + c1*(3.0*u*u*t) + c2*(3.0*u*t*t) + p3*(t*t*t);
    };
    auto derivative = [&](double t) {
        const double u = 1.0 - t;
        return (c1 - p0)*(3.0*u*u) + (c2 - c1)*(6.0*u*t) + (p3 - c2)*(3.0*t*t);
    };
    P a = p0;
    P da = derivative(0.0);
    for(int i = 1; i <= n; ++i) {
        const double t = double(i)/n, h = 1.0/n;
        const P b = i == n ? p3 : at(t);
        const P db = derivative(t);
        /* The piece as a cubic: a, a + da h/3, b - db h/3, b */
        const P pc1 = a + da*(h/3.0), pc2 = b - db*(h/3.0);
        out.push_back({a, (pc1*3.0 + pc2*3.0 - a - b)*0.25, b});
        a = b;
        da = db;
    }
}

/* Collects the contours of one glyph outline as quadratics */
struct Decomposer {
    std::vector<Quad> quads;
    std::vector<std::size_t> contourStarts;
    P current{0.0, 0.0};
    double tolerance = 0.0;
    bool splitCubics = true;

    static P point(const FT_Vector* v) { return {double(v->x), double(v->y)}; }

    static int moveTo(const FT_Vector* to, void* user) {
        auto& d = *static_cast<Decomposer*>(user);
        d.contourStarts.push_back(d.quads.size());
        d.current = point(to);
        return 0;
    }
    static int lineTo(const FT_Vector* to, void* user) {
        auto& d = *static_cast<Decomposer*>(user);
        const P p = point(to);
        if(p.x != d.current.x || p.y != d.current.y) d.quads.push_back(line(d.current, p));
        d.current = p;
        return 0;
    }
    static int conicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
        auto& d = *static_cast<Decomposer*>(user);
        const P p = point(to);
        d.quads.push_back({d.current, point(control), p});
        d.current = p;
        return 0;
    }
    static int cubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
        auto& d = *static_cast<Decomposer*>(user);
        if(!d.splitCubics) return 1;
        const P p = point(to);
        cubicToQuadratics(d.current, point(c1), point(c2), p, d.tolerance, d.quads);
        d.current = p;
        return 0;
    }
};

constexpr FT_Outline_Funcs DecomposeFuncs{&Decomposer::moveTo, &Decomposer::lineTo, &Decomposer::conicTo, &Decomposer::cubicTo, 0, 0};

/* Outline widening. The outward normal of a direction t is to the right of t
   when the glyph fills to the left of its contours (counter-clockwise outer
   contours), else to the left. */
struct Widener {
    double distance;
    double side;        /* +1 when filled to the left */
    std::vector<Quad> out;

    P normal(P t) const { return normalized(P{t.y, -t.x}*side); }

    /* Curves that turn more than ~30 degrees are halved first, so that one
       offset control point follows them closely */
    void split(const Quad& q, std::vector<Quad>& pieces, int depth) const {
        const P t0 = normalized(startTangent(q)), t1 = normalized(endTangent(q));
        if(depth < 4 && dot(t0, t1) < 0.866) {
            const P a = mid(q.p0, q.p1), b = mid(q.p1, q.p2), m = mid(a, b);
            split({q.p0, a, m}, pieces, depth + 1);
            split({m, b, q.p2}, pieces, depth + 1);
        } else pieces.push_back(q);
    }

    Quad offset(const Quad& q) const {
        const P t0 = startTangent(q), t1 = endTangent(q);
        const P a = q.p0 + normal(t0)*distance, c = q.p2 + normal(t1)*distance;
        /* The control point where the two offset tangents meet */
        const double denominator = cross(t0, t1);
        if(std::abs(denominator) > 1e-9*length(t0)*length(t1)) {
            const double s = cross(c - a, t1)/denominator;
            const P control = a + t0*s;
            if(length(control - q.p1) < 4.0*distance + length(q.p2 - q.p0)) return {a, control, c};
        }
        return {a, mid(a, c), c};
    }

    /* Joins the end of one offset curve to the start of the next around the
       original corner point: a mitre (or a bevel past a mitre length of four
       distances) outside, the corner point itself inside */
    void join(P corner, P tangentIn, P tangentOut, P from, P to) {
        if(length(to - from) <= 1e-9*distance) return;
        const P n1 = normal(tangentIn), n2 = normal(tangentOut);
        if(cross(tangentIn, tangentOut)*side > 0.0) {
            const double c = 1.0 + dot(n1, n2);
            if(c >= 2.0/16.0) {
                const P mitre = corner + (n1 + n2)*(distance/c);
                out.push_back(line(from, mitre));
                out.push_back(line(mitre, to));
            } else out.push_back(line(from, to));
        } else {
            out.push_back(line(from, corner));
            out.push_back(line(corner, to));
        }
    }

    void contour(const Quad* begin, const Quad* end) {
        std::vector<Quad> pieces;
        for(const Quad* q = begin; q != end; ++q) split(*q, pieces, 0);
        if(pieces.empty()) return;
        std::vector<Quad> offsets;
        offsets.reserve(pieces.size());
        for(const Quad& q: pieces) offsets.push_back(offset(q));
        for(std::size_t i = 0; i != pieces.size(); ++i) {
            out.push_back(offsets[i]);
            const std::size_t next = (i + 1) % pieces.size();
            join(pieces[i].p2, endTangent(pieces[i]), startTangent(pieces[next]), offsets[i].p2, offsets[next].p0);
        }
    }
};

/* Twice the signed area enclosed by the quadratics: positive when the outer
   contours run counter-clockwise */
double signedArea(const std::vector<Quad>& quads) {
    double area = 0.0;
    for(const Quad& q: quads)
        area += cross(q.p0, q.p2) + 2.0/3.0*(cross(q.p0, q.p1) + cross(q.p1, q.p2) - cross(q.p0, q.p2));
    return area;
}

/* Kerning pairs of the "kern" table (format 0 subtables of horizontal,
   non-minimum, non-cross-stream kerning) between glyphs that @p wanted
   holds, keyed by left << 16 | right glyph */
std::unordered_map<std::uint32_t, std::int32_t> readKernTable(FT_Face face, const std::unordered_map<std::uint32_t, std::vector<std::uint32_t>>& wanted) {
    std::unordered_map<std::uint32_t, std::int32_t> pairs;
    FT_ULong size = 0;
    if(FT_Load_Sfnt_Table(face, TTAG_kern, 0, nullptr, &size) || size < 4) return pairs;
    std::vector<unsigned char> t(size);
    if(FT_Load_Sfnt_Table(face, TTAG_kern, 0, t.data(), &size)) return pairs;
    auto u16 = [&](std::size_t at) { return std::uint32_t(t[at] << 8 | t[at + 1]); };
    if(u16(0) != 0) return pairs;
    const std::uint32_t tables = u16(2);
    /* Glyph ids of the table are 16-bit: a flag per id answers whether a
       pair is wanted without hashing, for tables of thousands of pairs */
    std::vector<char> isWanted(0x10000, 0);
    for(const auto& entry: wanted) if(entry.first < isWanted.size()) isWanted[entry.first] = 1;
    std::size_t at = 4;
    for(std::uint32_t i = 0; i != tables && at + 14 <= size; ++i) {
        const std::uint32_t length = u16(at + 2), coverage = u16(at + 4);
        if(coverage >> 8 != 0) {
            if(length < 6) break;
            at += length;
            continue;
        }
        const std::uint32_t count = u16(at + 6);
        /* The 16-bit length overflows for large subtables; the pair count
           says how long a format 0 subtable is */
        const std::size_t end = at + 14 + std::size_t(count)*6;
        if((coverage & 0x7) == 0x1 && end <= size) {
            for(std::size_t p = at + 14; p != end; p += 6) {
                if(!isWanted[u16(p)] || !isWanted[u16(p + 2)]) continue;
                const std::int32_t value = std::int16_t(u16(p + 4));
                std::int32_t& slot = pairs[u16(p) << 16 | u16(p + 2)];
                slot = coverage & 0x8 ? value : slot + value;
            }
        }
        at = end;
    }
    return pairs;
}

/* A curve on its way into band lists: how far it reaches along the ray, the
   first and last band it meets */
struct BandItem {
    float along;
    std::uint32_t curve;
    std::uint16_t first, last;
};

/* Band lists of one shape along one axis. Each curve goes into every band
   its extent across the bands meets (widened a little, so that a point on a
   band edge finds it from either side). The curves are sorted once, so
   every band receives them in order. */
void buildBands(const std::vector<Data::GlyphCurve>& curves, std::size_t first, std::size_t count, bool horizontal,
    float low, float high, std::size_t bandCount, Data::GlyphDataView& out, std::vector<BandItem>& items,
    std::vector<std::uint32_t>& sizes)
{
    const float extent = high - low, margin = extent*1e-5f;
    const float perBand = extent > 0.0f ? float(bandCount)/extent : 0.0f;
    items.clear();
    /* Counted as differences, +1 at a curve's first band and -1 past its
       last, and summed once: a tall curve costs two writes, not one per
       band */
    sizes.assign(bandCount + 1, 0);
    for(std::size_t i = first; i != first + count; ++i) {
        const Data::GlyphCurve& c = curves[i];
        /* Across the bands: y for horizontal bands; along the ray: x */
        const float a0 = horizontal ? c.y0 : c.x0, a1 = horizontal ? c.y1 : c.x1, a2 = horizontal ? c.y2 : c.x2;
        if(a0 == a1 && a1 == a2) continue;  /* parallel to the ray */
        const float lo = std::min({a0, a1, a2}) - margin, hi = std::max({a0, a1, a2}) + margin;
        const auto b0 = std::uint16_t(std::clamp((lo - low)*perBand, 0.0f, float(bandCount - 1)));
        const auto b1 = std::uint16_t(std::clamp((hi - low)*perBand, 0.0f, float(bandCount - 1)));
        items.push_back({horizontal ? std::max({c.x0, c.x1, c.x2}) : std::max({c.y0, c.y1, c.y2}), std::uint32_t(i), b0, b1});
        ++sizes[b0];
        --sizes[b1 + 1];
    }
    for(std::size_t band = 1; band != bandCount; ++band) sizes[band] += sizes[band - 1];
    std::sort(items.begin(), items.end(), [](const BandItem& a, const BandItem& b) { return a.along > b.along; });

    /* Each band's entries start where the previous band's end */
    const std::size_t base = out.bandEntries.size();
    std::size_t offset = base;
    for(std::size_t band = 0; band != bandCount; ++band) {
        out.bands.push_back({std::uint32_t(offset), 0});
        offset += sizes[band];
    }
    out.bandEntries.resize(offset);
    Data::GlyphBand* bands = out.bands.data() + out.bands.size() - bandCount;
    for(const BandItem& item: items)
        for(std::size_t band = item.first; band <= item.last; ++band)
            out.bandEntries[bands[band].firstEntry + bands[band].entryCount++] = item.curve;
}

}

struct FontDescription::State {
    std::vector<char> bytes;
    FT_Library library = nullptr;
    FT_Face face = nullptr;

    ~State() {
        if(face) FT_Done_Face(face);
        if(library) FT_Done_FreeType(library);
    }
};

FontDescription::FontDescription() = default;
FontDescription::~FontDescription() = default;

std::unique_ptr<FontDescription> importFont(std::vector<char> bytes) {
    std::unique_ptr<FontDescription> font{new FontDescription};
    font->_state = std::make_unique<FontDescription::State>();
    FontDescription::State& s = *font->_state;
    s.bytes = std::move(bytes);
    if(s.bytes.empty() || FT_Init_FreeType(&s.library)) return nullptr;
    if(FT_New_Memory_Face(s.library, reinterpret_cast<const FT_Byte*>(s.bytes.data()), FT_Long(s.bytes.size()), 0, &s.face))
        return nullptr;
    if(!FT_IS_SCALABLE(s.face) || s.face->units_per_EM == 0) return nullptr;

    const FT_Face f = s.face;
    font->_metrics = {float(f->units_per_EM), float(f->ascender), float(f->descender), float(f->height),
                      float(f->underline_position), float(f->underline_thickness), std::uint32_t(f->num_glyphs)};
    const char* format = FT_Get_Font_Format(f);
    font->_cubic = format && std::strcmp(format, "CFF") == 0;
    return font;
}

namespace {

/* Check: the number of glyphs @p ranges ask for; empty for a reversed range
   or more than 2^24 glyphs */
std::optional<std::size_t> glyphCount(std::span<const CodePointRange> ranges) {
    std::size_t count = 0;
    for(const CodePointRange& r: ranges) {
        if(r.last < r.first) return {};
        count += std::size_t(r.last - r.first) + 1;
    }
    if(count > 0x1000000) return {};
    return count;
}

/* Build: the header of the glyph data, the arrays sized for @p glyphs
   typical glyphs so that they rarely move while they grow */
Data::GlyphDataView glyphDataHeader(const Data::FontMetrics& m, std::uint32_t options, const Effect* effect,
    double scale, double distance, std::size_t glyphs)
{
    Data::GlyphDataView out;
    out.options = options;
    if(options & FontMetrics) {
        out.metrics = {m.unitsPerEm, float(m.ascender*scale), float(m.descender*scale), float(m.lineHeight*scale),
                       float(m.underlinePosition*scale), float(m.underlineThickness*scale), m.glyphCount};
    } else out.metrics.unitsPerEm = m.unitsPerEm;
    if(effect) {
        out.effectType = effect->type;
        out.effectDistance = float(distance*scale);
    }
    out.glyphs.reserve(glyphs);
    out.shapes.reserve(glyphs);
    /* Generous: pages reserved and never written cost no memory, while
       one array outgrowing its room is copied whole (CJK ideographs average
       about 50 curves and 205 band entries) */
    out.curves.reserve(glyphs*64);
    out.bands.reserve(glyphs*32);
    out.bandEntries.reserve(glyphs*256);
    return out;
}

/* Build: appends the curves of one shape, its bounds and its bands */
struct ShapeBuilder {
    Data::GlyphDataView& out;
    std::uint32_t options;
    double scale;
    std::vector<BandItem> bandItems;
    std::vector<std::uint32_t> bandSizes;

    void add(const std::vector<Quad>& quads, std::vector<Data::GlyphShape>& shapes) {
        Data::GlyphShape shape{};
        shape.firstCurve = std::uint32_t(out.curves.size());
        shape.firstBand = std::uint32_t(out.bands.size());
        if(!(options & Curves) || quads.empty()) {
            shapes.push_back(shape);
            return;
        }
        float minX = HUGE_VALF, minY = HUGE_VALF, maxX = -HUGE_VALF, maxY = -HUGE_VALF;
        for(const Quad& q: quads) {
            const Data::GlyphCurve c{float(q.p0.x*scale), float(q.p0.y*scale), float(q.p1.x*scale), float(q.p1.y*scale),
                                     float(q.p2.x*scale), float(q.p2.y*scale)};
            minX = std::min({minX, c.x0, c.x1, c.x2});
            maxX = std::max({maxX, c.x0, c.x1, c.x2});
            minY = std::min({minY, c.y0, c.y1, c.y2});
            maxY = std::max({maxY, c.y0, c.y1, c.y2});
            out.curves.push_back(c);
        }
        shape = {minX, minY, maxX, maxY, shape.firstCurve, std::uint32_t(quads.size()), shape.firstBand, 0, 0};
        /* About four curves per band, at most sixteen bands */
        const std::uint16_t bandCount = std::uint16_t(std::clamp<std::size_t>((quads.size() + 3)/4, 1, 16));
        if(options & HorizontalBands) {
            shape.horizontalBandCount = bandCount;
            buildBands(out.curves, shape.firstCurve, shape.curveCount, true, minY, maxY, bandCount, out, bandItems, bandSizes);
        }
        if(options & VerticalBands) {
            shape.verticalBandCount = bandCount;
            buildBands(out.curves, shape.firstCurve, shape.curveCount, false, minX, maxX, bandCount, out, bandItems, bandSizes);
        }
        shapes.push_back(shape);
    }
};

using GlyphsOfCodePoints = std::unordered_map<std::uint32_t, std::vector<std::uint32_t>>;

/* Read and build: every glyph of @p ranges, its metrics, its shape and,
   with an effect, its widened outline shape after all glyph shapes; the
   code points of each glyph into @p codePointsOfGlyph when given. False
   when the font cannot load or decompose a glyph. */
bool buildGlyphs(FT_Face face, std::span<const CodePointRange> ranges, std::uint32_t options, const Effect* effect,
    double scale, double distance, Data::GlyphDataView& out, GlyphsOfCodePoints* codePointsOfGlyph)
{
    Decomposer decomposer;
    decomposer.tolerance = CubicTolerance*face->units_per_EM;
    decomposer.splitCubics = options & CubicsToQuadratics;
    Widener widener{distance, 1.0, {}};
    ShapeBuilder shapes{out, options, scale, {}, {}};
    std::vector<Data::GlyphShape> outlineShapes;

    for(const CodePointRange& r: ranges) {
        out.ranges.push_back({r.first, r.last, std::uint32_t(out.glyphs.size())});
        for(std::uint64_t c = r.first; c <= r.last; ++c) {
            const FT_UInt glyph = FT_Get_Char_Index(face, FT_ULong(c));
            if(FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE)) return false;
            const FT_GlyphSlot slot = face->glyph;

            decomposer.quads.clear();
            decomposer.contourStarts.clear();
            if(slot->format == FT_GLYPH_FORMAT_OUTLINE && (options & (Curves|OutlineEffect))) {
                if(FT_Outline_Decompose(&slot->outline, &DecomposeFuncs, &decomposer)) return false;
            }

            Data::GlyphEntry entry{std::uint32_t(c), glyph, 0.0f, 0.0f, 0.0f};
            if(options & GlyphMetrics) {
                entry.advance = float(double(slot->metrics.horiAdvance)*scale);
                entry.bearingX = float(double(slot->metrics.horiBearingX)*scale);
                entry.bearingY = float(double(slot->metrics.horiBearingY)*scale);
            }
            out.glyphs.push_back(entry);
            if(codePointsOfGlyph) (*codePointsOfGlyph)[glyph].push_back(std::uint32_t(c));

            shapes.add(decomposer.quads, out.shapes);
            if(effect) {
                widener.out.clear();
                widener.side = signedArea(decomposer.quads) >= 0.0 ? 1.0 : -1.0;
                decomposer.contourStarts.push_back(decomposer.quads.size());
                for(std::size_t i = 0; i + 1 < decomposer.contourStarts.size(); ++i)
                    widener.contour(decomposer.quads.data() + decomposer.contourStarts[i],
                                    decomposer.quads.data() + decomposer.contourStarts[i + 1]);
                shapes.add(widener.out, outlineShapes);
            }
        }
    }
    out.shapes.insert(out.shapes.end(), outlineShapes.begin(), outlineShapes.end());
    return true;
}

/* Store: the kerning pairs between the code points built, sorted by left
   then right code point, each pair once */
void addKerning(FT_Face face, const GlyphsOfCodePoints& codePointsOfGlyph, double scale, Data::GlyphDataView& out) {
    for(const auto& [pair, value]: readKernTable(face, codePointsOfGlyph)) {
        if(value == 0) continue;
        const auto left = codePointsOfGlyph.find(pair >> 16), right = codePointsOfGlyph.find(pair & 0xFFFF);
        if(left == codePointsOfGlyph.end() || right == codePointsOfGlyph.end()) continue;
        for(std::uint32_t l: left->second) for(std::uint32_t r: right->second)
            out.kerning.push_back({l, r, float(value*scale)});
    }
    std::sort(out.kerning.begin(), out.kerning.end(), [](const auto& a, const auto& b) {
        return a.left != b.left ? a.left < b.left : a.right < b.right;
    });
    out.kerning.erase(std::unique(out.kerning.begin(), out.kerning.end(), [](const auto& a, const auto& b) {
        return a.left == b.left && a.right == b.right;
    }), out.kerning.end());
}

}

std::optional<std::vector<char>> buildGlyphData(FontDescription& font, std::span<const CodePointRange> ranges,
    std::uint32_t options, const Effect* effect)
{
    if(options & ~KnownOptions) return {};
    if(bool(options & OutlineEffect) != bool(effect)) return {};
    if(effect && std::memcmp(effect->type.data(), "DNOR", 4) != 0) return {};

    static constexpr CodePointRange Printable[]{{0x20, 0x7E}};
    if(ranges.empty()) ranges = Printable;
    const std::optional<std::size_t> glyphs = glyphCount(ranges);
    if(!glyphs) return {};

    const FT_Face face = font._state->face;
    const double unitsPerEm = face->units_per_EM;
    const double scale = options & FontUnits ? 1.0 : 1.0/unitsPerEm;
    const double distance = effect ? double(effect->size)*double(effect->scale)*unitsPerEm : 0.0;
    Data::GlyphDataView out = glyphDataHeader(font._metrics, options, effect, scale, distance, *glyphs);

    const bool kerning = (options & Kerning) && FT_HAS_KERNING(face);
    GlyphsOfCodePoints codePointsOfGlyph;
    if(!buildGlyphs(face, ranges, options, effect, scale, distance, out, kerning ? &codePointsOfGlyph : nullptr))
        return {};
    if(kerning) addKerning(face, codePointsOfGlyph, scale, out);
    return Data::createGlyphData(out);
}

void appendCubicAsQuadratics(const double p0[2], const double c1[2], const double c2[2], const double p3[2],
    double tolerance, std::vector<Data::GlyphCurve>& out)
{
    std::vector<Quad> quads;
    cubicToQuadratics({p0[0], p0[1]}, {c1[0], c1[1]}, {c2[0], c2[1]}, {p3[0], p3[1]}, tolerance, quads);
    for(const Quad& q: quads)
        out.push_back({float(q.p0.x), float(q.p0.y), float(q.p1.x), float(q.p1.y), float(q.p2.x), float(q.p2.y)});
}

}}
