#pragma once
// Checks the shaders of the compiled pipelines with a real GLSL front end,
// for `zandelle compile --check-shaders`: mistakes that the compile steps
// cannot see (the engine compiles shaders only when it draws) show up
// before the project runs.

#include <cstddef>

#include "Base/Export.h"

namespace ZandelleEngine {

class ZandelleEditor;

/** Checks, for every pipeline the asset compiler has compiled, its shader
    with the pipeline's enabled features and its vertex shader (the
    "viewVertexShader", or "Dynamic.vert" that draws meshes) with those
    features and the vertex attributes the pipeline reads, each with its
    includes and the defines the engine compiles it with. Prints each
    distinct error once as an Error line "FILE:LINE: message", followed by
    the pipelines it was found in, and a Debug line with the totals.
    Returns the number of errors printed. A shader whose source is missing
    is passed over (the compile steps report it). */
ZANDELLE_EXPORT std::size_t checkPipelineShaders(ZandelleEditor& editor);

}
