/* Prologue of every fragment shader: precision defaults and helpers that
   keep the sources the same on every GLSL version the engine targets. */
precision highp float;
precision highp int;
precision mediump sampler2D;
precision mediump sampler2DArray;
precision highp usampler2D;
precision mediump sampler2DArrayShadow;

#define saturate(x) clamp(x, 0.0, 1.0)

mediump float luminance(mediump vec3 color) {
    return dot(color, vec3(0.2126, 0.7152, 0.0722));
}

/* sRGB transfer functions, cheap approximation */
mediump vec3 srgbToLinear(mediump vec3 c) { return pow(c, vec3(2.2)); }
mediump vec3 linearToSrgb(mediump vec3 c) { return pow(c, vec3(1.0/2.2)); }
