#pragma once
// A test fixture with an editor whose resources directory is the build
// tree's, a temporary directory for projects, and APPDATA pointing into it.

#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "Editor/ZandelleEditor.h"
#include "Support/TempDirectory.h"

namespace ZandelleEngine { namespace Testing {

class EditorTest: public ::testing::Test {
    protected:
        EditorTest();

        /** Loads @p path and waits for the finishing job and all other jobs;
            false when loading failed */
        bool loadAndWait(std::string_view path);

        /** Writes a project file into the temporary directory */
        std::string writeProject(std::string_view relative, std::string_view json) const {
            return dir.write(relative, json);
        }

        TempDirectory dir;
        ScopedAppData appData{dir / "appdata"};
        /* A project without a directory keeps its caches in the working
           directory: the test's own */
        ScopedWorkingDirectory workingDirectory{dir.path()};
        ZandelleEditor editor{2};
};

/** A minimal project file of version @p version ("[1, 1, 6, 1]") */
std::string minimalProject(std::string_view version, std::string_view extraSettings = {});

}}
