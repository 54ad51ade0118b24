// The HTML report of a run, as a user gets it from the command line: read
// back with libxml2's XML parser (strict: no recovery, no network), which
// also checks the inline SVG, compared figure by figure with the --json
// summary of the same run, and rendered by a real headless browser.

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <rapidjson/document.h>
#include <rapidjson/pointer.h>

#include "Base/Path.h"
#include "Base/String.h"
#include "Devices/Command.h"
#include "Engine/ImageTools.h"
#include "Support/RedisServer.h"
#include "Support/TempDirectory.h"

using namespace ZandelleEngine;

namespace {

std::string q(const std::string& s) { return String::shellQuote(s); }

/* Stdout of zandelle with @p arguments; the exit code goes to @p exitCode */
std::string zandelle(const Testing::TempDirectory& dir, const std::string& arguments, int& exitCode) {
    const CommandResult r = runCommand("APPDATA=" + q(dir / "appdata") + " " + q(ZANDELLE_BINARY_DIR "/bin/zandelle") +
        " " + arguments + " 2>/dev/null");
    exitCode = r ? 0 : r.error().exitCode;
    return r ? r.output() : r.error().output;
}

/* A gradient with a pattern, different for each @p seed */
Trade::ImageData picture(Vector2i size, int seed) {
    Trade::ImageData image{Trade::PixelFormat::RGBA8Unorm, size, std::vector<std::uint8_t>(std::size_t(size.x)*size.y*4)};
    for(int y = 0; y != size.y; ++y) for(int x = 0; x != size.x; ++x) {
        std::uint8_t* p = image.data.data() + (std::size_t(y)*size.x + x)*4;
        p[0] = std::uint8_t(x*255/size.x);
        p[1] = std::uint8_t(y*255/size.y);
        p[2] = std::uint8_t(((x/16 + y/16 + seed) % 3)*100);
        p[3] = 255;
    }
    return image;
}

/* Every element carrying @p attribute: its value, and the element's
   data-value or else its text */
struct Tagged {
    std::string key, value;
};
void collect(xmlNode* node, const char* attribute, std::vector<Tagged>& out, std::vector<std::string>& titles, std::size_t& svgs) {
    for(; node; node = node->next) {
        if(node->type != XML_ELEMENT_NODE) continue;
        auto property = [&](const char* name) -> std::optional<std::string> {
            xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
            if(!value) return {};
            std::string text = reinterpret_cast<const char*>(value);
            xmlFree(value);
            return text;
        };
        auto content = [&] {
            xmlChar* text = xmlNodeGetContent(node);
            std::string out = text ? reinterpret_cast<const char*>(text) : "";
            xmlFree(text);
            return out;
        };
        if(const std::optional<std::string> key = property(attribute))
            out.push_back({*key, property("data-value").value_or(content())});
        const std::string name = reinterpret_cast<const char*>(node->name);
        if(name == "title") titles.push_back(content());
        if(name == "svg" && node->ns && std::string{reinterpret_cast<const char*>(node->ns->href)} == "http://www.w3.org/2000/svg") ++svgs;
        collect(node->children, attribute, out, titles, svgs);
    }
}

struct Parsed {
    std::vector<Tagged> figures, counts;
    std::vector<std::string> titles;
    std::size_t svgs = 0;
};

/* The report parsed as XML; fails the test when it is not well-formed */
Parsed parseReport(const std::string& path) {
    Parsed parsed;
    const std::string text = Path::readString(path).value_or("");
    xmlDoc* doc = xmlReadMemory(text.data(), int(text.size()), "report.html", nullptr, XML_PARSE_NONET);
    if(!doc) {
        const xmlError* error = xmlGetLastError();
        ADD_FAILURE() << path << " is not well-formed: " << (error ? error->message : "no document");
        return parsed;
    }
    collect(xmlDocGetRootElement(doc), "data-figure", parsed.figures, parsed.titles, parsed.svgs);
    std::vector<std::string> titles;
    std::size_t svgs = 0;
    collect(xmlDocGetRootElement(doc), "data-count", parsed.counts, titles, svgs);
    xmlFreeDoc(doc);
    return parsed;
}

/* JSON pointers of the number members below @p value */
void leaves(const rapidjson::Value& value, const std::string& pointer, std::set<std::string>& out) {
    if(value.IsObject()) for(const auto& m: value.GetObject()) leaves(m.value, pointer + "/" + m.name.GetString(), out);
    else if(value.IsNumber()) out.insert(pointer);
}

class Report: public ::testing::Test {
    protected:
        /* One project, compiled twice: a scene with its texture, two
           images and a font; between the compiles the right half of one
           image is painted over, so that some of its tiles come from the
           cache and some are encoded again */
        static void SetUpTestSuite() {
            dir = new Testing::TempDirectory;
            Testing::TempDirectory& d = *dir;
            project = d / "p/Game.zdp";
            int exitCode;
            zandelle(d, "new " + q(project) + " --name " + q("Tiles <&> \"Co\" 'n'") + " --quiet", exitCode);
            ASSERT_EQ(exitCode, 0);
            ASSERT_TRUE(ImageTools::writePng(d / "p/wide.png", picture({600, 300}, 0)));
            ASSERT_TRUE(ImageTools::writePng(d / "p/square.png", picture({256, 256}, 1)));
            zandelle(d, "import --quiet " + q(project) + " " + q("/usr/share/assimp/models/glTF2/BoxTextured-glTF-Binary/BoxTextured.glb") +
                " " + q(d / "p/wide.png") + " " + q(d / "p/square.png") + " " + q("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf") +
                " --report " + q(d / "first.html"), exitCode);
            ASSERT_EQ(exitCode, 0);
            Trade::ImageData edited = picture({600, 300}, 0);
            for(int y = 0; y != 300; ++y) for(int x = 300; x != 600; ++x) edited.data[(std::size_t(y)*600 + x)*4 + 2] = 40;
            ASSERT_TRUE(ImageTools::writePng(d / "p/wide.png", edited));
            json = new std::string{zandelle(d, "compile --quiet --json " + q(project) + " --report " + q(d / "report.html"), exitCode)};
            ASSERT_EQ(exitCode, 0);
        }
        static void TearDownTestSuite() {
            delete dir;
            delete json;
        }

