#version 300 es
/* Bakes the diffuse irradiance of an equirectangular environment map by
   integrating over the hemisphere of each output direction. */

#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD

#include "lib/Compatibility.frag"

#define PI 3.14159265
#define SAMPLES 64

uniform mediump sampler2D environment;

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

/* Low-discrepancy point set */
highp vec2 hammersley(int i) {
    highp uint bits = uint(i);
    bits = (bits << 16u) | (bits >> 16u);
    bits = ((bits & 0x55555555u) << 1u) | ((bits & 0xAAAAAAAAu) >> 1u);
    bits = ((bits & 0x33333333u) << 2u) | ((bits & 0xCCCCCCCCu) >> 2u);
    bits = ((bits & 0x0F0F0F0Fu) << 4u) | ((bits & 0xF0F0F0F0u) >> 4u);
    bits = ((bits & 0x00FF00FFu) << 8u) | ((bits & 0xFF00FF00u) >> 8u);
    return vec2(float(i)/float(SAMPLES), float(bits)*2.3283064e-10);
}

void main() {
    highp vec3 n = directionFromUv(fragScreenCoords);
    highp vec3 up = abs(n.y) < 0.999 ? vec3(0.0, 1.0, 0.0) : vec3(1.0, 0.0, 0.0);
    highp vec3 t = normalize(cross(up, n));
    highp vec3 b = cross(n, t);
    mediump vec3 sum = vec3(0.0);
    for(int i = 0; i < SAMPLES; ++i) {
        /* Cosine-weighted hemisphere sample */
        highp vec2 xi = hammersley(i);
        highp float r = sqrt(xi.x);
        highp float phi = 2.0*PI*xi.y;
        highp vec3 d = t*r*cos(phi) + b*r*sin(phi) + n*sqrt(1.0 - xi.x);
        sum += textureLod(environment, uvFromDirection(d), 4.0).rgb;
    }
    outColor = vec4(sum/float(SAMPLES), 1.0);
}
