#version 300 es
/* Draws the selection outline from the distance to the nearest seed. */

#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD

#include "lib/Compatibility.frag"

uniform highp sampler2D seeds;
uniform mediump vec4 outlineColor;
uniform mediump float outlineWidth;

out mediump vec4 outColor;

void main() {
    highp vec4 seed = texelFetch(seeds, ivec2(gl_FragCoord.xy), 0);
    if(seed.w < 0.0) discard;
    highp float distance = length(seed.xy - gl_FragCoord.xy);
    /* Inside the object itself nothing is drawn */
    if(distance < 0.5) discard;
    mediump float alpha = 1.0 - smoothstep(outlineWidth - 1.0, outlineWidth, distance);
    outColor = vec4(outlineColor.rgb, outlineColor.a*alpha);
}
