// Fuzz target: the checks a glTF or GLB file passes before the scene reader
// sees it (header and chunk lengths, JSON, node hierarchy, buffers). Input
// starting with "glTF" is a GLB, anything else a .gltf's JSON; its uris
// resolve against a scratch folder holding one 64-byte "buffer.bin".

#include <cstring>
#include <string>

#include "Base/Path.h"
#include "Editor/SceneFileCheck.h"
#include "FuzzTarget.h"

using namespace ZandelleEngine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fuzz::silenceLog();
    static const struct Folder {
        Folder() {
            std::string base = Path::join(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp", "zandelle-fuzz-XXXXXX");
            if(!::mkdtemp(base.data())) return;
            path = Path::absolute(base);
            Path::writeAtomic(Path::join(path, "buffer.bin"), std::string(64, '\0'), Path::Sync::Rewritable);
        }
        ~Folder() {
            std::error_code ec;
            if(!path.empty()) std::filesystem::remove_all(path, ec);
        }
        std::string path;
    } folder;
    const std::string_view bytes = Fuzz::text(data, size);
    SceneFileCheck::checkGltf([bytes](std::uint64_t offset, std::size_t n, char* out) {
        if(offset > bytes.size() || n > bytes.size() - offset) return false;
        std::memcpy(out, bytes.data() + offset, n);
        return true;
    }, bytes.size(), bytes.starts_with("glTF"), folder.path);
    return 0;
}
