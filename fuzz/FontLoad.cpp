// Fuzz target: font file bytes imported and built into glyph data for the
// printable ASCII characters.

#include <vector>

#include "Engine/Font.h"
#include "FuzzTarget.h"

using namespace ZandelleEngine;
using namespace ZandelleEngine::Font;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fuzz::silenceLog();
    std::unique_ptr<FontDescription> font = importFont(std::vector<char>(data, data + size));
    if(font) buildGlyphData(*font, {}, 0);
    return 0;
}
