#include "Shaders/MaterialDefinition.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "Base/Format.h"
#include "Base/Log.h"
#include "Base/String.h"

namespace ZandelleEngine {

std::size_t MaterialDefinition::offset(std::size_t index) const {
    std::size_t offset = 0;
    for(std::size_t i = 0; i != index && i != parameterTypes.size(); ++i)
        offset += packedSize(parameterTypes[i]);
    return offset;
}

std::string dataTypeName(MaterialDefinition::DataType type) {
    switch(type) {
        case MaterialDefinition::DataType::UnsignedInt: return "MaterialDefinition::DataType::UnsignedInt";
        case MaterialDefinition::DataType::Int: return "MaterialDefinition::DataType::Int";
        case MaterialDefinition::DataType::Float: return "MaterialDefinition::DataType::Float";
        case MaterialDefinition::DataType::Sampler: return "MaterialDefinition::DataType::Sampler";
        case MaterialDefinition::DataType::Font: return "MaterialDefinition::DataType::Font";
    }
    return format("MaterialDefinition::DataType({})", unsigned(type));
}

Debug& operator<<(Debug& debug, MaterialDefinition::DataType type) {
    return debug.printValue(dataTypeName(type));
}

namespace {

inline bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::vector<std::string_view> splitAtWhitespace(std::string_view text) {
    std::vector<std::string_view> tokens;
    std::size_t i = 0;
    while(i < text.size()) {
        while(i < text.size() && isSpace(text[i])) ++i;
        const std::size_t start = i;
        while(i < text.size() && !isSpace(text[i])) ++i;
        if(i > start) tokens.push_back(text.substr(start, i - start));
    }
    return tokens;
}

/* Block comments written as separate words; a line comment stays in */
std::vector<std::string_view> dropComments(const std::vector<std::string_view>& tokens) {
    std::vector<std::string_view> kept;
    bool inComment = false;
    for(const std::string_view token: tokens) {
        if(inComment) {
            if(String::endsWith(token, "*/")) inComment = false;
        } else if(String::beginsWith(token, "/*")) {
            inComment = !(token.size() >= 4 && String::endsWith(token, "*/"));
        } else kept.push_back(token);
    }
    return kept;
}

std::string joinTokens(const std::vector<std::string_view>& tokens) {
    std::string out;
    for(const std::string_view token: tokens) {
        if(!out.empty()) out += ' ';
        out += token;
    }
    return out;
}

/* The component digit at @p index, 0 when there is none */
unsigned componentDigit(std::string_view type, std::size_t index) {
    if(index >= type.size() || type[index] < '1' || type[index] > '9') return 0;
    return unsigned(type[index] - '0');
}

}

namespace {

/* Read: the text between the braces of the first "struct Material" of
   @p text (comments mean nothing here); empty, with one warning, when there
   is none or it has no complete body */
std::optional<std::string_view> materialStructBody(std::string_view shaderName, std::string_view text) {
    std::size_t position = 0;
    for(std::size_t from = 0;;) {
        const std::size_t found = text.find("struct", from);
        if(found == std::string_view::npos) {
            Warning{} << "No Material struct found in shader" << shaderName;
            return {};
        }
        std::size_t i = found + 6;
        while(i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        std::size_t end = i;
        while(end < text.size() && text[end] != '\n' && text[end] != '\r' && text[end] != ' ' && text[end] != '\t') ++end;
        if(text.substr(i, end - i) == "Material") {
            position = end;
            break;
        }
        from = end;
    }

    while(position < text.size() && isSpace(text[position])) ++position;
    if(position >= text.size() || text[position] != '{') {
        Warning{} << "Material struct in shader" << shaderName << "has no body";
        return {};
    }
    const std::size_t close = text.find('}', position + 1);
    if(close == std::string_view::npos) {
        Warning{} << "Material struct in shader" << shaderName << "is missing a terminating '}'";
        return {};
    }
    return text.substr(position + 1, close - position - 1);
}

/* Build: the parameter type of GLSL type @p type for a property named
   @p lowerName (lower case); 0 components for a type that has none */
ParameterType parameterType(std::string_view type, const std::string& lowerName, bool isTexture) {
    ParameterType parameter{MaterialDefinition::DataType::Float, 0, MetaType::None};
    if(type == "float") parameter = {MaterialDefinition::DataType::Float, 1, MetaType::None};
    else if(type == "int") parameter = {MaterialDefinition::DataType::Int, 1, MetaType::None};
    else if(type == "uint") {
        parameter.componentCount = 1;
        if(isTexture) parameter.dataType = MaterialDefinition::DataType::Sampler;
        else if(String::endsWith(lowerName, "font")) parameter.dataType = MaterialDefinition::DataType::Font;
        else parameter.dataType = MaterialDefinition::DataType::UnsignedInt;
    } else if(String::beginsWith(type, "vec")) {
        parameter.componentCount = std::uint8_t(componentDigit(type, 3));
    } else if(type.size() > 1 && String::beginsWith(type.substr(1), "vec")) {
        parameter.componentCount = std::uint8_t(componentDigit(type, 4));
        if(type[0] == 'i') parameter.dataType = MaterialDefinition::DataType::Int;
    } else if(String::beginsWith(type, "mat")) {
        const unsigned digit = componentDigit(type, 3);
        parameter.componentCount = std::uint8_t(digit*digit);
    }
    if((parameter.componentCount == 3 || parameter.componentCount == 4) && lowerName.find("color") != std::string::npos)
        parameter.metaType = MetaType::Color;
    return parameter;
}

/* Check: the tokens of one declaration (precision, type, name), with one
   warning when there are more or fewer */
bool checkDeclaration(std::string_view shaderName, const std::vector<std::string_view>& tokens) {
    if(tokens.size() < 3) {
        Warning{} << "Incomplete material property declaration in shader" << shaderName
            << Debug::nospace << ":" << joinTokens(tokens);
        return false;
    }
    if(tokens.size() > 3) {
        Warning{} << "Too many tokens in material property declaration in shader" << shaderName
            << Debug::nospace << ":" << joinTokens(tokens);
        return false;
    }
    return true;
}

/* Check: textures want mediump, everything else lowp; a warning only */
void checkPrecision(std::string_view shaderName, std::string_view precision, std::string_view name, bool isTexture) {
    if(isTexture) {
        if(precision != "mediump")
            Warning{} << "Material texture property '" + std::string{name} + "' in shader" << shaderName
                << "should use mediump precision";
    } else if(precision != "lowp") {
        Warning{} << "Material property '" + std::string{name} + "' in shader" << shaderName
            << "should use lowp precision";
    }
}

}

MaterialDefinition parseMaterialDefinition(std::string_view shaderName, std::string_view text) {
    if(const void* nul = std::memchr(text.data(), 0, text.size()))
        text = text.substr(0, static_cast<const char*>(nul) - text.data());

    MaterialDefinition definition;
    definition.name = std::string{shaderName};
    const std::optional<std::string_view> body = materialStructBody(shaderName, text);
    if(!body) return definition;

    std::size_t total = 0;
    for(const std::string& part: String::splitWithoutEmptyParts(*body, ';')) {
        const std::vector<std::string_view> tokens = dropComments(splitAtWhitespace(part));
        if(tokens.empty() || !checkDeclaration(shaderName, tokens)) continue;

        const std::string_view precision = tokens[0], type = tokens[1], name = tokens[2];
        const std::string lowerName = String::lowercase(name);
        const bool isTexture = type == "uint" && lowerName.find("texture") != std::string::npos;
        const ParameterType parameter = parameterType(type, lowerName, isTexture);
        /* Covers unknown types and vector or matrix types without a digit */
        if(parameter.componentCount == 0) {
            Warning{} << "Skipping material property '" + std::string{name} + "' in shader" << shaderName
                << Debug::nospace << ": unknown type '" + std::string{type} + "'";
            continue;
        }
        checkPrecision(shaderName, precision, name, isTexture);

        /* Store. The total is never reduced again: once over the limit,
           every later declaration is dropped as well */
        total += packedSize(parameter);
        if(total > MaterialDefinition::MaxSize) {
            Warning{} << "Skipping material property '" + std::string{name} + "' in shader" << shaderName
                << Debug::nospace << ": Exceeded max material size of" << int(MaterialDefinition::MaxSize) << "bytes";
            continue;
        }
        definition.parameterNames.emplace_back(name);
        definition.parameterTypes.push_back(parameter);
    }
    return definition;
}

std::vector<std::string> validateMaterialParameters(std::string_view text,
    const std::vector<std::string>& names, const std::vector<ParameterType>& types)
{
    const MaterialDefinition definition = parseMaterialDefinition({}, text);
    std::vector<std::string> messages;
    for(std::size_t i = 0; i != names.size() && i != types.size(); ++i) {
        const auto found = std::find(definition.parameterNames.begin(), definition.parameterNames.end(), names[i]);
        if(found == definition.parameterNames.end()) {
            messages.push_back(format("missing material parameter '{}'", names[i]));
            continue;
        }
        const ParameterType& parsed = definition.parameterTypes[found - definition.parameterNames.begin()];
        if(parsed.dataType != types[i].dataType)
            messages.push_back(format("incorrect material parameter type for '{}'.\nGot {}, expected {}",
                names[i], unsigned(parsed.dataType), unsigned(types[i].dataType)));
        else if(parsed.metaType != types[i].metaType)
            messages.push_back(format("incorrect material parameter meta type for '{}'.\nGot {}, expected {}",
                names[i], unsigned(parsed.metaType), unsigned(types[i].metaType)));
    }
    return messages;
}

namespace {

constexpr ParameterType Color4{MaterialDefinition::DataType::Float, 4, MetaType::Color};
constexpr ParameterType Texture{MaterialDefinition::DataType::Sampler, 1, MetaType::None};
constexpr ParameterType Factor{MaterialDefinition::DataType::Float, 1, MetaType::None};
constexpr ParameterType Unsigned{MaterialDefinition::DataType::UnsignedInt, 1, MetaType::None};

}

const ShadingModelParameters* builtinShadingModelParameters(std::string_view baseName) {
    static const ShadingModelParameters flat{
        {"color", "flatTexture"},
        {Color4, Texture}};
    static const ShadingModelParameters phong{
        {"ambientColor", "diffuseColor", "specularColor", "emissiveColor", "fogColor",
         "diffuseTexture", "emissiveTexture", "normalTexture", "lightmapTexture",
         "lightmapFactor", "shininess"},
        {Color4, Color4, Color4, Color4, Color4,
         Texture, Texture, Texture, Texture,
         Factor, Unsigned}};
    static const ShadingModelParameters physical{
        {"albedoColor", "emissiveColor", "metallicFactor", "roughnessFactor",
         "albedoTexture", "roughnessMetallicTexture", "emissiveTexture", "normalTexture",
         "occlusionTexture", "occlusionFactor", "irradianceProbeTexture", "specularProbeTexture"},
        {Color4, Color4, Factor, Factor,
         Texture, Texture, Texture, Texture,
         Texture, Factor, Texture, Texture}};
    if(baseName == "Flat") return &flat;
    if(baseName == "Phong") return &phong;
    if(baseName == "Physical") return &physical;
    return nullptr;
}

}
