/* Access to the packed material data: every material is a row of bytes in
   an unsigned integer texture, laid out as its Material struct declares.
   The engine generates decodeMaterial() for each shader from that struct. */

uniform highp usampler2D materials;
uniform highp sampler2D textureBounds;  /* per texture: atlas offset xy, scale zw */
uniform mediump sampler2DArray textureAtlas;

flat in mediump uint fragMaterialId;

highp uint materialByte(highp uint materialId, int offset) {
    highp uvec4 texel = texelFetch(materials, ivec2(offset/4, int(materialId)), 0);
    int c = offset - (offset/4)*4;
    return c == 0 ? texel.r : c == 1 ? texel.g : c == 2 ? texel.b : texel.a;
}

mediump float unpackUnorm8(highp uint value) { return float(value)/255.0; }

highp uint unpackTextureIndex(highp uint low, highp uint high) { return low | (high << 8u); }

/* A texture of the atlas: index 0 means no texture and reads as white */
mediump vec4 textureAtlasSample(highp uint textureIndex, highp vec2 uv) {
    if(textureIndex == 0u) return vec4(1.0);
    highp vec4 bounds = texelFetch(textureBounds, ivec2(int(textureIndex), 0), 0);
    highp vec2 atlasUv = bounds.xy + fract(uv)*bounds.zw;
    return texture(textureAtlas, vec3(atlasUv, 0.0));
}

#ifdef ALPHA_MASKED
/* Alpha mask entry of the material: texture index and threshold */
uniform highp sampler2D alphaMasks;

bool alphaMaskDiscards(highp uint materialId, highp vec2 uv, mediump float alpha) {
    highp vec4 mask = texelFetch(alphaMasks, ivec2(int(materialId), 0), 0);
    mediump float maskAlpha = mask.x != 0.0 ? textureAtlasSample(uint(mask.x), uv).a : alpha;
    return maskAlpha < mask.y;
}
#endif
