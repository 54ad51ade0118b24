#pragma once
// Per-project editor UI state, kept in ".editor/state.json" beside the
// project file: the selected objects and the editor camera.
//
//     {"version": 1, "selection": ["3", "8"],
//      "camera": {"position": [0, 2, 5], "rotation": [0, 0, 0, 1]}}

#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Base/Math.h"

namespace ZandelleEngine {

class ZANDELLE_EXPORT EditorState {
    public:
        static constexpr int FormatVersion = 1;

        EditorState() { reset(); }

        /** Back to no selection and the default camera */
        void reset();

        /** Restores the state from @p text. False, leaving the state as it
            was, when the text is not this format. */
        bool deserialize(std::string_view text);

        std::string serialize() const;

        std::vector<std::string> selection;
        Vector3 cameraPosition;
        Quaternion cameraRotation;
};

}
