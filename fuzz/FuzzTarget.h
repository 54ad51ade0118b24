#pragma once
// Shared by every fuzz target: the entry point libFuzzer calls, a quiet log
// so that the fuzzer's own output stays readable, and an editor for the
// targets that load projects.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include <unistd.h>

#include "Base/Log.h"
#include "Base/Path.h"
#include "Editor/ZandelleEditor.h"
#include "Tools/ProjectFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace ZandelleEngine { namespace Fuzz {

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

/* Drops every log line unless ZANDELLE_FUZZ_LOG is set (to see what an
   input does); call before each input */
inline void silenceLog() {
    static const bool silenced = (std::getenv("ZANDELLE_FUZZ_LOG") ||
        (Debug::setSink([](LogLevel, std::string_view) {}), true));
    static_cast<void>(silenced);
}

/* An editor on the build tree's resources with a scratch directory (and
   APPDATA inside it), removed at exit. Targets that load or import keep
   one for all inputs: every load starts with a reset anyway. */
struct EditorSetup {
    EditorSetup() {
        std::string base = Path::join(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp", "zandelle-fuzz-XXXXXX");
        directory = ::mkdtemp(base.data()) ? base : std::string{"."};
        ::setenv("APPDATA", Path::join(directory, "appdata").c_str(), 1);
        editor.resourcesPath = ZANDELLE_RESOURCES_DIR;
        editor.shaderDirectory = Path::join(editor.resourcesPath, "shaders");
        editor.suppressRecentProjects = true;
    }
    /* Loads @p path and waits for activation and every job */
    bool loadAndWait(const std::string& path) {
        const std::optional<int> job = loadProject(path, editor);
        if(!job) return false;
        editor.jobSystem->wait(*job);
        editor.jobSystem->waitForIdle();
        return true;
    }

    ~EditorSetup() {
        editor.jobSystem->waitForIdle();
        std::error_code ec;
        if(directory != ".") std::filesystem::remove_all(directory, ec);
    }

    std::string directory;
    ZandelleEditor editor{2};
};

}}
