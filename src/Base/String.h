#pragma once
// String helpers.

#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"

namespace ZandelleEngine { namespace String {

/** Splits at every @p delimiter; empty parts are kept. */
ZANDELLE_EXPORT std::vector<std::string> split(std::string_view text, char delimiter);
/** Splits at every @p delimiter; empty parts are dropped. */
ZANDELLE_EXPORT std::vector<std::string> splitWithoutEmptyParts(std::string_view text, char delimiter);
ZANDELLE_EXPORT std::string join(const std::vector<std::string>& parts, std::string_view delimiter);
ZANDELLE_EXPORT std::string replaceAll(std::string_view text, std::string_view search, std::string_view replace);
ZANDELLE_EXPORT std::string lowercase(std::string_view text);
ZANDELLE_EXPORT std::string_view trim(std::string_view text);
/** Whether @p text is well-formed UTF-8: no stray or missing continuation
    bytes, no overlong forms, no surrogates, nothing above U+10FFFF */
ZANDELLE_EXPORT bool isValidUtf8(std::string_view text);
/** Quotes for a POSIX shell: 'text' with every ' written as '\'' */
ZANDELLE_EXPORT std::string shellQuote(std::string_view text);

inline bool beginsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }
inline bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}}
