#pragma once
// JSON Pointer paths into the project document, and the one place that walks
// them.
//
// A pointer is a sequence of tokens separated by "/"; a leading "/" is
// optional, so "link/name" and "/link/name" are the same path relative to
// the value they are applied to. Inside a token "~0" stands for "~" and "~1"
// for "/", so a member name holding either is written with escape(). A "~"
// followed by anything else stays a "~". A token is a member name for an
// object and a decimal index for an array.

#include <string>
#include <string_view>

#include "Base/Export.h"
#include "Editor/Json.h"

namespace ZandelleEngine { namespace JsonPointer {

/** The token of member name @p name: "~" becomes "~0", "/" becomes "~1" */
ZANDELLE_EXPORT std::string escape(std::string_view name);

/** Appends "/" and the token of member name @p name to @p pointer */
ZANDELLE_EXPORT void append(std::string& pointer, std::string_view name);

/** The member name of token @p token. Returns @p token itself when it holds
    no "~", else the unescaped name stored in @p storage. */
ZANDELLE_EXPORT std::string_view unescape(std::string_view token, std::string& storage);

/** The member name of token @p token, as a string */
inline std::string unescape(std::string_view token) {
    std::string storage;
    const std::string_view name = unescape(token, storage);
    return name.data() == storage.data() ? std::move(storage) : std::string{name};
}

/** Takes the first token off @p rest (a leading "/" is skipped) into
    @p token; false when @p rest is empty. */
inline bool nextToken(std::string_view& rest, std::string_view& token) {
    if(rest.empty()) return false;
    if(rest.front() == '/') rest.remove_prefix(1);
    const std::size_t end = rest.find('/');
    if(end == std::string_view::npos) {
        token = rest;
        rest = {};
    } else {
        token = rest.substr(0, end);
        /* Keeps the "/": "a/" ends in an empty token, not in nothing */
        rest = rest.substr(end);
    }
    return true;
}

/** The number of tokens of @p pointer */
ZANDELLE_EXPORT std::size_t tokenCount(std::string_view pointer);

/** The array index of token @p token; false when it is not a plain decimal
    number of at most nine digits */
ZANDELLE_EXPORT bool parseIndex(std::string_view token, std::size_t& index);

/** The member called @p name (one unescaped name, not a path) of @p object;
    null when @p object is null, not an object or has no such member */
ZANDELLE_EXPORT const JsonValue* member(const JsonValue* object, std::string_view name);

/** The child of @p value addressed by the raw (escaped) token @p token */
ZANDELLE_EXPORT const JsonValue* child(const JsonValue* value, std::string_view token);

/** The value at @p pointer below @p root; @p root itself for an empty
    pointer, null when any token names nothing */
ZANDELLE_EXPORT const JsonValue* find(const JsonValue* root, std::string_view pointer);

}}
