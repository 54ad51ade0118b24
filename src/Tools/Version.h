#pragma once
// The editor version that files written by this library carry, and the
// version arithmetic of project files.

#include <cstdint>

#include "Base/Export.h"
#include "Base/Log.h"

namespace ZandelleEngine {

/** Major, minor, patch and prerelease. A prerelease of 0 is a final release,
    which ranks above every prerelease of the same three numbers. */
struct ZANDELLE_EXPORT ProjectVersion {
    std::int32_t major = 0, minor = 0, patch = 0, prerelease = 0;

    /** Older than the release M.m.p: the first three numbers decide; when
        they are equal, any prerelease is older. */
    bool olderThanRelease(std::int32_t M, std::int32_t m, std::int32_t p) const;

    /** Full ordering over all four numbers, a final release (0) above any
        prerelease of the same three numbers. */
    bool operator<(const ProjectVersion& other) const;
    bool operator==(const ProjectVersion& other) const = default;
};

/** Version of this library (the build reads it from here too) */
#define ZANDELLE_LIBRARY_VERSION "0.1.0"

/** The version stamped by every save: 1.1.6 prerelease 1 */
constexpr ProjectVersion CurrentProjectVersion{1, 1, 6, 1};

/** Prints as the math library prints a four-component integer vector */
ZANDELLE_EXPORT Debug& operator<<(Debug& debug, const ProjectVersion& version);

}
