#pragma once
// Conditional preprocessing of shader sources and the include helpers.
//
// The Preprocessor runs a text through #define, #ifdef, #ifndef, #if, #elif,
// #else and #endif, collects the defines it meets and keeps the text of the
// active regions with every directive line removed. It is an inspection tool:
// shader loading asks it which marker defines a shader declares, pipeline
// compilation uses its output to see which declarations a feature set keeps.
//
//     Preprocessor p;
//     p.processOwned(featureDefines(features));
//     p.process(source);
//     if(!p.isOk()) ...;  // a fatal error was printed
//     p.output();         // the active text
//
// Texts are 8-bit, read byte by byte; a line ends at "\n", "\r\n" or a lone
// "\r" and a NUL byte ends the text. No input makes it crash: every problem
// is one log line (Error for fatal ones, Warning for failed conditions).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Base/Result.h"
#include "Base/StaticMap.h"

namespace ZandelleEngine {

enum class TokenType: std::uint8_t {
    Other,      /**< "=", ",", ";", "[", "]", "/", "&", "|", "++", "--" */
    Logical,    /**< "&&", "||" */
    Unary,      /**< "!", "+", "-" */
    Comparison, /**< "<", ">", "<=", ">=", "==", "!=" */
    OpenParen,
    CloseParen,
    OpenBrace,
    CloseBrace,
    Quote,
    Hash,
    Identifier, /**< everything else up to a token byte, space, tab or NUL */
    Comment,    /**< start of a line or block comment, only when comments are not skipped */
    NewLine,    /**< "\n" or "\r\n" */
    End         /**< NUL (or an unclosed comment), empty text */
};

struct Token {
    TokenType type;
    std::size_t start;  /**< byte offset in the lexed text */
    std::size_t length;
};

/** One collected define. The value is owned so that it stays valid whoever
    owns the text it came from. */
struct DefineEntry {
    std::string name;
    std::string value;
    /** Present when the value is exactly one token and that token is a number */
    std::optional<std::int32_t> integer;
};

/** A small view of bits over a word that someone else owns. */
class BitSetView {
    public:
        explicit BitSetView(std::uint64_t& word): _word{&word} {}
        bool operator[](std::size_t i) const { return (*_word >> i) & 1; }
        void set(std::size_t i, bool value) {
            if(value) *_word |= std::uint64_t{1} << i;
            else *_word &= ~(std::uint64_t{1} << i);
        }
        /** True when any of the bits 0 to @p count - 1 is set */
        bool anyBelow(std::size_t count) const {
            return count >= 64 ? *_word != 0 : (*_word & ((std::uint64_t{1} << count) - 1)) != 0;
        }
    private:
        std::uint64_t* _word;
};

/** Include path -> text spliced in by resolveIncludes() */
using IncludeMap = StaticMap<std::string>;

class ZANDELLE_EXPORT Preprocessor {
    public:
        /** At most this many #if / #ifdef levels may be open at once, minus one */
        enum: std::size_t { MaxBranchDepth = 64 };

        Preprocessor();
        Preprocessor(Preprocessor&&) noexcept;
        Preprocessor& operator=(Preprocessor&&) noexcept;
        ~Preprocessor();

        /** Processes @p text: replaces the output, adds the text's defines
            (they accumulate across calls) and clears the ok flag on a fatal
            error. */
        void process(std::string_view text);

        /** Keeps @p text for the preprocessor's lifetime, then processes it */
        void processOwned(std::string text);

        bool isDefined(std::string_view name) const;
        /** The define of @p name, the last definition when there are several;
            nullptr when not defined */
        const DefineEntry* define(std::string_view name) const;
        /** All defines sorted by name */
        const StaticMap<DefineEntry>& defines() const { return _defines; }

        /** False once any fatal error was met; never set back */
        bool isOk() const { return _ok; }
        /** Output of the last process() call */
        const std::string& output() const { return _output; }

    private:
        struct State;

        void addDefine(std::string_view name, std::string_view value, std::optional<std::int32_t> integer);
        void sortDefines() const;

        bool _ok = true;
        std::vector<std::string> _ownedTexts;
        std::string _output;
        /* Sorted lazily: after an insertion the next lookup or the end of
           process() sorts it, which nothing outside can tell from sorting
           after every insertion */
        mutable StaticMap<DefineEntry> _defines;
};

/** The paths that @p source includes, in order of appearance, inactive
    regions included; or "Missing opening double quote after #include" /
    "Missing closing double quote after #include". */
ZANDELLE_EXPORT Result<std::vector<std::string>> listIncludes(std::string_view source);

/** Replaces every include line of @p source by "#line 1\n", the included
    text, "#line N\n" (N the include line's number) and the rest of the line.
    On any error prints it as one Error line and returns @p source unchanged.
    Included texts are not scanned again. @p map must be compiled. */
ZANDELLE_EXPORT std::string resolveIncludes(std::string_view source, const IncludeMap& map);

}
