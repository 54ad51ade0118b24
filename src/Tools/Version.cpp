#include "Tools/Version.h"

#include <tuple>

#include <fmt/format.h>

namespace ZandelleEngine {

bool ProjectVersion::olderThanRelease(std::int32_t M, std::int32_t m, std::int32_t p) const {
    const auto self = std::tie(major, minor, patch);
    const auto threshold = std::tie(M, m, p);
    if(self != threshold) return self < threshold;
    return prerelease != 0;
}

bool ProjectVersion::operator<(const ProjectVersion& other) const {
    const auto a = std::tie(major, minor, patch);
    const auto b = std::tie(other.major, other.minor, other.patch);
    if(a != b) return a < b;
    if(prerelease == other.prerelease) return false;
    if(prerelease == 0) return false;        /* final release is never less */
    if(other.prerelease == 0) return true;   /* a prerelease is below the release */
    return prerelease < other.prerelease;
}

Debug& operator<<(Debug& debug, const ProjectVersion& v) {
    return debug.printValue(fmt::format("Vector({}, {}, {}, {})", v.major, v.minor, v.patch, v.prerelease));
}

}
