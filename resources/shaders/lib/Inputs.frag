/* Varyings written by the engine's dynamic vertex shader */
in highp vec3 fragPositionWorld;
flat in highp uint fragObjectId;
#ifdef USE_NORMAL
in mediump vec3 fragNormal;
#endif
#ifdef USE_TANGENT
in mediump vec4 fragTangent;
#endif
#ifdef USE_TEXTURE_COORDS
in highp vec2 fragTextureCoords;
#endif
#ifdef USE_TEXTURE_COORDS_1
in highp vec2 fragTextureCoords1;
#endif
#ifdef USE_COLOR
in mediump vec4 fragColor;
#endif

out mediump vec4 outColor;

#ifdef USE_TANGENT
/* Tangent space normal from a normal map texel */
mediump vec3 perturbNormal(mediump vec3 normal, mediump vec4 tangent, mediump vec3 texel) {
    mediump vec3 n = normalize(normal);
    mediump vec3 t = normalize(tangent.xyz - n*dot(n, tangent.xyz));
    mediump vec3 b = cross(n, t)*tangent.w;
    return normalize(mat3(t, b, n)*(texel*2.0 - 1.0));
}
#endif
