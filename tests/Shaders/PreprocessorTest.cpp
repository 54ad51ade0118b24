#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "Base/String.h"
#include "Shaders/Preprocessor.h"
#include "Support/LogCapture.h"

using namespace ZandelleEngine;

namespace {

std::string nestedIfdefs(int count) {
    std::string s;
    for(int i = 0; i != count; ++i) s += "#ifndef X\n";
    s += "inner\n";
    for(int i = 0; i != count; ++i) s += "#endif\n";
    return s;
}

/* Each line of a condition warning, "#if: reason", stands for the whole
   message: "Preprocessor: failed to parse #if. reason. Skipping evaluation." */
std::string conditionWarnings(std::string_view lines) {
    std::string out;
    for(const std::string& line: String::splitWithoutEmptyParts(lines, '\n')) {
        const std::size_t colon = line.find(": ");
        out += "Preprocessor: failed to parse " + line.substr(0, colon) + ". " + line.substr(colon + 2) +
            ". Skipping evaluation.\n";
    }
    return out;
}

}

TEST(Preprocessor, Process) {
    const struct {
        const char* name;
        std::string input;
        std::string_view output;
        std::vector<std::string> defined{}, notDefined{};
        std::string_view warning = "", error = "";
    } data[]{
        {"ifdef taken, else skipped; ifndef", "#define A\n#ifdef A\na\n#else\nb\n#endif\n#ifndef B\nx\n#endif\n",
            "a\nx\n", {"A"}, {"B"}},
        {"comparisons", "#if 3 > 2\nyes\n#endif\n#if 2 >= 3\nno\n#endif\n#if -2 < 1\nneg\n#endif\n"
            "#if 4 != 4\nne\n#endif\n", "yes\nneg\n"},
        {"first true elif wins; else after a false elif", "#if 0\na\n#elif 1\nb\n#elif 1\nc\n#else\nd\n#endif\n"
            "#if 0\na\n#elif 0\nb\n#else\nc\n#endif\n", "b\nc\n"},
        {"number suffixes, leading zero is not octal", "#if 3u == 3i && 010 == 10\nyes\n#endif\n", "yes\n"},
        {"hexadecimal is neither number nor define", "#if 0x10\nx\n#else\ny\n#endif\n", "y\n"},
        {"and binds to the right: A && (B || C)", "#define A 0\n#define C 1\n#if A && B || C\nx\n#else\ny\n#endif\n",
            "y\n"},
        {"short circuit keeps the left value", "#if (2 || x) == 2\nx\n#endif\n", "x\n"},
        {"short circuit does not evaluate the right side", "#if 0 && (\nx\n#else\ny\n#endif\n", "y\n"},
        {"evaluated right side gives 0 or 1", "#if (1 && 5) == 1\nx\n#endif\n", "x\n"},
        {"not and negation", "#if !0 && !!3 && -(-2) == 2\nx\n#endif\n", "x\n"},
        {"last definition wins, its value evaluated, leftovers ignored",
            "#define V 1\n#define V 2 garbage (\n#if V == 2\nx\n#endif\n", "x\n", {"V"}},
        {"defined with and without parentheses", "#define E\n#if defined(E) && defined E && !defined(F)\nz\n#endif\n",
            "z\n", {"E"}, {"F"}},
        {"empty define in #if", "#define E\n#if E\nx\n#endif\n#ifdef E\ny\n#endif\n", "y\n", {"E"}, {},
            "#if: Unexpected token \\0"},
        {"missing operand", "#if\nx\n#endif\nz\n", "z\n", {}, {}, "#if: Unexpected token \\n"},
        {"a lone minus is an operator, not a number", "#define X -\n#if X\nx\n#endif\n", "", {"X"}, {},
            "#if: Unexpected token \\0"},
        {"u and i alone are numbers of value 0, defined or not", "#define u 5\n#if u == 0 && !i\nx\n#endif\n", "x\n",
            {"u"}},
        {"plus is not an operator", "#if +1\nx\n#endif\n", "", {}, {}, "#if: Unexpected token +"},
        {"second comparison is left over", "#if 1 < 2 < 3\nx\n#endif\n", "", {}, {}, "#if: Unexpected token <"},
        {"defined errors", "#if defined(\n#endif\n#if defined(A\n#endif\n#if (1\n#endif\n", "", {}, {},
            "#if: Expected an identifier in defined\n#if: Expected closing parenthesis in defined(id)\n"
            "#if: Expected closing parenthesis in expression"},
        {"failed elif sets the bit that #else toggles", "#if 0\na\n#elif (\nb\n#else\nc\n#endif\n", "c\n", {}, {},
            "#elif: Unexpected token \\n"},
        {"defines referring to each other", "#define A (B)\n#define B !A\n#if A\nx\n#endif\ny\n", "y\n", {"A", "B"},
            {}, "#if: Define A refers to itself"},
        {"deep parentheses", "#if " + std::string(1000, '(') + "1\nx\n#endif\n", "", {}, {},
            "#if: Expression nested too deeply"},
        {"line comment after #if swallows its line break", "#if 1 // c\ncode\nmore\n#endif\nend\n", "end\n", {}, {},
            "#if: Unexpected token code"},
        {"line comment after #if before a blank line", "#if 1 // c\n\nx\n#endif\n", "x\n"},
        {"line comment after a define value", "#define V 2 // two\nrest\n#if V\nyes\n#endif\n", "yes\n", {"V"}},
        {"code before a directive stays", "float a; #define X 1\nb\n", "float a; b\n", {"X"}},
        {"other directives are removed", "#version 300 es\n#extension GL_X : enable\nprecision highp float;\n"
            "#pragma foo\n#include \"x\"\nvoid main(){}\n", "precision highp float;\nvoid main(){}\n"},
        {"comments are kept and hide directives", "/* #define SHADER_INTERNAL */\n// #define B\nx\n#if 0\n"
            "/* #define C */\n#endif\n", "/* #define SHADER_INTERNAL */\n// #define B\nx\n", {},
            {"SHADER_INTERNAL", "B", "C"}},
        {"multiline comment spanning a directive", "a /* x\n#define D\n*/ b\n", "a /* x\n#define D\n*/ b\n", {}, {"D"}},
        {"no define in a skipped region", "#if 0\n#define S\n#endif\n#ifdef S\nx\n#endif\n", "", {}, {"S"}},
        {"conditions in skipped regions still warn", "#if 0\n#if (\n#endif\n#endif\nz\n", "z\n", {}, {},
            "#if: Unexpected token \\n"},
        {"skipped region bits matter only when outer is active", "#ifdef X\n#ifndef X\na\n#endif\n#else\nb\n#endif\n",
            "b\n"},
        {"CRLF line endings", "#ifdef A\r\nno\r\n#else\r\nyes\r\n#endif\r\n", "yes\r\n"},
        {"NUL ends the text", std::string{"a\0#else\n", 8}, "a"},
        {"63 nested levels", nestedIfdefs(63), "inner\n"},
        {"64 nested levels", nestedIfdefs(64), "", {}, {}, "", "Preprocessor: exceeding max branch depth of 64\n"},
        {"else at top level", "a\n#else\nb\n", "a\n", {}, {}, "", "Preprocessor: found #else without #if or #ifdef\n"},
        {"endif at top level", "#endif\n", "", {}, {}, "", "Preprocessor: found #endif without #if or #ifdef\n"},
        {"elif at top level", "#elif 1\n", "", {}, {}, "", "Preprocessor: found #elif without #if or #ifdef\n"},
        {"no identifier after #", "#\n", "", {}, {}, "", "Preprocessor: no identifier found after #\n"},
        {"ifdef without a name", "#ifdef\n", "", {}, {}, "", "Preprocessor: expected an identifier after #ifdef\n"},
        {"ifndef without a name", "#ifndef (\n", "", {}, {}, "",
            "Preprocessor: expected an identifier after #ifndef\n"},
        {"define without a name", "#define ( 1\n", "", {}, {}, "",
            "Preprocessor: expected an identifier after #define\n"},
        {"unclosed comment", "a /* b\n", "a", {}, {}, "", "Preprocess: found unclosed multiline comment\n"},
        {"unclosed comment after a define", "#define A 1 /* b\nc\n", "", {"A"}, {}, "",
            "Preprocess: found unclosed multiline comment\n"},
    };
    for(const auto& row: data) {
        SCOPED_TRACE(row.name);
        Testing::LogCapture log;
        Preprocessor p;
        p.process(row.input);
        EXPECT_EQ(p.output(), row.output);
        for(const std::string& name: row.defined) EXPECT_TRUE(p.isDefined(name)) << name;
        for(const std::string& name: row.notDefined) EXPECT_FALSE(p.isDefined(name)) << name;
        EXPECT_EQ(log.warning(), conditionWarnings(row.warning));
        EXPECT_EQ(log.error(), row.error);
        EXPECT_EQ(p.isOk(), row.error.empty());
    }
}

