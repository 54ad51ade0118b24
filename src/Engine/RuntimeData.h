#pragma once
// Packers of the engine's runtime data: compiled resources stored as byte
// arrays and read back by the runtime. Every array starts with a 12-byte
// header: a four-letter magic, a 16-bit format version, a 16-bit kind-specific
// field, and a 32-bit count or size. All values are little endian, as on every
// platform the runtime targets.
//
// Skin ("ZSKN", version 1, field 0, count = joints): then per joint a dual
// quaternion (real x y z w, dual x y z w, 8 floats), then per joint a scaling
// (3 floats), then per joint a 16-bit object id, padded with zeros to a
// multiple of 4 bytes.
//
// Cooked physics mesh ("ZPHX", version 1, field = type: 1 triangle mesh,
// 2 convex mesh, size = bytes of cooked data): then a 32-bit slot index, the
// 64-bit XXH3 hash of the cooked bytes, then the cooked bytes. The physics
// library's reader trusts what it reads, so damaged bytes must be caught
// before they reach it: readPhysXData() refuses a hash that does not match.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Base/Math.h"
#include "Engine/Id.h"

namespace ZandelleEngine { namespace Data {

using ByteArray = std::vector<char>;

constexpr std::uint16_t SkinDataVersion = 1;
constexpr std::uint16_t PhysXDataVersion = 1;
constexpr std::uint16_t ShaderDataVersion = 1;
constexpr std::uint16_t PipelineDataVersion = 1;
constexpr std::uint16_t MaterialDataVersion = 1;

/** Packs a skin; the three spans must have the same length */
ZANDELLE_EXPORT ByteArray createSkinData(std::span<const DualQuaternion> jointTransforms,
    std::span<const Vector3> jointScalings, std::span<const Id> jointIds);

/** A skin read back; empty when the bytes are not skin data of this version */
struct SkinDataView {
    std::vector<DualQuaternion> jointTransforms;
    std::vector<Vector3> jointScalings;
    std::vector<Id> jointIds;
};
ZANDELLE_EXPORT std::optional<SkinDataView> readSkinData(std::span<const char> data);

enum class PhysXDataType: std::uint16_t { TriangleMesh = 1, ConvexMesh = 2 };

/** Wraps cooked physics mesh bytes with the slot they belong to */
ZANDELLE_EXPORT ByteArray createPhysXData(PhysXDataType type, std::uint32_t slot, std::span<const char> cooked);

struct PhysXDataView {
    PhysXDataType type;
    std::uint32_t slot;
    std::span<const char> cooked;
};
ZANDELLE_EXPORT std::optional<PhysXDataView> readPhysXData(std::span<const char> data);

enum class ShaderStage: std::uint8_t { Vertex = 0, Fragment = 1, Include = 2 };

/** Packs a shader's source. @p type indexes the shader types of shader
    loading (0 screenspace quad ... 6 mesh visualizer); @p flags are program
    flags, none defined yet. */
ZANDELLE_EXPORT ByteArray createShaderData(std::string_view name, std::string_view source,
    std::uint32_t flags, std::uint8_t type, ShaderStage stage);

struct ShaderDataView {
    ShaderStage stage;
    std::uint8_t type;
    std::uint32_t flags;
    std::string_view name, source;
};
ZANDELLE_EXPORT std::optional<ShaderDataView> readShaderData(std::span<const char> data);

/** Render state of a pipeline, 64 bytes with natural alignment. The fields
    marked fixed always hold the values given here. */
struct Pipeline {
    /** Index of the fragment shader, 0 when it is not compiled */
    std::uint32_t shader = 0;
    std::uint8_t doubleSided = 0, castShadows = 0, depthTest = 1, depthWrite = 1;
    std::uint8_t reserved0 = 0;                     /* fixed */
    std::uint32_t reserved1 = 1;                    /* fixed */
    std::uint8_t reserved2[2]{0x00, 0xFF};          /* fixed */
    std::uint8_t reserved3[8]{};                    /* fixed */
    std::uint32_t reserved4 = 0;                    /* fixed */
    /** 0 never, 1 always, 2 less, 3 less or equal, 4 equal, 5 not equal,
        6 greater or equal, 7 greater */
    std::uint32_t depthFunction = 2;
    std::uint8_t blending = 0, sampleAlphaToCoverage = 0;
    std::uint8_t reserved5 = 0;                     /* fixed */
    /** Blend factors: 0 zero, 1 one, 4 source color, 5 one minus source
        color, 6 source alpha, 7 source alpha saturate, 8 one minus source
        alpha, 9 destination color, 10 one minus destination color,
        11 destination alpha, 12 one minus destination alpha */
    std::uint32_t blendSrcRgb = 1, blendSrcAlpha = 1, blendDestRgb = 0, blendDestAlpha = 0;
    /** Blend equations: 0 add, 1 subtract, 2 reverse subtract, 3 min, 4 max */
    std::uint32_t blendEqRgb = 0, blendEqAlpha = 0;
};
static_assert(sizeof(Pipeline) == 64, "the pipeline description is 64 bytes");

/** Packs a pipeline: its description, its index, whether it is alpha
    masked, the names of its enabled features and its view vertex shader */
ZANDELLE_EXPORT ByteArray createPipelineData(std::string_view name, const Pipeline& pipeline,
    std::uint32_t index, bool alphaMasked, std::span<const std::string> features, std::uint32_t viewVertexShader);

struct PipelineDataView {
    Pipeline pipeline;
    std::uint32_t index, viewVertexShader;
    bool alphaMasked;
    std::string_view name;
    std::vector<std::string_view> features;
};
ZANDELLE_EXPORT std::optional<PipelineDataView> readPipelineData(std::span<const char> data);

/** Packs the parameter bytes of a material of pipeline @p pipeline */
ZANDELLE_EXPORT ByteArray createMaterialData(Id pipeline, std::span<const std::uint8_t> parameters);

struct MaterialDataView {
    Id pipeline;
    std::span<const std::uint8_t> parameters;
};
ZANDELLE_EXPORT std::optional<MaterialDataView> readMaterialData(std::span<const char> data);

/** Alpha mask of a material: texture index, threshold, eight zero bytes */
struct AlphaMask {
    std::uint32_t texture = 0;
    float threshold = 0.0f;
    std::uint32_t reserved[2]{};
};
static_assert(sizeof(AlphaMask) == 16, "an alpha mask entry is 16 bytes");

/** How the renderer draws a pipeline: 0 not drawn, 1 regular, 2 text, 3 sky */
struct PipelineKind {
    std::uint32_t kind = 0;
    std::uint32_t pipeline = 0;
    /** The pipeline index again, or for the sky the index of its material */
    std::uint32_t value = 0;
};

constexpr std::uint16_t ImageDataVersion = 1;
constexpr std::uint16_t TextureDataVersion = 1;

/** An uncompressed image stored in the file @p fileName */
ZANDELLE_EXPORT ByteArray createImageData(const Vector3i& size, std::string_view fileName);
/** A compressed image made of the tiles named @p tileNames; an empty name is
    a tile that has no cache file (it failed and shows the placeholder) */
ZANDELLE_EXPORT ByteArray createImageData(const Vector3i& size, std::span<const std::string> tileNames);

struct ImageDataView {
    Vector3i size;
    bool tiled;
    std::vector<std::string> names;
};
/** Empty when the bytes are not image data of this version */
ZANDELLE_EXPORT std::optional<ImageDataView> readImageData(std::span<const char> data);

struct TextureInfo {
    std::int32_t type = 0, minFilter = 0, magFilter = 0, mipFilter = 0;
    std::int32_t wrapping[3]{0, 0, 0};
    Id image = 0;
};
/** Packs a texture; its own id (the header's second 16-bit field) is 0
    until the caller writes it with setTextureDataId() */
ZANDELLE_EXPORT ByteArray createTextureData(const TextureInfo& info);
ZANDELLE_EXPORT void setTextureDataId(ByteArray& data, Id id);

struct TextureDataView {
    Id id;
    TextureInfo info;
};
ZANDELLE_EXPORT std::optional<TextureDataView> readTextureData(std::span<const char> data);

}}
