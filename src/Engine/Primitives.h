#pragma once
// Built-in primitive meshes: plane, cube, UV sphere, cone, cylinder and a
// circle. Every primitive has positions and normals; texture coordinates and
// tangents are added on request. Vertices are interleaved in the order
// position (Vector3), normal (Vector3), texture coordinates (Vector2),
// tangent (Vector4, w = handedness), leaving out what was not asked for.
//
// Shapes span -1 to 1 on each axis they extend along; the round ones have
// radius 1 and run along the Y axis, their seam at +Z.

#include <cstdint>

#include "Base/Export.h"
#include "Engine/Trade.h"

namespace ZandelleEngine { namespace Primitives {

/* Flag values shared by all generators */
enum PrimitiveFlag: std::uint32_t {
    TextureCoordinates = 1 << 0,
    Tangents = 1 << 1,
    /** Cone: a cap at the bottom; cylinder: caps at both ends */
    Caps = 1 << 2
};

/** A square in the XY plane facing +Z, as a triangle strip of 4 vertices */
ZANDELLE_EXPORT Trade::MeshData planeSolid(std::uint32_t flags);

/** The unit cube: 24 vertices (four per face, so each face has its own
    normal, tangent and texture coordinates) with all four attributes, and
    36 unsigned 16-bit indices, two triangles per face */
ZANDELLE_EXPORT Trade::MeshData cubeSolid();

/** A sphere of @p rings rings (at least 2) and @p segments segments (at
    least 3), poles on the Y axis, indexed triangles */
ZANDELLE_EXPORT Trade::MeshData uvSphereSolid(std::uint32_t rings, std::uint32_t segments, std::uint32_t flags);

/** A cone of @p rings rings along its side and @p segments segments, base at
    y = -halfLength with radius 1, tip at y = +halfLength; `Caps` closes the
    base. Indexed triangles. */
ZANDELLE_EXPORT Trade::MeshData coneSolid(std::uint32_t rings, std::uint32_t segments, float halfLength, std::uint32_t flags);

/** A cylinder of radius 1 from y = -halfLength to +halfLength; `Caps`
    closes both ends. Indexed triangles. */
ZANDELLE_EXPORT Trade::MeshData cylinderSolid(std::uint32_t rings, std::uint32_t segments, float halfLength, std::uint32_t flags);

/** A disc of radius 1 in the XY plane facing +Z, as a triangle fan: the
    centre, then @p segments + 1 rim vertices (the first repeated last) */
ZANDELLE_EXPORT Trade::MeshData circle3DSolid(std::uint32_t segments, std::uint32_t flags);

}}
