#pragma once
// A component entry as the component rules see it; internal to the compile
// steps.

#include "AssetCompiler/AssetCompiler.h"
#include "AssetCompiler/CompileHelpers.h"

namespace ZandelleEngine {

/* One entry of an object's "components" array */
struct AssetCompiler::ComponentEntry {
    Data::Id object;
    std::string_view objectKey, objectName;
    std::string_view type;
    /* Index in the "components" array */
    std::uint32_t index;
    /* The properties sub-object named after the type; null when absent.
       Component properties have no defaults: a missing one reads as the
       type's empty value. */
    const JsonValue* props;
    bool active;
    /* The existing component matched to this entry, or NoComponent */
    Data::Id component;

    JsonObject operator[](std::string_view path) const { return JsonObject{CompileHelpers::member(props, path)}; }
};

}
