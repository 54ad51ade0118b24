#pragma once
// Turns the resource sections of the project document into the engine's
// runtime data. Each compile step lives in its own source beside this one.

#include <atomic>
#include <cstdint>

#include "Base/Export.h"

namespace ZandelleEngine {

class ZandelleEditor;
class EditorData;

class ZANDELLE_EXPORT AssetCompiler {
    public:
        /** Binds the compiler to the editor's (new) data and empties every
            index; called by project initialisation */
        void initialize(ZandelleEditor& editor);

        /** Runs every compile step over its whole section, in dependency order */
        void compileAll();

        std::atomic<std::uint32_t> pendingImageJobs{0};
        std::atomic<std::uint8_t> fontJobPending{0};

    private:
        ZandelleEditor* _editor = nullptr;
        EditorData* _data = nullptr;
};

}
