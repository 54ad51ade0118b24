#version 300 es
/* Writes, per pixel, which texture and mip level a material samples, so
   that the virtual texture atlas streams in the tiles that are visible. */

#define SHADER_TYPE_TILE_FEEDBACK
/* #define SHADER_INTERNAL */

#define USE_TEXTURE_COORDS

#include "lib/Compatibility.frag"
#include "lib/Inputs.frag"
#include "lib/Materials.glsl"

layout(location = 1) out highp uvec4 outFeedback;

uniform highp sampler2D textureSizes; /* per texture: size in texels, mip count */

void main() {
    /* The first texture of the material stands for all of them */
    highp uint textureIndex = unpackTextureIndex(materialByte(fragMaterialId, 4), materialByte(fragMaterialId, 5));
    highp vec4 size = texelFetch(textureSizes, ivec2(int(textureIndex), 0), 0);
    highp vec2 texels = fragTextureCoords*size.xy;
    highp vec2 dx = dFdx(texels), dy = dFdy(texels);
    highp float mip = clamp(0.5*log2(max(dot(dx, dx), dot(dy, dy))), 0.0, size.z);
    outFeedback = uvec4(textureIndex, uint(gl_FragCoord.x) & 0xFFu, uint(mip), 1u);
    outColor = vec4(0.0);
}
