#pragma once
// Shared by the migration tests: stand-ins for the loader's hooks and a
// comparison of JSON documents that names the first difference.

#include <cmath>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "Base/Log.h"
#include "Editor/ProjectFile.h"
#include "Tools/ProjectMigrations.h"

namespace ZandelleEngine { namespace Testing {

/* What shader loading provides, as far as the migrations look at it: the
   default shaders and pipelines, each an original plus a resource where the
   project has none yet */
inline void addDefaultPipelines(ProjectFile& file) {
    auto shader = [&](const char* name) {
        const FileLink link{"default", name};
        std::string key = file.shaders().firstResourceWithLink(link);
        if(key.empty()) key = file.shaders().addResource(link);
        file.shaders().getOrAddOriginal(link)["name"].setString(name);
        return key;
    };
    const struct { const char* name; const char* shader; } Pipelines[]{
        {"Phong Opaque", "Phong.frag"}, {"Phong Opaque Textured", "Phong.frag"},
        {"Flat Opaque", "Flat.frag"}, {"Flat Opaque Textured", "Flat.frag"},
        {"DistanceFieldVector", "DistanceFieldVector.frag"}, {"MeshVisualizer", "MeshVisualizer.frag"},
        {"Particle", "Particle.frag"}, {"Text", "Text.frag"}};
    for(const auto& p: Pipelines) {
        const FileLink link{"default", p.name};
        OriginalAccess original = file.pipelines().getOrAddOriginal(link);
        original["name"].setString(p.name);
        original["shader"].setString(shader(p.shader));
        if(file.pipelines().resourceByName(p.name).empty()) file.pipelines().addResource(link);
    }
}

/* Hooks that record their calls; loadShaders puts the default pipelines in */
struct RecordingHooks {
    std::vector<std::string> calls;

    /* Also one Debug line, so that logs show where in the sequence it ran */
    void called(const char* name) {
        calls.push_back(name);
        Debug{} << "[hook]" << name;
    }

    MigrationHooks hooks(ProjectFile& file) {
        MigrationHooks h;
        h.loadShaders = [this, &file]{ called("loadShaders"); addDefaultPipelines(file); };
        h.copyNpmSetupFiles = [this]{ called("copyNpmSetupFiles"); };
        h.installDependencies = [this]{ called("installDependencies"); };
        return h;
    }
};

/* Empty when equal; otherwise the JSON Pointer of the first difference.
   Numbers compare with a relative tolerance, since migrated values go
   through single-precision floats. */
inline std::string jsonDifference(const JsonValue& actual, const JsonValue& expected, const std::string& path = {}) {
    if(actual.IsNumber() && expected.IsNumber()) {
        const double a = actual.GetDouble(), e = expected.GetDouble();
        return std::abs(a - e) <= 1e-6*std::max(1.0, std::abs(e)) ? std::string{} : path + " (number)";
    }
    if(actual.GetType() != expected.GetType()) return path + " (kind)";
    if(actual.IsObject()) {
        for(const auto& m: expected.GetObject()) {
            const std::string child = path + "/" + m.name.GetString();
            auto found = actual.FindMember(m.name);
            if(found == actual.MemberEnd()) return child + " (missing)";
            std::string d = jsonDifference(found->value, m.value, child);
            if(!d.empty()) return d;
        }
        for(const auto& m: actual.GetObject())
            if(!expected.HasMember(m.name)) return path + "/" + m.name.GetString() + " (unexpected)";
        return {};
    }
    if(actual.IsArray()) {
        if(actual.Size() != expected.Size()) return path + " (size)";
        for(rapidjson::SizeType i = 0; i != actual.Size(); ++i) {
            std::string d = jsonDifference(actual[i], expected[i], path + "/" + std::to_string(i));
            if(!d.empty()) return d;
        }
        return {};
    }
    return actual == expected ? std::string{} : path + " (value)";
}

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

inline JsonDocument parseJson(std::string_view text) {
    JsonDocument d;
    d.Parse(text.data(), text.size());
    EXPECT_FALSE(d.HasParseError()) << text;
    return d;
}

/* Compares a document with JSON text, printing the document on failure */
#define ZE_EXPECT_JSON(value, expectedText) do { \
        const ::ZandelleEngine::JsonDocument zeExpected = ::ZandelleEngine::Testing::parseJson(expectedText); \
        const std::string zeDifference = ::ZandelleEngine::Testing::jsonDifference((value), zeExpected); \
        EXPECT_EQ(zeDifference, "") << ::ZandelleEngine::Json::toString((value), 0).value_or("?"); \
    } while(false)

}}
