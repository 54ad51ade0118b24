#include "Shaders/GlslCheck.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Base/Format.h"
#include "Base/Path.h"
#include "Base/String.h"

extern char** environ;

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

/* What the front end said of a text: accepted or not, with its info log;
   or why it gave no answer */
struct FrontEndRun {
    bool accepted = false;
    std::string infoLog;
    std::string failure;
};

/* Longest time one text may take */
constexpr int FrontEndSeconds = 20;

constexpr std::string_view HelperName = "zandelle-glsl-check";

/* The front end runs in a process of its own, zandelle-glsl-check, started
   for each text. Its preprocessor evaluates #if expressions recursively, a
   call per parenthesis, unary operator or macro expanded into them, so a
   few kilobytes of text overflow any stack, and macros that expand to
   several copies of each other take exponential time; a crash or a hang of
   the helper is an answer of its own. The text is handed over as a file in
   memory on its standard input, the answer read from a pipe: "1" or "0"
   for accepted, then the info log. */
FrontEndRun parseIsolated(const std::string& text, bool vertex) {
    FrontEndRun out;
    static const std::string helper = Path::helperProgram(HelperName);
    if(helper.empty()) {
        out.failure = format("cannot start the GLSL front end: no {} beside the library", HelperName);
        return out;
    }
    const auto cannotStart = [&](int error) {
        out.failure = format("cannot start the GLSL front end: {}", std::strerror(error));
        return out;
    };

    const int input = ::memfd_create("zandelle-glsl-text", MFD_CLOEXEC);
    if(input < 0) return cannotStart(errno);
    std::size_t written = 0;
    while(written != text.size()) {
        const ssize_t n = ::write(input, text.data() + written, text.size() - written);
        if(n < 0 && errno == EINTR) continue;
        if(n <= 0) {
            const int error = errno;
            ::close(input);
            return cannotStart(error);
        }
        written += std::size_t(n);
    }
    ::lseek(input, 0, SEEK_SET);
    int fds[2];
    if(::pipe2(fds, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(input);
        return cannotStart(error);
    }

    char* argv[]{const_cast<char*>(helper.c_str()), const_cast<char*>(vertex ? "vertex" : "fragment"), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, helper.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(input);
    ::close(fds[1]);
    if(spawned != 0) {
        ::close(fds[0]);
        return cannotStart(spawned);
    }

    std::string answer;
    bool timedOut = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds{FrontEndSeconds};
    for(;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        pollfd poll{fds[0], POLLIN, 0};
        const int ready = left > 0 ? ::poll(&poll, 1, int(left)) : 0;
        if(ready < 0 && errno == EINTR) continue;
        if(ready <= 0) {
            timedOut = ready == 0;
            ::kill(pid, SIGKILL);
            break;
        }
        char buffer[4096];
        const ssize_t size = ::read(fds[0], buffer, sizeof(buffer));
        if(size < 0 && errno == EINTR) continue;
        if(size <= 0) break;
        answer.append(buffer, std::size_t(size));
    }
    ::close(fds[0]);
    int status = 0;
    while(::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}

    if(timedOut) out.failure = format("the GLSL front end did not finish within {} seconds", FrontEndSeconds);
    else if(WIFSIGNALED(status)) out.failure = format("the GLSL front end crashed (signal {})", WTERMSIG(status));
    else if(!WIFEXITED(status) || WEXITSTATUS(status) != 0 || answer.empty())
        out.failure = "the GLSL front end ended without an answer";
    else {
        out.accepted = answer[0] == '1';
        out.infoLog = answer.substr(1);
    }
    return out;
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

    const FrontEndRun run = parseIsolated(out.text, stage == ShaderStage::Vertex);
    if(!run.failure.empty()) out.errors.push_back(GlslError{name, 0, run.failure});
    else if(!run.accepted) out.errors = parseInfoLog(run.infoLog, files);
    return out;
}

}
