#version 300 es
/* Sky drawn behind everything: a vertical gradient of four stops, or an
   equirectangular texture. */

#define SHADER_TYPE_FORWARD

#define FEATURE_TEXTURED

#include "lib/Compatibility.frag"
#include "lib/Uniforms.glsl"
#include "lib/Materials.glsl"

struct Material {
    lowp vec4 colorStop0;
    lowp vec4 colorStop1;
    lowp vec4 colorStop2;
    lowp vec4 colorStop3;
    mediump uint skyTexture;
};

{{decoder}}

in highp vec2 fragScreenCoords;
out mediump vec4 outColor;

void main() {
    Material mat = decodeMaterial(fragMaterialId);
    /* View ray through this pixel */
    highp vec4 ray = inverse(projectionMatrix*viewMatrix)*vec4(fragScreenCoords*2.0 - 1.0, 1.0, 1.0);
    highp vec3 dir = normalize(ray.xyz/ray.w - cameraPosition.xyz);
#ifdef TEXTURED
    highp vec2 uv = vec2(atan(dir.z, dir.x)/6.2831853 + 0.5, acos(clamp(dir.y, -1.0, 1.0))/3.14159265);
    outColor = textureAtlasSample(mat.skyTexture, uv);
#else
    mediump float t = dir.y*0.5 + 0.5;
    mediump vec4 color = mix(mat.colorStop0, mat.colorStop1, smoothstep(0.0, 0.4, t));
    color = mix(color, mat.colorStop2, smoothstep(0.4, 0.6, t));
    outColor = mix(color, mat.colorStop3, smoothstep(0.6, 1.0, t));
#endif
}
