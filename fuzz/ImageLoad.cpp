// Fuzz target: image file bytes through the decoders (PNG, JPEG, BMP, TGA,
// GIF, PSD, HDR and WebP, chosen by content).

#include <string>

#include "Engine/ImageLoad.h"
#include "FuzzTarget.h"

using namespace ZandelleEngine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fuzz::silenceLog();
    std::string error;
    loadImageData(data, size, error);
    return 0;
}
