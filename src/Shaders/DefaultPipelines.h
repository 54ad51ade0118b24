#pragma once
// The ready-made pipelines every project gets for the editor's shading
// models. Each is the original record of the link ("default", pipeline name)
// in the pipelines section, rewritten on every shader load; a resource for
// it is added only when the project has no pipeline of that name yet, so
// pipelines a user edited or renamed are left alone.

#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"

namespace ZandelleEngine {

class ProjectFile;

/** The default pipelines of one fragment shader that loaded without errors:
    "<base>" or "<base> Opaque" (with the ALPHA_MASKED feature), and a
    " Textured" variant when the shader has the TEXTURED feature. Shaders
    named "Particle", "Sky" and "Background" get none here; they are
    covered by addFixedDefaultPipelines(). */
ZANDELLE_EXPORT void addShaderDefaultPipelines(ProjectFile& file, std::string_view baseName,
    std::string_view shaderKey, const std::vector<std::string>& features);

/** "Phong Normalmapped", "Phong Lightmapped", "Foliage", "Particle", "Sky"
    and "Text", in that order; run after every shader was processed. A
    shader that is missing leaves the pipeline's "shader" empty. */
ZANDELLE_EXPORT void addFixedDefaultPipelines(ProjectFile& file);

/** Makes the pipeline named "Phong Opaque" the one a material without a
    pipeline of its own uses ("/materials/pipeline" of the project's
    defaults); an empty key when there is no such pipeline. */
ZANDELLE_EXPORT void setDefaultMaterialPipeline(ProjectFile& file);

}
