#pragma once
// Checks of a scene file and the files it refers to, made before any reader
// sees them: files are opened only when they are regular files inside the
// model's folder, a glTF's node hierarchy is at most MaxNodeDepth deep, and
// every length a GLB or glTF states fits in the bytes that back it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ZandelleEngine { namespace SceneFileCheck {

/** Deepest node hierarchy an import accepts, a root node counting as one
    level. It bounds the reader's recursion and the length of object link
    names, which spell the path from the root. */
constexpr std::size_t MaxNodeDepth = 256;

/** Most node instances a glTF's hierarchy may expand to: a node that several
    parents list is instanced under each */
constexpr std::uint64_t MaxNodeInstances = 1000000;

/** The absolute, symbolic-link-free path of @p reference taken relative to
    @p folder, when it is a regular file inside @p folder (or a folder below
    it); empty otherwise. @p folder is absolute. */
std::optional<std::string> regularFileInside(const std::string& folder, std::string_view reference);

/** Reads @p size bytes at @p offset into @p out; false when it cannot */
using ReadAt = std::function<bool(std::uint64_t offset, std::size_t size, char* out)>;

/**
 * Checks a glTF (@p binary false: the JSON text) or GLB file of
 * @p fileSize bytes whose bytes @p read gives: the GLB header and chunk
 * lengths against the file size, then, when the text is JSON (otherwise the
 * reader refuses it), the node hierarchy (no cycles, at
 * most MaxNodeDepth levels and MaxNodeInstances instances), and each buffer:
 * the GLB's binary chunk, a data uri, or a regular file inside @p folder at
 * least as long as the buffer says. Only the JSON chunk is read into memory,
 * after its length was checked. Empty when the file may be read, otherwise
 * the reason, as in "buffer uri ../x.bin is outside the model's folder".
 */
std::optional<std::string> checkGltf(const ReadAt& read, std::uint64_t fileSize, bool binary, const std::string& folder);

}}
