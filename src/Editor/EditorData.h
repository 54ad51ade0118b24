#pragma once
// The editor's data container: the project document and its sections, where
// the project lives, the compiled scene data, the imported resources and the
// file watches of imported files. Project initialisation destroys it and
// constructs it again in place.

#include <string>
#include <vector>

#include "Base/Export.h"
#include "Editor/EditorSceneData.h"
#include "Editor/ProjectData.h"
#include "Editor/ProjectFile.h"
#include "Editor/ResourceManagers.h"

namespace ZandelleEngine {

class ZANDELLE_EXPORT EditorData {
    public:
        EditorData();
        EditorData(const EditorData&) = delete;
        EditorData& operator=(const EditorData&) = delete;

        ProjectData& project() { return _project; }
        EditorSceneData& scene() { return _scene; }
        ResourceManagers& resources() { return _resources; }
        ProjectFile& projectFile() { return _projectFile; }

        /** Drops @p objectId from the editor selection */
        void deselectObject(std::string_view objectId);

        /** File watches of imported files, removed by project initialisation */
        std::vector<int> watchIds;
        /** Selected objects */
        std::vector<std::string> selection;
        /** The pipeline the editor shows in its pipeline view, "" for none */
        std::string viewedPipelineId;
        /** Set once project initialisation has filled the container */
        bool initialized = false;

    private:
        ProjectData _project;
        EditorSceneData _scene;
        ResourceManagers _resources;
        ProjectFile _projectFile;
};

}
