// The shared level of the tile and font caches, against a real redis-server
// that each test starts and stops. A "machine" is an editor with a project
// folder of its own: machine B without A's cache folder is a new checkout or
// a fresh CI runner.

#include <algorithm>
#include <chrono>
#include <thread>
#include <tuple>

#include "CompilerFixture.h"
#include "Base/Path.h"
#include "Engine/Basis.h"
#include "Engine/RuntimeData.h"
#include "Support/LogCapture.h"
#include "Support/RedisServer.h"

namespace ZandelleEngine { namespace Testing { namespace {

/* Pixels that differ everywhere, so every tile has a name of its own */
Trade::ImageData noise(Vector2i size, std::uint32_t seed) {
    Trade::ImageData image{Trade::PixelFormat::RGBA8Unorm, size, std::vector<std::uint8_t>(std::size_t(size.x)*size.y*4)};
    for(std::uint8_t& b: image.data) { seed = seed*1664525u + 1013904223u; b = std::uint8_t(seed >> 24); }
    return image;
}

struct Machine {
    /* The shared level at @p url, as the editor's preference or, with
       @p timeouts, set up directly */
    explicit Machine(const std::string& url, std::optional<SharedCache::Timeouts> timeouts = {}) {
        editor.resourcesPath = ZANDELLE_RESOURCES_DIR;
        editor.shaderDirectory = ZANDELLE_RESOURCES_DIR "/shaders";
        if(!timeouts) editor.sharedCacheUrl = url;
        initProject(editor, "", "");
        editor.data().project().setRoot(directory.path());
        if(timeouts) compiler().compileCache.configureShared(url, 2, *timeouts);
    }
    AssetCompiler& compiler() { return *editor.assetCompiler; }
    /* The image "photo" of @p size, compressed to ETC1S */
    void addImage(Vector2i size) {
        editor.data().resources().images.add(FileLink{"photo.png", "photo"}, noise(size, 29));
        ProjectFile& file = editor.data().projectFile();
        file["images/photo/link/file"].setString("photo.png");
        file["images/photo/link/name"].setString("photo");
        file["images/photo/compression"].setString("etc1s");
    }
    /* Images and the default font, without waiting */
    void startCompile() {
        compiler().compile("fonts");
        compiler().compile("images");
    }
    void compile() {
        startCompile();
        editor.jobSystem->waitForIdle();
    }
    EditorSceneData::CompiledImage& photo() {
        return editor.data().scene().images.at(ResourceIndex::lookup(compiler().resourceIndex.images, "photo"));
    }
    std::vector<char> font() {
        /* The default font, the project's only one */
        return editor.data().scene().main().fonts().data(compiler().resourceIndex.fonts.begin()->second);
    }
    CacheCounts::Counts shared(CacheKind kind) { return compiler().compileCache.counts().at(kind, CacheLevel::Shared); }
    std::string cacheFile(std::string_view name) { return Path::join(editor.data().project().cachePath(), name); }
    /* Tile names of the compiled photo */
    std::vector<std::string> tileNames() { return Data::readImageData(photo().imageData).value().names; }

