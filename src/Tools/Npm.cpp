#include "Tools/Npm.h"

#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

std::optional<int> npmInstall(ZandelleEditor&, bool) {
    /* The npm runner arrives with npm integration */
    return {};
}

bool upgradeApiPackage(ZandelleEditor&) {
    return false;
}

}
