#include "Shaders/GlslCheck.h"

#include <algorithm>
#include <charconv>
#include <mutex>

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>

#include "Base/Format.h"
#include "Base/String.h"

namespace ZandelleEngine {

namespace {

/* The engine generates decodeMaterial() for each shader from its Material
   struct and puts it where the shader says "{{decoder}}". The check puts a
   function of the same signature there, on the same line, so that the lines
   after it keep their numbers. */
constexpr std::string_view DecoderPlaceholder = "{{decoder}}";
constexpr std::string_view DecoderStandIn =
    "Material decodeMaterial(highp uint materialId) { Material material; return material; }";

/* A shader that does not name its GLSL version is compiled as GLSL ES 3.00,
   the version the engine's renderer targets */
constexpr std::string_view DefaultVersion = "#version 300 es\n";

void initializeFrontEnd() {
    static std::once_flag once;
    std::call_once(once, [] { glslang::InitializeProcess(); });
}

/* Length of the #version line at the start of @p text (with its line end),
   0 when the text does not start with one */
std::size_t versionLineLength(std::string_view text) {
    const std::size_t start = std::min(text.find_first_not_of(" \t"), text.size());
    if(text.substr(start, 8) != "#version") return 0;
    const std::size_t end = text.find('\n', start);
    return end == std::string_view::npos ? text.size() : end + 1;
}

/* The front end pads some parts of its messages with two spaces */
std::string collapseSpaces(std::string_view text) {
    std::string out;
    for(char c: text) if(c != ' ' || out.empty() || out.back() != ' ') out += c;
    return out;
}

/* "S:L: message" of one front end line after "ERROR: " */
bool parseLocated(std::string_view text, int& source, int& line, std::string_view& message) {
    const char* end = text.data() + text.size();
    auto [afterSource, sourceError] = std::from_chars(text.data(), end, source);
    if(sourceError != std::errc{} || afterSource == end || *afterSource != ':') return false;
    auto [afterLine, lineError] = std::from_chars(afterSource + 1, end, line);
    if(lineError != std::errc{} || afterLine == end || *afterLine != ':') return false;
    message = String::trim(std::string_view{afterLine + 1, std::size_t(end - afterLine - 1)});
    return true;
}

/* The errors of the front end's info log; the closing count line is left out */
std::vector<GlslError> parseInfoLog(std::string_view log, const std::vector<std::string>& files) {
    std::vector<GlslError> errors;
    for(const std::string& entry: String::splitWithoutEmptyParts(log, '\n')) {
        if(!String::beginsWith(entry, "ERROR: ")) continue;
        const std::string_view text = std::string_view{entry}.substr(7);
        int source = 0, line = 0;
        std::string_view message;
        if(parseLocated(text, source, line, message)) {
            /* Said after the first syntax error; it adds nothing */
            if(message == "'' : compilation terminated") continue;
            const bool known = source >= 0 && std::size_t(source) < files.size();
            errors.push_back(GlslError{known ? files[source] : files[0], line, collapseSpaces(message)});
        } else if(text.find("compilation errors") == std::string_view::npos)
            errors.push_back(GlslError{files[0], 0, collapseSpaces(String::trim(text))});
    }
    return errors;
}

}

GlslCheck checkGlsl(ShaderStage stage, std::string_view fileName, std::string_view source,
    const IncludeMap& includes, std::string_view defines)
{
    GlslCheck out;
    if(stage == ShaderStage::Include) return out;
    const std::string name{fileName};

    /* Each included text is marked with a source string number of its own
       through #line, so that the front end says which file an error is in;
       number 0 is the shader itself */
    const Result<std::vector<std::string>> listed = listIncludes(source);
    if(!listed) {
        out.errors.push_back(GlslError{name, 0, listed.error()});
        return out;
    }
    std::vector<std::string> files{name};
    IncludeMap marked;
    marked.setCapacity(listed->size());
    for(const std::string& path: *listed) {
        if(std::find(files.begin() + 1, files.end(), path) != files.end()) continue;
        const std::string* text = includes.isCompiled() ? includes.find(path) : nullptr;
        if(!text) {
            out.errors.push_back(GlslError{name, 0, "#include '" + path + "' not found"});
            return out;
        }
        const bool endsLine = !text->empty() && text->back() == '\n';
        marked.put(path, format("#line 1 {}\n", files.size()) + *text + (endsLine ? "" : "\n") + "#line 1 0\n");
        files.push_back(path);
    }
    marked.compile();
    const std::string body = resolveIncludes(String::replaceAll(source, DecoderPlaceholder, DecoderStandIn), marked);

    /* The defines go after the #version line, which has to come first */
    const std::size_t version = versionLineLength(body);
    out.text = version ? body.substr(0, version) : std::string{DefaultVersion};
    if(!out.text.empty() && out.text.back() != '\n') out.text += '\n';
    out.text += defines;
    out.text += version ? "#line 2 0\n" : "#line 1 0\n";
    out.text += std::string_view{body}.substr(version);

    initializeFrontEnd();
    glslang::TShader shader{stage == ShaderStage::Vertex ? EShLangVertex : EShLangFragment};
    const char* const strings[]{out.text.c_str()};
    const int lengths[]{int(out.text.size())};
    shader.setStringsWithLengths(strings, lengths, 1);
    if(!shader.parse(GetDefaultResources(), 300, EEsProfile, false, false, EShMsgDefault))
        out.errors = parseInfoLog(shader.getInfoLog(), files);
    return out;
}

}
