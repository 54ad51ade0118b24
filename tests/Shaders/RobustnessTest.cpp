#include <string>

#include <gtest/gtest.h>

#include "Shaders/GlslCheck.h"
#include "Shaders/MaterialDefinition.h"
#include "Shaders/Preprocessor.h"
#include "Shaders/ShaderDefines.h"
#include "Support/LogCapture.h"

using namespace ZandelleEngine;

/* Inputs too deep or too long for the fuzz corpora: every text tool gets
   through them without crashing, hanging or growing the text */
TEST(Robustness, DeepAndLongInputs) {
    IncludeMap includes;
    includes.compile();
    std::string chain, logical = "#if 1";
    for(int i = 0; i != 2000; ++i) chain += "#define D" + std::to_string(i) + " D" + std::to_string(i + 1) + " || 0\n";
    for(int i = 0; i != 20000; ++i) logical += " && 1";
    for(const std::string& input: {std::string(100000, '('), "#if " + std::string(100000, '!') + "0\n",
                                   "#if " + std::string(50000, '(') + "\n", chain + "#if D0\n#endif\n",
                                   logical + "\n#endif\n", std::string(200000, 'x')}) {
        Testing::LogCapture log;
        Preprocessor p;
        p.processOwned(pipelineDefines(1, 2, 1, 32));
        p.process(input);
        EXPECT_LE(p.output().size(), input.size());
        (void)listIncludes(input);
        (void)resolveIncludes(input, includes);
        (void)parseMaterialDefinition("Fuzz", input);
    }
}

TEST(Robustness, GlslFrontEndReportsWhatBreaksIt) {
    /* Nested #if expressions, directly or through macros, overflow the
       front end's stack; the check says so instead of crashing with it */
    IncludeMap includes;
    includes.compile();
    std::string macros;
    for(int i = 0; i != 100000; ++i) macros += "#define M" + std::to_string(i + 1) + " (M" + std::to_string(i) + ")\n";
    for(const std::string& input: {"#if " + std::string(100000, '!') + "0\n#endif\n",
                                   "#if " + std::string(100000, '(') + "\n", macros + "#if M100000\n#endif\n",
                                   "void main() { int a = " + std::string(100000, '-') + "1; }\n",
                                   std::string(200000, 'x')}) {
        const GlslCheck check = checkGlsl(ShaderStage::Fragment, "Fuzz.frag", input, includes, "#define A\n");
        ASSERT_FALSE(check.errors.empty()) << input.substr(0, 20);
        EXPECT_EQ(check.errors[0].file, "Fuzz.frag");
    }
}
