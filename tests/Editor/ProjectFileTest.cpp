#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Editor/JsonPointer.h"
#include "Editor/ProjectFile.h"
#include "Support/LogCapture.h"

using namespace ZandelleEngine;

namespace {

const char* const SmallProject = R"({"objects": {
        "1": {"name": "Root", "link": {"file": "scene.gltf", "name": "Root"}, "custom": {"kept": [1, 2]}},
        "2": {"parent": "1", "link": {"file": "scene.gltf", "name": "Root<Child"}}},
    "images": {}, "settings": {"project": {"name": "Game", "version": [1, 1, 6, 1]}, "unknown": {"a": true},
        "s": 5, "n": "text", "a": {"x": 1}, "f": [1, "x", 3]},
    "extra": "kept"})";

}

/* Paths with and without a leading slash address the same value; typed reads of the wrong kind give empty values */
TEST(ProjectFile, Reads) {
    ProjectFile file;
    ASSERT_TRUE(file.parse(SmallProject));
    file["settings/scripting/sourcePaths"].setArray(std::vector<std::string>{"js/a.js"});
    EXPECT_EQ(file["/settings/scripting/sourcePaths"].elementAsString(0), "js/a.js");
    EXPECT_EQ(file["/settings/scripting/sourcePaths"].path(), file["settings/scripting/sourcePaths"].path());
    EXPECT_EQ(file["settings"]["project"]["name"].asString(), "Game");
    EXPECT_EQ(file["settings/project/version"].asIntArray(), (std::vector<int>{1, 1, 6, 1}));
    EXPECT_EQ(file["settings/s"].asString(), "");
    EXPECT_EQ(file["settings/n"].asInt(), 0);
    EXPECT_EQ(file["settings/n"].asInt(7), 7);
    EXPECT_EQ(file["settings/a"].asFloatArray().size(), 0u);
    EXPECT_EQ(file["settings/f"].asFloatArray(), (std::vector<float>{1.0f, 0.0f, 3.0f}));
    EXPECT_EQ(file["settings/a"].size(), 1u);
}

TEST(ProjectFile, FallBackToOriginalThenDefaults) {
    ProjectFile file;
    ASSERT_TRUE(file.parse(SmallProject));
    OriginalAccess original = file.objects().addOriginal(FileLink{"scene.gltf", "Root<Child"});
    original["name"].setString("Child");
    original["translation"].setArray(std::vector<float>{1.0f, 2.0f, 3.0f});

    ValueAccess child = file.objects()["2"];
    /* From the original */
    EXPECT_EQ(child["name"].asString(), "Child");
    EXPECT_TRUE(child["name"].hasValue());
    EXPECT_FALSE(child["name"].isSetInProject());
    /* From the defaults */
    EXPECT_EQ(child["scaling"].asVector3(), Vector3{1.0f});
    EXPECT_FALSE(child["scaling"].isSetInProject());
    EXPECT_FALSE(child["scaling"].remove());
    EXPECT_TRUE(child["scaling"].hasValue());
    /* The record's own value wins */
    child["name"].setString("Renamed");
    EXPECT_EQ(child["name"].asString(), "Renamed");
    EXPECT_EQ(original["name"].asString(), "Child");
    /* Settings fall back to the defaults document */
    EXPECT_EQ(file["settings/scripting/bundlingType"].asString(), "npm");
    EXPECT_FALSE(file["settings/scripting/bundlingType"].isSetInProject());
    /* A record that does not exist has no values at all */
    EXPECT_FALSE(file.objects()["99"]["scaling"].hasValue());
}

TEST(ProjectFile, WritesCreateMissingParentsInTheRecord) {
    ProjectFile file;
    ASSERT_TRUE(file.parse(SmallProject));
    ValueAccess root = file.objects()["1"];
    root["link/name"].setString("Other");
    EXPECT_EQ(root.fileLink(), (FileLink{"scene.gltf", "Other"}));
    ValueAccess fresh = file.objects()["5"];
    fresh["link/name"].setString("X");
    EXPECT_EQ(fresh.fileLink(), (FileLink{"", "X"}));
    /* A scalar in the way of a deeper write becomes an object */
    root["custom/kept"].setString("now a string");
    root["custom/kept/deeper"].setBool(true);
    EXPECT_TRUE(root["custom/kept/deeper"].asBool());
}

