// Text helpers shared by both deliverables. Text is UTF-8 throughout.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace hub {

// The longest prefix of at most `cap` bytes that ends on a UTF-8 character boundary.
size_t Utf8CutLength(std::string_view text, size_t cap);
// The text cut to at most `cap` bytes on a character boundary.
std::string Utf8Cut(std::string_view text, size_t cap);

std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);

// Case-insensitive comparison over UTF-8 by Unicode simple case folding
// (locale-independent; bytes that are not UTF-8 compare as themselves);
// answers <0, 0 or >0.
int CompareNoCase(std::string_view a, std::string_view b);
bool EqualsNoCase(std::string_view a, std::string_view b);
// Case-folded copy (same folding as CompareNoCase), for keys and substring tests.
std::string FoldCase(std::string_view text);

std::string TrimWhitespace(std::string_view text);

// Splits at any of the separator characters; no empty tokens. Returns the count.
int SplitString(std::vector<std::string>& out, std::string_view text, std::string_view separators);

// Path text clean-up of player and display paths (drive-letter form).
std::string NormalizePath(std::string_view path);
std::string TrimTrailingDots(std::string_view text);
std::string RemoveSlashes(std::string_view text);

// Percent-encodes bytes below 0x21, from 0x7F, and "<>%{}|\^[]` and the backquote.
std::string CanonicalizeUrl(std::string_view text);

// Every byte other than letters, digits and "-._~" as %XX: a name from tags
// as one path segment of an address, safe inside an HTML attribute too.
std::string PercentEncodePathSegment(std::string_view text);

// Replaces every occurrence of `from` in `text` by `to`.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// Text as HTML (or XML) character data or attribute value: "&", "<", ">",
// '"' and "'" as entities. The one escaper of every page and report.
std::string HtmlEscape(std::string_view text);

}  // namespace hub
