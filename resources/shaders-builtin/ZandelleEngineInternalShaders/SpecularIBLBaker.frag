#version 300 es
/* Prefilters an equirectangular environment map for one roughness level
   with GGX importance sampling. */

#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD

#include "lib/Compatibility.frag"

#define PI 3.14159265
#define SAMPLES 128

uniform mediump sampler2D environment;
uniform mediump float roughness;

in highp vec2 fragScreenCoords;
out mediump vec4 outColor;

highp vec3 directionFromUv(highp vec2 uv) {
    highp float phi = (uv.x - 0.5)*2.0*PI;
    highp float theta = uv.y*PI;
    return vec3(cos(phi)*sin(theta), cos(theta), sin(phi)*sin(theta));
}

highp vec2 uvFromDirection(highp vec3 d) {
    return vec2(atan(d.z, d.x)/(2.0*PI) + 0.5, acos(clamp(d.y, -1.0, 1.0))/PI);
}

highp float radicalInverse(highp uint bits) {
    bits = (bits << 16u) | (bits >> 16u);
    bits = ((bits & 0x55555555u) << 1u) | ((bits & 0xAAAAAAAAu) >> 1u);
    bits = ((bits & 0x33333333u) << 2u) | ((bits & 0xCCCCCCCCu) >> 2u);
    bits = ((bits & 0x0F0F0F0Fu) << 4u) | ((bits & 0xF0F0F0F0u) >> 4u);
    bits = ((bits & 0x00FF00FFu) << 8u) | ((bits & 0xFF00FF00u) >> 8u);
    return float(bits)*2.3283064e-10;
}

void main() {
    highp vec3 n = directionFromUv(fragScreenCoords);
    highp vec3 up = abs(n.y) < 0.999 ? vec3(0.0, 1.0, 0.0) : vec3(1.0, 0.0, 0.0);
    highp vec3 t = normalize(cross(up, n));
    highp vec3 b = cross(n, t);
    highp float a = roughness*roughness;

    mediump vec3 sum = vec3(0.0);
    mediump float weight = 0.0;
    for(int i = 0; i < SAMPLES; ++i) {
        highp vec2 xi = vec2(float(i)/float(SAMPLES), radicalInverse(uint(i)));
        highp float phi = 2.0*PI*xi.x;
        highp float cosTheta = sqrt((1.0 - xi.y)/(1.0 + (a*a - 1.0)*xi.y));
        highp float sinTheta = sqrt(1.0 - cosTheta*cosTheta);
        highp vec3 h = t*sinTheta*cos(phi) + b*sinTheta*sin(phi) + n*cosTheta;
        highp vec3 l = 2.0*dot(n, h)*h - n;
        highp float nDotL = dot(n, l);
        if(nDotL > 0.0) {
            sum += textureLod(environment, uvFromDirection(l), roughness*6.0).rgb*nDotL;
            weight += nDotL;
        }
    }
    outColor = vec4(sum/max(weight, 0.0001), 1.0);
}
