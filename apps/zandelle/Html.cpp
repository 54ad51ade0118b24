#include "Html.h"

#include <algorithm>
#include <cstdint>

namespace ZandelleEngine { namespace Cli {

namespace {

/* Length of the UTF-8 sequence at the start of @p text, 0 when it is not
   one (overlong forms, surrogates and values above U+10FFFF included) */
std::size_t utf8Length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return std::uint8_t(text[i]); };
    const std::uint8_t lead = byte(0);
    if(lead < 0x80) return 1;
    const std::size_t length = lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3 : lead >= 0xf0 && lead <= 0xf4 ? 4 : 0;
    if(!length || text.size() < length) return 0;
    for(std::size_t i = 1; i != length; ++i) if((byte(i) & 0xc0) != 0x80) return 0;
    if(lead == 0xe0 && byte(1) < 0xa0) return 0;
    if(lead == 0xed && byte(1) >= 0xa0) return 0;
    if(lead == 0xf0 && byte(1) < 0x90) return 0;
    if(lead == 0xf4 && byte(1) >= 0x90) return 0;
    /* U+FFFE and U+FFFF are not XML characters either */
    if(lead == 0xef && byte(1) == 0xbf && byte(2) >= 0xbe) return 0;
    return length;
}

}

std::string escapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for(std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        switch(c) {
            case '&': out += "&amp;"; ++i; continue;
            case '<': out += "&lt;"; ++i; continue;
            case '>': out += "&gt;"; ++i; continue;
            case '"': out += "&quot;"; ++i; continue;
            case '\'': out += "&#39;"; ++i; continue;
        }
        const std::size_t length = utf8Length(text.substr(i));
        if(!length || (std::uint8_t(c) < 0x20 && c != '\t' && c != '\n') || c == 0x7f) {
            out += "\xef\xbf\xbd";
            ++i;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

std::string base64(std::string_view bytes) {
    static const char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2)/3*4);
    for(std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(bytes.size() - i, 3);
        std::uint32_t v = 0;
        for(std::size_t k = 0; k != 3; ++k) v = v << 8 | (k < n ? std::uint8_t(bytes[i + k]) : 0u);
        for(std::size_t k = 0; k != 4; ++k) out += k <= n ? Alphabet[(v >> (18 - 6*k)) & 63] : '=';
    }
    return out;
}

void HtmlWriter::tagStart(std::string_view tag, Attributes attributes) {
    _out += '<';
    _out += tag;
    for(const auto& [name, value]: attributes) {
        _out += ' ';
        _out += name;
        _out += "=\"";
        _out += escapeHtml(value);
        _out += '"';
    }
}

HtmlWriter& HtmlWriter::open(std::string_view tag, Attributes attributes) {
    tagStart(tag, attributes);
    _out += '>';
    _open.emplace_back(tag);
    return *this;
}

HtmlWriter& HtmlWriter::close() {
    if(_open.empty()) return *this;
    _out += "</";
    _out += _open.back();
    _out += '>';
    _open.pop_back();
    return *this;
}

HtmlWriter& HtmlWriter::element(std::string_view tag, Attributes attributes, std::string_view text) {
    open(tag, attributes);
    this->text(text);
    return close();
}

HtmlWriter& HtmlWriter::empty(std::string_view tag, Attributes attributes) {
    tagStart(tag, attributes);
    _out += "/>";
    return *this;
}

HtmlWriter& HtmlWriter::text(std::string_view text) {
    _out += escapeHtml(text);
    return *this;
}

HtmlWriter& HtmlWriter::raw(std::string_view markup) {
    _out += markup;
    return *this;
}

std::string HtmlWriter::finish() {
    while(!_open.empty()) close();
    return std::move(_out);
}

}}
