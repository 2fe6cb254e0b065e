// vCard 2.1 contact files: the fixed lines the firmware reads, the lenient
// reader, and values that must not break out of their line or component.
#include <gtest/gtest.h>

#include "golden_files.h"
#include "manager/msc/player_text.h"
#include "manager/msc/vcard.h"

namespace hub {
namespace {

KernelContact FullContact() {
  const char* values[kContactFieldCount] = {
      "John", "Doe", "Johnny", "Acme; Sons", "Engineer",
      "PO 1", "Flat 2", "2 Elm St", "M\xC3\xBCnster", "NRW", "48143", "Germany",
      "PO 9", "Suite 4", "1 Main St", "Springfield", "IL", "62701", "USA",
      "+1 555 0100", "+1 555 0101", "+1 555 0102", "+1 555 0103", "+1 555 0104",
      "http://example.com/~john", "john@example.com", "first line\nsecond line",
  };
  KernelContact c;
  for (int i = 0; i < kContactFieldCount; ++i) c.field[i].Set(values[i]);
  return c;
}

std::string CardBytes(const KernelContact& c) { return WithCrLf(PlayerTextCodec("WINDOWS-1252").ToPlayer(VCardText(c))); }

KernelContact ReadCardBytes(const std::string& bytes) {
  KernelContact c;
  ReadVCardText(PlayerTextCodec("WINDOWS-1252").FromPlayer(bytes), c);
  return c;
}

TEST(VCardTest, FullRecordAndEmptyHomeAddressMatchGoldenBytes) {
  // golden/*.vcf.txt were typed with printf from the 18-line table, CR LF,
  // Windows-1252; the note's line end folded to a blank, the ";" of the
  // organisation escaped.
  EXPECT_EQ(CardBytes(FullContact()), test::ReadGolden("contact_full.vcf.txt"));
  KernelContact jane;
  jane.field[0].Set("Jane");
  jane.field[1].Set("Roe");
  EXPECT_EQ(CardBytes(jane), test::ReadGolden("contact_empty_home.vcf.txt"));
  KernelContact back = ReadCardBytes(test::ReadGolden("contact_empty_home.vcf.txt"));
  for (int i = 5; i <= 11; ++i) EXPECT_TRUE(back.field[i].empty()) << i;
  EXPECT_EQ(back.field[0].Get(), "Jane");
}

TEST(VCardTest, AllFieldsRoundTrip) {
  KernelContact full = FullContact();
  full.field[26].Set("a note; with \\ and ; in it");
  full.field[8].Set("back\\slash;semi");
  full.field[3].Set("\\;");
  KernelContact back = ReadCardBytes(CardBytes(full));
  for (int i = 0; i < kContactFieldCount; ++i) EXPECT_EQ(back.field[i].Get(), full.field[i].Get()) << "field " << i;
}

TEST(VCardTest, NewlinesAndSemicolonsCannotInjectOrShift) {
  KernelContact evil;
  evil.field[26].Set("hi\r\ntel;cell;voice:666\nend:vcard");
  evil.field[5].Set("a;b;c");
  evil.field[0].Set("x\ny");
  KernelContact back = ReadCardBytes(CardBytes(evil));
  EXPECT_TRUE(back.field[21].empty());
  EXPECT_EQ(back.field[26].Get(), "hi tel;cell;voice:666 end:vcard");
  EXPECT_EQ(back.field[5].Get(), "a;b;c");
  EXPECT_TRUE(back.field[6].empty());
  EXPECT_EQ(back.field[0].Get(), "x y");
}

TEST(VCardTest, ReaderTable) {
  struct Case {
    const char* line;
    int field;
    const char* value;
  } cases[] = {
      {"N:Doe;John", 0, "John"},
      {"N:Doe;John", 1, "Doe"},
      {"n:Doe", 1, "Doe"},
      {"n:Doe", 0, ""},
      {"EMAIL;PREF;INTERNET: john@x.org ", 25, "john@x.org"},
      {"email:a;b@x", 25, "a;b@x"},
      {"TEL;TYPE=CELL;TYPE=VOICE:123", 21, "123"},
      {"TEL;CELL:123", 21, ""},
      {"tel;pref;home;fax:9", 23, "9"},
      {"ORG:Acme;Sales", 3, "Acme"},
      {"ADR;HOME:;;Street;Town", 7, "Street"},
      {"ADR;HOME:;;Street;Town", 8, "Town"},
      {"ADR;WORK;POSTAL:1;2;3;4;5;6;7;8", 18, "7"},
      {"ADR:;;Nowhere", 7, ""},
      {"no colon here", 0, ""},
      {"title:Boss: of all", 4, "Boss: of all"},
      {"URL:http://x", 24, "http://x"},
  };
  for (const auto& c : cases) {
    KernelContact k;
    k.field[c.field].Set("stale");
    ReadVCardText(c.line, k);
    EXPECT_EQ(k.field[c.field].Get(), c.value) << c.line;
  }
}

TEST(VCardTest, LongValueIsCutOnACharacterBoundary) {
  std::string note = "note:";
  for (int i = 0; i < 200; ++i) note += "\xC3\xA9";  // 400 bytes
  KernelContact k;
  ReadVCardText(note, k);
  EXPECT_LE(k.field[26].Get().size(), 260u);
  EXPECT_EQ(k.field[26].Get().size() % 2, 0u);
}

}  // namespace
}  // namespace hub
