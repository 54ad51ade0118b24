#pragma once
// The editor's translations: which project value each translatable term
// replaces, and per language the text of every term. The editor loads and
// keeps them; compiling languages only reads them.

#include <map>
#include <string>
#include <unordered_map>

namespace ZandelleEngine {

struct LocalizationEntry {
    std::string text;
    /** The text is the language's own translation, not a copy of the
        default language's */
    bool own = false;
};

struct Localization {
    /** Term name to the document path of the value it translates, such as
        "/settings/project/name" or "/objects/o1/components/0/text/text" */
    std::map<std::string, std::string> termPaths;
    /** Language key to its entries by term name */
    std::unordered_map<std::string, std::map<std::string, LocalizationEntry>> translations;
};

}
