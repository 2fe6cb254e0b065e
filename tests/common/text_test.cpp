#include "common/text.h"

#include <gtest/gtest.h>

namespace hub {
namespace {

TEST(TextTest, SplitDropsEmptyTokens) {
  std::vector<std::string> out;
  EXPECT_EQ(SplitString(out, ",one,,two,", ","), 2);
  EXPECT_EQ(out, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(SplitString(out, "a;b c", "; "), 3);
  EXPECT_EQ(SplitString(out, "", ","), 0);
  EXPECT_EQ(SplitString(out, "x\xC2\xA7y", "\xC2\xA7"), 2);  // a multibyte separator
}

TEST(TextTest, NormalizePathCases) {
  EXPECT_EQ(NormalizePath("c:/a//b:c"), "c:\\a\\bc");
  EXPECT_EQ(NormalizePath("\\\\srv\\x:y"), "\\\\srv\\xy");
  EXPECT_EQ(NormalizePath("a<b>c*d|e?\"f"), "abcdef");
  EXPECT_EQ(NormalizePath("E:\\\\\\x"), "E:\\x");
}

TEST(TextTest, DotsAndSlashes) {
  EXPECT_EQ(TrimTrailingDots("a..."), "a");
  EXPECT_EQ(TrimTrailingDots("."), ".");
  EXPECT_EQ(TrimTrailingDots("..."), ".");
  EXPECT_EQ(RemoveSlashes("AC/DC\\x"), "ACDCx");
}

TEST(TextTest, CanonicalizeUrlEscapesUnsafeBytes) {
  EXPECT_EQ(CanonicalizeUrl("a b%c"), "a%20b%25c");
  EXPECT_EQ(CanonicalizeUrl("<>{}|\\^[]`\""), "%3C%3E%7B%7D%7C%5C%5E%5B%5D%60%22");
  EXPECT_EQ(CanonicalizeUrl("\xC3\xA9-ok.mp3"), "%C3%A9-ok.mp3");
}

TEST(TextTest, CaseFoldingCoversLatin1) {
  EXPECT_TRUE(EqualsNoCase("ABBA", "abba"));
  EXPECT_TRUE(EqualsNoCase("\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89"));  // Été
  EXPECT_LT(CompareNoCase("abc", "ABD"), 0);
  EXPECT_GT(CompareNoCase("abcd", "ABC"), 0);
  EXPECT_EQ(FoldCase("\xC3\x84X"), "\xC3\xA4x");
}

// Simple case folding: one code point to one, the same in every locale.
TEST(TextTest, CaseFoldingIsUnicodeSimpleFolding) {
  struct Case {
    const char* a;
    const char* b;
    bool equal;
  };
  const Case cases[] = {
      {"Дмитрий", "дмитрий", true},
      {"ДМИТРИЙ ШОСТАКОВИЧ", "дмитрий шостакович", true},
      {"Ёж", "ёж", true},
      {"ΣΟΦΊΑ", "σοφία", true},
      {"ΟΔΥΣΣΕΎΣ", "οδυσσεύς", true},  // final sigma folds with sigma
      {"Œuvre", "œuvre", true},
      {"Šostakovič", "šostakovič", true},
      {"Žižek", "žižek", true},
      {"Ÿ", "ÿ", true},
      {"µ", "μ", true},                 // micro sign and Greek mu fold alike
      {"Straße", "STRASSE", false},     // ß to ss is full folding, not simple
      {"ẞ", "ß", true},                 // capital sharp s has a simple folding
      {"Istanbul", "istanbul", true},   // I is i whatever the locale
      {"İstanbul", "istanbul", false},  // dotted İ folds only fully (to i + dot) or in Turkish
      {"ıstanbul", "istanbul", false},  // dotless ı is a letter of its own
      {"Ǆ", "ǆ", true},                 // title-case digraphs
      {"Ａ", "ａ", true},               // full-width
      {"𐐀", "𐐨", true},                // outside the basic plane (Deseret)
      {"\xC4", "\xE4", false},          // stray bytes are not Latin-1 letters
      {"\xC4", "\xC4", true},
      {"a\xC3", "A\xC3", true},         // a character cut at the end
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EqualsNoCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(FoldCase(c.a) == FoldCase(c.b), c.equal) << c.a << " / " << c.b;
  }
  EXPECT_EQ(FoldCase("ДМИТРИЙ"), "дмитрий");
  EXPECT_EQ(FoldCase("Œ\xC4"), "œ\xC4");
}

TEST(TextTest, Utf8CutOnBoundary) {
  EXPECT_EQ(Utf8Cut("ab\xE2\x82\xAC", 4), "ab");
  EXPECT_EQ(Utf8Cut("ab\xE2\x82\xAC", 5), "ab\xE2\x82\xAC");
  EXPECT_EQ(Utf8Cut("abc", 10), "abc");
}

// One escaper for pages and reports: text stays text inside an element and inside
// a quoted attribute of either kind.
TEST(TextTest, HtmlEscapeMakesMarkupAndBothQuotesInert) {
  struct Case {
    const char* raw;
    const char* escaped;
  } cases[] = {
      {"", ""},
      {"plain Ünïcode", "plain Ünïcode"},
      {"Tom & Jerry", "Tom &amp; Jerry"},
      {"<b>x</b>", "&lt;b&gt;x&lt;/b&gt;"},
      {"say \"hi\"", "say &quot;hi&quot;"},
      {"it's", "it&#39;s"},
      {"&amp;", "&amp;amp;"},  // escaped once more, never taken for an entity
  };
  for (const Case& c : cases) EXPECT_EQ(HtmlEscape(c.raw), c.escaped) << c.raw;
}

}  // namespace
}  // namespace hub
