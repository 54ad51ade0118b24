#include "Tools/Import.h"

#include "Base/Log.h"
#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

bool loadFile(std::string_view path, ZandelleEditor&, LoadMode, bool) {
    Error{} << "loadFile(): importing is not available in this build:" << path;
    return false;
}

}
