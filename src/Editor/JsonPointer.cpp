#include "Editor/JsonPointer.h"

#include <charconv>

namespace ZandelleEngine { namespace JsonPointer {

std::string escape(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for(char c: name) {
        if(c == '~') out += "~0";
        else if(c == '/') out += "~1";
        else out += c;
    }
    return out;
}

void append(std::string& pointer, std::string_view name) {
    pointer += '/';
    if(name.find_first_of("~/") == std::string_view::npos) pointer += name;
    else pointer += escape(name);
}

std::string_view unescape(std::string_view token, std::string& storage) {
    if(token.find('~') == std::string_view::npos) return token;
    storage.clear();
    storage.reserve(token.size());
    for(std::size_t i = 0; i < token.size(); ++i) {
        if(token[i] == '~' && i + 1 < token.size() && (token[i + 1] == '0' || token[i + 1] == '1')) {
            storage += token[i + 1] == '1' ? '/' : '~';
            ++i;
        } else storage += token[i];
    }
    return storage;
}

std::size_t tokenCount(std::string_view pointer) {
    std::size_t count = 0;
    std::string_view token;
    while(nextToken(pointer, token)) ++count;
    return count;
}

bool parseIndex(std::string_view token, std::size_t& index) {
    if(token.empty() || token.size() > 9) return false;
    for(char c: token) if(c < '0' || c > '9') return false;
    std::from_chars(token.data(), token.data() + token.size(), index);
    return true;
}

const JsonValue* member(const JsonValue* object, std::string_view name) {
    if(!object || !object->IsObject()) return nullptr;
    auto found = object->FindMember(JsonValue{rapidjson::StringRef(name.data(), rapidjson::SizeType(name.size()))});
    return found == object->MemberEnd() ? nullptr : &found->value;
}

const JsonValue* child(const JsonValue* value, std::string_view token) {
    if(!value) return nullptr;
    if(value->IsObject()) {
        std::string storage;
        return member(value, unescape(token, storage));
    }
    if(value->IsArray()) {
        std::size_t index;
        if(!parseIndex(token, index) || index >= value->Size()) return nullptr;
        return &(*value)[rapidjson::SizeType(index)];
    }
    return nullptr;
}

const JsonValue* find(const JsonValue* root, std::string_view pointer) {
    std::string_view token;
    while(root && nextToken(pointer, token)) root = child(root, token);
    return root;
}

}}