        static Testing::TempDirectory* dir;
        static std::string project;
        static std::string* json;
};

Testing::TempDirectory* Report::dir = nullptr;
std::string Report::project;
std::string* Report::json = nullptr;

}

TEST_F(Report, ParsesStrictlyAndShowsTheFiguresOfTheJsonSummary) {
    rapidjson::Document summary;
    summary.Parse(json->c_str());
    ASSERT_FALSE(summary.HasParseError()) << *json;
    const Parsed report = parseReport(*dir / "report.html");
    /* Steps, jobs, images and caches are charts of their own */
    EXPECT_GE(report.svgs, 3u);

    std::set<std::string> shown;
    for(const Tagged& figure: report.figures) {
        SCOPED_TRACE(figure.key);
        const rapidjson::Value* value = rapidjson::Pointer(figure.key.c_str()).Get(summary);
        ASSERT_TRUE(value);
        if(value->IsString()) EXPECT_EQ(figure.value, value->GetString());
        else EXPECT_EQ(std::stod(figure.value), value->GetDouble());
        shown.insert(figure.key);
    }
    std::set<std::string> expected{"/warnings", "/errors", "/project/name", "/timings/jobsSeconds"};
    for(const char* member: {"counts", "jobs", "caches", "records"}) leaves(summary[member], std::string{"/"} + member, expected);
    leaves(summary["timings"]["steps"], "/timings/steps", expected);
    for(const std::string& pointer: expected) EXPECT_TRUE(shown.count(pointer)) << pointer << " is not in the report";

    /* The grouped lines add up to the counts */
    std::size_t warnings = 0, errors = 0;
    for(const Tagged& count: report.counts) (count.key == "Error" ? errors : warnings) += std::stoul(count.value);
    EXPECT_EQ(warnings, summary["warnings"].GetUint64());
    EXPECT_EQ(errors, summary["errors"].GetUint64());

    /* The edited image: tiles of both fates */
    EXPECT_GT(summary["jobs"]["tilesEncoded"].GetUint64(), 0u);
    EXPECT_GT(summary["jobs"]["tilesFromCache"].GetUint64(), 0u);
    auto titled = [&](const std::string& text) {
        for(const std::string& title: report.titles) if(String::endsWith(title, text)) return true;
        return false;
    };
    EXPECT_TRUE(titled(": encoded"));
    EXPECT_TRUE(titled(": from the local cache"));
}

