#pragma once
// A new project rooted in a fresh temporary folder, for benchmarks that
// write to the project's cache.

#include <cstdlib>
#include <filesystem>
#include <string>

#include "Editor/ZandelleEditor.h"
#include "Tools/ProjectFiles.h"

namespace ZandelleEngine { namespace Generated {

/* Starts a new project in @p editor rooted in a new temporary folder, which
   the destructor removes; root is empty when the folder could not be made */
struct ScratchProject {
    explicit ScratchProject(ZandelleEditor& editor) {
        editor.resourcesPath = ZANDELLE_RESOURCES_DIR;
        initProject(editor, "", "");
        root = (std::filesystem::temp_directory_path()/"zandelle-bench-XXXXXX").string();
        if(::mkdtemp(root.data())) editor.data().project().setRoot(root);
        else root.clear();
    }
    ~ScratchProject() {
        std::error_code ec;
        if(!root.empty()) std::filesystem::remove_all(root, ec);
    }
    ScratchProject(const ScratchProject&) = delete;
    ScratchProject& operator=(const ScratchProject&) = delete;

    std::string root;
};

}}
