#pragma once
// "{}" formatting. Width and precision follow fmt: "{:016x}" pads a hex
// number to sixteen digits.

#include <fmt/format.h>

namespace ZandelleEngine {

using fmt::format;

}
