/* Vertex side of outline text: glyph quads are grown by half a pixel so
   that pixels on their edges are shaded, and the glyph coordinates move
   along with the corners. */

/* Half a pixel in view-space units at the depth of a clip-space position */
highp vec2 glyphHalfPixel(highp vec4 clip, highp mat4 projection, highp vec2 inverseViewport) {
    return abs(clip.w)*inverseViewport/vec2(abs(projection[0][0]), abs(projection[1][1]));
}

/* Moves a glyph corner outwards (corner direction -1 or 1 per axis) by
   @p amount object units, and its font-unit coordinates by the same
   distance in font units */
void glyphDilate(inout highp vec2 position, inout highp vec2 em, highp vec2 corner,
    highp vec2 amount, highp vec2 emPerUnit)
{
    position += corner*amount;
    em += corner*amount*emPerUnit;
}
