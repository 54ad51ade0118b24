#version 300 es
/* One jump flood step: keep the nearest seed among the 3x3 neighbours at
   the current step distance. */

#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD

#include "lib/Compatibility.frag"

uniform highp sampler2D seeds;
uniform highp int stepSize;

out highp vec4 outSeed;

void main() {
    highp vec2 self = gl_FragCoord.xy;
    highp vec4 best = vec4(-1.0);
    highp float bestDistance = 1e20;
    highp ivec2 size = textureSize(seeds, 0);
    for(int y = -1; y <= 1; ++y) for(int x = -1; x <= 1; ++x) {
        highp ivec2 p = clamp(ivec2(self) + ivec2(x, y)*stepSize, ivec2(0), size - 1);
        highp vec4 seed = texelFetch(seeds, p, 0);
        if(seed.w < 0.0) continue;
        highp vec2 d = seed.xy - self;
        highp float distance = dot(d, d);
        if(distance < bestDistance) {
            bestDistance = distance;
            best = seed;
        }
    }
    outSeed = best;
}
