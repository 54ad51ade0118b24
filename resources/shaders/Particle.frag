#version 300 es
/* Billboard particles: a textured sprite tinted by the material and the
   particle's own color. */

#define SHADER_TYPE_FORWARD

#define FEATURE_TEXTURED
#define FEATURE_WITH_FOG

#define USE_COLOR
#ifdef TEXTURED
#define USE_TEXTURE_COORDS
#endif

#include "lib/Compatibility.frag"
#include "lib/Uniforms.glsl"
#include "lib/Inputs.frag"
#include "lib/Materials.glsl"

struct Material {
    lowp vec4 color;
    mediump uint mainTexture;
};

{{decoder}}

void main() {
    Material mat = decodeMaterial(fragMaterialId);
    mediump vec4 color = mat.color*fragColor;
#ifdef TEXTURED
    color *= textureAtlasSample(mat.mainTexture, fragTextureCoords);
#endif
#ifdef WITH_FOG
    highp float distance = length(cameraPosition.xyz - fragPositionWorld);
    color.a *= exp(-fogParameters.z*max(distance - fogParameters.x, 0.0));
#endif
    if(color.a < 0.004) discard;
    outColor = color;
}
