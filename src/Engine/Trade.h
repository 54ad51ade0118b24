#pragma once
// Imported data in memory: images, meshes, animations and skins, before the
// asset compiler turns them into runtime data.

#include <cstdint>
#include <string>
#include <vector>

#include "Base/Math.h"

namespace ZandelleEngine { namespace Trade {

/* Numeric values follow the engine's pixel format enumeration, so that the
   numbers in messages and in the format normalisation table match it. Formats
   no loader produces are listed where normalisation has to refuse them. */
enum class PixelFormat: std::uint8_t {
    R8Unorm = 1, RG8Unorm = 2, RGB8Unorm = 3, RGBA8Unorm = 4,
    R8Srgb = 9, RG8Srgb = 10, RGB8Srgb = 11, RGBA8Srgb = 12,
    R8UI = 13, RG8UI = 14, RGB8UI = 15, RGBA8UI = 16,
    R16Unorm = 21, RG16Unorm = 22, RGB16Unorm = 23, RGBA16Unorm = 24,
    R16UI = 29, RG16UI = 30, RGB16UI = 31, RGBA16UI = 32,
    RGBA16F = 48,
    R32F = 49, RG32F = 50, RGB32F = 51, RGBA32F = 52
};

/** Bytes per pixel; 0 for a value outside the enumeration */
std::size_t pixelSize(PixelFormat format);

/** Name as printed in messages, for example "PixelFormat::RGBA16Unorm" */
const char* pixelFormatName(PixelFormat format);

struct ImageData {
    PixelFormat format = PixelFormat::RGBA8Unorm;
    Vector2i size{0};
    /** Rows bottom to top, tightly packed */
    std::vector<std::uint8_t> data;
};

enum class MeshPrimitive: std::uint8_t { Points, Lines, LineStrip, Triangles, TriangleStrip, TriangleFan };

enum class MeshAttribute: std::uint8_t {
    Position, Normal, Tangent, Bitangent, TextureCoordinates, Color, JointIds, Weights, ObjectId
};

enum class VertexFormat: std::uint8_t {
    Float, Vector2, Vector3, Vector4, Vector4ub, Vector4us, Vector4ubNormalized, Vector4usNormalized
};

std::size_t vertexFormatSize(VertexFormat format);

enum class IndexType: std::uint8_t { None, UnsignedByte, UnsignedShort, UnsignedInt };

std::size_t indexTypeSize(IndexType type);

struct MeshAttributeData {
    MeshAttribute name;
    VertexFormat format;
    std::uint32_t offset;  /**< of the first vertex in vertexData */
    std::uint32_t stride;
    /** Which set of this attribute (texture coordinates 0, 1, ...) */
    std::uint32_t set = 0;
};

struct MeshData {
    MeshPrimitive primitive = MeshPrimitive::Triangles;
    std::vector<std::uint8_t> vertexData;
    std::vector<std::uint8_t> indexData;
    IndexType indexType = IndexType::None;
    std::uint32_t vertexCount = 0;
    std::vector<MeshAttributeData> attributes;

    bool isIndexed() const { return indexType != IndexType::None; }
    std::uint32_t indexCount() const {
        return isIndexed() ? std::uint32_t(indexData.size()/indexTypeSize(indexType)) : 0;
    }
    /** The attribute, or null */
    const MeshAttributeData* attribute(MeshAttribute name, std::uint32_t set = 0) const;
};

/** How a track's value between two keyframes is found */
enum class AnimationInterpolation: std::uint8_t {
    /** The value of the keyframe before (a step) */
    Constant,
    /** Component-wise linear; rotations are normalised after the blend */
    Linear,
    /** Spherical linear, for rotations; other properties blend linearly */
    Spherical
};

struct AnimationTrack {
    std::string target;          /**< object link name */
    std::string property;        /**< "translation", "rotation", "scaling" */
    std::vector<float> times;    /**< seconds, ascending */
    /** times.size() x components: translation and scaling x y z, rotation
        a quaternion x y z w */
    std::vector<float> values;
    AnimationInterpolation interpolation = AnimationInterpolation::Linear;
};

struct AnimationData {
    std::vector<AnimationTrack> tracks;
    float duration = 0.0f;   /**< seconds; the last keyframe time of any track */
};

struct SkinData {
    std::vector<std::string> joints;     /**< object link names */
    std::vector<Matrix4> inverseBindMatrices;
};

}}
