// The vCard reader: unfolding, parameters of the three versions, decoding,
// card boundaries, and the contact items made from cards.
#include "platform/contacts/vcard_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/contacts/contact_store.h"
#include "vcard_fuzz_body.h"

namespace hub::platform {
namespace {

std::string Prop(std::string_view text, ContactProperty p) {
  std::vector<VCard> cards = ReadVCards(text);
  if (cards.empty()) return "(no card)";
  return ContactItemFromCard(cards[0])->Property(p);
}
std::string FullName(std::string_view text) {
  std::vector<VCard> cards = ReadVCards(text);
  return cards.empty() ? "(no card)" : ContactItemFromCard(cards[0])->FullName();
}

TEST(VCardReader, LinesAreUnfoldedAndTheirParametersRead) {
  std::vector<VCardLine> lines = ReadVCardLines(
      "item1.TEL;TYPE=\"work,voice\";type=PREF:1\r\n"
      "NOTE:a\r\n b\r\n\tc\r\n"
      "TEL;HOME;FAX:2\n"
      "no colon\r"
      "FN;ENCODING=QUOTED-PRINTABLE:x=3D=\r\ny\n");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].group, "item1");
  EXPECT_EQ(lines[0].name, "tel");
  EXPECT_EQ(lines[0].types, (std::vector<std::string>{"work", "voice", "pref"}));
  EXPECT_EQ(lines[1].value, "abc");
  EXPECT_EQ(lines[2].types, (std::vector<std::string>{"home", "fax"}));
  EXPECT_EQ(lines[3].value, "x=y") << "soft break joined, =3D decoded";
}

TEST(VCardReader, ValuesAreDecodedToUtf8OrMarkedUnreadable) {
  struct Case {
    const char* line;
    const char* value;
    bool error;
  } cases[] = {
      {"N;CHARSET=ISO-8859-1:M\xfcller", "M\xc3\xbcller", false},
      {"N;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:=C3=A9", "\xc3\xa9", false},
      {"N;QUOTED-PRINTABLE;CHARSET=WINDOWS-1252:=80", "\xe2\x82\xac", false},
      {"N;ENCODING=QUOTED-PRINTABLE:=ZZ=4", "=ZZ=4", false},
      {"N;CHARSET=X-NO-SUCH-SET:abc", "", true},
      {"N;CHARSET=UTF-16LE:\xff", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<VCardLine> lines = ReadVCardLines(c.line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].value, c.value);
    EXPECT_EQ(!lines[0].error.empty(), c.error);
  }
}

TEST(VCardReader, CardsAreWhatLiesBetweenBeginAndEnd) {
  std::vector<VCard> cards = ReadVCards(
      "FN:outside\n"
      "BEGIN:VCARD\nVERSION:4.0\nFN:one\nBEGIN:VCARD\nFN:nested\nEND:VCARD\nEMAIL:e\nEND:VCARD\n"
      "begin:vcard\nfn:two\nKIND:group\n");
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(cards[0].version, "4.0");
  EXPECT_EQ(cards[0].Find("fn")->value, "one");
  EXPECT_NE(cards[0].Find("email"), nullptr) << "the card goes on after a nested one";
  EXPECT_FALSE(cards[0].IsGroup());
  EXPECT_TRUE(cards[1].IsGroup()) << "an unterminated last card still counts";
}

TEST(VCardReader, ContactItemsMapTheVersionsProperties) {
  using P = ContactProperty;
  const char* v21 =
      "BEGIN:VCARD\nVERSION:2.1\nN:Doe;John\nTEL;WORK;VOICE:1\nTEL;HOME:2\nTEL;CELL:3\nTEL;WORK;FAX:4\n"
      "TEL;HOME;FAX:5\nADR;WORK:box;ext;street;city;state;code;land\nEMAIL;INTERNET:first@x\nEMAIL:second@x\n"
      "URL:http://a\nURL;WORK:http://w\nEND:VCARD\n";
  const char* v30 = "BEGIN:VCARD\nVERSION:3.0\nFN:Ann\\, Lee\nORG:Acme\\; Sons;Sales\nTITLE:Boss\\nof all\nEND:VCARD\n";
  const char* v40 =
      "BEGIN:VCARD\nVERSION:4.0\nFN:Bo\nTEL;VALUE=uri;TYPE=\"home,voice\":tel:+1-555\nURL:http://only\nEND:VCARD\n";
  struct Case {
    const char* card;
    P property;
    const char* value;
  } cases[] = {
      {v21, P::FirstName, "John"},        {v21, P::LastName, "Doe"},
      {v21, P::BusinessTelephone, "1"},   {v21, P::HomeTelephone, "2"},
      {v21, P::MobileTelephone, "3"},     {v21, P::BusinessFax, "4"},
      {v21, P::HomeFax, "5"},             {v21, P::BusinessPostOfficeBox, "box"},
      {v21, P::BusinessStreet, "street"}, {v21, P::BusinessCountry, "land"},
      {v21, P::HomeStreet, ""},           {v21, P::Email1Address, "first@x"},
      {v21, P::BusinessHomePage, "http://w"},
      {v30, P::CompanyName, "Acme; Sons"}, {v30, P::JobTitle, "Boss\nof all"},
      {v40, P::HomeTelephone, "+1-555"},  {v40, P::BusinessHomePage, "http://only"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.card).substr(0, 40) + " " + std::to_string(static_cast<int>(c.property)));
    EXPECT_EQ(Prop(c.card, c.property), c.value);
  }
  EXPECT_EQ(FullName(v21), "John Doe") << "from N without FN";
  EXPECT_EQ(FullName(v30), "Ann, Lee");
  std::vector<VCard> bad = ReadVCards("BEGIN:VCARD\nFN;CHARSET=X-NOPE:a\nEND:VCARD\n");
  EXPECT_THROW(ContactItemFromCard(bad[0])->FullName(), ContactStoreError);
}

TEST(VCardReader, TheFuzzBodyReadsTheCorpus) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(VCARD_CORPUS_DIR)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    SCOPED_TRACE(entry.path().filename().string());
    EXPECT_GT(test::FuzzVCardText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0u);
    // Every prefix too: a card cut anywhere is still read without fault.
    for (size_t n = 0; n < bytes.size(); ++n) test::FuzzVCardText(reinterpret_cast<const uint8_t*>(bytes.data()), n);
    ++files;
  }
  EXPECT_GE(files, 4);
}

}  // namespace
}  // namespace hub::platform
