#pragma once
// The define texts that shaders are preprocessed with: the generated defines
// of a pipeline and one define per enabled feature.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Shaders/Preprocessor.h"

namespace ZandelleEngine {

/** Bits of the pipeline define flags */
enum PipelineDefineFlag: std::uint8_t {
    PipelineDefineParaboloid = 1 << 0, /**< "#define PARABOLOID" */
    PipelineDefinePreZPass = 1 << 4    /**< "#define PRE_Z_PASS" */
};

/** NUM_LIGHTS, NUM_SHADOWS, OBJECTS_PER_ROW_MASK and _LOG2 (from the base-2
    logarithm of @p objectsPerRow, rounded down; 0 counts as 1), PARABOLOID
    and PRE_Z_PASS from @p flags, NEW_GLSL; one "#define" line each. */
ZANDELLE_EXPORT std::string pipelineDefines(std::uint8_t flags, std::uint32_t lightCount,
    std::uint32_t shadowCount, std::uint32_t objectsPerRow);

/** "#define NAME\n" per name, in order */
ZANDELLE_EXPORT std::string featureDefines(const std::vector<std::string>& names);

/** Names of the defines that begin with "FEATURE_", without that prefix, in
    sorted order; a feature defined twice is listed twice. Empty when
    @p preprocessor is not ok. */
ZANDELLE_EXPORT std::vector<std::string> shaderFeatures(const Preprocessor& preprocessor);

/** A preprocessor that has processed the pipeline defines, the feature
    defines (when there are features) and then @p source; its output is the
    source with the pipeline's conditions resolved. */
ZANDELLE_EXPORT Preprocessor preprocessForPipeline(std::string_view source, std::uint32_t lightCount,
    std::uint32_t shadowCount, std::uint32_t objectsPerRow,
    const std::vector<std::string>& featureNames, std::uint8_t flags);

/** The names of the features switched on in a pipeline's feature object:
    those of @p shaderFeatures (in order) whose entry in @p enabled is true.
    Adapters turn the document's "features" object into the map. */
template<class Map> std::vector<std::string> enabledFeatures(const std::vector<std::string>& shaderFeatures, const Map& enabled) {
    std::vector<std::string> out;
    for(const std::string& name: shaderFeatures) {
        const auto found = enabled.find(name);
        if(found != enabled.end() && found->second) out.push_back(name);
    }
    return out;
}

}
