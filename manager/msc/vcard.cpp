// vCard 2.1 writing and reading for `KernelContact`; the field numbers are the
// record's, the property table the firmware's.
#include "manager/msc/vcard.h"

#include <vector>

#include "common/text.h"
#include "platform/contacts/vcard_reader.h"

namespace hub {
namespace {

enum ContactField : int {
  kFirstName = 0,
  kLastName = 1,
  kNickname = 2,
  kOrganisation = 3,
  kTitle = 4,
  kHomeAddress = 5,  // 5..11
  kWorkAddress = 12, // 12..18
  kWorkVoice = 19,
  kHomeVoice = 20,
  kCellVoice = 21,
  kWorkFax = 22,
  kHomeFax = 23,
  kUrl = 24,
  kEmail = 25,
  kNote = 26,
};
constexpr int kAddressParts = 7;

std::string OneLine(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') continue;
    out += (value[i] == '\r' || value[i] == '\n') ? ' ' : value[i];
  }
  return out;
}

std::string Component(std::string_view value) {
  std::string out;
  for (char c : OneLine(value)) {
    if (c == ';' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

struct Telephone {
  const char* first;
  const char* second;
  int field;
};
constexpr Telephone kTelephones[] = {
    {"work", "voice", kWorkVoice}, {"home", "voice", kHomeVoice}, {"cell", "voice", kCellVoice},
    {"work", "fax", kWorkFax},     {"home", "fax", kHomeFax},
};

}  // namespace

std::string VCardText(const KernelContact& c) {
  auto plain = [&](int f) { return OneLine(c.field[f].Get()); };
  auto part = [&](int f) { return Component(c.field[f].Get()); };
  auto address = [&](int first) {
    std::string out;
    for (int i = 0; i < kAddressParts; ++i) out += (i ? ";" : "") + part(first + i);
    return out;
  };
  std::string t;
  t += "begin:vcard\n";
  t += "version:2.1\n";
  t += "n:" + part(kLastName) + ";" + part(kFirstName) + "\n";
  t += "fn:" + plain(kFirstName) + " " + plain(kLastName) + "\n";
  t += "nickname:" + plain(kNickname) + "\n";
  t += "org:" + part(kOrganisation) + "\n";
  t += "title:" + plain(kTitle) + "\n";
  t += "note:" + plain(kNote) + "\n";
  t += "tel;work;voice:" + plain(kWorkVoice) + "\n";
  t += "tel;home;voice:" + plain(kHomeVoice) + "\n";
  t += "tel;cell;voice:" + plain(kCellVoice) + "\n";
  t += "tel;work;fax:" + plain(kWorkFax) + "\n";
  t += "tel;home;fax:" + plain(kHomeFax) + "\n";
  t += "adr;work:" + address(kWorkAddress) + "\n";
  t += "adr;home:" + address(kHomeAddress) + "\n";
  t += "email;pref;internet:" + plain(kEmail) + "\n";
  t += "url;work:" + plain(kUrl) + "\n";
  t += "end:vcard\n";
  return t;
}

void ReadVCardText(std::string_view text, KernelContact& contact) {
  contact.Clear();
  // The card was turned into UTF-8 from the player's code page already.
  for (const platform::VCardLine& line : platform::ReadVCardLines(text, false)) {
    // The firmware's table names a property by its first two type words.
    std::string first, second;
    for (const std::string& t : line.types) {
      if (t == "pref") continue;
      if (first.empty()) first = t;
      else if (second.empty()) second = t;
    }
    std::string value = TrimWhitespace(line.value);
    std::vector<std::string> parts = platform::SplitVCardValue(value);
    parts.resize(parts.size() + kAddressParts);
    auto set = [&](int field, std::string_view v) { contact.field[field].Set(v); };
    const std::string& name = line.name;

    if (name == "n") {
      set(kFirstName, parts[1]);
      set(kLastName, parts[0]);
    } else if (name == "nickname") {
      set(kNickname, value);
    } else if (name == "org") {
      set(kOrganisation, parts[0]);
    } else if (name == "title") {
      set(kTitle, value);
    } else if (name == "note") {
      set(kNote, value);
    } else if (name == "adr" && (first == "work" || first == "home")) {
      int at = first == "work" ? kWorkAddress : kHomeAddress;
      for (int i = 0; i < kAddressParts; ++i) set(at + i, parts[i]);
    } else if (name == "tel") {
      for (const auto& tel : kTelephones) {
        if (first == tel.first && second == tel.second) set(tel.field, value);
      }
    } else if (name == "url") {
      set(kUrl, value);
    } else if (name == "email") {
      set(kEmail, value);
    }
  }
}

}  // namespace hub
