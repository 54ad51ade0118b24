#include "Editor/Json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include <fmt/format.h>
#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/encodedstream.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace ZandelleEngine { namespace Json {

namespace {

/* Passes every parse event on to the document and stops the reader once
   arrays and objects nest deeper than MaxDepth. With a list of spans, notes
   where the value of each member two levels down starts and ends; the
   reader's stream says how far it read at each event. */
template<class Handler, class Stream> struct DepthLimit {
    using Ch = char;
    DepthLimit(Handler& handler, const Stream& stream, std::string_view text, std::vector<MemberSpan>* spans):
        handler{handler}, stream{stream}, text{text}, spans{spans} {}

    Handler& handler;
    const Stream& stream;
    std::string_view text;
    std::vector<MemberSpan>* spans;
    unsigned depth = 0;
    bool tooDeep = false;
    std::string parent;
    /* Between the key of a member two levels down and the end of its value */
    bool inSpan = false;

    bool Null() { value(); return handler.Null(); }
    bool Bool(bool b) { value(); return handler.Bool(b); }
    bool Int(int i) { value(); return handler.Int(i); }
    bool Uint(unsigned i) { value(); return handler.Uint(i); }
    bool Int64(std::int64_t i) { value(); return handler.Int64(i); }
    bool Uint64(std::uint64_t i) { value(); return handler.Uint64(i); }
    bool Double(double d) { value(); return handler.Double(d); }
    bool RawNumber(const Ch* s, rapidjson::SizeType n, bool copy) { value(); return handler.RawNumber(s, n, copy); }
    bool String(const Ch* s, rapidjson::SizeType n, bool copy) { value(); return handler.String(s, n, copy); }
    bool Key(const Ch* s, rapidjson::SizeType n, bool copy) {
        if(spans && depth == 1) parent.assign(s, n);
        if(spans && depth == 2) {
            /* The value starts after the colon and any white space */
            std::size_t begin = stream.Tell();
            while(begin < text.size() && (text[begin] == ':' || text[begin] == ' ' || text[begin] == '\t' ||
                  text[begin] == '\n' || text[begin] == '\r')) ++begin;
            spans->push_back({parent, std::string{s, n}, begin, begin});
            inSpan = true;
        }
        return handler.Key(s, n, copy);
    }
    bool StartObject() { return enter() && handler.StartObject(); }
    bool EndObject(rapidjson::SizeType n) { leave(); return handler.EndObject(n); }
    bool StartArray() { return enter() && handler.StartArray(); }
    bool EndArray(rapidjson::SizeType n) { leave(); return handler.EndArray(n); }

    bool enter() {
        tooDeep = ++depth > MaxDepth;
        return !tooDeep;
    }
    /* The reader ends an array or object before it takes the bracket */
    void leave() {
        --depth;
        value(1);
    }
    /* A value that ends at the second level closes the open span; the
       elements of an array there are no members */
    void value(std::size_t notYetTaken = 0) {
        if(!inSpan || depth != 2) return;
        spans->back().end = stream.Tell() + notYetTaken;
        inSpan = false;
    }
};

/* Whether RapidJSON 1.1 reads the digits of @p number (without its sign)
   into a 64-bit significand that overflows to zero: its first twenty
   significant digits make 2^64 - 1 and the next one rounds it up */
bool overflowsSignificand(std::string_view number) {
    constexpr std::string_view Largest = "18446744073709551615";
    std::size_t matched = 0;
    for(const char c: number) {
        if(c == 'e' || c == 'E') break;
        if(c == '.' || (c == '0' && matched == 0)) continue;
        if(matched == Largest.size()) return c >= '5';
        if(c != Largest[matched++]) return false;
    }
    return false;
}

/* RapidJSON 1.1 goes through undefined behaviour on four kinds of number:
   a fractional number whose digits are all zeros, when it has an exponent
   ("0e100") or many digits ("0.000…"), goes through __builtin_clzll(0); a
   number far below the smallest double ("0.000…0001" with 400 zeros) and
   one of many digits far beyond the largest read past the ends of its table
   of powers of ten; one whose digits start with 2^64 - 1 overflows its
   significand. The first two are zero and are rewritten as "0.0" (or
   "-0.0"), the third as "1e999", which it refuses as too big at once, the
   last as the shortest text of the same double; each
   padded with spaces, so the text keeps its length and error offsets stay
   right. Only numbers of the JSON grammar are rewritten, so that nothing
   invalid becomes valid. Null when the text has no such number. */
std::optional<std::string> withZeroNumbersSimplified(std::string_view text) {
    auto digit = [&](std::size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
    std::optional<std::string> out;
    bool inString = false;
    for(std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if(inString) {
            if(c == '\\') ++i;
            else if(c == '"') inString = false;
            continue;
        }
        if(c == '"') inString = true;
        if(c != '-' && !digit(i)) continue;
        const bool negative = c == '-';
        std::size_t j = i + negative;
        const std::size_t integer = j;
        bool zero = true, valid = true, fractional = false;
        for(; digit(j); ++j) zero &= text[j] == '0';
        /* The power of ten just above the number's first significant digit:
           the digits before the point with leading zeros left out, or minus
           the zeros after the point that lead its fraction, plus the exponent */
        long magnitude = integer < text.size() && text[integer] == '0' ? 0 : long(j - integer);
        /* One integer digit when it is a zero, as the grammar says */
        valid = j > integer && (text[integer] != '0' || j == integer + 1);
        if(j < text.size() && text[j] == '.') {
            fractional = true;
            const std::size_t first = ++j;
            for(; digit(j); ++j) {
                if(zero && text[j] == '0') --magnitude;
                zero &= text[j] == '0';
            }
            valid &= j > first;
        }
        if(j < text.size() && (text[j] == 'e' || text[j] == 'E')) {
            fractional = true;
            const bool negativeExponent = ++j < text.size() && text[j] == '-';
            if(j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
            const std::size_t first = j;
            long exponent = 0;
            for(; digit(j); ++j) if(exponent < 1000000000000000) exponent = exponent*10 + (text[j] - '0');
            magnitude += negativeExponent ? -exponent : exponent;
            valid &= j > first;
        }
        const std::string_view tooBig = negative ? "-1e999" : "1e999";
        if(!zero && valid && magnitude > 310 && j - i >= tooBig.size()) {
            if(!out) out.emplace(text);
            out->replace(i, j - i, std::string{tooBig} + std::string(j - i - tooBig.size(), ' '));
            i = j - 1;
            continue;
        }
        /* Below 1e-324 a number rounds to zero */
        if(!zero && valid && magnitude <= -324) zero = true;
        /* Glued to what follows (an invalid text such as "0e0e1"), "0.0"
           would make a new number with it: a plain zero keeps them apart */
        const bool glued = j < text.size() && std::string_view{"0123456789.eE+-"}.find(text[j]) != std::string_view::npos;
        if(!zero && valid && overflowsSignificand(text.substr(integer, j - integer))) {
            /* Written again as the shortest text of the same double, which
               has at most 17 significant digits; in a text that is invalid
               anyway, a zero keeps the error where it was */
            char shortest[32];
            double value = 0.0;
            const auto read = std::from_chars(text.data() + i, text.data() + j, value);
            const std::to_chars_result written = std::to_chars(std::begin(shortest), std::end(shortest), value);
            std::string_view replacement{shortest, std::size_t(written.ptr - shortest)};
            if(glued || read.ec != std::errc{} || written.ec != std::errc{} || replacement.size() > j - i)
                replacement = negative ? "-0" : "0";
            if(!out) out.emplace(text);
            out->replace(i, j - i, std::string{replacement} + std::string(j - i - replacement.size(), ' '));
            i = j - 1;
            continue;
        }
        const std::string_view simple = glued ? (negative ? "-0" : "0") : (negative ? "-0.0" : "0.0");
        if(zero && valid && fractional && j - i >= simple.size()) {
            if(!out) out.emplace(text);
            out->replace(i, j - i, std::string{simple} + std::string(j - i - simple.size(), ' '));
        }
        i = j - 1;
    }
    return out;
}

}

namespace {

std::optional<std::string> parse(JsonDocument& document, std::string_view text, std::vector<MemberSpan>* spans) {
    const std::optional<std::string> rewritten = withZeroNumbersSimplified(text);
    /* The rewrite keeps every offset, so spans index the original text */
    const std::string_view read = rewritten ? std::string_view{*rewritten} : text;
    rapidjson::ParseResult result;
    bool tooDeep = false;
    const auto generate = [&](JsonDocument& handler) {
        rapidjson::MemoryStream memory{read.data(), read.size()};
        using Stream = rapidjson::EncodedInputStream<rapidjson::UTF8<>, rapidjson::MemoryStream>;
        Stream stream{memory};
        DepthLimit<JsonDocument, Stream> limit{handler, stream, read, spans};
        rapidjson::Reader reader;
        result = reader.Parse<rapidjson::kParseIterativeFlag|rapidjson::kParseFullPrecisionFlag>(stream, limit);
        tooDeep = limit.tooDeep;
        return !result.IsError();
    };
    document.Populate(generate);
    if(!result.IsError()) return {};
    if(spans) spans->clear();
    if(tooDeep) return fmt::format("Nesting deeper than {} levels. at offset {}", MaxDepth, result.Offset());
    return fmt::format("{} at offset {}", rapidjson::GetParseError_En(result.Code()), result.Offset());
}

}

std::optional<std::string> parse(JsonDocument& document, std::string_view text) {
    return parse(document, text, nullptr);
}

std::optional<std::string> parse(JsonDocument& document, std::string_view text, std::vector<MemberSpan>& spans) {
    spans.clear();
    return parse(document, text, &spans);
}

std::size_t depth(const JsonValue& value) {
    std::vector<std::pair<const JsonValue*, std::size_t>> stack{{&value, 1}};
    std::size_t deepest = 0;
    while(!stack.empty()) {
        const auto [v, level] = stack.back();
        stack.pop_back();
        if(v->IsObject()) {
            deepest = std::max(deepest, level);
            for(const auto& m: v->GetObject()) stack.emplace_back(&m.value, level + 1);
        } else if(v->IsArray()) {
            deepest = std::max(deepest, level);
            for(const JsonValue& e: v->GetArray()) stack.emplace_back(&e, level + 1);
        }
    }
    return deepest;
}

std::string_view asString(const JsonValue* v) {
    if(!v || !v->IsString()) return {};
    return {v->GetString(), v->GetStringLength()};
}

bool asBool(const JsonValue* v, bool d) {
    if(!v || !v->IsBool()) return d;
    return v->GetBool();
}

std::int32_t asInt(const JsonValue* v, std::int32_t d) {
    if(!v || !v->IsNumber()) return d;
    if(v->IsInt()) return v->GetInt();
    if(v->IsDouble()) {
        const double x = v->GetDouble();
        if(std::isfinite(x) && x >= -2147483648.0 && x <= 2147483647.0) return std::int32_t(x);
    }
    return d;
}

std::uint32_t asUnsignedInt(const JsonValue* v, std::uint32_t d) {
    if(!v || !v->IsNumber()) return d;
    if(v->IsUint()) return v->GetUint();
    if(v->IsDouble()) {
        const double x = v->GetDouble();
        if(std::isfinite(x) && x >= 0.0 && x <= 4294967295.0) return std::uint32_t(x);
    }
    return d;
}

float asFloat(const JsonValue* v, float d) {
    if(!v || !v->IsNumber()) return d;
    return float(v->GetDouble());
}

namespace {
template<std::size_t N> void readFloats(const JsonValue* v, float* out) {
    if(!v || !v->IsArray()) return;
    const std::size_t n = std::min<std::size_t>(N, v->Size());
    for(std::size_t i = 0; i != n; ++i) {
        const JsonValue& e = (*v)[rapidjson::SizeType(i)];
        if(e.IsNumber()) out[i] = float(e.GetDouble());
    }
}
}

Vector2 asVector2(const JsonValue* v) { Vector2 r{0.0f}; readFloats<2>(v, &r[0]); return r; }
Vector3 asVector3(const JsonValue* v) { Vector3 r{0.0f}; readFloats<3>(v, &r[0]); return r; }
Vector4 asVector4(const JsonValue* v) { Vector4 r{0.0f}; readFloats<4>(v, &r[0]); return r; }

Quaternion asQuaternion(const JsonValue* v) {
    if(!v || !v->IsArray() || v->Size() < 4) return Quaternion{1.0f, 0.0f, 0.0f, 0.0f};
    float xyzw[4]{0.0f, 0.0f, 0.0f, 1.0f};
    readFloats<4>(v, xyzw);
    return Quaternion{xyzw[3], xyzw[0], xyzw[1], xyzw[2]};
}

Matrix4 asMatrix4(const JsonValue* v) {
    if(!v || !v->IsArray() || v->Size() < 16) return Matrix4{1.0f};
    Matrix4 m{1.0f};
    readFloats<16>(v, &m[0][0]);
    return m;
}

std::vector<std::int32_t> asIntArray(const JsonValue* v) {
    std::vector<std::int32_t> out;
    if(!v || !v->IsArray()) return out;
    for(const JsonValue& e: v->GetArray()) out.push_back(asInt(&e));
    return out;
}

std::vector<std::uint32_t> asUnsignedIntArray(const JsonValue* v) {
    std::vector<std::uint32_t> out;
    if(!v || !v->IsArray()) return out;
    for(const JsonValue& e: v->GetArray()) out.push_back(asUnsignedInt(&e));
    return out;
}

std::vector<float> asFloatArray(const JsonValue* v) {
    std::vector<float> out;
    if(!v || !v->IsArray()) return out;
    for(const JsonValue& e: v->GetArray()) out.push_back(asFloat(&e));
    return out;
}

std::vector<std::string_view> asStringViewArray(const JsonValue* v) {
    std::vector<std::string_view> out;
    if(!v || !v->IsArray()) return out;
    for(const JsonValue& e: v->GetArray()) out.push_back(asString(&e));
    return out;
}

std::string_view elementAsString(const JsonValue* v, std::size_t i) {
    if(!v || !v->IsArray() || i >= v->Size()) return {};
    return asString(&(*v)[rapidjson::SizeType(i)]);
}

std::size_t size(const JsonValue* v) {
    if(!v) return 0;
    if(v->IsArray()) return v->Size();
    if(v->IsObject()) return v->MemberCount();
    return 0;
}

void setString(JsonValue& v, std::string_view value, JsonAllocator& a) {
    v.SetString(value.data(), rapidjson::SizeType(value.size()), a);
}

void setBool(JsonValue& v, bool value) { v.SetBool(value); }

void setInt(JsonValue& v, std::int64_t value) { v.SetInt64(value); }

void setFloat(JsonValue& v, float value) {
    if(!std::isfinite(value)) { v.SetDouble(double(value)); return; }
    /* A float widened to double prints as 0.10000000149011612; the shortest
       text of the float reads back as the same float and prints as 0.1 */
    const std::string text = fmt::format("{}", value);
    v.SetDouble(std::strtod(text.c_str(), nullptr));
}

void setArray(JsonValue& v, const std::vector<std::string>& values, JsonAllocator& a) {
    v.SetArray();
    for(const std::string& s: values) v.PushBack(JsonValue{s.data(), rapidjson::SizeType(s.size()), a}, a);
}

void setArray(JsonValue& v, const std::vector<std::string_view>& values, JsonAllocator& a) {
    v.SetArray();
    for(std::string_view s: values) v.PushBack(JsonValue{s.data(), rapidjson::SizeType(s.size()), a}, a);
}

void setArray(JsonValue& v, const std::vector<std::int32_t>& values, JsonAllocator& a) {
    v.SetArray();
    for(std::int32_t i: values) v.PushBack(JsonValue{i}, a);
}

void setArray(JsonValue& v, const std::vector<float>& values, JsonAllocator& a) {
    v.SetArray();
    for(float f: values) { JsonValue e; setFloat(e, f); v.PushBack(e, a); }
}

void pushBackString(JsonValue& v, std::string_view value, JsonAllocator& a) {
    if(!v.IsArray()) v.SetArray();
    v.PushBack(JsonValue{value.data(), rapidjson::SizeType(value.size()), a}, a);
}

void pushBackStringUnique(JsonValue& v, std::string_view value, JsonAllocator& a) {
    if(v.IsArray()) for(const JsonValue& e: v.GetArray())
        if(asString(&e) == value && e.IsString()) return;
    pushBackString(v, value, a);
}

void eraseElement(JsonValue& v, std::size_t i) {
    if(!v.IsArray() || i >= v.Size()) return;
    v.Erase(v.Begin() + i);
}

JsonValue& addMember(JsonValue& object, std::string_view name, JsonAllocator& a, rapidjson::Type type) {
    object.AddMember(JsonValue{name.data(), rapidjson::SizeType(name.size()), a}, JsonValue{type}, a);
    return (object.MemberEnd() - 1)->value;
}

JsonValue* findOrAddMember(JsonValue& object, std::string_view name, JsonAllocator& a, rapidjson::Type type) {
    if(!object.IsObject()) return nullptr;
    const auto found = object.FindMember(JsonValue{rapidjson::StringRef(name.data(), rapidjson::SizeType(name.size()))});
    return found != object.MemberEnd() ? &found->value : &addMember(object, name, a, type);
}

std::optional<std::string> toString(const JsonValue& value, int options) {
    rapidjson::StringBuffer buffer;
    bool ok;
    if(options & JsonPretty) {
        rapidjson::PrettyWriter<rapidjson::StringBuffer> writer{buffer};
        writer.SetIndent(' ', (options & JsonIndentFour) ? 4 : 2);
        if(options & JsonSingleLineArrays) writer.SetFormatOptions(rapidjson::kFormatSingleLineArray);
        ok = value.Accept(writer);
    } else {
        rapidjson::Writer<rapidjson::StringBuffer> writer{buffer};
        ok = value.Accept(writer);
    }
    if(!ok) return {};
    return std::string{buffer.GetString(), buffer.GetSize()};
}

}}
