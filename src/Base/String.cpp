#include "Base/String.h"

namespace ZandelleEngine { namespace String {

std::vector<std::string> split(std::string_view text, char delimiter) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for(;;) {
        const std::size_t end = text.find(delimiter, start);
        if(end == std::string_view::npos) {
            out.emplace_back(text.substr(start));
            return out;
        }
        out.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::vector<std::string> splitWithoutEmptyParts(std::string_view text, char delimiter) {
    std::vector<std::string> out;
    for(std::string& s: split(text, delimiter)) if(!s.empty()) out.push_back(std::move(s));
    return out;
}

std::string join(const std::vector<std::string>& parts, std::string_view delimiter) {
    std::string out;
    for(std::size_t i = 0; i != parts.size(); ++i) {
        if(i) out += delimiter;
        out += parts[i];
    }
    return out;
}

std::string replaceAll(std::string_view text, std::string_view search, std::string_view replace) {
    if(search.empty()) return std::string{text};
    std::string out;
    std::size_t start = 0;
    for(;;) {
        const std::size_t found = text.find(search, start);
        if(found == std::string_view::npos) break;
        out += text.substr(start, found - start);
        out += replace;
        start = found + search.size();
    }
    out += text.substr(start);
    return out;
}

std::string lowercase(std::string_view text) {
    std::string out{text};
    for(char& c: out) if(c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

std::string_view trim(std::string_view text) {
    const char* ws = " \t\r\n\f\v";
    const std::size_t b = text.find_first_not_of(ws);
    if(b == std::string_view::npos) return {};
    const std::size_t e = text.find_last_not_of(ws);
    return text.substr(b, e - b + 1);
}

bool isValidUtf8(std::string_view text) {
    for(std::size_t i = 0; i != text.size();) {
        const unsigned char c = text[i];
        std::size_t length;
        char32_t codePoint;
        if(c < 0x80) { ++i; continue; }
        else if((c & 0xe0) == 0xc0) { length = 2; codePoint = c & 0x1f; }
        else if((c & 0xf0) == 0xe0) { length = 3; codePoint = c & 0x0f; }
        else if((c & 0xf8) == 0xf0) { length = 4; codePoint = c & 0x07; }
        else return false;
        if(text.size() - i < length) return false;
        for(std::size_t j = 1; j != length; ++j) {
            const unsigned char next = text[i + j];
            if((next & 0xc0) != 0x80) return false;
            codePoint = (codePoint << 6)|(next & 0x3f);
        }
        constexpr char32_t Smallest[]{0, 0, 0x80, 0x800, 0x10000};
        if(codePoint < Smallest[length] || codePoint > 0x10ffff || (codePoint >= 0xd800 && codePoint <= 0xdfff))
            return false;
        i += length;
    }
    return true;
}

std::string shellQuote(std::string_view text) {
    std::string out = "'";
    for(char c: text) {
        if(c == '\'') out += "'\\''";
        else out += c;
    }
    out += "'";
    return out;
}

}}
