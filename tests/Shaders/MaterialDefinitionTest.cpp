#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Base/Format.h"
#include "Shaders/Material.h"
#include "Shaders/MaterialDefinition.h"
#include "Shaders/ShaderDefines.h"
#include "Support/LogCapture.h"

using namespace ZandelleEngine;

namespace {

using DataType = MaterialDefinition::DataType;

}

TEST(MaterialDefinition, TypesCountsAndMetaTypes) {
    Testing::LogCapture log;
    const MaterialDefinition d = parseMaterialDefinition("Foo.frag",
        "struct Light { lowp vec4 color; };\nstruct Material\n{\n"
        "    lowp vec4 diffuseColor;\n    lowp vec3 tint;\n    mediump uint diffuseTexture;\n    lowp uint myFont;\n"
        "    lowp uint count;\n    lowp ivec2 offset;\n    lowp uvec2 flags;\n    lowp mat2 m;\n"
        "    lowp vec3 BaseColor;\n    lowp int i;\n};\n");
    EXPECT_EQ(log.all(), "");
    EXPECT_EQ(d.parameterNames, (std::vector<std::string>{"diffuseColor", "tint", "diffuseTexture", "myFont",
        "count", "offset", "flags", "m", "BaseColor", "i"}));
    const std::vector<ParameterType> expected{
        {DataType::Float, 4, MetaType::Color}, {DataType::Float, 3, MetaType::None},
        {DataType::Sampler, 1, MetaType::None}, {DataType::Font, 1, MetaType::None},
        {DataType::UnsignedInt, 1, MetaType::None}, {DataType::Int, 2, MetaType::None},
        {DataType::Float, 2, MetaType::None}, {DataType::Float, 4, MetaType::None},
        {DataType::Float, 3, MetaType::Color}, {DataType::Int, 1, MetaType::None}};
    EXPECT_EQ(d.parameterTypes, expected);
    /* The sampler takes two bytes */
    EXPECT_EQ(d.offset(3), 9u);
    EXPECT_EQ(d.size(), 4u + 3 + 2 + 1 + 1 + 2 + 2 + 4 + 3 + 1);
}

TEST(MaterialDefinition, Warnings) {
    Testing::LogCapture log;
    const MaterialDefinition d = parseMaterialDefinition("Foo.frag",
        "struct Material {\n    highp float roughness;\n    lowp uint normalTexture;\n    lowp bool grain;\n"
        "    lowp vec tooShort;\n    lowp vec4;\n    lowp vec4 a b;\n    lowp /* the tint */ vec3 tint /* rgb */;\n"
        "    lowp vec2 uv; // a line comment\n    lowp vec2 after;\n};\n");
    /* Wrong precisions are accepted with a warning */
    EXPECT_EQ(d.parameterNames, (std::vector<std::string>{"roughness", "normalTexture", "tint", "uv"}));
    EXPECT_EQ(log.warning(),
        "Material property 'roughness' in shader Foo.frag should use lowp precision\n"
        "Material texture property 'normalTexture' in shader Foo.frag should use mediump precision\n"
        "Skipping material property 'grain' in shader Foo.frag: unknown type 'bool'\n"
        "Skipping material property 'tooShort' in shader Foo.frag: unknown type 'vec'\n"
        "Incomplete material property declaration in shader Foo.frag: lowp vec4\n"
        "Too many tokens in material property declaration in shader Foo.frag: lowp vec4 a b\n"
        "Too many tokens in material property declaration in shader Foo.frag: // a line comment lowp vec2 after\n");
}

TEST(MaterialDefinition, SizeLimitAndNoUsableStruct) {
    const auto skip = [](const char* name) {
        return format("Skipping material property '{}' in shader Full: Exceeded max material size of 48 bytes\n", name);
    };
    /* Exactly 48 bytes fit; every declaration past them is dropped */
    const struct { const char* name; std::string source; std::size_t count; std::string warning; } data[]{
        {"Full", "struct Material { lowp mat4 a; lowp mat4 b; lowp mat4 c; lowp vec4 d; lowp float last; };", 3,
            skip("d") + skip("last")},
        {"A", "void main() {}\n", 0, "No Material struct found in shader A\n"},
        {"B", "struct Material\n;\nstruct Other {};\n", 0, "Material struct in shader B has no body\n"},
        {"C", "struct Material { lowp float a;", 0, "Material struct in shader C is missing a terminating '}'\n"},
    };
    for(const auto& row: data) {
        SCOPED_TRACE(row.name);
        Testing::LogCapture log;
        const MaterialDefinition d = parseMaterialDefinition(row.name, row.source);
        EXPECT_EQ(d.parameterCount(), row.count);
        EXPECT_EQ(d.size(), 16*row.count);
        EXPECT_EQ(log.warning(), row.warning);
    }
}

TEST(MaterialDefinition, ValidateBuiltinModels) {
    EXPECT_FALSE(builtinShadingModelParameters("Particle"));
    EXPECT_EQ(builtinShadingModelParameters("Phong")->names.size(), 11u);

    /* In the model's order; a parameter beyond the model's is fine */
    const ShadingModelParameters* flat = builtinShadingModelParameters("Flat");
    const auto validate = [flat](const std::string& members) {
        return validateMaterialParameters("struct Material { " + members + " lowp float extra; };", flat->names,
            flat->types);
    };
    EXPECT_EQ(validate("lowp vec4 color; mediump uint flatTexture;"), std::vector<std::string>{});
    EXPECT_EQ(validate("lowp uint color;"), (std::vector<std::string>{
        "incorrect material parameter type for 'color'.\nGot 0, expected 2",
        "missing material parameter 'flatTexture'"}));
    EXPECT_EQ(validate("lowp vec2 color; mediump uint flatTexture;"),
        (std::vector<std::string>{"incorrect material parameter meta type for 'color'.\nGot 0, expected 2"}));
}

