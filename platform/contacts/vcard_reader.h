// Reader of vCard text as address books export it: versions 2.1 (bare type
// words, quoted-printable, CHARSET), 3.0 and 4.0 (TYPE lists, escapes). Lines
// are unfolded and values decoded to UTF-8 here; what a property means is
// left to the caller. Everything read is bounded: hostile text gives fewer
// properties, never more memory than the text's size allows.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace hub::platform {

// One content line, unfolded.
struct VCardLine {
  std::string group;               // before "." in the name, lower-case
  std::string name;                // lower-case
  std::vector<std::string> types;  // lower-case type words: 2.1's bare words and every TYPE= list, "pref" included
  std::string valueType;           // VALUE=, lower-case
  std::string value;               // decoded to UTF-8; escapes kept (SplitVCardValue and UnescapeVCardText undo them)
  std::string error;               // why the value could not be decoded (empty: it could)

  bool HasType(std::string_view word) const;
};

struct VCard {
  std::string version;  // "2.1", "3.0", "4.0" as written; empty when missing
  std::vector<VCardLine> lines;

  // The first line of that name, or null.
  const VCardLine* Find(std::string_view name) const;
  // A group card (KIND:group, or the address-book server's X- kind): not a person.
  bool IsGroup() const;
};

// Bounds on what one text may yield.
inline constexpr size_t kVCardMaxLines = 1 << 16;
inline constexpr size_t kVCardMaxCards = 1 << 14;

// Content lines of `text` in order; lines without ":" are skipped. Lines end in
// CR LF, LF or CR; a line starting with a blank or tab continues the one
// before, and a quoted-printable value ending in "=" continues on the next line.
// `applyCharset` false: the text is already UTF-8 whatever CHARSET says.
std::vector<VCardLine> ReadVCardLines(std::string_view text, bool applyCharset = true);
// The cards of `text`: the lines between "BEGIN:VCARD" and "END:VCARD" (a card
// nested in another is left out; an unterminated last card still counts).
std::vector<VCard> ReadVCards(std::string_view text);

// A structured value's components, split at unescaped ";" (3.0 and 4.0 escapes undone).
std::vector<std::string> SplitVCardValue(std::string_view value);
// A text value's escapes undone: "\n" and "\N" a line end, "\,", "\;", "\\" the character.
std::string UnescapeVCardText(std::string_view value);

}  // namespace hub::platform
