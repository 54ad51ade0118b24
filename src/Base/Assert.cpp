#include "Base/Assert.h"

#include <cstdlib>
#include <string>

#include "Base/Log.h"

namespace ZandelleEngine {

namespace Implementation {

/* "/.../src/AssetCompiler/AssetCompiler.cpp" is reported as "AssetCompiler" */
static std::string_view sourceName(std::string_view file) {
    const std::size_t src = file.rfind("/src/");
    if(src != std::string_view::npos) file.remove_prefix(src + 5);
    const std::size_t slash = file.rfind('/');
    if(slash != std::string_view::npos) {
        /* Keep the layer folder when it differs from the file name, e.g.
           Tools/ProjectFiles */
        std::string_view folder = file.substr(0, slash);
        std::string_view name = file.substr(slash + 1);
        if(const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) name = name.substr(0, dot);
        if(folder == name) return name;
        return file.substr(0, slash + 1 + name.size());
    }
    return file;
}

void assertionFailed(const char* expression, const char* file, int line) {
    {
        Error{} << "Assertion" << expression << "failed at"
            << std::string{sourceName(file)} + ":" + std::to_string(line);
    }
    std::abort();
}

}

void fatal(std::string_view message) {
    { Error{} << message; }
    std::abort();
}

}
