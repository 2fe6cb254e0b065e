// UTF-8 <-> UTF-16 conversion: exact for valid text, U+FFFD for each malformed
// sequence, never reading past the input.
#include <gtest/gtest.h>

#include "common/utf16.h"

namespace hub {
namespace {

TEST(Utf16Test, ValidTextRoundTrips) {
  const char* texts[] = {"", "plain", "Caf\xC3\xA9", "\xE2\x82\xAC 5", "Song \xF0\x9F\x8E\xB5", "E:\\Music\\a.mp3"};
  for (const char* t : texts) EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(t)), t) << t;
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x8E\xB5"), std::u16string(u"\U0001F3B5"));
}

TEST(Utf16Test, MalformedInputBecomesReplacementCharacters) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"a\x80z", u"a\uFFFDz"},             // stray continuation byte
      {"\xC3", u"\uFFFD"},                 // cut-off sequence at the end
      {"\xC3(", u"\uFFFD("},               // broken sequence resumes at the breaking byte
      {"\xC0\xAF", u"\uFFFD\uFFFD"},       // overlong form
      {"\xED\xA0\x80", u"\uFFFD"},         // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD"},     // past U+10FFFF
      {"\xFF", u"\uFFFD"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
  std::u16string lone = u"a";
  lone += char16_t(0xD800);
  lone += u"b";
  lone += char16_t(0xDC00);
  EXPECT_EQ(Utf16ToUtf8(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST(Utf16Test, CutNeverSplitsASurrogatePair) {
  std::u16string text = u"ab\U0001F3B5c";
  EXPECT_EQ(Utf16CutLength(text, 10), 5u);
  EXPECT_EQ(Utf16CutLength(text, 4), 4u);
  EXPECT_EQ(Utf16CutLength(text, 3), 2u);
  EXPECT_EQ(Utf16CutLength(text, 2), 2u);
  EXPECT_EQ(Utf16CutLength(text, 0), 0u);
}

}  // namespace
}  // namespace hub