TEST_F(Report, AProjectWithoutImagesOrThatFailsToLoadStillGetsOne) {
    const struct {
        const char* name;
        const char* project;
        int exitCode;
        const char* says;
    } cases[]{
        {"no images", "empty/Empty.zdp", 0, "The project has no images."},
        {"not a project", "NotAProject.zdp", 1, "Not compiled: 1 error<"},
    };
    int exitCode;
    zandelle(*dir, "new " + q(*dir / "empty/Empty.zdp") + " --quiet", exitCode);
    dir->write("NotAProject.zdp", "{");
    for(const auto& c: cases) {
        SCOPED_TRACE(c.name);
        const std::string report = *dir / (std::string{c.name} + ".html");
        zandelle(*dir, "compile --quiet " + q(*dir / c.project) + " --report " + q(report), exitCode);
        EXPECT_EQ(exitCode, c.exitCode);
        parseReport(report);
        EXPECT_NE(Path::readString(report).value_or("").find(c.says), std::string::npos);
    }
}

TEST_F(Report, AHeadlessBrowserRendersIt) {
    /* Console messages of the page are logged to stderr as CONSOLE lines */
    const std::string screenshot = *dir / "report.png";
    const CommandResult r = runCommand("chromium --headless --no-sandbox --disable-gpu --window-size=1280,1600"
        " --user-data-dir=" + q(*dir / "chromium") + " --enable-logging=stderr --v=0 --screenshot=" + q(screenshot) +
        " " + q("file://" + *dir / "report.html") + " 2>&1", {}, {std::chrono::seconds{240}});
    ASSERT_TRUE(r) << r.error().output;
    EXPECT_EQ(r.output().find("CONSOLE"), std::string::npos) << r.output();

    const std::optional<Trade::ImageData> image = ImageTools::readPng(screenshot);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size, Vector2i(1280, 1600));
    /* Text, bars, tile grids and thumbnails: many colours, not a blank page */
    std::set<std::uint32_t> colours;
    const std::size_t channels = Trade::pixelSize(image->format);
    for(std::size_t i = 0; i + channels <= image->data.size(); i += channels) {
        std::uint32_t colour = 0;
        for(std::size_t c = 0; c != std::min<std::size_t>(channels, 3); ++c) colour = colour << 8 | image->data[i + c];
        colours.insert(colour);
    }
    EXPECT_GT(colours.size(), 64u);
}

/* A second machine compiling the same image against a real shared cache:
   its report shows the tiles as from the shared cache, with the summary's
   count */
TEST(ReportSharedCache, TilesOfAnotherMachineShowAsFromTheSharedCache) {
    Testing::RedisServer redis;
    ASSERT_EQ(redis.error(), "");
    Testing::TempDirectory d;
    int exitCode;
    for(const char* machine: {"a", "b"}) {
        const std::string project = d / (std::string{machine} + "/P.zdp");
        zandelle(d, "new " + q(project) + " --quiet", exitCode);
        ASSERT_TRUE(ImageTools::writePng(d / (std::string{machine} + "/wide.png"), picture({600, 300}, 2)));
        const std::string json = zandelle(d, "import --quiet --json " + q(project) + " " + q(d / (std::string{machine} + "/wide.png")) +
            " --cache-url " + q(redis.url()) + " --report " + q(d / (std::string{machine} + ".html")), exitCode);
        ASSERT_EQ(exitCode, 0) << json;
        if(machine[0] == 'a') continue;

        rapidjson::Document summary;
        summary.Parse(json.c_str());
        ASSERT_FALSE(summary.HasParseError()) << json;
        EXPECT_EQ(summary["jobs"]["tilesEncoded"].GetUint64(), 0u) << json;
        const std::uint64_t shared = summary["jobs"]["tilesFromSharedCache"].GetUint64();
        EXPECT_GT(shared, 0u) << json;

        const Parsed report = parseReport(d / "b.html");
        bool figureShown = false;
        for(const Tagged& figure: report.figures) if(figure.key == "/jobs/tilesFromSharedCache") {
            figureShown = true;
            EXPECT_EQ(std::stoull(figure.value), shared);
        }
        EXPECT_TRUE(figureShown);
        std::size_t fromShared = 0, encoded = 0;
        for(const std::string& title: report.titles) {
            fromShared += String::endsWith(title, ": from the shared cache");
            encoded += String::endsWith(title, ": encoded");
        }
        EXPECT_GT(fromShared, 0u);
        EXPECT_EQ(encoded, 0u);
    }
}
