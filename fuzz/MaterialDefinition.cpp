// Fuzz target: the Material struct declarations of a shader, parsed and
// checked against the parameters of the built-in shading models.

#include "FuzzTarget.h"
#include "Shaders/MaterialDefinition.h"

using namespace ZandelleEngine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fuzz::silenceLog();
    const std::string_view text = Fuzz::text(data, size);
    parseMaterialDefinition("Fuzz.frag", text);
    if(const ShadingModelParameters* physical = builtinShadingModelParameters("Physical"))
        validateMaterialParameters(text, physical->names, physical->types);
    return 0;
}
