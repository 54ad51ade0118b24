#include "Engine/MeshOptimizer.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

#include <fmt/format.h>
#include <meshoptimizer.h>

#include "Base/Log.h"

namespace ZandelleEngine {

namespace {

std::vector<std::uint32_t> readIndices(const Trade::MeshData& mesh) {
    std::vector<std::uint32_t> out(mesh.indexCount());
    const std::uint8_t* data = mesh.indexData.data();
    for(std::size_t i = 0; i != out.size(); ++i) {
        switch(mesh.indexType) {
            case Trade::IndexType::UnsignedByte: out[i] = data[i]; break;
            case Trade::IndexType::UnsignedShort: { std::uint16_t v; std::memcpy(&v, data + 2*i, 2); out[i] = v; } break;
            case Trade::IndexType::UnsignedInt: std::memcpy(&out[i], data + 4*i, 4); break;
            case Trade::IndexType::None: break;
        }
    }
    return out;
}

void writeIndices(Trade::MeshData& mesh, const std::vector<std::uint32_t>& indices) {
    const std::size_t size = Trade::indexTypeSize(mesh.indexType);
    mesh.indexData.assign(indices.size()*size, 0);
    for(std::size_t i = 0; i != indices.size(); ++i) {
        switch(mesh.indexType) {
            case Trade::IndexType::UnsignedByte: mesh.indexData[i] = std::uint8_t(indices[i]); break;
            case Trade::IndexType::UnsignedShort: { const std::uint16_t v = std::uint16_t(indices[i]); std::memcpy(&mesh.indexData[2*i], &v, 2); } break;
            case Trade::IndexType::UnsignedInt: std::memcpy(&mesh.indexData[4*i], &indices[i], 4); break;
            case Trade::IndexType::None: break;
        }
    }
}

/* Reorders every vertex by @p remap (old index -> new index) and drops
   vertices that map to ~0u; attributes keep their offsets and strides
   relative to a packed copy of the data */
void remapVertices(Trade::MeshData& mesh, const std::vector<unsigned int>& remap, std::uint32_t newCount) {
    /* Attributes are rewritten one after another, tightly packed */
    std::vector<std::uint8_t> data;
    std::vector<Trade::MeshAttributeData> attributes = mesh.attributes;
    std::size_t offset = 0;
    for(Trade::MeshAttributeData& a: attributes) {
        const std::size_t size = Trade::vertexFormatSize(a.format);
        const std::size_t start = offset;
        data.resize(start + size*newCount);
        for(std::uint32_t v = 0; v != mesh.vertexCount; ++v) {
            if(remap[v] == ~0u) continue;
            std::memcpy(data.data() + start + size*remap[v], mesh.vertexData.data() + a.offset + std::size_t(a.stride)*v, size);
        }
        a.offset = std::uint32_t(start);
        a.stride = std::uint32_t(size);
        offset += size*newCount;
    }
    mesh.vertexData = std::move(data);
    mesh.attributes = std::move(attributes);
    mesh.vertexCount = newCount;
}

}

MeshOptimizerSceneConverter::MeshOptimizerSceneConverter() {
    _configuration = {
        {"simplify", "false"},
        {"simplifyTargetIndexCountThreshold", "1.0"},
        {"simplifyTargetError", "0.01"},
        {"optimizeVertexCache", "true"},
        {"optimizeOverdraw", "true"},
        {"optimizeVertexFetch", "true"},
    };
}

void MeshOptimizerSceneConverter::setValue(std::string_view key, std::string_view value) {
    _configuration[std::string{key}] = std::string{value};
}

void MeshOptimizerSceneConverter::setValue(std::string_view key, bool value) {
    setValue(key, std::string_view{value ? "true" : "false"});
}

void MeshOptimizerSceneConverter::setValue(std::string_view key, float value) {
    setValue(key, std::string_view{fmt::format("{}", value)});
}

std::string_view MeshOptimizerSceneConverter::value(std::string_view key) const {
    auto found = _configuration.find(key);
    return found == _configuration.end() ? std::string_view{} : std::string_view{found->second};
}

bool MeshOptimizerSceneConverter::flag(std::string_view key) const { return value(key) == "true"; }

float MeshOptimizerSceneConverter::number(std::string_view key, float fallback) const {
    const std::string_view text = value(key);
    float out = fallback;
    if(std::from_chars(text.data(), text.data() + text.size(), out).ec != std::errc{}) return fallback;
    return out;
}

bool MeshOptimizerSceneConverter::canConvert(const Trade::MeshData& mesh) {
    const Trade::MeshAttributeData* p = mesh.attribute(Trade::MeshAttribute::Position);
    if(mesh.primitive != Trade::MeshPrimitive::Triangles || !mesh.isIndexed() || !p ||
       p->format != Trade::VertexFormat::Vector3 || mesh.indexCount() % 3 || !mesh.vertexCount) return false;
    for(const Trade::MeshAttributeData& a: mesh.attributes)
        if(std::size_t(a.offset) + std::size_t(a.stride)*(mesh.vertexCount - 1) + Trade::vertexFormatSize(a.format) > mesh.vertexData.size())
            return false;
    for(std::uint32_t i: readIndices(mesh)) if(i >= mesh.vertexCount) return false;
    return true;
}

bool MeshOptimizerSceneConverter::convertInPlace(Trade::MeshData& mesh) const {
    if(!canConvert(mesh)) {
        Error{} << "MeshOptimizerSceneConverter: expected an indexed triangle mesh with valid positions";
        return false;
    }
    std::vector<std::uint32_t> indices = readIndices(mesh);
    const Trade::MeshAttributeData& p = *mesh.attribute(Trade::MeshAttribute::Position);
    std::vector<float> positions(std::size_t(mesh.vertexCount)*3);
    for(std::uint32_t v = 0; v != mesh.vertexCount; ++v)
        std::memcpy(&positions[3*v], mesh.vertexData.data() + p.offset + std::size_t(p.stride)*v, 12);

    if(flag("optimizeVertexCache"))
        meshopt_optimizeVertexCache(indices.data(), indices.data(), indices.size(), mesh.vertexCount);
    if(flag("optimizeOverdraw"))
        meshopt_optimizeOverdraw(indices.data(), indices.data(), indices.size(), positions.data(), mesh.vertexCount, 12, 1.05f);
    if(flag("optimizeVertexFetch")) {
        std::vector<unsigned int> remap(mesh.vertexCount);
        const std::size_t unique = meshopt_optimizeVertexFetchRemap(remap.data(), indices.data(), indices.size(), mesh.vertexCount);
        meshopt_remapIndexBuffer(indices.data(), indices.data(), indices.size(), remap.data());
        remapVertices(mesh, remap, std::uint32_t(unique));
    }
    writeIndices(mesh, indices);
    return true;
}

std::optional<Trade::MeshData> MeshOptimizerSceneConverter::convert(const Trade::MeshData& mesh) const {
    if(!canConvert(mesh)) {
        Error{} << "MeshOptimizerSceneConverter: expected an indexed triangle mesh with valid positions";
        return {};
    }
    Trade::MeshData out = mesh;
    if(flag("simplify")) {
        std::vector<std::uint32_t> indices = readIndices(out);
        const Trade::MeshAttributeData& p = *out.attribute(Trade::MeshAttribute::Position);
        std::vector<float> positions(std::size_t(out.vertexCount)*3);
        for(std::uint32_t v = 0; v != out.vertexCount; ++v)
            std::memcpy(&positions[3*v], out.vertexData.data() + p.offset + std::size_t(p.stride)*v, 12);
        const float threshold = std::clamp(number("simplifyTargetIndexCountThreshold", 1.0f), 0.0f, 1.0f);
        const std::size_t target = std::size_t(float(indices.size())*threshold)/3*3;
        std::vector<std::uint32_t> simplified(indices.size());
        const std::size_t count = meshopt_simplify(simplified.data(), indices.data(), indices.size(),
            positions.data(), out.vertexCount, 12, target, number("simplifyTargetError", 0.01f), 0, nullptr);
        simplified.resize(count);
        writeIndices(out, simplified);
        if(simplified.empty()) return out;
    }
    convertInPlace(out);
    return out;
}

}
