#version 300 es
/* Screen-space background: a gradient between four corner colors. */

#define SHADER_TYPE_FORWARD

#include "lib/Compatibility.frag"
#include "lib/Materials.glsl"

struct Material {
    lowp vec4 colorStop0;
    lowp vec4 colorStop1;
    lowp vec4 colorStop2;
    lowp vec4 colorStop3;
};

{{decoder}}

in highp vec2 fragScreenCoords;
out mediump vec4 outColor;

void main() {
    Material mat = decodeMaterial(fragMaterialId);
    mediump vec4 bottom = mix(mat.colorStop0, mat.colorStop1, fragScreenCoords.x);
    mediump vec4 top = mix(mat.colorStop2, mat.colorStop3, fragScreenCoords.x);
    outColor = mix(bottom, top, fragScreenCoords.y);
}
