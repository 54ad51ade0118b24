#pragma once
// Pre-filtered environment maps for image-based lighting, computed on the CPU.
//
// The source is an equirectangular panorama (longitude along x, latitude
// along y, rows bottom to top: the first row looks straight down). Any
// eight-bit format is read as RGBA (grey fills red, green and blue; missing
// alpha is opaque). The integrals run over a 64 x 32 copy of the source, in
// which every texel stands for its solid angle cos(latitude) dθ dφ; results
// are computed on a grid of at most 64 x 32 directions and scaled up to the
// level's size, since both filters are smooth at that scale.
//
//  - Irradiance: E(n) = 1/π ∫ L(ω) max(0, n·ω) dω, the diffuse lighting of a
//    surface with normal n.
//  - Specular pyramid: level 0 is the source; level l of N has roughness
//    r = l/(N - 1) and is L convolved with the lobe max(0, d·ω)^k around the
//    reflected direction d, k = 2/r⁴ - 2 (the Phong exponent matching that
//    roughness), normalised by the lobe's integral. Level l has the source
//    size shifted right by l (at least one pixel).
// Output is RGBA8Unorm; alpha is 255.

#include <vector>

#include "Base/Export.h"
#include "Engine/Trade.h"

namespace ZandelleEngine { namespace GLTools {

ZANDELLE_EXPORT Trade::ImageData convoluteEnvironment(const Trade::ImageData& source);

ZANDELLE_EXPORT std::vector<Trade::ImageData> convoluteSpecularEnvironment(const Trade::ImageData& source, int levels);

}}
