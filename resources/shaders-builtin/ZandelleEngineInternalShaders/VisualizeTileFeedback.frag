#version 300 es
/* Shows the tile feedback buffer: which texture and mip each pixel asked
   for, as a false color. */

#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD

#include "lib/Compatibility.frag"

uniform highp usampler2D feedback;

in highp vec2 fragScreenCoords;
out mediump vec4 outColor;

void main() {
    highp uvec4 f = texture(feedback, fragScreenCoords);
    if(f.a == 0u) {
        outColor = vec4(0.0, 0.0, 0.0, 1.0);
        return;
    }
    highp uint textureId = f.r;
    mediump float mip = float(f.b)/12.0;
    mediump vec3 hue = fract(vec3(textureId)*vec3(0.618034, 0.41421356, 0.7320508));
    outColor = vec4(mix(hue, vec3(1.0), mip), 1.0);
}
