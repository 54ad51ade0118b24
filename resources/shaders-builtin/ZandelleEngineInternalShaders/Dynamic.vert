#version 300 es
/* Vertex shader of all meshes: the object transform comes from the
   transform texture, attributes depend on what the pipeline reads. */

#include "lib/Uniforms.glsl"
#include "lib/Quaternion.glsl"

layout(location = 0) in highp vec3 position;
layout(location = 1) in highp uvec2 objectMaterial; /* object id, material id */
#ifdef USE_TEXTURE_COORDS
layout(location = 2) in highp vec2 textureCoords;
#endif
#ifdef USE_NORMAL
layout(location = 3) in mediump vec3 normal;
#endif
#ifdef USE_TANGENT
layout(location = 4) in mediump vec4 tangent;
#endif
#ifdef USE_COLOR
layout(location = 7) in mediump vec4 color;
#endif
#ifdef USE_TEXTURE_COORDS_1
layout(location = 8) in highp vec2 textureCoords1;
#endif

out highp vec3 fragPositionWorld;
flat out highp uint fragObjectId;
flat out mediump uint fragMaterialId;
#ifdef USE_NORMAL
out mediump vec3 fragNormal;
#endif
#ifdef USE_TANGENT
out mediump vec4 fragTangent;
#endif
#ifdef USE_TEXTURE_COORDS
out highp vec2 fragTextureCoords;
#endif
#ifdef USE_TEXTURE_COORDS_1
out highp vec2 fragTextureCoords1;
#endif
#ifdef USE_COLOR
out mediump vec4 fragColor;
#endif

void main() {
    highp vec4 real, dual;
    highp vec3 scaling;
    objectTransform(objectMaterial.x, real, dual, scaling);

    fragPositionWorld = dualQuatTransformPoint(real, dual, position*scaling);
    fragObjectId = objectMaterial.x;
    fragMaterialId = objectMaterial.y;
#ifdef USE_NORMAL
    fragNormal = quatRotate(real, normal/scaling);
#endif
#ifdef USE_TANGENT
    fragTangent = vec4(quatRotate(real, tangent.xyz), tangent.w);
#endif
#ifdef USE_TEXTURE_COORDS
    fragTextureCoords = textureCoords;
#endif
#ifdef USE_TEXTURE_COORDS_1
    fragTextureCoords1 = textureCoords1;
#endif
#ifdef USE_COLOR
    fragColor = color;
#endif
    gl_Position = projectionMatrix*viewMatrix*vec4(fragPositionWorld, 1.0);
}
