#include "Tools/NewProject.h"

#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

bool copyPackageTemplate(std::string_view, std::string_view, std::string_view, bool) {
    /* The package template arrives with new projects */
    return false;
}

void addPrimitiveMeshes(ZandelleEditor&) {
    /* The primitive generators arrive with new projects */
}

}