TEST(ProjectFile, IterationKeepsDocumentOrderAndKeysHoldingASlash) {
    ProjectFile file;
    ASSERT_TRUE(file.parse(R"({"objects": {"b": {}, "a/b": {"name": "Slash"}, "a": {"b": {"name": "Nested"}},
        "c": {}}, "settings": {}})"));
    std::vector<std::string> names;
    for(ValueAccess record: file.objects())
        names.push_back(record.key() + ":" + std::string{record["name"].asString()});
    EXPECT_EQ(names, (std::vector<std::string>{"b:", "a/b:Slash", "a:", "c:"}));
    EXPECT_TRUE(file.objects()["b"].remove());
    EXPECT_EQ(file.objects().keys(), (std::vector<std::string>{"a/b", "a", "c"}));
    EXPECT_EQ(file.objects().rangeForKey("c").size(), 1u);
    EXPECT_EQ(file.objects().rangeForKey("zz").size(), 0u);
}

TEST(ProjectFile, ResourceLookups) {
    ProjectFile file;
    EXPECT_EQ(file.images().resourceByName("x"), "");
    const FileLink link{"default", "DefaultImage"};
    const std::string a = file.images().addResource(link);
    const std::string b = file.images().addResource(link);
    file.images()[b]["name"].setString("Second");
    EXPECT_EQ(file.images().firstResourceWithLink(link), a);
    EXPECT_EQ(file.images().resourcesWithLink(link), (std::vector<std::string>{a, b}));
    EXPECT_EQ(file.images().resourceByName("Second"), b);
    EXPECT_EQ(file.images().firstResourceWithLink(FileLink{"default", "Other"}), "");
    EXPECT_FALSE(file.images().getOriginal(link).exists());
    file.images().getOrAddOriginal(link)["name"].setString("DefaultImage");
    EXPECT_TRUE(file.images().getOriginal(link).exists());
    /* The name through the original counts */
    EXPECT_EQ(file.images().resourceByName("DefaultImage"), a);
}

TEST(ProjectFile, IdSchemes) {
    ProjectFile file;
    ASSERT_TRUE(file.parse(R"({"objects": {"7": {}, "x": {}}, "settings": {}})"));
    EXPECT_EQ(file.objects().addResource(), "8");
    EXPECT_EQ(file.objects().addResource(), "9");
    file.setIdScheme(IdScheme::Uuid);
    const std::string id = file.objects().addResource();
    ASSERT_EQ(id.size(), 36u);
    EXPECT_EQ(id[14], '4');
    EXPECT_NE(id, file.objects().addResource());
}

TEST(ProjectFile, TransformRoundTrip) {
    ProjectFile file;
    ValueAccess object = file.objects()[file.objects().addResource()];
    EXPECT_EQ(object.asTransform(), Matrix4{1.0f});
    const Matrix4 m = glm::translate(Matrix4{1.0f}, Vector3{1, 2, 3})*
        glm::mat4_cast(glm::angleAxis(0.5f, Vector3{0, 1, 0}))*glm::scale(Matrix4{1.0f}, Vector3{2, 2, 2});
    object.setTransform(m);
    const Matrix4 back = object.asTransform();
    for(int c = 0; c != 4; ++c) for(int r = 0; r != 4; ++r) EXPECT_NEAR(back[c][r], m[c][r], 1e-5f);
    EXPECT_EQ(object["scaling"].asVector3(), Vector3{2.0f});
}

TEST(ProjectFile, ParseRejectsWrongShapesWithOneLine) {
    const struct { std::string text; const char* message; } Data[]{
        {"{\"objects\": {", "Missing a name for object member. at offset 13"},
        {std::string(200000, '['), "Nesting deeper than 512 levels. at offset 512"},
        {"[1, 2]", "the document is not a JSON object"}, {R"({"settings": "x"})", "settings are not a JSON object"},
        {R"({"objects": []})", "section objects is not a JSON object"}};
    for(const auto& d: Data) {
        Testing::LogCapture log;
        ProjectFile file;
        EXPECT_FALSE(file.parse(d.text));
        EXPECT_EQ(log.error(), "ProjectFile::parse(): " + std::string{d.message} + "\n") << d.text.substr(0, 20);
    }
    /* Old files keep "files" as an array */
    ProjectFile file;
    EXPECT_TRUE(file.parse(R"({"files": ["a.gltf"]})"));
}

