#version 300 es
/* Copies one tile of a source image into a layer of the texture atlas,
   with a border of repeated edge texels for filtering. */

#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD

#include "lib/Compatibility.frag"

uniform mediump sampler2D source;
uniform highp vec4 sourceRect;  /* xy offset, zw size, in texture coordinates */
uniform highp float border;     /* border width relative to the tile */

in highp vec2 fragScreenCoords;
out mediump vec4 outColor;

void main() {
    highp vec2 uv = clamp((fragScreenCoords - border)/(1.0 - 2.0*border), 0.0, 1.0);
    outColor = textureLod(source, sourceRect.xy + uv*sourceRect.zw, 0.0);
}
