#version 300 es
/* Wireframe overlay for the editor: edges from barycentric coordinates. */

#define SHADER_TYPE_MESH_VISUALIZER

#include "lib/Compatibility.frag"
#include "lib/Materials.glsl"

struct Material {
    lowp vec4 color;
    lowp vec4 wireframeColor;
    lowp float wireframeWidth;
};

{{decoder}}

in mediump vec3 fragBarycentric;
out mediump vec4 outColor;

void main() {
    Material mat = decodeMaterial(fragMaterialId);
    mediump vec3 d = fwidth(fragBarycentric);
    mediump vec3 factor = smoothstep(vec3(0.0), d*(1.0 + mat.wireframeWidth*8.0), fragBarycentric);
    mediump float edge = 1.0 - min(min(factor.x, factor.y), factor.z);
    outColor = mix(mat.color, mat.wireframeColor, edge);
}
