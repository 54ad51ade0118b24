#version 300 es
/* Metallic-roughness physically based shading with image based lighting
   from an irradiance probe and a prefiltered specular probe. */

#define SHADER_TYPE_FORWARD

#define FEATURE_ALPHA_MASKED
#define FEATURE_TEXTURED
#define FEATURE_NORMAL_MAPPING
#define FEATURE_WITH_EMISSIVE
#define FEATURE_WITH_FOG
#define FEATURE_SHADOW_NORMAL_OFFSET_SLOPE_SCALE
#define FEATURE_SHADOW_NORMAL_OFFSET_UV_ONLY

#define USE_NORMAL
#if defined(TEXTURED) || defined(ALPHA_MASKED)
#define USE_TEXTURE_COORDS
#endif
#ifdef NORMAL_MAPPING
#define USE_TANGENT
#endif

#include "lib/Compatibility.frag"
#include "lib/Uniforms.glsl"
#include "lib/Inputs.frag"
#include "lib/Materials.glsl"
#include "lib/Lights.glsl"

#define PI 3.14159265

struct Material {
    lowp vec4 albedoColor;
    lowp vec4 emissiveColor;
    lowp float metallicFactor;
    lowp float roughnessFactor;
    mediump uint albedoTexture;
    mediump uint roughnessMetallicTexture;
    mediump uint emissiveTexture;
    mediump uint normalTexture;
    mediump uint occlusionTexture;
    lowp float occlusionFactor;
    mediump uint irradianceProbeTexture;
    mediump uint specularProbeTexture;
};

{{decoder}}

mediump float distributionGgx(mediump float nDotH, mediump float alpha) {
    mediump float a2 = alpha*alpha;
    mediump float d = nDotH*nDotH*(a2 - 1.0) + 1.0;
    return a2/(PI*d*d);
}

mediump float visibilitySmithGgx(mediump float nDotV, mediump float nDotL, mediump float alpha) {
    mediump float a2 = alpha*alpha;
    mediump float v = nDotL*sqrt(nDotV*nDotV*(1.0 - a2) + a2);
    mediump float l = nDotV*sqrt(nDotL*nDotL*(1.0 - a2) + a2);
    return 0.5/max(v + l, 0.0001);
}

mediump vec3 fresnelSchlick(mediump vec3 f0, mediump float cosTheta) {
    return f0 + (1.0 - f0)*pow(1.0 - cosTheta, 5.0);
}

/* Equirectangular lookup of a probe stored in the atlas */
highp vec2 equirectangular(mediump vec3 dir) {
    return vec2(atan(dir.z, dir.x)/(2.0*PI) + 0.5, acos(clamp(dir.y, -1.0, 1.0))/PI);
}

void main() {
    Material mat = decodeMaterial(fragMaterialId);

    mediump vec4 albedo = mat.albedoColor;
    mediump float roughness = mat.roughnessFactor;
    mediump float metallic = mat.metallicFactor;
    mediump float occlusion = 1.0;
#ifdef TEXTURED
    albedo *= textureAtlasSample(mat.albedoTexture, fragTextureCoords);
    mediump vec4 rm = textureAtlasSample(mat.roughnessMetallicTexture, fragTextureCoords);
    roughness *= rm.g;
    metallic *= rm.b;
    occlusion = mix(1.0, textureAtlasSample(mat.occlusionTexture, fragTextureCoords).r, mat.occlusionFactor);
#endif
#ifdef ALPHA_MASKED
    if(alphaMaskDiscards(fragMaterialId, fragTextureCoords, albedo.a)) discard;
#endif

#ifdef NORMAL_MAPPING
    mediump vec3 normal = perturbNormal(fragNormal, fragTangent,
        textureAtlasSample(mat.normalTexture, fragTextureCoords).rgb);
#else
    mediump vec3 normal = normalize(fragNormal);
#endif
    if(!gl_FrontFacing) normal = -normal;

    highp vec3 viewDir = normalize(cameraPosition.xyz - fragPositionWorld);
    mediump float nDotV = max(dot(normal, viewDir), 0.0001);
    mediump float alpha = max(roughness*roughness, 0.002);
    mediump vec3 f0 = mix(vec3(0.04), albedo.rgb, metallic);
    mediump vec3 diffuseColor = albedo.rgb*(1.0 - metallic);

    mediump vec3 color = vec3(0.0);
#if NUM_LIGHTS > 0
    for(int i = 0; i < NUM_LIGHTS; ++i) {
        mediump vec3 lightDir;
        mediump vec3 incoming = lightIncoming(lights[i], fragPositionWorld, normal, lightDir);
        mediump float nDotL = saturate(dot(normal, lightDir));
        if(nDotL <= 0.0) continue;
        mediump vec3 h = normalize(lightDir + viewDir);
        mediump vec3 f = fresnelSchlick(f0, saturate(dot(h, viewDir)));
        mediump vec3 specular = f*distributionGgx(saturate(dot(normal, h)), alpha)*visibilitySmithGgx(nDotV, nDotL, alpha);
        color += ((1.0 - f)*diffuseColor/PI + specular)*incoming*nDotL;
    }
#endif

    /* Image based lighting; the specular probe keeps one roughness level
       per mip */
    mediump vec3 irradiance = textureAtlasSample(mat.irradianceProbeTexture, equirectangular(normal)).rgb;
    mediump vec3 reflected = reflect(-viewDir, normal);
    mediump vec3 prefiltered = textureAtlasSample(mat.specularProbeTexture, equirectangular(reflected)).rgb;
    mediump vec3 f = fresnelSchlick(f0, nDotV);
    color += (diffuseColor*irradiance*(1.0 - f) + prefiltered*f*(1.0 - roughness*0.5))*occlusion;

#ifdef WITH_EMISSIVE
    mediump vec3 emissive = mat.emissiveColor.rgb;
#ifdef TEXTURED
    emissive *= textureAtlasSample(mat.emissiveTexture, fragTextureCoords).rgb;
#endif
    color += emissive;
#endif

#ifdef WITH_FOG
    highp float distance = length(cameraPosition.xyz - fragPositionWorld);
    color = mix(color, ambientLight.rgb, 1.0 - exp(-fogParameters.z*max(distance - fogParameters.x, 0.0)));
#endif

    outColor = vec4(color, albedo.a);
}
