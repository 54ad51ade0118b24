#include "Engine/RuntimeData.h"

#include <cstddef>
#include <cstring>

#include <xxhash.h>

#include "Engine/RuntimeDataFormat.h"

namespace ZandelleEngine { namespace Data {

using namespace Implementation;

namespace {

void appendString(ByteArray& out, std::string_view s) {
    append(out, std::uint32_t(s.size()));
    out.insert(out.end(), s.begin(), s.end());
}

void padToFour(ByteArray& out) {
    while(out.size() % 4) out.push_back(0);
}

/* A length-prefixed string at @p offset, which moves past it; empty when
   it runs past the end */
std::optional<std::string_view> readString(std::span<const char> data, std::size_t& offset) {
    if(data.size() < offset + 4) return {};
    const std::size_t size = readAt<std::uint32_t>(data, offset);
    if(data.size() - offset - 4 < size) return {};
    const std::string_view s{data.data() + offset + 4, size};
    offset += 4 + size;
    return s;
}

}

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
    padToFour(out);
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

ByteArray createShaderData(std::string_view name, std::string_view source, std::uint32_t flags, std::uint8_t type, ShaderStage stage) {
    ByteArray out;
    out.reserve(HeaderSize + 8 + name.size() + source.size() + 3);
    appendHeader(out, "ZSHD", ShaderDataVersion, std::uint16_t(std::uint16_t(stage) | type << 8), std::uint32_t(source.size()));
    append(out, flags);
    appendString(out, name);
    out.insert(out.end(), source.begin(), source.end());
    padToFour(out);
    return out;
}

std::optional<ShaderDataView> readShaderData(std::span<const char> data) {
    if(!checkHeader(data, "ZSHD", ShaderDataVersion) || data.size() < HeaderSize + 4) return {};
    const std::uint16_t field = readAt<std::uint16_t>(data, 6);
    const std::size_t sourceSize = readAt<std::uint32_t>(data, 8);
    std::size_t offset = HeaderSize + 4;
    const std::optional<std::string_view> name = readString(data, offset);
    if(!name || (field & 0xff) > 2 || data.size() - offset < sourceSize) return {};
    return ShaderDataView{ShaderStage(field & 0xff), std::uint8_t(field >> 8), readAt<std::uint32_t>(data, HeaderSize),
        *name, std::string_view{data.data() + offset, sourceSize}};
}

namespace {

/* Field by field, so that the padding bytes are always zero */
void appendPipeline(ByteArray& out, const Pipeline& p) {
    const std::size_t start = out.size();
    out.resize(start + sizeof(Pipeline), 0);
    char* at = out.data() + start;
    auto put = [&](std::size_t offset, const auto& value) { std::memcpy(at + offset, &value, sizeof(value)); };
    put(offsetof(Pipeline, shader), p.shader);
    put(offsetof(Pipeline, doubleSided), p.doubleSided);
    put(offsetof(Pipeline, castShadows), p.castShadows);
    put(offsetof(Pipeline, depthTest), p.depthTest);
    put(offsetof(Pipeline, depthWrite), p.depthWrite);
    put(offsetof(Pipeline, reserved0), p.reserved0);
    put(offsetof(Pipeline, reserved1), p.reserved1);
    put(offsetof(Pipeline, reserved2), p.reserved2);
    put(offsetof(Pipeline, reserved3), p.reserved3);
    put(offsetof(Pipeline, reserved4), p.reserved4);
    put(offsetof(Pipeline, depthFunction), p.depthFunction);
    put(offsetof(Pipeline, blending), p.blending);
    put(offsetof(Pipeline, sampleAlphaToCoverage), p.sampleAlphaToCoverage);
    put(offsetof(Pipeline, reserved5), p.reserved5);
    put(offsetof(Pipeline, blendSrcRgb), p.blendSrcRgb);
    put(offsetof(Pipeline, blendSrcAlpha), p.blendSrcAlpha);
    put(offsetof(Pipeline, blendDestRgb), p.blendDestRgb);
    put(offsetof(Pipeline, blendDestAlpha), p.blendDestAlpha);
    put(offsetof(Pipeline, blendEqRgb), p.blendEqRgb);
    put(offsetof(Pipeline, blendEqAlpha), p.blendEqAlpha);
}

}

ByteArray createPipelineData(std::string_view name, const Pipeline& pipeline, std::uint32_t index, bool alphaMasked,
    std::span<const std::string> features, std::uint32_t viewVertexShader)
{
    ByteArray out;
    out.reserve(HeaderSize + 8 + sizeof(Pipeline) + 4 + name.size() + 3);
    appendHeader(out, "ZPPL", PipelineDataVersion, alphaMasked ? 1 : 0, std::uint32_t(features.size()));
    append(out, index);
    append(out, viewVertexShader);
    appendPipeline(out, pipeline);
    appendString(out, name);
    for(const std::string& feature: features) appendString(out, feature);
    padToFour(out);
    return out;
}

std::optional<PipelineDataView> readPipelineData(std::span<const char> data) {
    constexpr std::size_t FixedSize = HeaderSize + 8 + sizeof(Pipeline);
    if(!checkHeader(data, "ZPPL", PipelineDataVersion) || data.size() < FixedSize) return {};
    PipelineDataView view;
    view.alphaMasked = readAt<std::uint16_t>(data, 6) & 1;
    view.index = readAt<std::uint32_t>(data, HeaderSize);
    view.viewVertexShader = readAt<std::uint32_t>(data, HeaderSize + 4);
    std::memcpy(&view.pipeline, data.data() + HeaderSize + 8, sizeof(Pipeline));
    std::size_t offset = FixedSize;
    const std::optional<std::string_view> name = readString(data, offset);
    if(!name) return {};
    view.name = *name;
    for(std::uint32_t i = 0, count = readAt<std::uint32_t>(data, 8); i != count; ++i) {
        const std::optional<std::string_view> feature = readString(data, offset);
        if(!feature) return {};
        view.features.push_back(*feature);
    }
    return view;
}

namespace {

ByteArray imageData(const Vector3i& size, std::uint16_t field, std::span<const std::string_view> names) {
    ByteArray out;
    appendHeader(out, "ZIMG", ImageDataVersion, field, std::uint32_t(names.size()));
    for(int i = 0; i != 3; ++i) append(out, std::uint32_t(size[i]));
    for(std::string_view name: names) {
        append(out, std::uint16_t(name.size()));
        out.insert(out.end(), name.begin(), name.end());
    }
    padToFour(out);
    return out;
}

}

ByteArray createImageData(const Vector3i& size, std::string_view fileName) {
    return imageData(size, 0, {&fileName, 1});
}

ByteArray createImageData(const Vector3i& size, std::span<const std::string> tileNames) {
    std::vector<std::string_view> names(tileNames.begin(), tileNames.end());
    return imageData(size, 1, names);
}

std::optional<ImageDataView> readImageData(std::span<const char> data) {
    if(!checkHeader(data, "ZIMG", ImageDataVersion) || data.size() < HeaderSize + 12) return {};
    ImageDataView view;
    view.tiled = readAt<std::uint16_t>(data, 6) == 1;
    for(int i = 0; i != 3; ++i) view.size[i] = int(readAt<std::uint32_t>(data, HeaderSize + 4*i));
    const std::size_t count = readAt<std::uint32_t>(data, 8);
    std::size_t offset = HeaderSize + 12;
    for(std::size_t i = 0; i != count; ++i) {
        if(data.size() - offset < 2) return {};
        const std::size_t length = readAt<std::uint16_t>(data, offset);
        offset += 2;
        if(data.size() - offset < length) return {};
        view.names.emplace_back(data.data() + offset, length);
        offset += length;
    }
    return view;
}

ByteArray createMaterialData(Id pipeline, std::span<const std::uint8_t> parameters) {
    ByteArray out;
    out.reserve(HeaderSize + parameters.size() + 3);
    appendHeader(out, "ZMTL", MaterialDataVersion, pipeline, std::uint32_t(parameters.size()));
    out.insert(out.end(), parameters.begin(), parameters.end());
    padToFour(out);
    return out;
}

std::optional<MaterialDataView> readMaterialData(std::span<const char> data) {
    if(!checkHeader(data, "ZMTL", MaterialDataVersion)) return {};
    const std::size_t size = readAt<std::uint32_t>(data, 8);
    if(data.size() - HeaderSize < size) return {};
    return MaterialDataView{readAt<Id>(data, 6),
        std::span<const std::uint8_t>{reinterpret_cast<const std::uint8_t*>(data.data() + HeaderSize), size}};
}

ByteArray createTextureData(const TextureInfo& info) {
    ByteArray out;
    appendHeader(out, "ZTEX", TextureDataVersion, 0, 0);
    for(std::int32_t v: {info.type, info.minFilter, info.magFilter, info.mipFilter, info.wrapping[0], info.wrapping[1], info.wrapping[2]})
        append(out, v);
    append(out, info.image);
    padToFour(out);
    return out;
}

void setTextureDataId(ByteArray& data, Id id) {
    if(data.size() >= HeaderSize) std::memcpy(data.data() + 6, &id, 2);
}

std::optional<TextureDataView> readTextureData(std::span<const char> data) {
    if(!checkHeader(data, "ZTEX", TextureDataVersion) || data.size() < HeaderSize + 7*4 + 2) return {};
    TextureDataView view;
    view.id = readAt<Id>(data, 6);
    std::int32_t v[7];
    for(int i = 0; i != 7; ++i) v[i] = readAt<std::int32_t>(data, HeaderSize + 4*i);
    view.info = TextureInfo{v[0], v[1], v[2], v[3], {v[4], v[5], v[6]}, readAt<Id>(data, HeaderSize + 28)};
    return view;
}

}}

