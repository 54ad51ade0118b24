#include "Editor/EditorData.h"

#include <algorithm>

namespace ZandelleEngine {

EditorData::EditorData() = default;

void EditorData::deselectObject(std::string_view objectId) {
    std::erase_if(selection, [&](const std::string& s) { return s == objectId; });
}

}
