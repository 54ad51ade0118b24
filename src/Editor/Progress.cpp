#include "Editor/Progress.h"

#include "Base/Assert.h"

namespace ZandelleEngine {

Progress::~Progress() {
    if(references.load() != 0) fatal("Progress::~Progress: references are still alive.");
}

std::string Progress::text() const {
    std::lock_guard<std::mutex> lock{_textMutex};
    return _text;
}

void Progress::setText(std::string text) {
    std::lock_guard<std::mutex> lock{_textMutex};
    _text = std::move(text);
}

}
