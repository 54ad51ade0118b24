#pragma once
// A small writer of HTML that is also well-formed XML (XHTML syntax): every
// text and attribute value is escaped, elements are closed in order, and
// elements without content are written "<tag/>" only where HTML allows it
// (void elements and inline SVG).

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ZandelleEngine { namespace Cli {

/** @p text with "&", "<", ">", '"' and "'" as character references, bytes
    that are not UTF-8 as U+FFFD and control characters other than tab and
    line feed (which XML does not allow) as U+FFFD too */
std::string escapeHtml(std::string_view text);

/** Base64 of @p bytes, for data URIs */
std::string base64(std::string_view bytes);

class HtmlWriter {
    public:
        using Attributes = std::initializer_list<std::pair<std::string_view, std::string>>;

        /** Opens an element; attribute values are escaped */
        HtmlWriter& open(std::string_view tag, Attributes attributes = {});
        /** Closes the element opened last */
        HtmlWriter& close();
        /** An element holding @p text */
        HtmlWriter& element(std::string_view tag, Attributes attributes, std::string_view text);
        HtmlWriter& element(std::string_view tag, std::string_view text) { return element(tag, {}, text); }
        /** An element without content, "<tag/>": for void elements (img,
            meta) and SVG only */
        HtmlWriter& empty(std::string_view tag, Attributes attributes = {});
        HtmlWriter& text(std::string_view text);
        /** Markup of this program's own, written as it is (the style sheet) */
        HtmlWriter& raw(std::string_view markup);

        /** The document, every open element closed */
        std::string finish();

    private:
        void tagStart(std::string_view tag, Attributes attributes);

        std::string _out;
        std::vector<std::string> _open;
};

}}
