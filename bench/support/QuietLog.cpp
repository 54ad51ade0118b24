// Linked into every benchmark: the output is the table and the ratios only,
// so the library's log lines are dropped before the first benchmark runs.

#include "Base/Log.h"

namespace {

[[maybe_unused]] const bool quiet = (ZandelleEngine::Debug::setSink([](ZandelleEngine::LogLevel, std::string_view) {}), true);

}
