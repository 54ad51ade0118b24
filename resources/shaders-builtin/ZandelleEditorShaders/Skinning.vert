#version 300 es
/* Skinning with dual quaternion blending, written out with transform
   feedback so the regular passes draw the skinned vertices.
   #define SHADER_INTERNAL would hide it from projects; it stays visible. */

#define SHADER_TYPE_SKINNING

#include "lib/Quaternion.glsl"

layout(location = 0) in highp vec3 position;
layout(location = 3) in mediump vec3 normal;
layout(location = 4) in mediump vec4 tangent;
layout(location = 5) in highp uvec4 joints;
layout(location = 6) in mediump vec4 weights;

uniform highp sampler2D jointTransforms; /* two texels per joint: real and dual part */
uniform highp int jointOffset;

out highp vec3 skinnedPosition;
out mediump vec3 skinnedNormal;
out mediump vec4 skinnedTangent;

void jointTransform(highp uint joint, out highp vec4 real, out highp vec4 dual) {
    highp int i = (jointOffset + int(joint))*2;
    real = texelFetch(jointTransforms, ivec2(i, 0), 0);
    dual = texelFetch(jointTransforms, ivec2(i + 1, 0), 0);
}

void main() {
    highp vec4 r0, d0, r;
    highp vec4 real = vec4(0.0), dual = vec4(0.0);
    jointTransform(joints.x, r0, d0);
    for(int i = 0; i < 4; ++i) {
        highp vec4 d;
        jointTransform(joints[i], r, d);
        /* Blend along the shortest path */
        highp float w = dot(r, r0) < 0.0 ? -weights[i] : weights[i];
        real += r*w;
        dual += d*w;
    }
    highp float len = length(real);
    real /= len;
    dual /= len;

    skinnedPosition = dualQuatTransformPoint(real, dual, position);
    skinnedNormal = quatRotate(real, normal);
    skinnedTangent = vec4(quatRotate(real, tangent.xyz), tangent.w);
    gl_Position = vec4(skinnedPosition, 1.0);
}
