// The GLSL check of compiled pipelines: the shipped shaders pass it on every
// default pipeline, and a mistake is reported in the file and line it is in.

#include <algorithm>

#include "CompilerFixture.h"
#include "AssetCompiler/CheckShaders.h"
#include "Base/Path.h"
#include "Shaders/ShaderLoading.h"
#include "Support/LogCapture.h"
#include "Tools/Import.h"

namespace ZandelleEngine { namespace Testing { namespace {

using CheckShadersTest = CompilerTest;

TEST_F(CheckShadersTest, ShippedShadersPass) {
    /* One material per pipeline, so that every pipeline is compiled */
    std::size_t pipelines = 0;
    for(const ValueAccess& p: file().pipelines().range()) {
        setRecord("materials", "m" + p.key(), R"({"name": "m", "pipeline": ")" + p.key() + R"("})");
        ++pipelines;
    }
    compiler().compileAll();
    LogCapture log;
    EXPECT_EQ(checkPipelineShaders(editor), 0u);
    EXPECT_EQ(log.all(), "Checked the shaders of " + std::to_string(pipelines) + " pipelines: 0 GLSL errors\n");
}

TEST_F(CheckShadersTest, ErrorsNameFileLineAndPipelines) {
    const struct {
        const char* name;
        const char* shader;
        const char* include;
        const char* expected;
    } cases[]{
        {"in the shader",
         "#version 300 es\n#include \"lib/Ok.glsl\"\nout lowp vec4 color;\n"
         "void main() { lowp float x = missing; color = vec4(x); }\n",
         "lowp float half_(lowp float x) { return x*0.5; }\n",
         "Broken.frag:4: 'missing' : undeclared identifier (pipelines \"Broken\", \"Broken Too\")\n"},
        {"in an include, after a define of the pipeline",
         "#version 300 es\nout lowp vec4 color;\n#include \"lib/Ok.glsl\"\nvoid main() { color = vec4(NUM_LIGHTS); }\n",
         "// helpers\nlowp float half_(lowp float x) { return x*0.5 }\n",
         "lib/Ok.glsl:2: '' : syntax error, unexpected RIGHT_BRACE, expecting COMMA or SEMICOLON "
         "(pipelines \"Broken\", \"Broken Too\")\n"},
    };
    for(const auto& c: cases) {
        SCOPED_TRACE(c.name);
        ResourceManager<std::string>& sources = editor.data().resources().shaderSources;
        sources.add(FileLink{"default", "Broken.frag"}, c.shader);
        sources.add(FileLink{"default", "lib/Ok.glsl"}, c.include);
        setSection("shaders",
            R"({"s": {"link": {"file": "default", "name": "Broken.frag"}, "name": "Broken", "stage": "fragment"}})");
        setSection("pipelines",
            R"({"p": {"name": "Broken", "shader": "s"}, "q": {"name": "Broken Too", "shader": "s"}})");
        setSection("materials", R"({"m": {"name": "m", "pipeline": "p"}, "n": {"name": "n", "pipeline": "q"}})");
        compiler().compileAll();
        LogCapture log;
        EXPECT_EQ(checkPipelineShaders(editor), 1u);
        EXPECT_EQ(log.error(), c.expected);
    }
}

TEST_F(CheckShadersTest, ImportedSceneWithProjectShaders) {
    /* BoxTextured's one material is metallic-roughness: it draws with
       "Physical Opaque Textured", so the project's broken Physical.frag is
       reported and its broken Phong.frag, which nothing uses, is not */
    const std::string physical = Path::readString(ZANDELLE_RESOURCES_DIR "/shaders/Physical.frag").value_or("");
    const std::string phong = Path::readString(ZANDELLE_RESOURCES_DIR "/shaders/Phong.frag").value_or("");
    projectDirectory.write("shaders/Physical.frag", physical + "void broken() { nothing(); }\n");
    projectDirectory.write("shaders/Phong.frag", phong + "void brokenFunction( { }\n");
    loadShaders(editor);
    ASSERT_TRUE(loadScene("/usr/share/assimp/models/glTF2/BoxTextured-glTF-Binary/BoxTextured.glb", editor,
        LoadMode::Default, "", false));
    compiler().compileAll();
    editor.jobSystem->waitForIdle();
    LogCapture log;
    EXPECT_EQ(checkPipelineShaders(editor), 1u);
    const std::size_t line = std::size_t(std::count(physical.begin(), physical.end(), '\n')) + 1;
    EXPECT_EQ(log.error(), "Physical.frag:" + std::to_string(line) +
        ": 'nothing' : no matching overloaded function found (pipeline \"Physical Opaque Textured\")\n");
}

}}}