    TempDirectory directory;
    ZandelleEditor editor{2};
};

class SharedCacheTest: public ::testing::Test {
    protected:
        void SetUp() override {
            ASSERT_EQ(redis.error(), "");
            ASSERT_TRUE(BasisImageConverter{}.available()) << "scripts/install-deps.sh installs the Basis encoder";
        }
        RedisServer redis;
};

TEST(SharedCacheUrlTest, Parse) {
    const struct {
        const char* text;
        const char* display;   /* or the error */
        const char* user;
        const char* password;
        bool readOnly;
    } data[]{
        {"redis://cache.example", "redis://cache.example:6379/0", "", "", false},
        {"redis://:p%40ss@10.0.0.2:7000/3?read-only", "redis://10.0.0.2:7000/3", "", "p@ss", true},
        {"redis://ci:a:b@c@[::1]:6380", "redis://[::1]:6380/0", "ci", "a:b@c", false},
        {"http://host", "the URL does not start with redis://", "", "", false},
        {"redis://:pw@", "the host is empty", "", "", false},
        {"redis://host:0", "the port is not a number from 1 to 65535", "", "", false},
        {"redis://host:", "the port is empty", "", "", false},
        {"redis://host/x", "the database after / is not a number", "", "", false},
        {"redis://host?readonly", "the only option after ? is read-only", "", "", false},
        {"redis://pw@host", "the part before @ is not [USER]:PASSWORD", "", "", false},
        {"redis://:%4@host", "the password or user holds a broken %-escape", "", "", false},
    };
    for(const auto& row: data) {
        const Result<SharedCacheUrl> url = SharedCacheUrl::parse(row.text);
        EXPECT_EQ(url ? url->display() : url.error(), row.display) << row.text;
        if(url) {
            EXPECT_EQ(std::tuple(url->user, url->password, url->readOnly), std::tuple(row.user, row.password, row.readOnly)) << row.text;
        }
    }
}

TEST_F(SharedCacheTest, AnotherMachineTakesEverythingFromTheServer) {
    /* 1024 x 1024: 16 + 4 + 1 tiles, and the default font */
    Machine a{redis.url()};
    a.addImage({1024, 1024});
    LogCapture log;
    a.compile();
    ASSERT_EQ(log.problems(), "");
    const std::vector<std::string> names = a.tileNames();
    ASSERT_EQ(std::tuple(names.size(), a.compiler().tilesEncoded.load(), a.compiler().fontsBuilt.load()), std::tuple(21, 21, 1));
    EXPECT_EQ(std::tuple(a.shared(CacheKind::Tile).writes, a.shared(CacheKind::Font).writes), std::tuple(21, 1));
    const std::vector<std::string> keys = redis.keys();
    ASSERT_EQ(keys.size(), 22u);
    EXPECT_EQ(keys[0].substr(0, 17), "zandelle:v1:font:");
    for(const std::string& name: names)
        EXPECT_EQ(redis.command({"GET", "zandelle:v1:tile:" + name}), Path::readString(a.cacheFile(name + ".basis"))) << name;

    Machine b{redis.url()};
    b.addImage({1024, 1024});
    b.compile();
    EXPECT_EQ(log.problems(), "");
    EXPECT_EQ(std::tuple(b.compiler().tilesEncoded.load(), b.compiler().fontsBuilt.load(), b.compiler().tilesFromCache.load()),
              std::tuple(0, 0, 21));
    EXPECT_EQ(std::tuple(b.shared(CacheKind::Tile).hits, b.shared(CacheKind::Font).hits, b.shared(CacheKind::Tile).writes),
              std::tuple(21, 1, 0));
    EXPECT_EQ(b.photo().basisTiles, a.photo().basisTiles);
    ASSERT_EQ(b.photo().compressedTiles.size(), 21u);
    for(std::size_t i = 0; i != 21; ++i) EXPECT_EQ(b.photo().compressedTiles[i].data, a.photo().compressedTiles[i].data) << i;
    EXPECT_EQ(b.photo().imageData, a.photo().imageData);
    EXPECT_EQ(b.font(), a.font());

    /* What the server gave is in B's own cache now */
    redis.stop();
    b.compile();
    EXPECT_EQ(std::tuple(b.compiler().tilesEncoded.load(), b.compiler().fontsBuilt.load(), b.shared(CacheKind::Tile).hits),
              std::tuple(0, 0, 21));
}

TEST_F(SharedCacheTest, ReadOnlyWritesNothingAndDatabasesAreApart) {
    Machine a{redis.url() + "/5?read-only"};
    a.addImage({300, 100});
    a.compile();
    EXPECT_EQ(std::tuple(a.compiler().tilesEncoded.load(), a.shared(CacheKind::Tile).misses, a.shared(CacheKind::Font).writes),
              std::tuple(3, 3, 0));
    EXPECT_TRUE(Path::exists(a.cacheFile(a.tileNames()[0] + ".basis")));
    redis.command({"SELECT", "5"});
    EXPECT_EQ(redis.keys(), std::vector<std::string>{});

    Machine b{redis.url() + "/5"};
    b.addImage({300, 100});
    b.compile();
    EXPECT_EQ(redis.keys().size(), 4u);
    redis.command({"SELECT", "0"});
    EXPECT_EQ(redis.keys(), std::vector<std::string>{});
}

TEST_F(SharedCacheTest, BadEntriesAreBuiltAgainAndReplaced) {
    Machine a{redis.url()};
    a.addImage({300, 100});
    a.compile();
    const std::string key = "zandelle:v1:tile:" + a.tileNames()[1];
    const std::string good = *redis.command({"GET", key});

    const struct {
        const char* name;
        const char* suffix;
        std::vector<std::string> damage;
        bool replaced;
    } data[]{
        {"garbage", "", {"SET", key, "garbage"}, true},
        {"garbage, read-only", "?read-only", {"SET", key, "garbage"}, false},
        {"above 64 MiB", "", {"SET", key, std::string((64u << 20) + 1, 'x')}, true},
        {"not a string", "", {"RPUSH", key, "a"}, true},
    };
    for(const auto& row: data) {
        SCOPED_TRACE(row.name);
        redis.command({"DEL", key});
        redis.command(row.damage);
        Machine b{redis.url() + row.suffix};
        b.addImage({300, 100});
        LogCapture log;
        b.compile();
        EXPECT_EQ(log.problems(), "Failed loading shared cache entry: " + key + ", rebuilding\n");
        EXPECT_EQ(std::tuple(b.compiler().tilesEncoded.load(), b.shared(CacheKind::Tile).hits, b.shared(CacheKind::Tile).rejected),
                  std::tuple(1, 2, 1));
        EXPECT_EQ(b.photo().basisTiles, a.photo().basisTiles);
        EXPECT_EQ(redis.command({"TYPE", key}) == std::optional<std::string>{"string"} && redis.command({"GET", key}) == good,
                  row.replaced);
    }
}

TEST_F(SharedCacheTest, ServerStoppedDuringACompile) {
    /* 9 + 4 + 1 tiles: two batches, the server stopped after the first */
    Machine a{redis.url()};
    a.addImage({768, 768});
    LogCapture log;
    a.startCompile();
    /* Stopped once the first tiles are there, while later ones encode */
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds{120};
    while(redis.keys("zandelle:v1:tile:*").empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds{5});
    const int port = redis.port();
    redis.stop();
    a.editor.jobSystem->waitForIdle();
    const std::string problems = log.problems();
    EXPECT_EQ(problems.substr(0, problems.find('(')), "Shared cache redis://127.0.0.1:" + std::to_string(port) + "/0 unavailable ");
    EXPECT_EQ(std::count(problems.begin(), problems.end(), '\n'), 1) << problems;
    EXPECT_GE(a.compiler().compileCache.counts().sharedErrors, 1u);
    EXPECT_EQ(std::tuple(a.compiler().imagesCompressed.load(), a.compiler().tilesEncoded.load()), std::tuple(1, 14));

    /* The next compile of the project finds every tile in its own cache */
    Machine again{""};
    again.editor.data().project().setRoot(a.directory.path());
    again.addImage({768, 768});
    again.compile();
    EXPECT_EQ(std::tuple(again.compiler().tilesEncoded.load(), again.compiler().tilesFromCache.load()), std::tuple(0, 14));
}

TEST_F(SharedCacheTest, UnusableServersLeaveTheLocalCache) {
    RedisServer locked{"pw-29"};
    ASSERT_EQ(locked.error(), "");
    const SilentServer silent;
    const std::string lockedHost = "127.0.0.1:" + std::to_string(locked.port());
    /* A port nothing listens on any more */
    const int stoppedPort = SilentServer{}.port();
    const struct {
        const char* name;
        std::string url, warning;
    } data[]{
        {"nothing listening", "redis://127.0.0.1:" + std::to_string(stoppedPort),
            "Shared cache redis://127.0.0.1:" + std::to_string(stoppedPort) + "/0 unavailable (Connection refused)"},
        {"wrong password", "redis://:wrong-pw-4711@" + lockedHost,
            "Shared cache redis://" + lockedHost + "/0 unavailable (WRONGPASS invalid username-password pair or user is disabled.)"},
        {"no password", "redis://" + lockedHost,
            "Shared cache redis://" + lockedHost + "/0 unavailable (NOAUTH Authentication required.)"},
        {"no answer", "redis://127.0.0.1:" + std::to_string(silent.port()),
            "Shared cache redis://127.0.0.1:" + std::to_string(silent.port()) + "/0 unavailable (no answer within 200 ms)"},
    };
    for(const auto& row: data) {
        SCOPED_TRACE(row.name);
        LogCapture log;
        Machine m{row.url, SharedCache::Timeouts{std::chrono::milliseconds{500}, std::chrono::milliseconds{200}}};
        m.addImage({300, 100});
        m.compile();
        EXPECT_EQ(log.problems(), row.warning + ", using the local cache only\n");
        EXPECT_EQ(std::tuple(m.compiler().tilesEncoded.load(), m.compiler().fontsBuilt.load()), std::tuple(3, 1));
        EXPECT_TRUE(Path::exists(m.cacheFile(m.tileNames()[1] + ".basis")));
    }
    EXPECT_EQ(locked.keys(), std::vector<std::string>{});
}

}}}