TEST(Material, SetParamValuePacksValues) {
    Testing::LogCapture log;
    const MaterialDefinition d = parseMaterialDefinition("M", "struct Material { lowp vec4 diffuseColor;"
        " mediump uint diffuseTexture; lowp ivec2 offsets; lowp uint myFont; lowp float factor; lowp uint count; };");
    ASSERT_EQ(d.size(), 4u + 2 + 2 + 1 + 1 + 1);
    Material m{d};
    EXPECT_EQ(m.data(), std::vector<std::uint8_t>(11, 0));

    const float color[]{1.0f, 0.5f, 0.0f, 1.0f}, factor[]{2.0f}, negative[]{-0.5f};
    const std::uint32_t texture[]{0x11234}, font[]{300}, count[]{7};
    const std::int32_t offsets[]{-1, 257};
    m.setParamValue(0, color);
    m.setParamValue(1, texture);
    m.setParamValue(2, offsets);
    m.setParamValue(3, font);
    m.setParamValue(4, factor);
    m.setParamValue(5, count);
    m.setParamValue(-1, factor);
    /* Not clamped: the low bytes of 300 and of 510 */
    EXPECT_EQ(m.data(), (std::vector<std::uint8_t>{255, 127, 0, 255, 0x34, 0x12, 255, 1, 44, 254, 7}));
    m.setParamValue(4, negative);   /* -127 */
    EXPECT_EQ(m.data()[9], 129);
    EXPECT_EQ(log.all(), "");
}

TEST(MaterialDeathTest, SetParamValueWithTheWrongType) {
    const MaterialDefinition d =
        parseMaterialDefinition("M", "struct Material { lowp float factor; mediump uint diffuseTexture; };");
    Material m{d};
    const std::uint32_t u[]{1};
    const std::int32_t i[]{1};
    const float f[]{1.0f};
    const std::string T = "MaterialDefinition::DataType::";
    const auto message = [&](const char* type, const std::string& expected, const char* got) {
        return "Material::setParamValue\\(" + std::string{type} + "\\): Expected " + expected + " but got " + T + got;
    };
    EXPECT_DEATH(m.setParamValue(0, u),
        message("unsigned int", T + "UnsignedInt or " + T + "Font or " + T + "Sampler", "Float"));
    EXPECT_DEATH(m.setParamValue(0, i), message("int", T + "Int", "Float"));
    EXPECT_DEATH(m.setParamValue(1, f), message("float", T + "Float", "Sampler"));
    EXPECT_EQ(dataTypeName(MaterialDefinition::DataType(7)), "MaterialDefinition::DataType(7)");
}

TEST(ShaderDefines, DefinesFeaturesAndPipelinePreprocessing) {
    EXPECT_EQ(pipelineDefines(0, 1, 1, 32),
        "#define NUM_LIGHTS 1\n#define NUM_SHADOWS 1\n#define OBJECTS_PER_ROW_MASK 31\n"
        "#define OBJECTS_PER_ROW_LOG2 5\n#define NEW_GLSL\n");
    EXPECT_EQ(pipelineDefines(PipelineDefineParaboloid | PipelineDefinePreZPass | 2, 8, 0, 48),
        "#define NUM_LIGHTS 8\n#define NUM_SHADOWS 0\n#define OBJECTS_PER_ROW_MASK 31\n"
        "#define OBJECTS_PER_ROW_LOG2 5\n#define PARABOLOID\n#define PRE_Z_PASS\n#define NEW_GLSL\n");
    EXPECT_EQ(featureDefines({"TEXTURED", "WITH_FOG"}), "#define TEXTURED\n#define WITH_FOG\n");

    const char* source =
        "#define FEATURE_TEXTURED\n#define FEATURE_ALPHA_MASKED\n#define FEATURE_TEXTURED\n#define OTHER\n"
        "#if NUM_LIGHTS > 0 && defined(NEW_GLSL)\nlights\n#endif\n"
        "#ifdef TEXTURED\ntextured\n#endif\n#ifdef ALPHA_MASKED\nmasked\n#endif\n";
    Preprocessor first;
    first.process(source);
    /* Sorted, a feature defined twice listed twice */
    EXPECT_EQ(shaderFeatures(first), (std::vector<std::string>{"ALPHA_MASKED", "TEXTURED", "TEXTURED"}));

    const Preprocessor p = preprocessForPipeline(source, 1, 1, 1, {"TEXTURED"}, 0);
    EXPECT_TRUE(p.isOk());
    EXPECT_EQ(p.output(), "lights\ntextured\n");
    EXPECT_EQ(preprocessForPipeline(source, 0, 1, 1, {}, 0).output(), "");

    const std::map<std::string, bool> enabled{{"TEXTURED", true}, {"ALPHA_MASKED", false}, {"FOG", true}};
    EXPECT_EQ(enabledFeatures(shaderFeatures(first), enabled), (std::vector<std::string>{"TEXTURED", "TEXTURED"}));

    Testing::LogCapture log;
    Preprocessor broken;
    broken.process("#define FEATURE_X\n#else\n");
    EXPECT_TRUE(shaderFeatures(broken).empty());
}
