#pragma once
// Bounding sphere of a point set by the bouncing-bubble method: two passes
// that move and grow a sphere towards each outside point, then a final pass
// that grows it just enough to contain the rest. Close to the minimal sphere
// at linear cost.

#include <span>
#include <utility>

#include "Base/Export.h"
#include "Base/Math.h"
#include "Engine/Trade.h"

namespace ZandelleEngine { namespace MeshTools {

/** Centre and radius; the origin and 0 for no points */
ZANDELLE_EXPORT std::pair<Vector3, float> boundingSphereBouncingBubble(std::span<const Vector3> points);

/** The positions of @p mesh (set 0) as three floats each; empty when it has
    none or they are not three floats inside the vertex data */
ZANDELLE_EXPORT std::vector<Vector3> positions3D(const Trade::MeshData& mesh);

}}
