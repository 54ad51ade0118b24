#include <atomic>
#include <thread>
#include <tuple>

#include <xxhash.h>

#include "CompilerFixture.h"
#include "Base/Format.h"
#include "Base/Path.h"
#include "Engine/GlyphData.h"
#include "Support/LogCapture.h"

namespace ZandelleEngine { namespace Testing { namespace {

constexpr const char* Cantarell = "/usr/share/fonts/opentype/cantarell/Cantarell-Regular.otf";

/* The cache file name, computed here from its definition: the XXH3 128-bit
   hash of "1792", the hash of the font bytes, the characters and the outline
   size with three decimals */
std::string hex128(std::string_view bytes) {
    const XXH128_hash_t h = XXH3_128bits(bytes.data(), bytes.size());
    return format("{:016x}{:016x}", h.low64, h.high64);
}
std::string cacheName(const std::vector<char>& font, std::string_view characters, float outlineSize) {
    return hex128(format("1792{}{}{:.3f}", hex128({font.data(), font.size()}), characters, outlineSize)) + ".bin";
}

class FontsTest: public CompilerTest {
    protected:
        FontsTest() {
            defaultFont = file().fonts().firstResourceWithLink(FileLink{"default", "DejaVuSans.ttf"});
            dejaVu = editor.data().resources().fonts.resolveLink(FileLink{"default", "DejaVuSans.ttf"}).get();
            cantarell = *Path::read(Cantarell);
            editor.data().resources().fonts.add(FileLink{"fonts", "Cantarell"}, cantarell);
            textPipeline = file().pipelines().resourceByName("Text");
        }

        /* A font record and, unless @p used is false, a Text material that
           draws with it */
        void addFont(const std::string& key, std::string_view link, std::string_view rest, bool used = true) {
            setRecord("fonts", key, format(R"({{"link": {}{}}})", link, rest));
            if(used) setRecord("materials", "m" + key,
                format(R"({{"pipeline": "{}", "Text": {{"font": "{}"}}}})", textPipeline, key));
        }
        /* Compiles all fonts or the one of @p key, waits for the job and
           returns what it logged, or only its warnings and errors */
        std::string compile(std::string_view key = {}, bool problems = false) {
            LogCapture log;
            if(key.empty()) compiler().compile("fonts");
            else compiler().compile("fonts", {std::string{key}});
            editor.jobSystem->waitForIdle();
            return problems ? log.problems() : log.all();
        }
        /* Holds both workers until releaseWorkers(). Relaxed atomics, so that
           nothing orders the jobs queued meanwhile after what the test does: a
           job that read the document would show as a data race under
           ThreadSanitizer. */
        void holdWorkers() {
            released.store(false, std::memory_order_relaxed);
            for(int i = 0; i != 2; ++i) editor.jobSystem->dispatchFunc([this](JobSystem&, int) {
                while(!released.load(std::memory_order_relaxed)) std::this_thread::yield();
                return JobResult::Success;
            });
        }
        void releaseWorkers() { released.store(true, std::memory_order_relaxed); }

        std::string cacheFile(std::string_view name) { return Path::join(editor.data().project().cachePath(), name); }
        std::string failedLine(std::string_view name) {
            return "Failed loading font cache file: " + cacheFile(name) + ", re-compiling\n";
        }
        std::optional<Data::GlyphDataView> glyphs(std::string_view key) {
            return Data::readGlyphData(scene().fonts().data(compiler().fontId(key)));
        }

