#pragma once
// Helpers shared by the compile steps; not part of the library's interface.

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "Base/Log.h"
#include "Base/Math.h"
#include "Editor/Json.h"
#include "Editor/JsonPointer.h"
#include "Editor/ProjectFile.h"
#include "Editor/RecordView.h"
#include "Engine/Id.h"

namespace ZandelleEngine { namespace CompileHelpers {

/** The value at pointer @p path below @p value, null when absent */
inline const JsonValue* member(const JsonValue* value, std::string_view path) {
    return JsonPointer::find(value, path);
}

/** Typed reads of a record of @p section: its own value, its original, the
    section's defaults (see RecordView). @p json is the record's own value,
    found by the caller; @p record names the same record. */
class RecordReader: public RecordView {
    public:
        RecordReader(ProjectFile& file, std::string_view section, const ValueAccess& record, const JsonValue* json):
            RecordView{file, section, json ? json : record.readValue()} {}
};

/** Finds the records of a section in document order: a range that walks
    the section in order costs one comparison per record; any other record is
    found through the document's lookup tables */
class SectionCursor {
    public:
        SectionCursor(const ProjectFile& file, const JsonValue* section): _file{&file}, _section{section && section->IsObject() ? section : nullptr} {
            if(_section) _next = _section->MemberBegin();
        }

        const JsonValue* find(std::string_view key) {
            if(!_section) return nullptr;
            const JsonValue name{rapidjson::StringRef(key.data(), rapidjson::SizeType(key.size()))};
            if(_next != _section->MemberEnd() && _next->name == name) return &(_next++)->value;
            return _file->findMember(*_section, key);
        }

    private:
        const ProjectFile* _file;
        const JsonValue* _section;
        JsonValue::ConstMemberIterator _next;
};

/** Who asks for a slot, for the line printed when none is left:
    "AssetCompiler::compileMeshes(): No id left for mesh KEY" */
struct SlotUser {
    std::string_view step, kind, key;
};

/** The id of the record @p user names in arrays of @p size entries: @p slot
    when it has one, else the next one, @p size. 0, with one error line, when
    the next id would not fit in 16 bits. */
inline Data::Id slotFor(Data::Id slot, std::size_t size, const SlotUser& user) {
    if(slot) return slot;
    if(size > 0xFFFF) {
        Error{} << "AssetCompiler::" << Debug::nospace << user.step << Debug::nospace << "(): No id left for" << user.kind << user.key;
        return 0;
    }
    return Data::Id(size);
}

/** Stores @p values at the record's slot of @p arrays (std::tie of the
    compiled arrays that share its ids, the first one deciding the next id),
    one value per array: in place when @p slot is set, else appended, and
    @p slot becomes the new id. False, with the line of slotFor(), when no id
    is left; nothing is stored then. */
template<class... T, class... V> bool storeInSlot(Data::Id& slot, const SlotUser& user, std::tuple<std::vector<T>&...> arrays, V&&... values) {
    static_assert(sizeof...(T) == sizeof...(V), "one value per array");
    const Data::Id id = slotFor(slot, std::get<0>(arrays).size(), user);
    if(!id) return false;
    const auto store = [id](auto& array, auto&& value) {
        if(id < array.size()) array[id] = std::forward<decltype(value)>(value);
        else {
            array.resize(id);
            array.push_back(std::forward<decltype(value)>(value));
        }
    };
    std::apply([&](auto&... array) { (store(array, std::forward<V>(values)), ...); }, arrays);
    slot = id;
    return true;
}

/** Vertex attributes a shader asks for with its USE_ defines, and their
    bits in a pipeline's attribute mask; bit 0, the position, is always set */
inline constexpr std::array<std::pair<std::string_view, std::uint32_t>, 5> AttributeDefines{{
    {"USE_TEXTURE_COORDS", 0x2}, {"USE_NORMAL", 0x4}, {"USE_TANGENT", 0x8}, {"USE_COLOR", 0x80},
    {"USE_TEXTURE_COORDS_1", 0x100}}};

/** The features a pipeline switches on: those of its shader record
    @p shader, in the shader's order, whose entry in the pipeline's
    "features" is true. Each entry falls back on its own, so a record that
    sets one feature keeps the others of its original. */
inline std::vector<std::string> enabledPipelineFeatures(const RecordView& pipeline, const ValueAccess& shader) {
    std::vector<std::string> features;
    std::string path;
    for(std::string_view feature: shader["features"].asStringViewArray()) {
        path = "features";
        JsonPointer::append(path, feature);
        if(pipeline[path].asBool()) features.emplace_back(feature);
    }
    return features;
}

/** Dual quaternion of rotation @p q followed by translation @p t */
inline DualQuaternion dualQuaternion(const Quaternion& q, const Vector3& t) {
    return DualQuaternion{q, Quaternion{0.0f, t.x, t.y, t.z}*q*0.5f};
}

/** Divides by the dual-number length: the real part becomes unit and the
    dual part orthogonal to it. A zero real part gives the identity. */
inline DualQuaternion normalized(const DualQuaternion& d) {
    const float lengthSquared = glm::dot(d.real, d.real);
    if(!(lengthSquared > 0.0f)) return DualQuaternion{Quaternion{1.0f, 0.0f, 0.0f, 0.0f}, Quaternion{0.0f, 0.0f, 0.0f, 0.0f}};
    const float length = std::sqrt(lengthSquared);
    /* sqrt of the dual number (r·r, 2 r·d) is (|r|, r·d/|r|) */
    const float dualLength = glm::dot(d.real, d.dual)/length;
    const Quaternion real = d.real/length;
    const Quaternion dual = d.dual/length - d.real*(dualLength/lengthSquared);
    return DualQuaternion{real, dual};
}

}}
