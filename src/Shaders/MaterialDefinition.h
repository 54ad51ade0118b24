#pragma once
// The parameter layout of a shader's material: the members of the GLSL
// structure named Material, with their data types, component counts and meta
// types, in declaration order. Values are packed in that order with no
// padding, one byte per component (two for texture indices), 48 bytes at most.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"

namespace ZandelleEngine {

class Debug;
struct ParameterType;

enum class MetaType: std::uint8_t {
    None = 0,
    /* 1 is not used */
    Color = 2
};

struct MaterialDefinition {
    enum class DataType: std::uint8_t {
        UnsignedInt, /**< "uint" not named like a texture or a font */
        Int,         /**< "int", ivecN */
        Float,       /**< "float", vecN, matN and other vector types */
        Sampler,     /**< "uint" whose name contains "texture": a texture index */
        Font         /**< "uint" whose name ends with "font": a font index */
    };

    /** The largest packed size the parser accepts */
    enum: std::size_t { MaxSize = 48 };

    std::string name;
    std::vector<std::string> parameterNames;
    std::vector<ParameterType> parameterTypes;

    std::size_t parameterCount() const { return parameterNames.size(); }
    /** Byte offset of parameter @p index in the packed data */
    std::size_t offset(std::size_t index) const;
    /** Packed size of all parameters */
    std::size_t size() const { return offset(parameterCount()); }
};

struct ParameterType {
    MaterialDefinition::DataType dataType;
    std::uint8_t componentCount;
    MetaType metaType;

    bool operator==(const ParameterType&) const = default;
};
static_assert(sizeof(ParameterType) == 3, "ParameterType is three bytes");

/** Packed size of one parameter: a byte per component, two for samplers */
inline std::size_t packedSize(const ParameterType& type) {
    return std::size_t(type.componentCount)*(type.dataType == MaterialDefinition::DataType::Sampler ? 2 : 1);
}

/** "MaterialDefinition::DataType::Float", or "MaterialDefinition::DataType(7)" */
ZANDELLE_EXPORT std::string dataTypeName(MaterialDefinition::DataType type);
ZANDELLE_EXPORT Debug& operator<<(Debug& debug, MaterialDefinition::DataType type);

/** Parses the Material struct of @p text. Never fails: without a usable
    struct the definition is empty; each bad declaration is skipped with one
    warning naming @p shaderName. */
ZANDELLE_EXPORT MaterialDefinition parseMaterialDefinition(std::string_view shaderName, std::string_view text);

/** Checks that @p text declares every expected parameter with the expected
    data and meta type (component counts are not compared, extra parameters
    are fine). @p names and @p types have the same length. Returns the error
    messages, in order; empty on success. */
ZANDELLE_EXPORT std::vector<std::string> validateMaterialParameters(std::string_view text,
    const std::vector<std::string>& names, const std::vector<ParameterType>& types);

struct ShadingModelParameters {
    std::vector<std::string> names;
    std::vector<ParameterType> types;
};

/** The parameters that the built-in shading model @p baseName ("Flat",
    "Phong" or "Physical") must declare; nullptr for any other name. */
ZANDELLE_EXPORT const ShadingModelParameters* builtinShadingModelParameters(std::string_view baseName);

}
