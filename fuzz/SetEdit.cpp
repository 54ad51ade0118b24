// Fuzz target: the edits of `zandelle set`. The input is a pointer, a line
// break and the value's JSON text (or "--remove"). An edit the tracker
// accepts must leave a document whose saved text loads again; one it refuses
// must leave the document as it was. One loaded project serves every input;
// its text is parsed back before each.

#include <cstdlib>
#include <string>

#include "Base/String.h"
#include "Editor/ChangeTracker.h"
#include "Editor/ProjectFile.h"
#include "FuzzTarget.h"

using namespace ZandelleEngine;

namespace {

/* Objects with parents and an object setting for the kind checks */
constexpr const char Project[] = R"({"settings": {"project": {"name": "Fuzz", "version": [1, 1, 6, 1]}},
    "objects": {"o1": {"name": "A"}, "o2": {"name": "B", "parent": "o1"}, "o3": {"parent": "o2"}},
    "materials": {"m1": {"name": "M", "Phong": {"diffuseColor": [1, 0, 0, 1]}}}})";

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fuzz::silenceLog();
    static Fuzz::EditorSetup setup;
    static const bool loaded = [] {
        const std::string path = Path::join(setup.directory, "project/Game.zdp");
        Path::make(Path::path(path));
        return Path::writeAtomic(path, Project) && setup.loadAndWait(path);
    }();
    if(!loaded) std::abort();

    ProjectFile& file = setup.editor.data().projectFile();
    static const std::string original = file.toString().value_or("");
    if(!file.parse(original)) std::abort();

    const std::string_view input = Fuzz::text(data, size);
    const std::size_t lineBreak = input.find('\n');
    if(lineBreak == std::string_view::npos) return 0;
    const std::string_view pointer = input.substr(0, lineBreak), valueText = input.substr(lineBreak + 1);

    ChangeTracker& tracker = *setup.editor.changeTracker;
    JsonDocument value;
    const bool remove = valueText == "--remove";
    if(!remove && ChangeTracker::parseValue(valueText, value)) return 0;
    const bool edited = remove ? tracker.removeValue(pointer) : tracker.setValue(pointer, value);
    const std::optional<std::string> text = file.toString();
    if(!edited && text != original) std::abort();
    /* What a save writes must open again, and read as UTF-8 by any reader */
    ProjectFile reopened;
    if(text && (!String::isValidUtf8(*text) || !reopened.parse(*text, nullptr))) std::abort();
    /* The compile of what was accepted, as set runs it */
    tracker.dispatch();
    setup.editor.jobSystem->waitForIdle();
    return 0;
}
