#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Base/Path.h"
#include "Base/Resource.h"
#include "Base/String.h"
#include "Shaders/Preprocessor.h"
#include "Shaders/ShaderDefines.h"
#include "Support/LogCapture.h"

using namespace ZandelleEngine;

/* The internal passes never become shader records, so nothing compiles them
   or resolves their includes; and no default pipeline switches on every
   feature of a shader at once */
TEST(ShippedShaders, IncludesResolveAndEveryFeaturePreprocesses) {
    std::vector<std::pair<std::string, std::string>> shaders;
    const std::filesystem::path root{ZANDELLE_RESOURCES_DIR "/shaders"};
    for(const auto& entry: std::filesystem::recursive_directory_iterator(root))
        if(entry.is_regular_file())
            shaders.emplace_back(std::filesystem::relative(entry.path(), root).generic_string(),
                                 *Path::readString(entry.path().string()));
    for(const char* group: {"ZandelleEngineInternalShaders", "ZandelleEditorShaders"})
        for(const std::string& path: Resource{group}.list())
            shaders.emplace_back(path, *Resource{group}.getString(path));
    ASSERT_EQ(shaders.size(), 16u + 19u);

    IncludeMap includes{64};
    for(const auto& [path, source]: shaders)
        if(String::beginsWith(path, "lib/")) includes.put(path, source);
    includes.compile();
    for(const auto& [path, source]: shaders) {
        SCOPED_TRACE(path);
        Testing::LogCapture log;
        Preprocessor markers;
        markers.process(source);
        EXPECT_TRUE(preprocessForPipeline(source, 1, 1, 1, shaderFeatures(markers), 0).isOk());
        resolveIncludes(source, includes);
        EXPECT_EQ(log.all(), "");
    }
}
