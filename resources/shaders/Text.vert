#version 300 es
/* Glyph quads of text components: one instance per glyph. */

#define SHADER_TYPE_TEXT

#include "lib/Uniforms.glsl"
#include "lib/Quaternion.glsl"
#include "lib/Slug.vert"

layout(location = 0) in highp vec4 glyphRect;      /* xy corner, zw size, in object space */
layout(location = 1) in highp vec4 glyphEmRect;    /* the same rect in font units */
layout(location = 2) in highp ivec4 glyphCurves;   /* curve texel offset and count, band data */
layout(location = 3) in highp uvec2 objectMaterial; /* object id, material id */

out highp vec2 fragGlyphCoords;
flat out highp ivec4 fragGlyphCurves;
flat out mediump float fragEffect;
flat out mediump uint fragMaterialId;

void main() {
    highp vec2 corner = vec2(float(gl_VertexID & 1), float((gl_VertexID >> 1) & 1));
    highp vec4 real, dual;
    highp vec3 scaling;
    objectTransform(objectMaterial.x, real, dual, scaling);

    highp vec2 position = glyphRect.xy + corner*glyphRect.zw;
    highp vec2 em = glyphEmRect.xy + corner*glyphEmRect.zw;

    /* Grow the quad by half a pixel so edge pixels get their coverage */
    highp mat4 viewProjection = projectionMatrix*viewMatrix;
    highp vec4 clip = viewProjection*vec4(dualQuatTransformPoint(real, dual, vec3(position, 0.0)*scaling), 1.0);
    highp vec2 amount = glyphHalfPixel(clip, projectionMatrix, viewportSize.zw)/scaling.xy;
    glyphDilate(position, em, corner*2.0 - 1.0, amount, glyphEmRect.zw/glyphRect.zw);
    clip = viewProjection*vec4(dualQuatTransformPoint(real, dual, vec3(position, 0.0)*scaling), 1.0);

    gl_Position = clip;
    fragGlyphCurves = glyphCurves;
    fragEffect = 0.0;
    fragGlyphCoords = em;
    fragMaterialId = objectMaterial.y;
}
