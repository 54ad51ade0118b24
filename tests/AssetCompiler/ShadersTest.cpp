#include "CompilerFixture.h"
#include "Engine/RuntimeData.h"
#include "Shaders/ShaderLoading.h"
#include "Support/LogCapture.h"

namespace ZandelleEngine { namespace Testing { namespace {

class ShadersTest: public CompilerTest {
    protected:
        /* A shader source under ("default", path) and its record */
        void addShader(std::string_view key, std::string_view path, std::string_view stage, std::string source) {
            editor.data().resources().shaderSources.add(FileLink{"default", std::string{path}}, std::move(source));
            setRecord("shaders", key, R"({"link": {"file": "default", "name": ")" + std::string{path} +
                R"("}, "name": "x", "stage": ")" + std::string{stage} + R"(", "type": "forward"})");
        }
        Data::ShaderDataView shader(std::string_view key) {
            return *Data::readShaderData(sceneData().shaders.at(compiler().resourceIndex.shaders.at(std::string{key})));
        }
        Data::ShaderDataView include(std::string_view key) {
            const Data::Id id = compiler().resourceIndex.includeShaders.at(std::string{key});
            return *Data::readShaderData(sceneData().includeShaders.at(id));
        }
        const std::string& fullSource(std::string_view key) {
            return sceneData().shaderSources.at(compiler().resourceIndex.shaders.at(std::string{key}));
        }
};

TEST_F(ShadersTest, ShippedShadersCompile) {
    LogCapture log;
    compiler().compile("shaders");
    EXPECT_EQ(log.problems(), "");

    std::size_t compiled = 0;
    for(const ValueAccess& r: file().shaders().range()) {
        const std::string stage{r["stage"].asString()};
        if(stage == "include") continue;
        EXPECT_EQ(ShaderStageNames[std::size_t(shader(r.key()).stage)], stage) << r.fileLink().name;
        ++compiled;
    }
    /* Text.frag and Text.vert at least, every shading model of the editor
       directory and the compiled-in vertex shaders */
    EXPECT_GE(compiled, 14u);
    EXPECT_EQ(sceneData().shaders.size(), compiled + 1);
}

TEST_F(ShadersTest, IncludesTwiceSharedAndMissing) {
    const std::string inc = "lib\\math";
    addShader(inc, "lib/Math.glsl", "include", "float twice(float x) { return 2.0*x; }\n");
    addShader("a", "A.frag", "fragment", "#include \"lib/Math.glsl\"\nvoid a() {}\n#include \"lib/Math.glsl\"\n");
    addShader("b", "B.frag", "fragment", "#include \"lib/Math.glsl\"\nvoid b() {}\n");
    /* Named by the path a shader includes it by, then by its record's key
       once its own record is compiled; one entry for both shaders */
    compiler().compile("shaders", {"a"});
    EXPECT_EQ(include(inc).name, "lib/Math.glsl");
    compiler().compile("shaders");
    EXPECT_EQ(include(inc).name, "lib/math");
    EXPECT_EQ(include(inc).stage, Data::ShaderStage::Include);

    /* Spliced in at both places; the engine gets the shader's own text */
    const std::string& full = fullSource("a");
    EXPECT_NE(full.find("twice"), full.rfind("twice"));
    EXPECT_EQ(shader("a").source, "#include \"lib/Math.glsl\"\nvoid a() {}\n#include \"lib/Math.glsl\"\n");

    /* A shader whose include is gone keeps what it had */
    const Data::Id bId = compiler().resourceIndex.shaders.at("b");
    const std::string before = fullSource("b");
    addShader("b", "B.frag", "fragment", "#include \"lib/Gone.glsl\"\nvoid changed() {}\n");
    LogCapture log;
    compiler().compile("shaders", {"b"});
    EXPECT_EQ(log.error(),
        "AssetCompiler::compileShaders(): #include 'lib/Gone.glsl' not found.\n"
        "AssetCompiler::compileShaders(): Skipping compilation for shader B.frag containing missing #include that "
        "couldn't be resolved.\n");
    EXPECT_EQ(compiler().resourceIndex.shaders.at("b"), bId);
    EXPECT_EQ(fullSource("b"), before);
}

TEST_F(ShadersTest, RecordProblems) {
    setSection("shaders", "{}");
    addShader("geometry", "G.geom", "geometry", "void main() {}\n");
    addShader("quote", "Q.frag", "fragment", "#include \"lib/Open.glsl\n");
    setRecord("shaders", "missing", R"({"link": {"file": "default", "name": "Nowhere.frag"}, "stage": "fragment"})");
    LogCapture log;
    const std::uint32_t before = counter(AssetType::Shaders);
    compiler().compile("shaders");
    EXPECT_EQ(log.all(),
        "AssetCompiler::compileShaders(): Invalid stage 'geometry' for shader G.geom from file default\n"
        "AssetCompiler::compileShaders(): Parsing #include failed for shader Q.frag \n"
        "Error: Missing closing double quote after #include\n"
        "AssetCompiler::compileShaders(): Missing shader Nowhere.frag from file default\n");
    EXPECT_EQ(sceneData().shaders.size(), 1u);
    EXPECT_EQ(counter(AssetType::Shaders), before + 1);
}

}}}
