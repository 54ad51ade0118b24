#version 300 es
/* Text drawn from glyph outlines: coverage is computed per pixel from the
   glyph's quadratic curves, so text stays sharp at any size. */

#define SHADER_TYPE_TEXT

#define FEATURE_ALPHA_MASKED

#include "lib/Compatibility.frag"
#include "lib/Materials.glsl"
#include "lib/Slug.frag"

struct Material {
    lowp vec4 color;
    lowp vec4 effectColor;
    lowp uint font;
};

{{decoder}}

in highp vec2 fragGlyphCoords;
flat in highp ivec4 fragGlyphCurves;
flat in mediump float fragEffect;

out mediump vec4 outColor;

void main() {
    Material mat = decodeMaterial(fragMaterialId);
    mediump float coverage = glyphCoverage(fragGlyphCoords, fragGlyphCurves);
#ifdef ALPHA_MASKED
    if(coverage < 0.5) discard;
    coverage = 1.0;
#endif
    mediump vec4 color = mix(mat.color, mat.effectColor, fragEffect);
    outColor = vec4(color.rgb, color.a*coverage);
}
