#include "Shaders/ShaderDefines.h"

#include <bit>

#include "Base/Format.h"
#include "Base/String.h"

namespace ZandelleEngine {

std::string pipelineDefines(std::uint8_t flags, std::uint32_t lightCount, std::uint32_t shadowCount, std::uint32_t objectsPerRow) {
    std::string out;
    out.reserve(512);
    const unsigned log2 = objectsPerRow ? unsigned(std::bit_width(objectsPerRow)) - 1 : 0;
    out += format("#define NUM_LIGHTS {}\n", lightCount);
    out += format("#define NUM_SHADOWS {}\n", shadowCount);
    out += format("#define OBJECTS_PER_ROW_MASK {}\n", (std::uint32_t{1} << log2) - 1);
    out += format("#define OBJECTS_PER_ROW_LOG2 {}\n", log2);
    if(flags & PipelineDefineParaboloid) out += "#define PARABOLOID\n";
    if(flags & PipelineDefinePreZPass) out += "#define PRE_Z_PASS\n";
    out += "#define NEW_GLSL\n";
    return out;
}

std::string featureDefines(const std::vector<std::string>& names) {
    std::string out;
    for(const std::string& name: names) out += format("#define {}\n", name);
    return out;
}

std::vector<std::string> shaderFeatures(const Preprocessor& preprocessor) {
    std::vector<std::string> features;
    if(!preprocessor.isOk()) return features;
    for(const auto& entry: preprocessor.defines()) {
        if(!String::beginsWith(entry.first, "FEATURE_")) continue;
        features.push_back(entry.first.substr(8));
    }
    return features;
}

Preprocessor preprocessForPipeline(std::string_view source, std::uint32_t lightCount, std::uint32_t shadowCount,
    std::uint32_t objectsPerRow, const std::vector<std::string>& featureNames, std::uint8_t flags)
{
    Preprocessor preprocessor;
    preprocessor.processOwned(pipelineDefines(flags, lightCount, shadowCount, objectsPerRow));
    if(!featureNames.empty()) preprocessor.processOwned(featureDefines(featureNames));
    preprocessor.process(source);
    return preprocessor;
}

}
