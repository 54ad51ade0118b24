#pragma once
// Checks shader texts with a real GLSL front end (glslang), as the engine
// would compile them: the shader's own text with its includes spliced in and
// the pipeline's defines after its #version line. Errors come back located
// in the file they are in, the shader itself or one of its includes.
//
//     IncludeMap includes;   // compiled; every include the shader names
//     const GlslCheck result = checkGlsl(ShaderStage::Fragment, "Phong.frag",
//         source, includes, pipelineDefines(0, 1, 1, 1) + featureDefines(features));
//     for(const GlslError& e: result.errors) ... // e.file, e.line, e.message
//
// A text the front end rejects is a list of errors, never a crash: the
// front end parses in a child process, and a text that crashes it or keeps
// it busy for more than 20 seconds is one error that says so.

#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Shaders/Preprocessor.h"
#include "Shaders/ShaderLoading.h"

namespace ZandelleEngine {

/** One error of the GLSL front end */
struct GlslError {
    /** The shader's or the include's path; the shader's when the front end
        gave no location */
    std::string file;
    /** 1-based; 0 when the front end gave no line */
    int line;
    std::string message;

    bool operator==(const GlslError&) const = default;
};

/** The text handed to the front end and what it said of it */
struct GlslCheck {
    std::string text;
    std::vector<GlslError> errors;
};

/** Parses @p source, a vertex or fragment shader named @p fileName, with the
    GLSL front end. Its includes come from @p includes (compiled, holding
    every path the source includes; a missing one is an error of the
    check), @p defines is placed after the #version line. Include stage
    sources are not checked on their own: they are checked inside the
    shaders that include them, and give an empty result. */
ZANDELLE_EXPORT GlslCheck checkGlsl(ShaderStage stage, std::string_view fileName, std::string_view source,
    const IncludeMap& includes, std::string_view defines);

}
