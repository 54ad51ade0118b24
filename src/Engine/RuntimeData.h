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
#include <vector>

#include "Base/Export.h"
#include "Base/Math.h"
#include "Engine/Id.h"

namespace ZandelleEngine { namespace Data {

using ByteArray = std::vector<char>;

constexpr std::uint16_t SkinDataVersion = 1;
constexpr std::uint16_t PhysXDataVersion = 1;

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

}}
