/* Per-view uniforms and the per-object transform texture. Transforms are
   stored as dual quaternions plus a scaling, two texels each, in rows of
   OBJECTS_PER_ROW objects. */

layout(std140) uniform ViewData {
    highp mat4 projectionMatrix;
    highp mat4 viewMatrix;
    highp vec4 cameraPosition;   /* xyz position, w time in seconds */
    highp vec4 viewportSize;     /* xy size in pixels, zw their inverse */
    mediump vec4 ambientLight;   /* rgb color, a intensity */
    mediump vec4 fogParameters;  /* x start, y end, z density */
};

uniform highp sampler2D objectTransforms;

highp ivec2 objectTexel(highp uint objectId) {
    highp int id = int(objectId);
    return ivec2((id & OBJECTS_PER_ROW_MASK)*2, id >> OBJECTS_PER_ROW_LOG2);
}

/* Rotation (real part), translation (dual part) and scaling of an object */
void objectTransform(highp uint objectId, out highp vec4 real, out highp vec4 dual, out highp vec3 scaling) {
    highp ivec2 texel = objectTexel(objectId);
    real = texelFetch(objectTransforms, texel, 0);
    highp vec4 second = texelFetch(objectTransforms, texel + ivec2(1, 0), 0);
    /* The dual part's w is recovered from the unit constraint r.d = 0 */
    dual = vec4(second.xyz, real.w != 0.0 ? -dot(real.xyz, second.xyz)/real.w : 0.0);
    scaling = vec3(second.w);
}
