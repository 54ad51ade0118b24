// zandelle-scene-reader FILE FLAGS MEMORY: reads FILE with Assimp and the
// post-processing FLAGS under an address-space limit of MEMORY bytes and
// writes the scene to standard output in Assimp's binary dump format. Exit
// 0 on success, 1 when the file cannot be read, 2 on bad arguments. The
// library runs it for every scene file it imports, so that the reader's
// failures on hostile files stay in this process.

#include <cstdio>
#include <cstdlib>

#include <sys/resource.h>
#include <unistd.h>

#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <assimp/scene.h>

int main(int argc, char** argv) {
    if(argc != 4) {
        std::fprintf(stderr, "usage: %s FILE FLAGS MEMORY\n", argv[0]);
        return 2;
    }
    const unsigned flags = unsigned(std::strtoul(argv[2], nullptr, 10));
    const rlim_t memory = rlim_t(std::strtoull(argv[3], nullptr, 10));
    const rlimit noCore{0, 0}, addressSpace{memory, memory};
    if(::setrlimit(RLIMIT_CORE, &noCore) != 0 || ::setrlimit(RLIMIT_AS, &addressSpace) != 0) return 1;

    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(argv[1], flags);
    if(!scene || !scene->mRootNode) return 1;
    Assimp::Exporter exporter;
    const aiExportDataBlob* blob = exporter.ExportToBlob(scene, "assbin");
    if(!blob) return 1;
    const char* data = static_cast<const char*>(blob->data);
    for(std::size_t written = 0; written != blob->size; ) {
        const ssize_t n = ::write(1, data + written, blob->size - written);
        if(n <= 0) return 1;
        written += std::size_t(n);
    }
    return 0;
}
