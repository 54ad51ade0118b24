#pragma once
// Reading and writing the common parts of packed runtime data: the 12-byte
// header (magic, version, kind-specific field, count) and little-endian
// values at any offset. Used by the packers only.

#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace ZandelleEngine { namespace Data { namespace Implementation {

constexpr std::size_t HeaderSize = 12;

template<class T> void append(std::vector<char>& out, const T& value) {
    const char* bytes = reinterpret_cast<const char*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

/** The caller checks that @p offset + sizeof(T) is within @p data */
template<class T> T readAt(std::span<const char> data, std::size_t offset) {
    T value;
    std::memcpy(&value, data.data() + offset, sizeof(T));
    return value;
}

inline void appendHeader(std::vector<char>& out, const char (&magic)[5], std::uint16_t version, std::uint16_t field, std::uint32_t count) {
    out.insert(out.end(), magic, magic + 4);
    append(out, version);
    append(out, field);
    append(out, count);
}

inline bool checkHeader(std::span<const char> data, const char (&magic)[5], std::uint16_t version) {
    return data.size() >= HeaderSize && std::memcmp(data.data(), magic, 4) == 0 &&
        readAt<std::uint16_t>(data, 4) == version;
}

}}}
