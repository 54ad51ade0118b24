#version 300 es
/* Counts how often each pixel is drawn: additive blending of a constant. */

#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD

#include "lib/Compatibility.frag"

out mediump vec4 outColor;

void main() {
    outColor = vec4(1.0/32.0, 1.0/64.0, 1.0/128.0, 1.0);
}
