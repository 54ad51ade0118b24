#pragma once
// Language data of the engine: per language the translated text of every
// term, and the term links that tell the runtime which project value each
// term replaces.
//
// Language data ("ZLNG", version 1, field 0, count = terms; see
// RuntimeData.h for the 12-byte header): the language's name, its key, then
// per term its name and its text; each string as a u32 byte length and its
// bytes, the whole padded with zeros to a multiple of 4 bytes.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Base/Export.h"

namespace ZandelleEngine { namespace Data {

using StringArrayView = std::span<const std::string>;

constexpr std::uint16_t LanguageDataVersion = 1;

/** Packs one language; @p strings holds 2 @p termCount strings, each term's
    name followed by its text */
ZANDELLE_EXPORT std::vector<char> createLanguageData(std::string_view name, std::string_view key,
    std::uint32_t termCount, StringArrayView strings);

struct LanguageDataView {
    std::string name, key;
    /** Term names and texts, alternating */
    std::vector<std::string> strings;
};
/** Empty when the bytes are not whole language data of this version */
ZANDELLE_EXPORT std::optional<LanguageDataView> readLanguageData(std::span<const char> data);

/** What a term replaces */
enum class TermLinkKind: std::uint16_t {
    Unresolved = 0,     /**< no value the runtime knows */
    ProjectName = 1,
    Text = 2,           /**< the text of an object's ordinal-th text component */
    JavaScript = 3      /**< parameter of the object's ordinal-th script component */
};

/** A resolved term link, 12 bytes */
struct TermLinkEntry {
    TermLinkKind kind = TermLinkKind::Unresolved;
    std::uint16_t object = 0;
    std::uint32_t ordinal = 0;
    /** Index among the script type's parameter names; NoParameter when the
        name is not one of them */
    std::uint32_t parameter = 0;
    static constexpr std::uint32_t NoParameter = 0xFFFFFFFFu;
    bool operator==(const TermLinkEntry&) const = default;
};

/** The languages of a scene */
struct LanguageStorage {
    /** Language data by language id; slot 0 is unused */
    std::vector<std::vector<char>> languages{1};
    /** (term, path) pairs of the default language's terms that have a path */
    std::vector<std::pair<std::string, std::string>> termLinks;
    /** termLinks resolved, in the same order */
    std::vector<TermLinkEntry> resolvedTermLinks;
};

}}