TEST(Preprocessor, DefineValuesAndIntegers) {
    Preprocessor p;
    p.process("#define N 4 \n#define M -1\n#define E\n#define V 2 // two\nrest\n#define F(x) x\n");
    /* The line comment takes its line break, so V's value runs on */
    const std::tuple<const char*, const char*, std::optional<std::int32_t>> expected[]{
        {"N", "4 ", 4}, {"M", "-1", {}}, {"E", "", {}}, {"V", "2 // two\nrest", {}}, {"F", "(x) x", {}}};
    for(const auto& [name, value, integer]: expected) {
        ASSERT_TRUE(p.define(name)) << name;
        EXPECT_EQ(p.define(name)->value, value) << name;
        EXPECT_EQ(p.define(name)->integer, integer) << name;
    }
}

TEST(Preprocessor, OkStaysFalseAcrossCalls) {
    Testing::LogCapture log;
    Preprocessor p;
    p.process("#define A\n#endif\n");
    p.process("fine\n");
    EXPECT_EQ(p.output(), "fine\n");
    EXPECT_FALSE(p.isOk());
    EXPECT_TRUE(p.isDefined("A"));
}

TEST(Preprocessor, ListIncludes) {
    const Result<std::vector<std::string>> all = listIncludes(
        "#version 300 es\n#include \"lib/a.glsl\"\n#ifdef NEVER\n#include \"b.frag\"\n#endif\n"
        "// #include \"c\"\n/* #include \"d\" */\n#  include \" e//x\"\n");
    ASSERT_TRUE(all) << all.error();
    EXPECT_EQ(*all, (std::vector<std::string>{"lib/a.glsl", "b.frag", "e//x"}));

    EXPECT_EQ(listIncludes("#include <a.glsl>\n").error(), "Missing opening double quote after #include");
    EXPECT_EQ(listIncludes("#include \"a.glsl\nx\"\n").error(), "Missing closing double quote after #include");
}

