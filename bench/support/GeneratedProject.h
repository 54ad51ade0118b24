#pragma once
// A large generated project for benchmarks and the kill-during-save soak.

#include <string>
#include <string_view>

#include <fmt/format.h>

namespace ZandelleEngine { namespace Generated {

/* A project stamped @p version ("[1, 1, 6, 1]") with @p count objects in a
   binary hierarchy, each with a transform and a mesh component, plus the
   built-in cube and text material as a saved project holds them */
inline std::string project(std::size_t count, std::string_view version) {
    std::string text = R"({"objects": {)";
    for(std::size_t i = 1; i <= count; ++i) {
        if(i != 1) text += ",";
        const std::string parent = i > 1 ? fmt::format(R"("parent": "{}", )", (i - 1)/2 + 1) : std::string{};
        text += fmt::format(R"("{}": {{"name": "Object{}", {}"translation": [{}, 0.5, -2.0],)"
            R"( "rotation": [0.0, 0.0, 0.0, 1.0], "scaling": [1.0, 1.0, 1.0], "link": {{"file": "scene.gltf", "name": "Object{}"}},)"
            R"( "components": [{{"type": "mesh", "mesh": {{"mesh": "p1", "material": "DefaultFontMaterial"}}}}]}})",
            i, i, parent, float(i)*0.25f, i);
    }
    text += R"(}, "meshes": {"p1": {"link": {"file": "default", "name": "PrimitiveCube"}}},)"
        R"( "materials": {"DefaultFontMaterial": {"link": {"file": "default", "name": "DefaultFontMaterial"}}},)"
        R"( "settings": {"project": {"name": "Big", "version": )";
    text += version;
    text += "}}}";
    return text;
}

}}
