#pragma once
// Runtime identifiers of the engine.

#include <cstdint>

namespace ZandelleEngine { namespace Data {

/** Identifier of an object, a component or a compiled resource. 0 means
    "none" for objects and resources; component ids start at 0 and use
    `NoComponent` for "none". */
using Id = std::uint16_t;

constexpr Id NoComponent = 0xFFFF;

/** The largest number of objects a scene can hold (id 0 is never an object) */
constexpr std::uint32_t MaxObjects = 0xFFFF;

}}
