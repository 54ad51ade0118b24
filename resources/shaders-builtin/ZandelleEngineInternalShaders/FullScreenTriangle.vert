#version 300 es
/* One triangle that covers the screen, without vertex data. */

out highp vec2 fragScreenCoords;
flat out mediump uint fragMaterialId;

uniform mediump uint materialId;

void main() {
    highp vec2 p = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));
    fragScreenCoords = p;
    fragMaterialId = materialId;
    /* At the far plane, so depth testing with less-or-equal draws behind */
    gl_Position = vec4(p*2.0 - 1.0, 1.0, 1.0);
}
