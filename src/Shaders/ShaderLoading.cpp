#include "Shaders/ShaderLoading.h"

#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

void loadShaders(ZandelleEditor&) {
    /* Shader gathering arrives with the shader loader */
}

}
