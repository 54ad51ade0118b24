// zandelle-glsl-check vertex|fragment: parses the GLSL text on standard input
// with the GLSL front end (glslang) as the engine compiles shaders, GLSL ES
// 3.00, and writes "1" when it accepted the text or "0" when it did not,
// then the front end's info log, to standard output. Exit 0 when it
// answered, 1 when it could not read or write, 2 on bad arguments. The
// library runs it for every shader text it checks, so that a text that
// crashes the front end or keeps it busy stays in this process.

#include <cstdio>
#include <cstring>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>

namespace {

bool writeAll(const char* data, std::size_t size) {
    while(size) {
        const ssize_t written = ::write(1, data, size);
        if(written <= 0) return false;
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

}

int main(int argc, char** argv) {
    const bool vertex = argc == 2 && std::strcmp(argv[1], "vertex") == 0;
    if(argc != 2 || (!vertex && std::strcmp(argv[1], "fragment") != 0)) {
        std::fprintf(stderr, "usage: %s vertex|fragment < TEXT\n", argv[0]);
        return 2;
    }
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);

    std::string text;
    char buffer[65536];
    for(;;) {
        const ssize_t n = ::read(0, buffer, sizeof(buffer));
        if(n < 0) return 1;
        if(n == 0) break;
        text.append(buffer, std::size_t(n));
    }

    glslang::InitializeProcess();
    glslang::TShader shader{vertex ? EShLangVertex : EShLangFragment};
    const char* const strings[]{text.c_str()};
    const int lengths[]{int(text.size())};
    shader.setStringsWithLengths(strings, lengths, 1);
    const bool accepted = shader.parse(GetDefaultResources(), 300, EEsProfile, false, false, EShMsgDefault);
    const char* log = shader.getInfoLog();
    return writeAll(accepted ? "1" : "0", 1) && writeAll(log, std::strlen(log)) ? 0 : 1;
}
