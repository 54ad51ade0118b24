#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Base/Path.h"
#include "Shaders/GlslCheck.h"
#include "Shaders/MaterialDefinition.h"
#include "Shaders/Preprocessor.h"
#include "Shaders/ShaderDefines.h"
#include "Support/LogCapture.h"

using namespace ZandelleEngine;

namespace {

IncludeMap makeIncludes() {
    IncludeMap includes{1};
    includes.put("a", "#if 1\n");
    includes.compile();
    return includes;
}

/* Runs every text tool over @p input; none may crash, hang or grow the text */
void exercise(std::string_view input) {
    static const IncludeMap includes = makeIncludes();
    Testing::LogCapture log;
    Preprocessor p;
    p.processOwned(pipelineDefines(1, 2, 1, 32));
    p.process(input);
    EXPECT_LE(p.output().size(), input.size());
    (void)shaderFeatures(p);
    (void)listIncludes(input);
    (void)resolveIncludes(input, includes);
    (void)parseMaterialDefinition("Fuzz", input);
    const ShadingModelParameters* phong = builtinShadingModelParameters("Phong");
    (void)validateMaterialParameters(p.output(), phong->names, phong->types);
}

}

TEST(Robustness, GeneratedSoupsAndRandomBytes) {
    const char* pieces[]{"#", "if", "ifdef", "ifndef", "elif", "else", "endif", "define", "include", " ", "\t",
        "\n", "\r\n", "\r", "(", ")", "&&", "||", "!", "-", "+", "==", "<", ">=", "defined", "A", "B", "0", "1",
        "-1", "4u", "/*", "*/", "//", "\"", "a", "struct", "Material", "{", "}", ";", "lowp", "mediump", "vec4",
        "uint", "float", "mat3", "ivec2", "colorTexture", "#define A A\n", "#define B (A || B)\n", "#if A\n"};
    std::mt19937 random{20240611};
    for(int i = 0; i != 3000; ++i) {
        std::string input;
        for(int j = 0, count = int(random() % 120); j != count; ++j) input += pieces[random() % std::size(pieces)];
        exercise(input);
    }
    for(int i = 0; i != 2000; ++i) {
        std::string input(random() % 300, '\0');
        for(char& c: input) c = char(random() % 256);
        exercise(input);
    }
}

TEST(Robustness, DeepAndLongInputs) {
    std::string chain, logical = "#if 1";
    for(int i = 0; i != 2000; ++i) chain += "#define D" + std::to_string(i) + " D" + std::to_string(i + 1) + " || 0\n";
    for(int i = 0; i != 20000; ++i) logical += " && 1";
    for(const std::string& input: {std::string(100000, '('), "#if " + std::string(100000, '!') + "0\n",
                                   "#if " + std::string(50000, '(') + "\n", chain + "#if D0\n#endif\n",
                                   logical + "\n#endif\n", std::string(200000, 'x')})
        exercise(input);
}

TEST(Robustness, GlslFrontEndReportsWhatBreaksIt) {
    /* Nested #if expressions, directly or through macros, overflow the
       front end's stack; the check says so instead of crashing with it */
    std::string macros;
    for(int i = 0; i != 100000; ++i) macros += "#define M" + std::to_string(i + 1) + " (M" + std::to_string(i) + ")\n";
    for(const std::string& input: {"#if " + std::string(100000, '!') + "0\n#endif\n",
                                   "#if " + std::string(100000, '(') + "\n", macros + "#if M100000\n#endif\n",
                                   "void main() { int a = " + std::string(100000, '-') + "1; }\n",
                                   std::string(200000, 'x')}) {
        const GlslCheck check = checkGlsl(ShaderStage::Fragment, "Fuzz.frag", input, makeIncludes(), "#define A\n");
        ASSERT_FALSE(check.errors.empty()) << input.substr(0, 20);
        EXPECT_EQ(check.errors[0].file, "Fuzz.frag");
    }
}

TEST(Robustness, TruncatedShippedShaders) {
    for(const char* name: {"Phong.frag", "Physical.frag", "Text.frag", "lib/Lights.glsl"}) {
        const std::string source = Path::readString(Path::join(ZANDELLE_RESOURCES_DIR "/shaders", name)).value_or("");
        ASSERT_FALSE(source.empty()) << name;
        for(std::size_t size = 0; size <= source.size(); size += 3) exercise(std::string_view{source}.substr(0, size));
    }
}
