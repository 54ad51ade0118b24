/* Pixel coverage of a glyph from its outline. The glyph's quadratic curves
   are stored in a float texture, two texels per curve: (p0.xy, p1.xy) and
   (p2.xy, 0, 0), in font units relative to the glyph. A horizontal ray
   from the pixel centre counts signed crossings; each crossing contributes
   the part of the pixel it covers, which anti-aliases the edges. */

uniform highp sampler2D glyphCurves;

#define GLYPH_MAX_CURVES 256

highp ivec2 curveTexel(int index) {
    highp int width = textureSize(glyphCurves, 0).x;
    return ivec2(index - (index/width)*width, index/width);
}

/* Adds the coverage of one curve's crossings with the ray to @p winding */
void accumulateCurve(highp vec2 p0, highp vec2 p1, highp vec2 p2, highp float pixelsPerEm, inout highp float winding) {
    /* y(t) = a t^2 - 2 b t + c */
    highp float a = p0.y - 2.0*p1.y + p2.y;
    highp float b = p0.y - p1.y;
    highp float c = p0.y;
    highp float t0, t1;
    if(abs(a) < 1e-5) {
        if(abs(b) < 1e-7) return;
        t0 = t1 = c/(2.0*b);
    } else {
        highp float d = b*b - a*c;
        if(d < 0.0) return;
        highp float s = sqrt(d);
        t0 = (b - s)/a;
        t1 = (b + s)/a;
    }
    /* Crossing direction from the end points decides the sign */
    highp float sign0 = p0.y > 0.0 ? 1.0 : -1.0;
    highp float sign2 = p2.y > 0.0 ? 1.0 : -1.0;
    if(t0 >= 0.0 && t0 < 1.0) {
        highp float x = mix(mix(p0.x, p1.x, t0), mix(p1.x, p2.x, t0), t0);
        winding += saturate(x*pixelsPerEm + 0.5)*-sign0;
    }
    if(t1 != t0 && t1 >= 0.0 && t1 < 1.0) {
        highp float x = mix(mix(p0.x, p1.x, t1), mix(p1.x, p2.x, t1), t1);
        winding += saturate(x*pixelsPerEm + 0.5)*sign2;
    }
}

/* @p curves: x first curve, y curve count */
mediump float glyphCoverage(highp vec2 glyphCoords, highp ivec4 curves) {
    highp float pixelsPerEm = 1.0/max(fwidth(glyphCoords.x), 1e-6);
    highp float winding = 0.0;
    for(int i = 0; i < GLYPH_MAX_CURVES; ++i) {
        if(i >= curves.y) break;
        highp int texel = (curves.x + i)*2;
        highp vec4 a = texelFetch(glyphCurves, curveTexel(texel), 0);
        highp vec4 b = texelFetch(glyphCurves, curveTexel(texel + 1), 0);
        accumulateCurve(a.xy - glyphCoords, a.zw - glyphCoords, b.xy - glyphCoords, pixelsPerEm, winding);
    }
    return saturate(abs(winding));
}