TEST(Preprocessor, ResolveIncludes) {
    IncludeMap map{2};
    map.put("two.glsl", "a\nb\n");
    map.put("lib/one.glsl", "#include \"two.glsl\"\n");
    map.compile();

    Testing::LogCapture log;
    EXPECT_EQ(resolveIncludes("line1\nline2\n  #include \"two.glsl\" // tail\nline4\n", map),
        "line1\nline2\n#line 1\na\nb\n#line 3\n // tail\nline4\n");
    /* Included texts are not scanned again */
    EXPECT_EQ(resolveIncludes("#include\t\"lib/one.glsl\"\r\nx", map),
        "#line 1\n#include \"two.glsl\"\n#line 1\n\r\nx");

    /* Commented out, then not at the line start, then failing: all left alone */
    for(const char* source: {"/*\n#include \"two.glsl\"\n*/\n", "  // #include \"two.glsl\"\n",
                             "/* a */ /* #include \"two.glsl\"\n*/\n"})
        EXPECT_EQ(resolveIncludes(source, map), source);
    EXPECT_EQ(log.all(), "");
    EXPECT_EQ(resolveIncludes("x #include \"two.glsl\"\n", map), "x #include \"two.glsl\"\n");
    EXPECT_EQ(log.warning(), "#include preceded by non whitespace character are ignored\n");
    for(const char* source: {"a\n#include two.glsl\n", "#include \"two.glsl\n", "#include \"/abs.glsl\"\n",
                             "#include \"C:/abs.glsl\"\n", "#include \"nope.glsl\"\n"})
        EXPECT_EQ(resolveIncludes(source, map), source);
    EXPECT_EQ(log.error(),
        "Expected path string after #include\n"
        "Unterminated string after #include\n"
        "Absolute path in #include: /abs.glsl\n"
        "Absolute path in #include: C:/abs.glsl\n"
        "Could not find included file: nope.glsl\n");
}
