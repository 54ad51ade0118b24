#pragma once
// Reads a scene file with Assimp in a child process, so that a crash, a hang
// or a memory blow-up of the reader on a hostile file costs one failed
// import instead of the editor. The child (zandelle-scene-reader, installed
// beside the library) reads the file with the given post-processing and
// writes the scene in Assimp's binary dump format to its standard output;
// the parent reads that dump back.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace Assimp { class Importer; }

namespace ZandelleEngine {

/** What one child may take */
struct SceneReaderLimits {
    /** Wall-clock time, past which the child is killed */
    std::chrono::milliseconds time{120000};
    /** Address space of the child, in bytes */
    std::size_t memory = std::size_t{4} << 30;
};

/** The reader executable beside the library (or, in a statically linked
    program, beside the program); empty when there is none */
std::string defaultSceneReaderPath();

/**
 * Runs @p reader on @p path with the Assimp post-processing @p flags under
 * @p limits. Returns the importer holding the scene, or null when the child
 * failed, crashed, ran out of its limits or wrote nothing the parent can
 * read; nothing is printed then, except one warning when @p reader cannot be
 * started at all.
 */
std::unique_ptr<Assimp::Importer> readSceneIsolated(const std::string& reader, const std::string& path, unsigned flags,
    const SceneReaderLimits& limits);

}
