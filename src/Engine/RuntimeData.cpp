#include "Engine/RuntimeData.h"

#include <cstring>

#include <xxhash.h>

#include "Engine/RuntimeDataFormat.h"

namespace ZandelleEngine { namespace Data {

using namespace Implementation;

ByteArray createSkinData(std::span<const DualQuaternion> jointTransforms, std::span<const Vector3> jointScalings, std::span<const Id> jointIds) {
    const std::size_t count = jointTransforms.size();
    ByteArray out;
    out.reserve(HeaderSize + count*(32 + 12 + 2) + 2);
    appendHeader(out, "ZSKN", SkinDataVersion, 0, std::uint32_t(count));
    for(const DualQuaternion& d: jointTransforms) {
        for(float f: {d.real.x, d.real.y, d.real.z, d.real.w, d.dual.x, d.dual.y, d.dual.z, d.dual.w}) append(out, f);
    }
    for(std::size_t i = 0; i != count; ++i) {
        const Vector3 s = i < jointScalings.size() ? jointScalings[i] : Vector3{0.0f};
        for(float f: {s.x, s.y, s.z}) append(out, f);
    }
    for(std::size_t i = 0; i != count; ++i) append(out, i < jointIds.size() ? jointIds[i] : Id(0));
    while(out.size() % 4) out.push_back(0);
    return out;
}

std::optional<SkinDataView> readSkinData(std::span<const char> data) {
    if(!checkHeader(data, "ZSKN", SkinDataVersion)) return {};
    const std::size_t count = readAt<std::uint32_t>(data, 8);
    if(data.size() < HeaderSize + count*(32 + 12 + 2)) return {};
    SkinDataView view;
    std::size_t offset = HeaderSize;
    for(std::size_t i = 0; i != count; ++i, offset += 32) {
        float f[8];
        std::memcpy(f, data.data() + offset, sizeof(f));
        view.jointTransforms.push_back(DualQuaternion{Quaternion{f[3], f[0], f[1], f[2]}, Quaternion{f[7], f[4], f[5], f[6]}});
    }
    for(std::size_t i = 0; i != count; ++i, offset += 12) {
        float f[3];
        std::memcpy(f, data.data() + offset, sizeof(f));
        view.jointScalings.emplace_back(f[0], f[1], f[2]);
    }
    for(std::size_t i = 0; i != count; ++i, offset += 2) view.jointIds.push_back(readAt<Id>(data, offset));
    return view;
}

ByteArray createPhysXData(PhysXDataType type, std::uint32_t slot, std::span<const char> cooked) {
    ByteArray out;
    out.reserve(HeaderSize + 12 + cooked.size());
    appendHeader(out, "ZPHX", PhysXDataVersion, std::uint16_t(type), std::uint32_t(cooked.size()));
    append(out, slot);
    append(out, std::uint64_t(XXH3_64bits(cooked.data(), cooked.size())));
    out.insert(out.end(), cooked.begin(), cooked.end());
    return out;
}

std::optional<PhysXDataView> readPhysXData(std::span<const char> data) {
    if(!checkHeader(data, "ZPHX", PhysXDataVersion)) return {};
    const std::uint16_t type = readAt<std::uint16_t>(data, 6);
    const std::uint32_t size = readAt<std::uint32_t>(data, 8);
    if((type != 1 && type != 2) || data.size() != HeaderSize + 12 + std::size_t(size)) return {};
    const std::span<const char> cooked = data.subspan(HeaderSize + 12);
    if(readAt<std::uint64_t>(data, HeaderSize + 4) != XXH3_64bits(cooked.data(), cooked.size())) return {};
    return PhysXDataView{PhysXDataType(type), readAt<std::uint32_t>(data, HeaderSize), cooked};
}

}}