        std::string defaultFont, textPipeline;
        std::vector<char> dejaVu, cantarell;
        std::atomic<bool> released{false};
        static constexpr const char* DejaVuLink = R"({"file": "default", "name": "DejaVuSans.ttf"})";
        static constexpr const char* CantarellLink = R"({"file": "fonts", "name": "Cantarell"})";
};

TEST_F(FontsTest, BuildsThroughTheCache) {
    /* Records of one file, characters and outline size (to three decimals)
       share a cache file; an outline of false is size 0; a font that no Text
       material uses gets an id but no glyph data */
    addFont("a", CantarellLink, R"(, "characters": "abcx", "outline": true, "outlineSize": 0.25)");
    addFont("b", CantarellLink, R"(, "characters": "abcx", "outline": true, "outlineSize": 0.2501)");
    addFont("plain", CantarellLink, R"(, "characters": "abcx", "outline": false, "outlineSize": 0.5)");
    addFont("unused", DejaVuLink, R"(, "characters": "abc")", false);
    const std::string outlined = cacheName(cantarell, "abcx", 0.25f);
    EXPECT_EQ(compile(), failedLine(cacheName(dejaVu, "", 0.0f)) + failedLine(outlined) +
        failedLine(cacheName(cantarell, "abcx", 0.0f)));

    const std::optional<Data::GlyphDataView> a = glyphs("a"), plain = glyphs("plain");
    ASSERT_TRUE(a && plain && a->ranges.size() == 2);
    EXPECT_EQ(std::tuple(a->ranges[0].first, a->ranges[1].last, a->glyphs.size()), std::tuple(0x61u, 0x78u, 4u));
    /* The outline effect doubles the shapes, its distance in font units */
    EXPECT_EQ(std::tuple(a->shapes.size(), a->effectDistance, plain->effectDistance),
              std::tuple(2*plain->shapes.size(), 0.25f*1000.0f, 0.0f));
    EXPECT_EQ(scene().fonts().data(compiler().fontId("b")), scene().fonts().data(compiler().fontId("a")));
    ASSERT_TRUE(glyphs(defaultFont));
    EXPECT_EQ(glyphs(defaultFont)->glyphs.size(), 95u);
    EXPECT_NE(compiler().fontId("unused"), 0);
    EXPECT_TRUE(scene().fonts().data(compiler().fontId("unused")).empty());

    const std::vector<std::shared_ptr<Progress>> tasks = editor.tasks();
    ASSERT_FALSE(tasks.empty());
    const Progress& task = *tasks.back();
    EXPECT_EQ(std::tuple(task.title(), task.total.load(), task.done.load(), task.references.load()),
              std::tuple("Compiling fonts", 4u, 4u, 0));

    /* Again: everything from the cache, so the files were written */
    EXPECT_EQ(compile(), "");

    /* A cut cache file is rebuilt and written again */
    const std::string path = cacheFile(outlined);
    const std::vector<char> whole = *Path::read(path);
    Path::writeAtomic(path, std::string_view{whole.data(), whole.size() - 10});
    EXPECT_EQ(compile("a"), failedLine(outlined));
    EXPECT_EQ(*Path::read(path), whole);
}

TEST_F(FontsTest, BadFontsAreSkipped) {
    editor.data().resources().fonts.add(FileLink{"fonts", "broken.ttf"}, std::vector<char>(2000, 'x'));
    addFont("broken", R"({"file": "fonts", "name": "broken.ttf"})", "");
    addFont("missing", R"({"file": "fonts", "name": "gone.ttf"})", "");
    addFont("good", CantarellLink, R"(, "characters": "z")");
    /* A file where the cache directory should be: nothing can be cached,
       and the fonts are used all the same */
    projectDirectory.write("cache", "");
    EXPECT_EQ(compile({}, true),
        "AssetCompiler::compileFonts(): Missing font gone.ttf from file fonts\n"
        "Failed writing cache file: " + cacheFile(cacheName(dejaVu, "", 0.0f)) + " for font " + defaultFont + "\n"
        "Font compilation failed: could not build font description for font broken\n"
        "Failed writing cache file: " + cacheFile(cacheName(cantarell, "z", 0.0f)) + " for font good\n");
    EXPECT_TRUE(glyphs(defaultFont));
    EXPECT_TRUE(scene().fonts().data(compiler().fontId("broken")).empty());
    EXPECT_TRUE(glyphs("good"));
    EXPECT_EQ(compiler().fontId("missing"), 0);
}

/* Both workers wait, so the font job stays queued while the owning thread
   edits the fonts: a record removed (and compiled, as the change handlers
   do) is skipped, one added without compiling is left for later. The
   counter rises as each job completes, and not for a cancelled one. */
TEST_F(FontsTest, EditsWhileTheJobIsQueued) {
    addFont("kept", CantarellLink, R"(, "characters": "k")");
    addFont("gone", CantarellLink, R"(, "characters": "g")");
    const std::uint32_t before = counter(AssetType::Fonts);
    holdWorkers();
    compiler().compile("fonts");
    file().fonts()["gone"].remove();
    compiler().compile("fonts", {"gone"});
    addFont("later", CantarellLink, R"(, "characters": "l")");
    EXPECT_EQ(compiler().fontJobPending.load(), 1);
    EXPECT_EQ(counter(AssetType::Fonts), before);
    releaseWorkers();
    while(compiler().fontJobPending.load()) std::this_thread::yield();
    editor.jobSystem->waitForIdle();
    EXPECT_EQ(counter(AssetType::Fonts), before + 2);
    ASSERT_TRUE(glyphs("kept"));
    EXPECT_TRUE(scene().fonts().data(compiler().fontId("gone")).empty());
    EXPECT_EQ(compiler().fontId("later"), 0);

    holdWorkers();
    compiler().compile("fonts");
    editor.jobSystem->cancelAll();
    releaseWorkers();
    editor.jobSystem->waitForIdle();
    EXPECT_EQ(compiler().fontJobPending.load(), 1);
    EXPECT_EQ(counter(AssetType::Fonts), before + 2);
}

}}}
