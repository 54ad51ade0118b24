#pragma once
// Copies of meshes narrowed to a set of attributes.

#include "Base/Export.h"
#include "Engine/MeshTools.h"
#include "Engine/Trade.h"

namespace ZandelleEngine { namespace MeshTools {

/** A copy of @p mesh with only the attributes whose flag is in @p flags:
    formats, index type and primitive are kept, the kept attributes are
    packed one after another (each tightly) in a new vertex buffer.
    Attributes without a flag (bitangents, object ids, texture coordinate
    sets beyond 1) and attributes whose data lies outside the vertex buffer
    are dropped. */
ZANDELLE_EXPORT Trade::MeshData cloneMeshData(const Trade::MeshData& mesh, MeshDataFlags flags);

}}
