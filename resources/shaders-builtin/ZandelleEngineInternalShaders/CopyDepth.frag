#version 300 es
/* Copies a depth buffer, for passes that read and test depth at once. */

#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD

#include "lib/Compatibility.frag"

uniform highp sampler2D depth;

in highp vec2 fragScreenCoords;

void main() {
    gl_FragDepth = texelFetch(depth, ivec2(gl_FragCoord.xy), 0).r;
}
