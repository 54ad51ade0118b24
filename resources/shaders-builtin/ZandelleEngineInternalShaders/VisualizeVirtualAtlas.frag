#version 300 es
/* Shows one layer of the virtual texture atlas with its tile grid. */

#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD

#include "lib/Compatibility.frag"

uniform mediump sampler2DArray atlas;
uniform mediump float layer;
uniform highp float tilesPerRow;

in highp vec2 fragScreenCoords;
out mediump vec4 outColor;

void main() {
    mediump vec4 color = texture(atlas, vec3(fragScreenCoords, layer));
    highp vec2 cell = fract(fragScreenCoords*tilesPerRow);
    highp vec2 width = fwidth(fragScreenCoords*tilesPerRow);
    mediump float grid = 1.0 - min(min(cell.x, cell.y)/max(width.x, width.y), 1.0);
    outColor = vec4(mix(color.rgb, vec3(1.0, 0.0, 1.0), grid), 1.0);
}
