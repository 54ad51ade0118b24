#include "Shaders/Preprocessor.h"

#include <algorithm>
#include <cstring>

#include "Base/Format.h"
#include "Base/Log.h"

namespace ZandelleEngine {

namespace {

/* A text ends at its first NUL byte; reading past the end gives NUL, so the
   lexer never needs bounds checks of its own. */
struct Text {
    explicit Text(std::string_view text): data{text.data()}, size{text.size()} {
        if(const void* nul = std::memchr(data, 0, size))
            size = static_cast<const char*>(nul) - data;
    }

    char at(std::size_t i) const { return i < size ? data[i] : '\0'; }
    std::string_view view(std::size_t start, std::size_t length) const {
        if(start >= size) return {};
        return {data + start, std::min(length, size - start)};
    }
    std::string_view text(const Token& token) const { return view(token.start, token.length); }

    const char* data;
    std::size_t size;
};

struct Classified {
    TokenType type;
    std::size_t length; /* 0 for an identifier byte */
};

Classified classify(const Text& t, std::size_t i) {
    const char next = t.at(i + 1);
    switch(t.at(i)) {
        case '\0': return {TokenType::End, 0};
        case '=': return next == '=' ? Classified{TokenType::Comparison, 2} : Classified{TokenType::Other, 1};
        case ',': case ';': case '[': case ']': return {TokenType::Other, 1};
        case '/': return next == '/' || next == '*' ? Classified{TokenType::Comment, 2} : Classified{TokenType::Other, 1};
        case '&': return next == '&' ? Classified{TokenType::Logical, 2} : Classified{TokenType::Other, 1};
        case '|': return next == '|' ? Classified{TokenType::Logical, 2} : Classified{TokenType::Other, 1};
        case '+': return next == '+' ? Classified{TokenType::Other, 2} : Classified{TokenType::Unary, 1};
        case '-': return next == '-' ? Classified{TokenType::Other, 2} : Classified{TokenType::Unary, 1};
        case '!': return next == '=' ? Classified{TokenType::Comparison, 2} : Classified{TokenType::Unary, 1};
        case '<': case '>': return {TokenType::Comparison, next == '=' ? 2u : 1u};
        case '(': return {TokenType::OpenParen, 1};
        case ')': return {TokenType::CloseParen, 1};
        case '{': return {TokenType::OpenBrace, 1};
        case '}': return {TokenType::CloseBrace, 1};
        case '"': return {TokenType::Quote, 1};
        case '#': return {TokenType::Hash, 1};
        case '\n': return {TokenType::NewLine, 1};
        /* A lone carriage return is an identifier byte */
        case '\r': return next == '\n' ? Classified{TokenType::NewLine, 2} : Classified{TokenType::Identifier, 0};
        default: return {TokenType::Identifier, 0};
    }
}

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

struct Skipped {
    std::size_t position; /* at the opening of an unclosed comment */
    bool unclosed;
};

/* Passes spaces, tabs and comments. A line comment takes its line break with
   it; any other line break stops the skip. */
Skipped skipWhitespaceAndComments(const Text& t, std::size_t i) {
    for(;;) {
        while(isBlank(t.at(i))) ++i;
        if(t.at(i) != '/') return {i, false};
        if(t.at(i + 1) == '/') {
            i += 2;
            while(i < t.size && t.data[i] != '\n' && t.data[i] != '\r') ++i;
            if(t.at(i) == '\r') {
                ++i;
                if(t.at(i) == '\n') ++i;
            } else if(t.at(i) == '\n') ++i;
        } else if(t.at(i + 1) == '*') {
            const std::size_t close = std::string_view{t.data, t.size}.find("*/", i + 2);
            if(close == std::string_view::npos) return {i, true};
            i = close + 2;
        } else return {i, false};
    }
}

/* The token at i, which must not be a space, tab or (in skipping mode) the
   start of a comment */
Token tokenAt(const Text& t, std::size_t i) {
    const Classified c = classify(t, i);
    if(c.type != TokenType::Identifier) return {c.type, i, c.length};
    std::size_t end = i + 1;
    while(end < t.size && !isBlank(t.data[end]) && classify(t, end).type == TokenType::Identifier) ++end;
    return {TokenType::Identifier, i, end - i};
}

Token lex(const Text& t, std::size_t i, bool skipComments) {
    if(skipComments) {
        const Skipped s = skipWhitespaceAndComments(t, i);
        if(s.unclosed) return {TokenType::End, s.position, 0};
        i = s.position;
    } else while(isBlank(t.at(i))) ++i;
    return tokenAt(t, i);
}

inline Token next(const Text& t, const Token& token) { return lex(t, token.start + token.length, true); }

/* True at a NUL, a line break or the start of a comment */
bool isEndOfLine(const Text& t, const Token& token) {
    const char c = t.at(token.start);
    if(c == '\0' || c == '\n' || c == '\r') return true;
    return c == '/' && (t.at(token.start + 1) == '/' || t.at(token.start + 1) == '*');
}

/* Position after the rest of the line that starts at i, line break included.
   Comments are passed as a whole (a line comment ends the line); an unclosed
   one stops the pass so that the caller reports it. */
std::size_t passLine(const Text& t, std::size_t i) {
    for(;;) {
        const char c = t.at(i);
        if(c == '\0') return i;
        if(c == '\n') return i + 1;
        if(c == '\r') return t.at(i + 1) == '\n' ? i + 2 : i + 1;
        if(c == '/' && (t.at(i + 1) == '/' || t.at(i + 1) == '*')) {
            const Skipped s = skipWhitespaceAndComments(t, i);
            if(s.unclosed) return s.position;
            /* A line comment ended the line together with its break */
            if(t.at(i + 1) == '/') return s.position;
            i = s.position;
            continue;
        }
        ++i;
    }
}

/* An identifier's text that is digits with an optional leading "-" and
   trailing "u" or "i". What is left may be empty: "u" and "i" alone are
   numbers of value 0. */
bool isNumber(std::string_view text) {
    if(!text.empty() && text.front() == '-') text.remove_prefix(1);
    if(!text.empty() && (text.back() == 'u' || text.back() == 'i')) text.remove_suffix(1);
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

/* Reads like atol: optional sign, decimal digits, the rest ignored. Wraps to
   32 bits instead of overflowing. */
std::int32_t numberValue(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if(i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::uint32_t value = 0;
    for(; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value*10u + std::uint32_t(text[i] - '0');
    if(negative) value = 0u - value;
    return std::int32_t(value);
}

std::string displayToken(const Text& t, const Token& token) {
    if(token.type == TokenType::NewLine) return "\\n";
    if(token.type == TokenType::End) return "\\0";
    return std::string{t.text(token)};
}

/* Bounds the recursion of nested parentheses, unary chains, logical chains
   and define expansion; nothing legitimate comes close */
constexpr int MaxEvaluationDepth = 256;

}

struct Preprocessor::State {
    State(Preprocessor& p, const Text& t): p{p}, t{t} {}

    Preprocessor& p;
    const Text& t;
    std::uint64_t word = 0;
    BitSetView bits{word};
    std::size_t depth = 0;
    bool active = true;
    std::size_t position = 0;

    /* Expression evaluation */
    int evaluationDepth = 0;
    std::vector<std::string_view> expanding;

    bool fatal(std::string_view message) {
        Error{} << message;
        p._ok = false;
        return false;
    }

    void run();
    bool directive(const Token& hash);
    Result<std::int32_t> expression(const Text& text, Token& cursor);
    Result<std::int32_t> operand(const Text& text, Token& cursor);
};

Preprocessor::Preprocessor() = default;
Preprocessor::Preprocessor(Preprocessor&&) noexcept = default;
Preprocessor& Preprocessor::operator=(Preprocessor&&) noexcept = default;
Preprocessor::~Preprocessor() = default;

void Preprocessor::process(std::string_view text) {
    const Text t{text};
    _output.clear();
    _output.reserve(text.size() + 1);
    State state{*this, t};
    state.run();
    sortDefines();
}

void Preprocessor::processOwned(std::string text) {
    _ownedTexts.push_back(std::move(text));
    process(_ownedTexts.back());
}

void Preprocessor::sortDefines() const {
    if(!_defines.isCompiled()) _defines.compile();
}

const DefineEntry* Preprocessor::define(std::string_view name) const {
    sortDefines();
    /* Equal names keep their insertion order, so the last of them is the
       latest definition */
    auto it = std::upper_bound(_defines.begin(), _defines.end(), name,
        [](std::string_view k, const auto& entry) { return k < std::string_view{entry.first}; });
    if(it == _defines.begin()) return nullptr;
    --it;
    return it->first == name ? &it->second : nullptr;
}

bool Preprocessor::isDefined(std::string_view name) const { return define(name) != nullptr; }

void Preprocessor::addDefine(std::string_view name, std::string_view value, std::optional<std::int32_t> integer) {
    if(_defines.size() >= _defines.capacity()) _defines.setCapacity(_defines.capacity() + 10);
    _defines.put(name, DefineEntry{std::string{name}, std::string{value}, integer});
}

void Preprocessor::State::run() {
    std::string& out = p._output;
    while(position < t.size) {
        /* Outside directives the text moves over as it is: only a '#' (a
           directive) or a comment, which may hide one, stops the copy, so
           everything before the next of them goes at once */
        std::size_t stop = position;
        for(;; ++stop) {
            while(stop < t.size && t.data[stop] != '#' && t.data[stop] != '/') ++stop;
            if(stop == t.size || t.data[stop] == '#' || t.at(stop + 1) == '/' || t.at(stop + 1) == '*') break;
        }
        /* Blanks before a comment go with it, so that nothing of them
           moves over when the comment turns out unclosed */
        if(stop != t.size && t.data[stop] == '/') while(stop > position && isBlank(t.data[stop - 1])) --stop;
        if(active) out.append(t.data + position, stop - position);
        position = stop;
        if(position == t.size) break;

        if(t.data[position] != '#') {
            const Skipped skipped = skipWhitespaceAndComments(t, position);
            if(skipped.unclosed) {
                fatal("Preprocess: found unclosed multiline comment");
                return;
            }
            if(active) out.append(t.data + position, skipped.position - position);
            position = skipped.position;
            continue;
        }
        if(!directive(Token{TokenType::Hash, position, 1})) return;
    }
}

bool Preprocessor::State::directive(const Token& hash) {
    const Token name = next(t, hash);
    if(name.type != TokenType::Identifier)
        return fatal("Preprocessor: no identifier found after #");
    const std::string_view directive = t.text(name);
    Token cursor = name;

    if(directive == "else") {
        if(depth == 0) return fatal("Preprocessor: found #else without #if or #ifdef");
        bits.set(depth - 1, !bits[depth - 1]);

    } else if(directive == "endif") {
        if(depth == 0) return fatal("Preprocessor: found #endif without #if or #ifdef");
        --depth;

    } else if(directive == "ifdef" || directive == "ifndef") {
        cursor = next(t, name);
        if(cursor.type != TokenType::Identifier)
            return fatal(directive == "ifdef" ?
                "Preprocessor: expected an identifier after #ifdef" :
                "Preprocessor: expected an identifier after #ifndef");
        const bool defined = p.isDefined(t.text(cursor));
        bits.set(depth, directive == "ifdef" ? !defined : defined);
        ++depth;

    } else if(directive == "define" && active) {
        const Token defineName = next(t, name);
        if(defineName.type != TokenType::Identifier)
            return fatal("Preprocessor: expected an identifier after #define");
        cursor = next(t, defineName);
        std::string_view value;
        std::optional<std::int32_t> integer;
        if(!isEndOfLine(t, cursor)) {
            const Token first = cursor;
            cursor = next(t, first);
            const bool single = isEndOfLine(t, cursor);
            while(!isEndOfLine(t, cursor)) cursor = next(t, cursor);
            value = t.view(first.start, cursor.start - first.start);
            /* Only an identifier is a number: a lone "-" is an operator */
            if(single && first.type == TokenType::Identifier && isNumber(t.text(first)))
                integer = numberValue(t.text(first));
        }
        p.addDefine(t.text(defineName), value, integer);

    } else if(directive == "if" || directive == "elif") {
        const bool isIf = directive == "if";
        if(!isIf && depth == 0)
            return fatal("Preprocessor: found #elif without #if or #ifdef");

        /* An earlier branch of this group was taken: this one and every
           later #elif are passed over, a later #else sets the bit */
        if(!isIf && !bits[depth - 1]) {
            position = passLine(t, cursor.start);
            active = false;
            return true;
        }

        cursor = next(t, name);
        evaluationDepth = 0;
        expanding.clear();
        Result<std::int32_t> value = expression(t, cursor);
        if(value && cursor.type != TokenType::NewLine && cursor.type != TokenType::End)
            value = resultError("Unexpected token " + displayToken(t, cursor));

        if(value) {
            if(isIf) bits.set(depth++, *value == 0);
            else bits.set(depth - 1, *value == 0);
        } else {
            Warning{} << "Preprocessor: failed to parse #" << Debug::nospace << directive << Debug::nospace << "."
                << value.error() << Debug::nospace << ". Skipping evaluation.";
            if(isIf) bits.set(depth++, true);
            else bits.set(depth - 1, true);
            if(depth >= MaxBranchDepth)
                return fatal(format("Preprocessor: exceeding max branch depth of {}", int(MaxBranchDepth)));
            position = passLine(t, cursor.start);
            active = false;
            return true;
        }
    }
    /* Anything else (version, extension, pragma, include, ..., and #define
       in a skipped region) just removes the line */

    if(depth >= MaxBranchDepth)
        return fatal(format("Preprocessor: exceeding max branch depth of {}", int(MaxBranchDepth)));
    position = passLine(t, cursor.start);
    active = !bits.anyBelow(depth);
    return true;
}

Result<std::int32_t> Preprocessor::State::expression(const Text& text, Token& cursor) {
    struct Guard { int& d; ~Guard() { --d; } } guard{++evaluationDepth};
    if(evaluationDepth > MaxEvaluationDepth) return resultError("Expression nested too deeply");

    Result<std::int32_t> left = operand(text, cursor);
    if(!left) return left;
    std::int32_t value = *left;

    if(cursor.type == TokenType::Comparison) {
        const std::string_view op = text.text(cursor);
        cursor = next(text, cursor);
        Result<std::int32_t> right = operand(text, cursor);
        if(!right) return right;
        const std::int32_t r = *right;
        if(op == "<") value = value < r;
        else if(op == ">") value = value > r;
        else if(op == "<=") value = value <= r;
        else if(op == ">=") value = value >= r;
        else if(op == "==") value = value == r;
        else value = value != r;
    }

    if(cursor.type == TokenType::Logical) {
        const bool isAnd = text.text(cursor) == "&&";
        cursor = next(text, cursor);
        if(isAnd ? value == 0 : value != 0) {
            /* The left side decides: pass over the right side up to the end
               of the line or a closing parenthesis that is not its own */
            int parentheses = 0;
            while(!isEndOfLine(text, cursor)) {
                if(cursor.type == TokenType::OpenParen) ++parentheses;
                else if(cursor.type == TokenType::CloseParen && parentheses-- == 0) break;
                cursor = next(text, cursor);
            }
            return value;
        }
        Result<std::int32_t> right = expression(text, cursor);
        if(!right) return right;
        return std::int32_t(*right != 0);
    }
    return value;
}

Result<std::int32_t> Preprocessor::State::operand(const Text& text, Token& cursor) {
    struct Guard { int& d; ~Guard() { --d; } } guard{++evaluationDepth};
    if(evaluationDepth > MaxEvaluationDepth) return resultError("Expression nested too deeply");

    const Token token = cursor;
    const std::string_view s = text.text(token);

    if(token.type == TokenType::Identifier) {
        cursor = next(text, cursor);
        if(s == "defined") {
            const bool parenthesis = cursor.type == TokenType::OpenParen;
            if(parenthesis) cursor = next(text, cursor);
            if(cursor.type != TokenType::Identifier) return resultError("Expected an identifier in defined");
            const bool defined = p.isDefined(text.text(cursor));
            cursor = next(text, cursor);
            if(parenthesis) {
                if(cursor.type != TokenType::CloseParen) return resultError("Expected closing parenthesis in defined(id)");
                cursor = next(text, cursor);
            }
            return std::int32_t(defined);
        }
        if(isNumber(s)) return numberValue(s);
        const DefineEntry* entry = p.define(s);
        if(!entry) return 0;
        if(entry->integer) return *entry->integer;

        if(std::find(expanding.begin(), expanding.end(), s) != expanding.end())
            return resultError(format("Define {} refers to itself", s));
        expanding.push_back(entry->name);
        const Text value{entry->value};
        Token valueCursor = lex(value, 0, true);
        /* Tokens left over after the value's expression are ignored */
        Result<std::int32_t> result = expression(value, valueCursor);
        expanding.pop_back();
        return result;
    }

    if(token.type == TokenType::Unary && (s == "!" || s == "-")) {
        cursor = next(text, cursor);
        Result<std::int32_t> inner = operand(text, cursor);
        if(!inner) return inner;
        if(s == "!") return std::int32_t(*inner == 0);
        return std::int32_t(0u - std::uint32_t(*inner));
    }

    if(token.type == TokenType::OpenParen) {
        cursor = next(text, cursor);
        Result<std::int32_t> inner = expression(text, cursor);
        if(!inner) return inner;
        if(cursor.type != TokenType::CloseParen) return resultError("Expected closing parenthesis in expression");
        cursor = next(text, cursor);
        return inner;
    }

    return resultError("Unexpected token " + displayToken(text, token));
}

Result<std::vector<std::string>> listIncludes(std::string_view source) {
    const Text t{source};
    std::vector<std::string> paths;
    std::size_t position = 0;
    for(;;) {
        const Token token = lex(t, position, true);
        if(token.type == TokenType::End) return paths;
        position = token.start + token.length;
        if(token.type != TokenType::Hash) continue;

        const Token name = lex(t, position, true);
        if(name.type == TokenType::Identifier && t.text(name) != "include") {
            position = name.start + name.length;
            continue;
        }
        const Token open = next(t, name);
        if(open.type != TokenType::Quote) return resultError("Missing opening double quote after #include");

        /* Inside the quotes comments mean nothing */
        const Token first = lex(t, open.start + 1, false);
        Token cursor = first;
        while(cursor.type != TokenType::Quote) {
            if(cursor.type == TokenType::NewLine || cursor.type == TokenType::End)
                return resultError("Missing closing double quote after #include");
            cursor = lex(t, cursor.start + cursor.length, false);
        }
        paths.emplace_back(t.view(first.start, cursor.start - first.start));
        position = cursor.start + 1;
    }
}

namespace {

bool isAbsolutePath(std::string_view path) {
    if(!path.empty() && (path[0] == '/' || path[0] == '\\')) return true;
    return path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'));
}

/* Updates the block comment state over one line */
void trackComments(std::string_view line, bool& inComment) {
    std::size_t i = 0;
    for(;;) {
        const std::size_t found = line.find(inComment ? "*/" : "/*", i);
        if(found == std::string_view::npos) return;
        inComment = !inComment;
        i = found + 2;
    }
}

}

std::string resolveIncludes(std::string_view source, const IncludeMap& map) {
    const Text t{source};
    const std::string_view text{t.data, t.size};
    std::string result;
    result.reserve(text.size());

    bool inComment = false;
    std::size_t lineStart = 0;
    for(std::size_t lineNumber = 1; lineStart < text.size(); ++lineNumber) {
        std::size_t contentEnd = lineStart;
        while(contentEnd < text.size() && text[contentEnd] != '\n' && text[contentEnd] != '\r') ++contentEnd;
        std::size_t lineEnd = contentEnd;
        if(lineEnd < text.size()) lineEnd += text[lineEnd] == '\r' && lineEnd + 1 < text.size() && text[lineEnd + 1] == '\n' ? 2 : 1;
        const std::string_view line = text.substr(lineStart, lineEnd - lineStart);
        const std::string_view content = text.substr(lineStart, contentEnd - lineStart);
        lineStart = lineEnd;

        trackComments(content, inComment);
        const std::size_t include = content.find("#include");
        const std::size_t indent = std::min(content.find_first_not_of(" \t"), content.size());
        if(include == std::string_view::npos || inComment || content.substr(indent, 2) == "//") {
            result += line;
            continue;
        }
        if(include != indent) {
            Warning{} << "#include preceded by non whitespace character are ignored";
            result += line;
            continue;
        }

        std::size_t i = include + 8;
        while(i < content.size() && isBlank(content[i])) ++i;
        if(i >= content.size() || content[i] != '"') {
            Error{} << "Expected path string after #include";
            return std::string{source};
        }
        const std::size_t close = content.find('"', i + 1);
        if(close == std::string_view::npos) {
            Error{} << "Unterminated string after #include";
            return std::string{source};
        }
        const std::string_view path = content.substr(i + 1, close - i - 1);
        if(isAbsolutePath(path)) {
            Error{} << "Absolute path in #include:" << path;
            return std::string{source};
        }
        const std::string* included = map.find(path);
        if(!included) {
            Error{} << "Could not find included file:" << path;
            return std::string{source};
        }
        result += "#line 1\n";
        result += *included;
        result += format("#line {}\n", lineNumber);
        result += line.substr(close + 1);
    }
    return result;
}

}