TEST(ProjectFile, RoundTripKeepsUnknownMembers) {
    ProjectFile file, again;
    ASSERT_TRUE(file.parse(SmallProject));
    ASSERT_TRUE(again.parse(file.toString().value_or("")));
    EXPECT_EQ(again.projectFile(), file.projectFile());
    /* Floats are written as their shortest text */
    again["settings/f"].setFloat(0.1f);
    EXPECT_NE(again.toString()->find("\"f\": 0.1\n"), std::string::npos);
}

/* Large sections are searched through lookup tables; they must follow every way the section can change */
TEST(ProjectFile, RecordLookupFollowsChangesOfLargeSections) {
    ProjectFile file;
    for(int i = 0; i != 100; ++i) file.objects()[std::to_string(i)]["name"].setString("o" + std::to_string(i));
    EXPECT_EQ(file.objects()["57"]["name"].asString(), "o57");
    EXPECT_FALSE(file.objects()["100"].hasValue());
    /* Appended records are found */
    const std::string added = file.objects().addResource();
    EXPECT_EQ(added, "100");
    file.objects()[added]["name"].setString("new");
    EXPECT_EQ(file.objects()["100"]["name"].asString(), "new");
    /* Removal shifts the records after it */
    EXPECT_TRUE(file.objects()["10"].remove());
    EXPECT_FALSE(file.objects()["10"].hasValue());
    EXPECT_EQ(file.objects()["99"]["name"].asString(), "o99");
    file.objects()["10"]["name"].setString("again");
    EXPECT_EQ(file.objects()["10"]["name"].asString(), "again");
    /* Raw changes: a renamed member */
    file.projectFile()["objects"].MemberBegin()->name.SetString("renamed", file.allocator());
    EXPECT_FALSE(file.objects()["0"].hasValue());
    EXPECT_EQ(file.objects()["renamed"]["name"].asString(), "o0");
    /* A new document */
    ASSERT_TRUE(file.parse(R"({"objects": {"x": {"name": "only"}}})"));
    EXPECT_FALSE(file.objects()["57"].hasValue());
    EXPECT_EQ(file.objects()["x"]["name"].asString(), "only");
}

TEST(JsonPointer, TokensAndLookups) {
    const struct { const char* name; const char* token; } Escapes[]{
        {"plain", "plain"}, {"a/b", "a~1b"}, {"~", "~0"}, {"~1", "~01"}, {"/~/", "~1~0~1"}, {"", ""}};
    for(const auto& e: Escapes) {
        EXPECT_EQ(JsonPointer::escape(e.name), e.token) << e.name;
        EXPECT_EQ(JsonPointer::unescape(e.token), e.name) << e.token;
    }
    /* A "~" that starts no escape stays, and so does what follows it */
    EXPECT_EQ(JsonPointer::unescape("a~2b~"), "a~2b~");

    JsonDocument d;
    d.Parse(R"({"a/b": {"~": [10, {"": 7}]}, "a": {"b": 1}, "a~1b": 2})");
    const struct { const char* pointer; const char* expected; } Finds[]{
        {"a~1b/~0/0", "10"}, {"/a~1b/~0/1/", "7"}, {"a/b", "1"}, {"a~01b", "2"},
        {"a~1b/~0/2", ""}, {"a~1b/~0/x", ""}, {"a/b/c", ""}, {"missing", ""}};
    for(const auto& f: Finds) {
        const JsonValue* v = JsonPointer::find(&d, f.pointer);
        EXPECT_EQ(v ? Json::toString(*v, 0).value_or("?") : "", f.expected) << f.pointer;
    }
    EXPECT_EQ(JsonPointer::find(&d, ""), &d);
}

/* Where each member two levels down lies: objects, arrays and scalars
   with the white space around them left out, none for the elements of an
   array at that level, none for a text that does not parse */
