#version 300 es
/* Bloom: bright-pass downsampling with a 13-tap filter (first pass) and
   tent-filtered upsampling added onto the next larger level. */

#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD

#include "lib/Compatibility.frag"

uniform mediump sampler2D source;
uniform highp vec4 texelSizeThreshold; /* xy texel size, z threshold, w 1 for the upsampling pass */

in highp vec2 fragScreenCoords;
out mediump vec4 outColor;

mediump vec3 tap(highp vec2 offset) {
    return texture(source, fragScreenCoords + offset*texelSizeThreshold.xy).rgb;
}

void main() {
    if(texelSizeThreshold.w > 0.5) {
        mediump vec3 c = tap(vec2(0.0))*4.0
            + (tap(vec2(-1.0, 0.0)) + tap(vec2(1.0, 0.0)) + tap(vec2(0.0, -1.0)) + tap(vec2(0.0, 1.0)))*2.0
            + tap(vec2(-1.0)) + tap(vec2(1.0)) + tap(vec2(-1.0, 1.0)) + tap(vec2(1.0, -1.0));
        outColor = vec4(c/16.0, 1.0);
        return;
    }
    mediump vec3 inner = tap(vec2(-1.0)) + tap(vec2(1.0)) + tap(vec2(-1.0, 1.0)) + tap(vec2(1.0, -1.0));
    mediump vec3 outer = tap(vec2(-2.0)) + tap(vec2(2.0)) + tap(vec2(-2.0, 2.0)) + tap(vec2(2.0, -2.0));
    mediump vec3 cross = tap(vec2(-2.0, 0.0)) + tap(vec2(2.0, 0.0)) + tap(vec2(0.0, -2.0)) + tap(vec2(0.0, 2.0));
    mediump vec3 c = inner*0.125 + outer*0.03125 + cross*0.0625 + tap(vec2(0.0))*0.125;
    mediump float brightness = max(c.r, max(c.g, c.b));
    c *= max(brightness - texelSizeThreshold.z, 0.0)/max(brightness, 0.0001);
    outColor = vec4(c, 1.0);
}
