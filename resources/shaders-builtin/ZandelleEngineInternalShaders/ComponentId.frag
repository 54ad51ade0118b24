#version 300 es
/* Writes the id of the object under each pixel, for picking in the editor. */

#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD

#include "lib/Compatibility.frag"

flat in highp uint fragObjectId;
layout(location = 0) out highp uint outId;

void main() {
    outId = fragObjectId + 1u;
}
