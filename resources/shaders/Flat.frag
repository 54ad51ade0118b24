#version 300 es
/* Unlit color, optionally textured and vertex colored. */

#define SHADER_TYPE_FORWARD

#define FEATURE_ALPHA_MASKED
#define FEATURE_TEXTURED
#define FEATURE_VERTEX_COLORS

#if defined(TEXTURED) || defined(ALPHA_MASKED)
#define USE_TEXTURE_COORDS
#endif
#ifdef VERTEX_COLORS
#define USE_COLOR
#endif

#include "lib/Compatibility.frag"
#include "lib/Inputs.frag"
#include "lib/Materials.glsl"

struct Material {
    lowp vec4 color;
    mediump uint flatTexture;
};

{{decoder}}

void main() {
    Material mat = decodeMaterial(fragMaterialId);
    mediump vec4 color = mat.color;
#ifdef TEXTURED
    color *= textureAtlasSample(mat.flatTexture, fragTextureCoords);
#endif
#ifdef VERTEX_COLORS
    color *= fragColor;
#endif
#ifdef ALPHA_MASKED
    if(alphaMaskDiscards(fragMaterialId, fragTextureCoords, color.a)) discard;
#endif
    outColor = color;
}
