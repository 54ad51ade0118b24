#pragma once
// Mesh tools: triangulation of strips and fans, the attribute flags of a
// mesh, and packing into the engine's interleaved vertex layout.

#include <cstdint>

#include "Base/Export.h"
#include "Engine/Trade.h"

namespace ZandelleEngine { namespace MeshTools {

/** One vertex attribute of a mesh layout */
enum class MeshDataFlag: std::uint32_t {
    Position = 1 << 0,
    Normals = 1 << 1,
    Tangents = 1 << 2,
    TextureCoordinates = 1 << 3,
    Colors = 1 << 4,
    /* Skinning attributes: layouts that a project narrows to what its
       materials use always keep these two */
    JointIds = 1 << 5,
    Weights = 1 << 6,
    /** Texture coordinates of set 1 */
    SecondaryTextureCoordinates = 1 << 7
};

/** A set of MeshDataFlag */
class MeshDataFlags {
    public:
        constexpr MeshDataFlags() = default;
        constexpr MeshDataFlags(MeshDataFlag flag): _bits{std::uint32_t(flag)} {}
        constexpr explicit MeshDataFlags(std::uint32_t bits): _bits{bits} {}

        constexpr std::uint32_t bits() const { return _bits; }
        constexpr explicit operator bool() const { return _bits != 0; }

        constexpr MeshDataFlags operator|(MeshDataFlags other) const { return MeshDataFlags{_bits | other._bits}; }
        constexpr MeshDataFlags operator&(MeshDataFlags other) const { return MeshDataFlags{_bits & other._bits}; }
        constexpr MeshDataFlags operator~() const { return MeshDataFlags{~_bits}; }
        MeshDataFlags& operator|=(MeshDataFlags other) { _bits |= other._bits; return *this; }
        MeshDataFlags& operator&=(MeshDataFlags other) { _bits &= other._bits; return *this; }
        constexpr bool operator==(MeshDataFlags other) const { return _bits == other._bits; }
        /** Whether every flag of @p other is in this set */
        constexpr bool operator>=(MeshDataFlags other) const { return (_bits & other._bits) == other._bits; }

    private:
        std::uint32_t _bits = 0;
};

constexpr MeshDataFlags operator|(MeshDataFlag a, MeshDataFlag b) { return MeshDataFlags{a} | b; }

/** Every attribute flag */
constexpr MeshDataFlags AllMeshDataFlags{0xff};

/**
 * Turns a triangle strip or fan into indexed triangles, keeping the winding
 * of every triangle (the odd triangles of a strip are flipped back). The
 * vertex data is kept as it is; the index type is 16-bit when the vertex
 * count allows and 32-bit otherwise. Triangle meshes come back unchanged,
 * and so do points and lines, which have no triangles: callers check
 * `primitive`.
 */
ZANDELLE_EXPORT Trade::MeshData convertToTriangles(Trade::MeshData mesh);

/** The flags of the attributes @p mesh has */
ZANDELLE_EXPORT MeshDataFlags getMeshFlags(const Trade::MeshData& mesh);

/**
 * Packs @p mesh into the engine's vertex layout, keeping the attributes in
 * both getMeshFlags(mesh) and @p flags. The packed layout is one interleaved
 * buffer whose stride is the sum of the kept attributes, in this order:
 *
 * | attribute                 | flag                        | format                  |
 * |---------------------------|-----------------------------|-------------------------|
 * | position                  | Position                    | 3 floats                |
 * | normal                    | Normals                     | 3 floats                |
 * | texture coordinates set 0 | TextureCoordinates          | 2 floats                |
 * | tangent                   | Tangents                    | 4 floats, w = handedness|
 * | texture coordinates set 1 | SecondaryTextureCoordinates | 2 floats                |
 * | colour                    | Colors                      | 4 floats                |
 * | joint ids                 | JointIds                    | 4 unsigned 16-bit ints  |
 * | weights                   | Weights                     | 4 floats                |
 *
 * Sources of other formats are converted: normalised bytes and shorts to
 * floats, a three-component tangent gets handedness 1 and a three-component
 * colour alpha 1. Indices become unsigned 16-bit when every vertex can be
 * addressed with them, 32-bit otherwise; a non-indexed mesh stays
 * non-indexed. The primitive is kept. An attribute whose data lies outside
 * the vertex buffer is dropped with a warning.
 */
ZANDELLE_EXPORT Trade::MeshData packMesh(const Trade::MeshData& mesh, MeshDataFlags flags);

}}
