#version 300 es
/* Seeds the outline: every pixel of a selected object stores its own
   position, every other pixel an invalid one. */

#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD

#include "lib/Compatibility.frag"

uniform highp usampler2D ids;
uniform highp uint selectedId;

in highp vec2 fragScreenCoords;
out highp vec4 outSeed;

void main() {
    highp uint id = texelFetch(ids, ivec2(gl_FragCoord.xy), 0).r;
    outSeed = id == selectedId ? vec4(gl_FragCoord.xy, 0.0, 1.0) : vec4(-1.0);
}
