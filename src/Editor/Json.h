#pragma once
// Typed access to single JSON values of the project document.
//
// Reads go through a `const JsonValue*` that may be null (no value); a read
// of a missing value or of a value of another kind yields the type's empty
// value: "", false, 0, an empty array, a zero vector, the identity quaternion
// and matrix. Writes replace the value with one allocated from the document's
// allocator.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <rapidjson/document.h>

#include "Base/Export.h"
#include "Base/Assert.h"
#include "Base/Math.h"

namespace ZandelleEngine {

using JsonValue = rapidjson::Value;
using JsonAllocator = rapidjson::MemoryPoolAllocator<>;
using JsonDocument = rapidjson::Document;

namespace Json {

/** Deepest nesting of arrays and objects that parse() accepts */
constexpr unsigned MaxDepth = 512;

/** Parses @p text into @p document, numbers at full precision. Nesting is
    handled without recursion and limited to MaxDepth, so no text can
    exhaust the stack, here or in code that walks the document later. Empty
    on success, otherwise the reason, as in "Invalid value. at offset 13". */
ZANDELLE_EXPORT std::optional<std::string> parse(JsonDocument& document, std::string_view text);

/** Where the value of a member of an object inside the root object lies in
    a parsed text (a record of a section, a group of the settings), as
    offsets [begin, end) */
struct MemberSpan {
    std::string parent, name;
    std::size_t begin, end;
};

/** parse() that also lists, in @p spans, the value of every member of an
    object inside the root object, in the order of the text */
ZANDELLE_EXPORT std::optional<std::string> parse(JsonDocument& document, std::string_view text, std::vector<MemberSpan>& spans);

/** Nesting of arrays and objects in @p value, counted as parse() counts it:
    0 for a scalar, 1 for an array or object of scalars. Walked without
    recursion. */
ZANDELLE_EXPORT std::size_t depth(const JsonValue& value);

ZANDELLE_EXPORT std::string_view asString(const JsonValue* v);
ZANDELLE_EXPORT bool asBool(const JsonValue* v, bool defaultValue = false);
ZANDELLE_EXPORT std::int32_t asInt(const JsonValue* v, std::int32_t defaultValue = 0);
ZANDELLE_EXPORT std::uint32_t asUnsignedInt(const JsonValue* v, std::uint32_t defaultValue = 0);
ZANDELLE_EXPORT float asFloat(const JsonValue* v, float defaultValue = 0.0f);
ZANDELLE_EXPORT Vector2 asVector2(const JsonValue* v);
ZANDELLE_EXPORT Vector3 asVector3(const JsonValue* v);
ZANDELLE_EXPORT Vector4 asVector4(const JsonValue* v);
/** Stored as [x, y, z, w] */
ZANDELLE_EXPORT Quaternion asQuaternion(const JsonValue* v);
/** Sixteen numbers, column by column */
ZANDELLE_EXPORT Matrix4 asMatrix4(const JsonValue* v);
ZANDELLE_EXPORT std::vector<std::int32_t> asIntArray(const JsonValue* v);
ZANDELLE_EXPORT std::vector<std::uint32_t> asUnsignedIntArray(const JsonValue* v);
ZANDELLE_EXPORT std::vector<float> asFloatArray(const JsonValue* v);
ZANDELLE_EXPORT std::vector<std::string_view> asStringViewArray(const JsonValue* v);
ZANDELLE_EXPORT std::string_view elementAsString(const JsonValue* v, std::size_t i);
/** Elements of an array or members of an object, 0 otherwise */
ZANDELLE_EXPORT std::size_t size(const JsonValue* v);

ZANDELLE_EXPORT void setString(JsonValue& v, std::string_view value, JsonAllocator& a);
ZANDELLE_EXPORT void setBool(JsonValue& v, bool value);
ZANDELLE_EXPORT void setInt(JsonValue& v, std::int64_t value);
/** Stored with the shortest decimal text that reads back as the same float */
ZANDELLE_EXPORT void setFloat(JsonValue& v, float value);
ZANDELLE_EXPORT void setArray(JsonValue& v, const std::vector<std::string>& values, JsonAllocator& a);
ZANDELLE_EXPORT void setArray(JsonValue& v, const std::vector<std::string_view>& values, JsonAllocator& a);
ZANDELLE_EXPORT void setArray(JsonValue& v, const std::vector<std::int32_t>& values, JsonAllocator& a);
ZANDELLE_EXPORT void setArray(JsonValue& v, const std::vector<float>& values, JsonAllocator& a);
ZANDELLE_EXPORT void pushBackString(JsonValue& v, std::string_view value, JsonAllocator& a);
/** Appends only when the string is not in the array yet */
ZANDELLE_EXPORT void pushBackStringUnique(JsonValue& v, std::string_view value, JsonAllocator& a);
ZANDELLE_EXPORT void eraseElement(JsonValue& v, std::size_t i);

/** Appends member @p name, a value of @p type, to object @p object (which
    must be one) without looking for one of that name; the new value */
ZANDELLE_EXPORT JsonValue& addMember(JsonValue& object, std::string_view name, JsonAllocator& a, rapidjson::Type type = rapidjson::kNullType);
/** The first member @p name of @p object, appended as a value of @p type
    when there is none; null when @p object is not an object */
ZANDELLE_EXPORT JsonValue* findOrAddMember(JsonValue& object, std::string_view name, JsonAllocator& a, rapidjson::Type type = rapidjson::kNullType);

/** Writer options of toString(): bits, combined */
enum JsonWriteOption: int {
    JsonPretty = 1,             /**< line breaks and indentation */
    JsonIndentFour = 2,         /**< four spaces per level instead of two */
    JsonSingleLineArrays = 4    /**< arrays on one line */
};

/** The value as JSON text; empty when it cannot be written (NaN or
    infinity, invalid text). */
ZANDELLE_EXPORT std::optional<std::string> toString(const JsonValue& value, int options);

}

/* The editor utilities' name for the writer */
namespace RapidJsonUtils {
inline std::optional<std::string> jsonToString(const JsonValue& value, int options) { return Json::toString(value, options); }
}

/** Typed reads and writes of one value, shared by every accessor that can
    produce a value for reading (`readValue()`) and one for writing
    (`writeValue()`, `allocator()`). */
template<class Derived> class JsonAccessors {
    public:
        std::string_view asString() const { return Json::asString(self().readValue()); }
        bool asBool(bool d = false) const { return Json::asBool(self().readValue(), d); }
        std::int32_t asInt(std::int32_t d = 0) const { return Json::asInt(self().readValue(), d); }
        std::uint32_t asUnsignedInt(std::uint32_t d = 0) const { return Json::asUnsignedInt(self().readValue(), d); }
        float asFloat(float d = 0.0f) const { return Json::asFloat(self().readValue(), d); }
        Vector2 asVector2() const { return Json::asVector2(self().readValue()); }
        Vector3 asVector3() const { return Json::asVector3(self().readValue()); }
        Vector4 asVector4() const { return Json::asVector4(self().readValue()); }
        Quaternion asQuaternion() const { return Json::asQuaternion(self().readValue()); }
        Matrix4 asMatrix4() const { return Json::asMatrix4(self().readValue()); }
        std::vector<std::int32_t> asIntArray() const { return Json::asIntArray(self().readValue()); }
        std::vector<std::uint32_t> asUnsignedIntArray() const { return Json::asUnsignedIntArray(self().readValue()); }
        std::vector<float> asFloatArray() const { return Json::asFloatArray(self().readValue()); }
        std::vector<std::string_view> asStringViewArray() const { return Json::asStringViewArray(self().readValue()); }
        std::string_view elementAsString(std::size_t i) const { return Json::elementAsString(self().readValue(), i); }
        std::size_t size() const { return Json::size(self().readValue()); }
        bool isNull() const { const JsonValue* v = self().readValue(); return !v || v->IsNull(); }
        bool isString() const { const JsonValue* v = self().readValue(); return v && v->IsString(); }
        bool isObject() const { const JsonValue* v = self().readValue(); return v && v->IsObject(); }
        bool isArray() const { const JsonValue* v = self().readValue(); return v && v->IsArray(); }
        bool isNumber() const { const JsonValue* v = self().readValue(); return v && v->IsNumber(); }
        bool isBool() const { const JsonValue* v = self().readValue(); return v && v->IsBool(); }

        void setString(std::string_view value) { Json::setString(w(), value, a()); }
        void setBool(bool value) { Json::setBool(w(), value); }
        void setInt(std::int64_t value) { Json::setInt(w(), value); }
        void setFloat(float value) { Json::setFloat(w(), value); }
        void setArray(const std::vector<std::string>& values) { Json::setArray(w(), values, a()); }
        void setArray(const std::vector<std::string_view>& values) { Json::setArray(w(), values, a()); }
        void setArray(const std::vector<std::int32_t>& values) { Json::setArray(w(), values, a()); }
        void setArray(const std::vector<float>& values) { Json::setArray(w(), values, a()); }
        void pushBackString(std::string_view value) { Json::pushBackString(w(), value, a()); }
        void pushBackStringUnique(std::string_view value) { Json::pushBackStringUnique(w(), value, a()); }
        void eraseElement(std::size_t i) { Json::eraseElement(w(), i); }
        /** Replaces the value with a deep copy of @p value */
        void setValue(const JsonValue& value) { JsonValue copy{value, a()}; w().Swap(copy); }

    private:
        const Derived& self() const { return static_cast<const Derived&>(*this); }
        JsonValue& w() { return static_cast<Derived&>(*this).writeValue(); }
        JsonAllocator& a() { return static_cast<Derived&>(*this).allocator(); }
};

/** Typed access to a free-standing value (not part of the project document) */
class ZANDELLE_EXPORT JsonObject: public JsonAccessors<JsonObject> {
    public:
        JsonObject(JsonValue& value, JsonAllocator& allocator): _read{&value}, _write{&value}, _allocator{&allocator} {}
        explicit JsonObject(const JsonValue* value): _read{value} {}

        const JsonValue* readValue() const { return _read; }
        JsonValue& writeValue() { ZE_ASSERT(_write); return *_write; }
        JsonAllocator& allocator() { ZE_ASSERT(_allocator); return *_allocator; }

    private:
        const JsonValue* _read;
        JsonValue* _write = nullptr;
        JsonAllocator* _allocator = nullptr;
};

}
