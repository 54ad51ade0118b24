#version 300 es
/* Blinn-Phong shading with ambient, diffuse, specular and emissive terms,
   optional fog, normal map and lightmap. */

#define SHADER_TYPE_FORWARD

#define FEATURE_ALPHA_MASKED
#define FEATURE_TEXTURED
#define FEATURE_WITH_FOG
#define FEATURE_WITH_EMISSIVE
#define FEATURE_NORMAL_MAPPING
#define FEATURE_LIGHTMAP
#define FEATURE_VERTEX_COLORS
#define FEATURE_SHADOW_NORMAL_OFFSET_SLOPE_SCALE
#define FEATURE_SHADOW_NORMAL_OFFSET_UV_ONLY

#define USE_NORMAL
#if defined(TEXTURED) || defined(ALPHA_MASKED)
#define USE_TEXTURE_COORDS
#endif
#ifdef NORMAL_MAPPING
#define USE_TANGENT
#endif
#ifdef LIGHTMAP
#define USE_TEXTURE_COORDS_1
#endif
#ifdef VERTEX_COLORS
#define USE_COLOR
#endif

#include "lib/Compatibility.frag"
#include "lib/Uniforms.glsl"
#include "lib/Inputs.frag"
#include "lib/Materials.glsl"
#include "lib/Lights.glsl"

struct Material {
    lowp vec4 ambientColor;
    lowp vec4 diffuseColor;
    lowp vec4 specularColor;
    lowp vec4 emissiveColor;
    lowp vec4 fogColor;
    mediump uint diffuseTexture;
    mediump uint emissiveTexture;
    mediump uint normalTexture;
    mediump uint lightmapTexture;
    lowp float lightmapFactor;
    lowp uint shininess;
};

{{decoder}}

void main() {
    Material mat = decodeMaterial(fragMaterialId);

    mediump vec4 albedo = mat.diffuseColor;
#ifdef TEXTURED
    albedo *= textureAtlasSample(mat.diffuseTexture, fragTextureCoords);
#endif
#ifdef VERTEX_COLORS
    albedo *= fragColor;
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
    mediump float shininess = max(float(mat.shininess), 1.0);
    mediump vec3 diffuse = vec3(0.0);
    mediump vec3 specular = vec3(0.0);
#if NUM_LIGHTS > 0
    for(int i = 0; i < NUM_LIGHTS; ++i) {
        mediump vec3 lightDir;
        mediump vec3 incoming = lightIncoming(lights[i], fragPositionWorld, normal, lightDir);
        mediump float nDotL = saturate(dot(normal, lightDir));
        diffuse += incoming*nDotL;
        mediump vec3 halfway = normalize(lightDir + viewDir);
        specular += incoming*pow(saturate(dot(normal, halfway)), shininess)*step(0.0, nDotL);
    }
#endif

    mediump vec3 ambient = mat.ambientColor.rgb*ambientLight.rgb*ambientLight.a;
#ifdef LIGHTMAP
    ambient += textureAtlasSample(mat.lightmapTexture, fragTextureCoords1).rgb*mat.lightmapFactor*255.0/16.0;
#endif
    mediump vec3 color = albedo.rgb*(ambient + diffuse) + mat.specularColor.rgb*specular;

#ifdef WITH_EMISSIVE
    mediump vec3 emissive = mat.emissiveColor.rgb;
#ifdef TEXTURED
    emissive *= textureAtlasSample(mat.emissiveTexture, fragTextureCoords).rgb;
#endif
    color += emissive;
#endif

#ifdef WITH_FOG
    highp float distance = length(cameraPosition.xyz - fragPositionWorld);
    mediump float fog = 1.0 - exp(-fogParameters.z*max(distance - fogParameters.x, 0.0));
    color = mix(color, mat.fogColor.rgb, fog*mat.fogColor.a);
#endif

    outColor = vec4(color, albedo.a);
}
