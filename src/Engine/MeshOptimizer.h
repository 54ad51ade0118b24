#pragma once
// Mesh optimisation and simplification on meshoptimizer, behind the
// configuration interface of a scene converter plug-in.
//
// Configuration keys (strings, as a plug-in configuration holds them):
//   "simplify" ("true"/"false", default "false"): convert() simplifies
//   "simplifyTargetIndexCountThreshold" (float in [0, 1], default "1.0"):
//       wanted index count as a fraction of the current one
//   "simplifyTargetError" (float, default "0.01"): largest deviation allowed,
//       relative to the mesh extents
//   "optimizeVertexCache", "optimizeOverdraw", "optimizeVertexFetch"
//       ("true"/"false", default "true")
// Only indexed triangle meshes with three-float positions are handled.

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "Base/Export.h"
#include "Engine/Trade.h"

namespace ZandelleEngine {

class ZANDELLE_EXPORT MeshOptimizerSceneConverter {
    public:
        MeshOptimizerSceneConverter();

        std::map<std::string, std::string, std::less<>>& configuration() { return _configuration; }
        const std::map<std::string, std::string, std::less<>>& configuration() const { return _configuration; }
        void setValue(std::string_view key, std::string_view value);
        void setValue(std::string_view key, bool value);
        void setValue(std::string_view key, float value);
        std::string_view value(std::string_view key) const;

        /** Whether @p mesh can be optimised: an indexed triangle mesh with
            three-float positions */
        static bool canConvert(const Trade::MeshData& mesh);

        /** A simplified (when "simplify" is set) and optimised copy; empty,
            with an Error line, when the mesh cannot be converted */
        std::optional<Trade::MeshData> convert(const Trade::MeshData& mesh) const;
        /** Optimises index and vertex order in place; false, with an Error
            line and the mesh untouched, when it cannot be converted */
        bool convertInPlace(Trade::MeshData& mesh) const;

    private:
        bool flag(std::string_view key) const;
        float number(std::string_view key, float fallback) const;

        std::map<std::string, std::string, std::less<>> _configuration;
};

}
