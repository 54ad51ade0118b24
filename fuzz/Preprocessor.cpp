// Fuzz target: shader text through the preprocessor, the include lister and
// the include resolver (with an include map that holds the input itself).

#include <set>
#include <string>

#include "FuzzTarget.h"
#include "Shaders/Preprocessor.h"

using namespace ZandelleEngine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fuzz::silenceLog();
    const std::string_view source = Fuzz::text(data, size);
    Preprocessor preprocessor;
    preprocessor.process(source);
    preprocessor.process(preprocessor.output());

    const Result<std::vector<std::string>> includes = listIncludes(source);
    const std::set<std::string> paths = includes ? std::set<std::string>{includes->begin(), includes->end()} : std::set<std::string>{};
    IncludeMap map{paths.size()};
    for(const std::string& path: paths) map.put(path, std::string{source});
    map.compile();
    resolveIncludes(source, map);
    return 0;
}
