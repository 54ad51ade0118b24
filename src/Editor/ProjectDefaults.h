#pragma once
// The defaults document: the value of every key a record or setting may
// leave out. Records fall back to "/<section>/<key>", settings to
// "/settings/<path>".

#include "Editor/Json.h"

namespace ZandelleEngine {

const JsonDocument& projectDefaults();

}
