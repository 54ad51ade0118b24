#pragma once
// Shared by the migration tests: stand-ins for the loader's hooks and a
// comparison of JSON documents that names the first difference.

#include <cmath>
#include <memory>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "Base/Log.h"
#include "Editor/ProjectFile.h"
#include "Tools/ProjectMigrations.h"

namespace ZandelleEngine { namespace Testing {

/* What shader loading provides as far as the migrations look: the default
   shaders and pipelines, each an original plus a resource unless one exists */
inline void addDefaultPipelines(ProjectFile& file) {
    const struct { const char* name; const char* shader; } Pipelines[]{
        {"Phong Opaque", "Phong.frag"}, {"Phong Opaque Textured", "Phong.frag"}, {"Flat Opaque", "Flat.frag"},
        {"Flat Opaque Textured", "Flat.frag"}, {"DistanceFieldVector", "DistanceFieldVector.frag"},
        {"MeshVisualizer", "MeshVisualizer.frag"}, {"Particle", "Particle.frag"}, {"Text", "Text.frag"}};
    for(const auto& p: Pipelines) {
        const FileLink shaderLink{"default", p.shader}, link{"default", p.name};
        std::string shader = file.shaders().firstResourceWithLink(shaderLink);
        if(shader.empty()) shader = file.shaders().addResource(shaderLink);
        file.shaders().getOrAddOriginal(shaderLink)["name"].setString(p.shader);
        OriginalAccess original = file.pipelines().getOrAddOriginal(link);
        original["name"].setString(p.name);
        original["shader"].setString(shader);
        if(file.pipelines().resourceByName(p.name).empty()) file.pipelines().addResource(link);
    }
}

/* Hooks that announce themselves in a Debug line, "[hook] loadShaders", so that logs show where
   in the sequence they ran; loadShaders also adds the default pipelines */
inline MigrationHooks loggingHooks(ProjectFile& file) {
    auto hook = [](const char* name) { return [name]{ Debug{} << "[hook]" << name; }; };
    return {[&file, hook]{ hook("loadShaders")(); addDefaultPipelines(file); },
        hook("copyNpmSetupFiles"), hook("installDependencies")};
}

/* Empty when equal, else the JSON Pointer of the first difference. Numbers
   compare with a relative tolerance: migrated values pass through floats. */
inline std::string jsonDifference(const JsonValue& actual, const JsonValue& expected, const std::string& path = {}) {
    if(actual.IsNumber() && expected.IsNumber()) {
        const double a = actual.GetDouble(), e = expected.GetDouble();
        return std::abs(a - e) <= 1e-6*std::max(1.0, std::abs(e)) ? std::string{} : path + " (number)";
    }
    if(actual.GetType() != expected.GetType()) return path + " (kind)";
    std::string d;
    if(actual.IsObject()) {
        if(actual.MemberCount() != expected.MemberCount()) return path + " (member count)";
        for(const auto& m: expected.GetObject()) {
            const std::string child = path + "/" + m.name.GetString();
            auto found = actual.FindMember(m.name);
            if(found == actual.MemberEnd()) return child + " (missing)";
            if(!(d = jsonDifference(found->value, m.value, child)).empty()) return d;
        }
        return {};
    }
    if(actual.IsArray()) {
        if(actual.Size() != expected.Size()) return path + " (size)";
        for(rapidjson::SizeType i = 0; i != actual.Size(); ++i)
            if(!(d = jsonDifference(actual[i], expected[i], path + "/" + std::to_string(i))).empty()) return d;
        return {};
    }
    return actual == expected ? std::string{} : path + " (value)";
}

/* The first difference of @p value from JSON text, followed by the whole
   value to read on failure; empty when equal */
inline std::string differenceFrom(const JsonValue& value, std::string_view expectedText) {
    JsonDocument expected;
    if(expected.Parse(expectedText.data(), expectedText.size()).HasParseError())
        return "unparsable: " + std::string{expectedText};
    const std::string d = jsonDifference(value, expected);
    return d.empty() ? d : d + " in " + Json::toString(value, 0).value_or("?");
}
#define ZE_EXPECT_JSON(value, expectedText) \
    EXPECT_EQ(::ZandelleEngine::Testing::differenceFrom((value), (expectedText)), "")

/* A parsed project document */
inline std::unique_ptr<ProjectFile> project(std::string_view text) {
    auto file = std::make_unique<ProjectFile>();
    EXPECT_TRUE(file->parse(text)) << text;
    return file;
}

/* One value of a document as compact JSON text, "" when there is none */
inline std::string jsonAt(ProjectFile& file, std::string_view path) {
    const JsonValue* v = file[path].readValue();
    return v ? Json::toString(*v, 0).value_or("?") : std::string{};
}

}}
