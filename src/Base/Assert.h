#pragma once
// Internal invariants. A failed check is a programming error, never bad
// input: it prints one Error line naming the expression and the source
// location, then ends the process.

#include <string_view>

#include "Base/Export.h"

namespace ZandelleEngine { namespace Implementation {

[[noreturn]] ZANDELLE_EXPORT void assertionFailed(const char* expression, const char* file, int line);

}

/** Prints @p message as one Error line and ends the process. */
[[noreturn]] ZANDELLE_EXPORT void fatal(std::string_view message);

}

#define ZE_ASSERT(condition) \
    do { if(!(condition)) ::ZandelleEngine::Implementation::assertionFailed(#condition, __FILE__, __LINE__); } while(false)
