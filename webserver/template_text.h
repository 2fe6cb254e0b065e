// Escapes of the page-template language: HTML text and the "passable" form
// that carries reserved characters through links and query strings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hub {

// Undoes HtmlEscape: "&amp;", "&lt;", "&gt;", "&quot;" and "&#39;".
std::string HtmlUnescape(std::string_view text);
// "&amp;" -> "|amp|", "+" -> "|plus|", "?" -> "|qmark|", "#" -> "|hash|",
// "=" -> "|eq|", "'" -> "|quote|", '"' -> "|dquote|", in that order.
std::string PassableEncode(std::string_view text);
std::string PassableDecode(std::string_view text);

// An item id in URLs and template arguments: unsigned decimal of at most 64
// bits, digits only. False for anything else (no item).
bool ParseItemId(std::string_view text, uint64_t& id);

// Blanks, tabs and line ends removed from both ends.
std::string TrimBlanks(std::string_view text);

}  // namespace hub

namespace hub {

// A raw text as it goes into a link's query value: passable-encoded ("&"
// included, as "|amp|"), blanks as "+", "%" as "%25", HTML-escaped: the
// browser sends it back whole and the query reader restores it exactly.
std::string PassableForLink(std::string_view raw);

}  // namespace hub
