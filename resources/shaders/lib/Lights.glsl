/* Punctual lights and their shadows. */

#define LIGHT_POINT 0
#define LIGHT_SPOT 1
#define LIGHT_SUN 2

struct Light {
    highp vec4 positionRange;     /* xyz position, w range (0: infinite) */
    mediump vec4 directionType;   /* xyz direction, w type */
    mediump vec4 colorIntensity;  /* rgb color, a intensity */
    mediump vec4 spotShadow;      /* x cos outer, y cos inner, z shadow index (-1: none), w shadow bias */
};

#if NUM_LIGHTS > 0
layout(std140) uniform Lights {
    Light lights[NUM_LIGHTS];
};
#endif

#if NUM_SHADOWS > 0
uniform mediump sampler2DArrayShadow shadowMaps;
layout(std140) uniform Shadows {
    highp mat4 shadowMatrices[NUM_SHADOWS];
};

mediump float shadowFactor(int index, highp vec3 position, mediump vec3 normal, mediump vec3 lightDir, mediump float bias) {
    mediump float cosTheta = saturate(dot(normal, lightDir));
#ifdef SHADOW_NORMAL_OFFSET_SLOPE_SCALE
    mediump float offset = bias*sqrt(1.0 - cosTheta*cosTheta);
#else
    mediump float offset = bias;
#endif
#ifdef SHADOW_NORMAL_OFFSET_UV_ONLY
    highp vec4 shadowPosition = shadowMatrices[index]*vec4(position, 1.0);
    highp vec4 offsetPosition = shadowMatrices[index]*vec4(position + normal*offset, 1.0);
    shadowPosition.xy = offsetPosition.xy;
#else
    highp vec4 shadowPosition = shadowMatrices[index]*vec4(position + normal*offset, 1.0);
#endif
    highp vec3 uvz = shadowPosition.xyz/shadowPosition.w*0.5 + 0.5;
    return texture(shadowMaps, vec4(uvz.xy, float(index), uvz.z - 0.0005));
}
#endif

/* Direction towards the light and its attenuated color at a position */
mediump vec3 lightIncoming(Light light, highp vec3 position, mediump vec3 normal, out mediump vec3 lightDir) {
    int type = int(light.directionType.w);
    mediump float attenuation = 1.0;
    if(type == LIGHT_SUN) {
        lightDir = -light.directionType.xyz;
    } else {
        highp vec3 toLight = light.positionRange.xyz - position;
        highp float distanceSq = dot(toLight, toLight);
        lightDir = toLight*inversesqrt(distanceSq);
        attenuation = 1.0/max(distanceSq, 0.0001);
        if(light.positionRange.w > 0.0) {
            mediump float r = sqrt(distanceSq)/light.positionRange.w;
            attenuation *= saturate(1.0 - r*r*r*r);
        }
        if(type == LIGHT_SPOT)
            attenuation *= smoothstep(light.spotShadow.x, light.spotShadow.y, dot(-lightDir, light.directionType.xyz));
    }
#if NUM_SHADOWS > 0
    int shadow = int(light.spotShadow.z);
    if(shadow >= 0 && shadow < NUM_SHADOWS)
        attenuation *= shadowFactor(shadow, position, normal, lightDir, light.spotShadow.w);
#endif
    return light.colorIntensity.rgb*light.colorIntensity.a*attenuation;
}
