// vCard 2.1 writing and reading for `KernelContact`; the field numbers are the
// record's, the property table the firmware's.
#include "manager/msc/vcard.h"

#include <vector>

#include "common/text.h"

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

// Splits at unescaped ";", undoing "\;" and "\\"; empty components keep their place.
std::vector<std::string> SplitComponents(std::string_view value) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c == '\\' && i + 1 < value.size() && (value[i + 1] == ';' || value[i + 1] == '\\')) {
      parts.back() += value[++i];
    } else if (c == ';') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

struct Property {
  std::string name;
  std::string first;
  std::string second;
};

Property ParseProperty(std::string_view head) {
  std::string text = AsciiLower(TrimWhitespace(head));
  text = ReplaceAll(text, "type=", "");
  text = ReplaceAll(text, ";pref", "");
  Property p;
  std::string* slots[] = {&p.name, &p.first, &p.second};
  size_t slot = 0;
  for (char c : text) {
    if (c == ';') {
      if (++slot == 3) break;
      continue;
    }
    *slots[slot] += c;
  }
  return p;
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
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    Property p = ParseProperty(line.substr(0, colon));
    std::string value = TrimWhitespace(line.substr(colon + 1));
    std::vector<std::string> parts = SplitComponents(value);
    parts.resize(parts.size() + kAddressParts);
    auto set = [&](int field, std::string_view v) { contact.field[field].Set(v); };

    if (p.name == "n") {
      set(kFirstName, parts[1]);
      set(kLastName, parts[0]);
    } else if (p.name == "nickname") {
      set(kNickname, value);
    } else if (p.name == "org") {
      set(kOrganisation, parts[0]);
    } else if (p.name == "title") {
      set(kTitle, value);
    } else if (p.name == "note") {
      set(kNote, value);
    } else if (p.name == "adr" && (p.first == "work" || p.first == "home")) {
      int first = p.first == "work" ? kWorkAddress : kHomeAddress;
      for (int i = 0; i < kAddressParts; ++i) set(first + i, parts[i]);
    } else if (p.name == "tel") {
      for (const auto& tel : kTelephones) {
        if (p.first == tel.first && p.second == tel.second) set(tel.field, value);
      }
    } else if (p.name == "url") {
      set(kUrl, value);
    } else if (p.name == "email") {
      set(kEmail, value);
    }
  }
}

}  // namespace hub