TEST(ProjectFile, MemberSpansLocateEachRecordInTheText) {
    const std::string_view text = "{\"objects\": {\"a\": {\"x\": [1, {\"y\": 2}]} ,\"b\":\n 7, \"c\": [ {} ] },"
        " \"files\": [\"f\", {\"g\": 1}], \"settings\": {\"p\": {\"v\": \"}\"}}}";
    JsonDocument json;
    std::vector<Json::MemberSpan> spans;
    ASSERT_FALSE(Json::parse(json, text, spans));
    std::vector<std::string> found;
    for(const Json::MemberSpan& span: spans)
        found.push_back(span.parent + "/" + span.name + " " + std::string{text.substr(span.begin, span.end - span.begin)});
    EXPECT_EQ(found, (std::vector<std::string>{"objects/a {\"x\": [1, {\"y\": 2}]}", "objects/b 7", "objects/c [ {} ]",
        "settings/p {\"v\": \"}\"}"}));
    EXPECT_TRUE(Json::parse(json, text.substr(0, 40), spans));
    EXPECT_TRUE(spans.empty());
}

/* Zeros with an exponent or many digits (found by fuzzing: RapidJSON 1.1 takes such numbers
   through undefined behaviour) read as zero; strings holding the same text and
   the offsets of errors after them stay as they were */
TEST(ProjectFile, ZerosWithExponentsParseAsZero) {
    JsonDocument json;
    ASSERT_FALSE(Json::parse(json, R"([0e100, -0.00E-400, 0.0e+7, "0e100", 1e2, 0.)" + std::string(120, '0') + "]"));
    EXPECT_EQ(json[0].GetDouble(), 0.0);
    EXPECT_TRUE(std::signbit(json[1].GetDouble()) && json[1].GetDouble() == 0.0);
    EXPECT_EQ(json[2].GetDouble(), 0.0);
    EXPECT_STREQ(json[3].GetString(), "0e100");
    EXPECT_EQ(json[4].GetDouble(), 100.0);
    EXPECT_EQ(json[5].GetDouble(), 0.0);
    EXPECT_EQ(Json::parse(json, "[0e100, x]"), "Invalid value. at offset 8");
    /* An invalid number stays invalid */
    EXPECT_TRUE(Json::parse(json, "[0.e5]"));
    EXPECT_TRUE(Json::parse(json, "[00.0]"));
    EXPECT_EQ(Json::parse(json, "[0e0e100]"), "Missing a comma or ']' after an array element. at offset 4");
    /* A number far beyond the largest double is refused, however many digits */
    EXPECT_EQ(Json::parse(json, "[1e400]"), "Number too big to be stored in double. at offset 1");
    EXPECT_EQ(Json::parse(json, "[" + std::string(290, '6') + "e100]"), "Number too big to be stored in double. at offset 1");
    ASSERT_FALSE(Json::parse(json, "[1.5e300, -2e-300]"));
    EXPECT_EQ(json[0].GetDouble(), 1.5e300);
    /* Far below the smallest double, many digits or few, a number is zero;
       just above, it is not */
    ASSERT_FALSE(Json::parse(json, "[0." + std::string(400, '0') + "1, -0." + std::string(330, '0') + "7e10, 0." + std::string(300, '0') + "5e-23]"));
    EXPECT_EQ(json[0].GetDouble(), 0.0);
    EXPECT_EQ(json[1].GetDouble(), -7e-321);
    EXPECT_EQ(json[2].GetDouble(), std::numeric_limits<double>::denorm_min());
    /* Digits that start with 2^64 - 1 and round up: the nearest double,
       also in an invalid text */
    ASSERT_FALSE(Json::parse(json, "[1844674407370955161566666, -0.0184467440737095516159e3]"));
    EXPECT_EQ(json[0].GetDouble(), 1844674407370955161566666.0);
    EXPECT_EQ(json[1].GetDouble(), -18.4467440737095516159);
    EXPECT_EQ(Json::parse(json, "[1844674407370955161566666-1]"), "Missing a comma or ']' after an array element. at offset 26");
    /* A number cut short at the end of the text, read from a buffer of
       exactly its size */
    for(const char* cut: {"-", "0.", "1e", "1e-"}) {
        const std::string_view text{cut};
        const std::unique_ptr<char[]> exact{new char[text.size()]};
        std::copy(text.begin(), text.end(), exact.get());
        EXPECT_TRUE(Json::parse(json, {exact.get(), text.size()})) << cut;
    }
}
