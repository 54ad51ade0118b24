#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Shaders/GlslCheck.h"
#include "Shaders/MaterialDefinition.h"
#include "Shaders/Preprocessor.h"
#include "Shaders/ShaderDefines.h"
#include "Support/LogCapture.h"

using namespace ZandelleEngine;

namespace {

/* Runs every text tool over @p input; none may crash, hang or grow the text */
void exercise(std::string_view input, const IncludeMap& includes) {
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

IncludeMap makeIncludes() {
    IncludeMap includes{1};
    includes.put("a", "#if 1\n");
    includes.compile();
    return includes;
}

}

TEST(Robustness, GeneratedSoupsOfShaderFragments) {
    const char* pieces[]{"#", "if", "ifdef", "ifndef", "elif", "else", "endif", "define", "include", " ", "\t",
        "\n", "\r\n", "\r", "(", ")", "&&", "||", "!", "-", "+", "==", "<", ">=", "defined", "A", "B", "0", "1",
        "-1", "4u", "/*", "*/", "//", "\"", "a", "struct", "Material", "{", "}", ";", "lowp", "mediump", "vec4",
        "uint", "float", "mat3", "ivec2", "colorTexture", "#define A A\n", "#define B (A || B)\n", "#if A\n"};
    const IncludeMap includes = makeIncludes();
    std::mt19937 random{20240611};
    Testing::LogCapture log;
    for(int i = 0; i != 3000; ++i) {
        std::string input;
        const int count = int(random() % 120);
        for(int j = 0; j != count; ++j) input += pieces[random() % std::size(pieces)];
        exercise(input, includes);
        log.clear();
    }
}

TEST(Robustness, RandomBytes) {
    const IncludeMap includes = makeIncludes();
    std::mt19937 random{7};
    Testing::LogCapture log;
    for(int i = 0; i != 2000; ++i) {
        std::string input(random() % 300, '\0');
        for(char& c: input) c = char(random() % 256);
        exercise(input, includes);
        log.clear();
    }
}

TEST(Robustness, DeepAndLongInputs) {
    const IncludeMap includes = makeIncludes();
    Testing::LogCapture log;
    exercise(std::string(100000, '('), includes);
    exercise("#if " + std::string(100000, '!') + "0\n", includes);
    exercise("#if " + std::string(50000, '(') + "\n", includes);
    std::string chain;
    for(int i = 0; i != 2000; ++i) chain += "#define D" + std::to_string(i) + " D" + std::to_string(i + 1) + " || 0\n";
    exercise(chain + "#if D0\n#endif\n", includes);
    std::string logical = "#if 1";
    for(int i = 0; i != 20000; ++i) logical += " && 1";
    exercise(logical + "\n#endif\n", includes);
    exercise(std::string(200000, 'x'), includes);
}

TEST(Robustness, GlslFrontEndReportsWhatBreaksIt) {
    /* Nested #if expressions, directly or through macros, overflow the
       front end's stack; the check says so instead of crashing with it */
    std::string macros;
    for(int i = 0; i != 100000; ++i) macros += "#define M" + std::to_string(i + 1) + " (M" + std::to_string(i) + ")\n";
    for(const std::string& input: {"#if " + std::string(100000, '!') + "0\n#endif\n", "#if " + std::string(100000, '(') + "\n",
                                   macros + "#if M100000\n#endif\n", "void main() { int a = " + std::string(100000, '-') + "1; }\n",
                                   std::string(200000, 'x')}) {
        const GlslCheck check = checkGlsl(ShaderStage::Fragment, "Fuzz.frag", input, makeIncludes(), "#define A\n");
        ASSERT_FALSE(check.errors.empty()) << input.substr(0, 20);
        EXPECT_EQ(check.errors[0].file, "Fuzz.frag");
    }
}

TEST(Robustness, TruncatedShippedShaders) {
    const IncludeMap includes = makeIncludes();
    const std::filesystem::path root{ZANDELLE_RESOURCES_DIR "/shaders"};
    Testing::LogCapture log;
    int files = 0;
    for(const char* name: {"Phong.frag", "Physical.frag", "Text.frag", "lib/Lights.glsl"}) {
        std::ifstream file{root/name, std::ios::binary};
        std::ostringstream text;
        text << file.rdbuf();
        const std::string source = text.str();
        ASSERT_FALSE(source.empty()) << name;
        ++files;
        for(std::size_t size = 0; size <= source.size(); size += 3) {
            exercise(std::string_view{source}.substr(0, size), includes);
            log.clear();
        }
    }
    EXPECT_EQ(files, 4);
}
