#pragma once
// Shared by every fuzz target: the entry point libFuzzer calls, and a quiet
// log so that the fuzzer's own output stays readable.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Base/Log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace ZandelleEngine { namespace Fuzz {

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

/* Drops every log line; call once before the first input */
inline void silenceLog() {
    static const bool silenced = (Debug::setSink([](LogLevel, std::string_view) {}), true);
    static_cast<void>(silenced);
}

}}
