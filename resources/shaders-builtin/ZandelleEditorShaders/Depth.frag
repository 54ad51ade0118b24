#version 300 es
/* Depth-only pass for shadow maps and the depth prepass. Alpha masked
   materials still discard their cut-out pixels. */

#define SHADER_TYPE_DEPTH
/* Not internal, so that projects can find it:
#define SHADER_INTERNAL */

#define FEATURE_ALPHA_MASKED

#ifdef ALPHA_MASKED
#define USE_TEXTURE_COORDS
#endif

#include "lib/Compatibility.frag"
#include "lib/Inputs.frag"
#include "lib/Materials.glsl"

void main() {
#ifdef ALPHA_MASKED
    if(alphaMaskDiscards(fragMaterialId, fragTextureCoords, 1.0)) discard;
#endif
#ifdef PARABOLOID
    /* Paraboloid shadow maps clip the back hemisphere themselves */
    if(gl_FragCoord.z < 0.0) discard;
#endif
    outColor = vec4(gl_FragCoord.z);
}
