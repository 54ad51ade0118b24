#include "Editor/SceneFileCheck.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include <sys/stat.h>

#include "Base/Format.h"
#include "Editor/Json.h"

namespace ZandelleEngine { namespace SceneFileCheck {

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t GlbMagic = 0x46546c67;      /* "glTF" */
constexpr std::uint32_t ChunkJson = 0x4e4f534a;     /* "JSON" */
constexpr std::uint32_t ChunkBin = 0x004e4942;      /* "BIN\0" */

std::uint32_t readU32(const char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

const JsonValue* member(const JsonValue& object, const char* name) {
    if(!object.IsObject()) return nullptr;
    const auto found = object.FindMember(name);
    return found == object.MemberEnd() ? nullptr : &found->value;
}

/* glTF 2 keeps nodes and buffers in arrays referred to by index, glTF 1 in
   objects referred to by id: both as a list with a lookup */
struct Collection {
    std::vector<const JsonValue*> items;
    std::vector<std::string_view> ids;

    explicit Collection(const JsonValue* v) {
        if(v && v->IsArray()) for(const JsonValue& item: v->GetArray()) items.push_back(&item);
        else if(v && v->IsObject()) for(const auto& m: v->GetObject()) {
            ids.emplace_back(m.name.GetString(), m.name.GetStringLength());
            items.push_back(&m.value);
        }
    }
    std::optional<std::size_t> find(const JsonValue& reference) const {
        if(ids.empty() && reference.IsUint() && reference.GetUint() < items.size()) return reference.GetUint();
        if(!ids.empty() && reference.IsString()) {
            const auto found = std::find(ids.begin(), ids.end(), Json::asString(&reference));
            if(found != ids.end()) return std::size_t(found - ids.begin());
        }
        return {};
    }
};

std::optional<std::string> checkNodes(const JsonValue& json) {
    const Collection nodes{member(json, "nodes")};
    const std::size_t n = nodes.items.size();
    std::vector<std::vector<std::size_t>> children(n);
    std::vector<std::size_t> parents(n, 0), depth(n, 1);
    std::vector<std::uint64_t> instances(n, 0);
    for(std::size_t i = 0; i != n; ++i) {
        const JsonValue* list = member(*nodes.items[i], "children");
        if(list && list->IsArray()) for(const JsonValue& c: list->GetArray())
            if(const std::optional<std::size_t> child = nodes.find(c)) {
                children[i].push_back(*child);
                ++parents[*child];
            }
    }
    /* Parents before children; what never comes out lies on a cycle */
    std::vector<std::size_t> ready;
    for(std::size_t i = 0; i != n; ++i) if(!parents[i]) {
        ready.push_back(i);
        instances[i] = 1;
    }
    std::size_t done = 0;
    std::uint64_t total = 0;
    while(!ready.empty()) {
        const std::size_t i = ready.back();
        ready.pop_back();
        ++done;
        if(depth[i] > MaxNodeDepth) return fmt::format("node hierarchy deeper than {} levels", MaxNodeDepth);
        total = std::min(total + instances[i], MaxNodeInstances + 1);
        if(total > MaxNodeInstances) return fmt::format("node hierarchy of more than {} nodes", MaxNodeInstances);
        for(const std::size_t c: children[i]) {
            depth[c] = std::max(depth[c], depth[i] + 1);
            instances[c] = std::min(instances[c] + instances[i], MaxNodeInstances + 1);
            if(--parents[c] == 0) ready.push_back(c);
        }
    }
    if(done != n) return std::string{"node hierarchy with a cycle"};
    return {};
}

/* Bytes a data uri holds, counted from its text */
std::uint64_t dataUriSize(std::string_view uri) {
    const std::size_t comma = uri.find(',');
    if(comma == std::string_view::npos) return 0;
    const std::string_view header = uri.substr(0, comma), payload = uri.substr(comma + 1);
    return header.ends_with(";base64") ? payload.size()/4*3 + 3 : payload.size();
}

std::string percentDecoded(std::string_view uri) {
    std::string out;
    auto hex = [](char c) -> int {
        if(c >= '0' && c <= '9') return c - '0';
        if(c >= 'a' && c <= 'f') return c - 'a' + 10;
        if(c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for(std::size_t i = 0; i != uri.size(); ++i) {
        if(uri[i] == '%' && i + 2 < uri.size() && hex(uri[i + 1]) >= 0 && hex(uri[i + 2]) >= 0) {
            out += char(hex(uri[i + 1])*16 + hex(uri[i + 2]));
            i += 2;
        } else out += uri[i];
    }
    return out;
}

}

std::optional<std::string> regularFileInside(const std::string& folder, std::string_view reference) {
    std::error_code ec;
    const fs::path base = fs::canonical(fs::path{folder}, ec);
    if(ec) return {};
    const fs::path file = fs::canonical(fs::path{folder}/fs::path{reference}, ec);
    if(ec) return {};
    const fs::path relative = file.lexically_relative(base);
    if(relative.empty() || *relative.begin() == "..") return {};
    struct stat s;
    if(::stat(file.c_str(), &s) != 0 || !S_ISREG(s.st_mode)) return {};
    return file.generic_string();
}

std::optional<std::string> checkGltf(const ReadAt& read, std::uint64_t fileSize, bool binary, const std::string& folder) {
    /* The JSON text; for a GLB, the chunk lengths first, so that no length
       the file states is allocated before it is known to fit */
    std::uint64_t jsonOffset = 0, jsonSize = fileSize, binSize = 0;
    bool hasBin = false;
    if(binary) {
        char header[20];
        if(fileSize < 12 || !read(0, 12, header) || readU32(header) != GlbMagic) return std::string{"not a GLB file"};
        const std::uint32_t version = readU32(header + 4);
        const std::uint64_t length = readU32(header + 8);
        if(length > fileSize) return std::string{"GLB length beyond the end of the file"};
        if(version == 1) {
            /* Header, then one content chunk, then the binary body */
            if(length < 20 || !read(0, 20, header)) return std::string{"GLB length beyond the end of the file"};
            jsonOffset = 20;
            jsonSize = readU32(header + 12);
            if(jsonSize > length - 20) return std::string{"GLB chunk length beyond the end of the file"};
            binSize = length - 20 - jsonSize;
            hasBin = true;
        } else {
            std::uint64_t offset = 12;
            for(std::size_t chunk = 0; offset < length; ++chunk) {
                char chunkHeader[8];
                if(length - offset < 8 || !read(offset, 8, chunkHeader))
                    return std::string{"GLB chunk length beyond the end of the file"};
                const std::uint64_t size = readU32(chunkHeader);
                const std::uint32_t type = readU32(chunkHeader + 4);
                if(size > length - offset - 8) return std::string{"GLB chunk length beyond the end of the file"};
                if(chunk == 0 && type != ChunkJson) return std::string{"GLB without a JSON chunk"};
                if(chunk == 0) {
                    jsonOffset = offset + 8;
                    jsonSize = size;
                } else if(chunk == 1 && type == ChunkBin) {
                    binSize = size;
                    hasBin = true;
                }
                offset += 8 + size;
            }
            if(offset == 12) return std::string{"GLB without a JSON chunk"};
        }
    }
    std::string text(std::size_t(jsonSize), '\0');
    if(!read(jsonOffset, text.size(), text.data())) return std::string{"cannot read the file"};
    /* Text that is no JSON is left to the reader, which refuses it */
    JsonDocument json;
    if(Json::parse(json, text)) return {};

    if(std::optional<std::string> nodes = checkNodes(json)) return nodes;

    /* Buffers: the GLB's body, embedded data, or a file beside the model */
    const Collection buffers{member(json, "buffers")};
    for(std::size_t i = 0; i != buffers.items.size(); ++i) {
        const JsonValue& buffer = *buffers.items[i];
        const JsonValue* length = member(buffer, "byteLength");
        const std::uint64_t byteLength = length && length->IsUint64() ? length->GetUint64() : 0;
        const JsonValue* uriValue = member(buffer, "uri");
        const std::string_view uri = Json::asString(uriValue);
        const bool body = (!uriValue && i == 0) || (!buffers.ids.empty() && buffers.ids[i] == "binary_glTF");
        std::uint64_t available;
        if(body) {
            if(!hasBin && byteLength) return fmt::format("buffer {} has no binary chunk", i);
            available = binSize;
        } else if(uri.starts_with("data:")) {
            available = dataUriSize(uri);
        } else {
            /* Files are named relative to the model, percent-encoded or not:
               both readings must name a regular file inside its folder */
            std::optional<std::string> file;
            for(const std::string& candidate: {std::string{uri}, percentDecoded(uri)}) {
                file = regularFileInside(folder, candidate);
                if(!file) return fmt::format("buffer uri {} is not a regular file inside the model's folder", uri);
            }
            std::error_code ec;
            available = std::filesystem::file_size(*file, ec);
            if(ec) available = 0;
        }
        if(byteLength > available)
            return fmt::format("buffer {} is {} bytes long, its source holds {}", i, byteLength, available);
    }
    return {};
}

}}
