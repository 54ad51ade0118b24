#include "Editor/FileLink.h"

namespace ZandelleEngine {

Debug& operator<<(Debug& debug, const FileLink& link) {
    return debug.printValue("FileLink(" + link.file + ", " + link.name + ")");
}

}
