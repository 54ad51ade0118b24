#version 300 es
/* Vector art from a signed distance field texture, with an outline. */

#define SHADER_TYPE_FORWARD

#define USE_TEXTURE_COORDS

#include "lib/Compatibility.frag"
#include "lib/Inputs.frag"
#include "lib/Materials.glsl"

struct Material {
    lowp vec4 color;
    lowp vec4 outlineColor;
    lowp vec2 outlineRange;
    lowp float smoothness;
    mediump uint vectorTexture;
};

{{decoder}}

void main() {
    Material mat = decodeMaterial(fragMaterialId);
    mediump float distance = textureAtlasSample(mat.vectorTexture, fragTextureCoords).r;
    mediump float smoothness = max(mat.smoothness*0.25, fwidth(distance));
    /* Inside above 0.5; the outline spans outlineRange below that */
    mediump float fill = smoothstep(0.5 - smoothness, 0.5 + smoothness, distance);
    mediump float outline = smoothstep(mat.outlineRange.x - smoothness, mat.outlineRange.x + smoothness, distance)
        - smoothstep(mat.outlineRange.y - smoothness, mat.outlineRange.y + smoothness, distance);
    mediump vec4 color = mat.color*fill + mat.outlineColor*max(outline, 0.0)*(1.0 - fill);
    if(color.a < 0.004) discard;
    outColor = color;
}
