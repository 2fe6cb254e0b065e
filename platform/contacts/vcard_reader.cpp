// vCard lines: unfolding, parameters, quoted-printable and character sets.
#include "platform/contacts/vcard_reader.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace hub::platform {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string TrimBlanks(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
  return std::string(s.substr(a, b - a));
}

// Physical lines, whatever their ends.
std::vector<std::string_view> PhysicalLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// The head's parameters split at ";" outside double quotes.
std::vector<std::string> SplitParameters(std::string_view head) {
  std::vector<std::string> parts(1);
  bool quoted = false;
  for (char c : head) {
    if (c == '"') quoted = !quoted;
    else if (c == ';' && !quoted) parts.emplace_back();
    else parts.back() += c;
  }
  return parts;
}

bool IsQuotedPrintableHead(std::string_view head) {
  std::string h = Lower(head);
  return h.find("quoted-printable") != std::string::npos;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string DecodeQuotedPrintable(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '=' && i + 2 < s.size()) {
      int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    if (s[i] == '=' && i + 1 == s.size()) continue;  // a soft break left at the very end
    out += s[i];
  }
  return out;
}

// `bytes` in `charset` as UTF-8; false when the set is unknown or the bytes are not in it.
bool ToUtf8(std::string_view charset, std::string_view bytes, std::string& out, std::string& error) {
  std::string set = Lower(charset);
  if (set.empty() || set == "utf-8" || set == "utf8" || set == "us-ascii") {
    out.assign(bytes);
    return true;
  }
  iconv_t cd = iconv_open("UTF-8", std::string(charset).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    error = "unknown character set " + std::string(charset);
    return false;
  }
  std::string in(bytes);
  out.assign(in.size() * 4 + 4, '\0');
  char* src = in.data();
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) {
    error = "the value is not in " + std::string(charset);
    return false;
  }
  out.resize(out.size() - dstLeft);
  return true;
}

VCardLine ParseLine(std::string_view line, bool applyCharset) {
  VCardLine out;
  // The head ends at the first ":" outside double quotes.
  size_t colon = std::string_view::npos;
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    else if (line[i] == ':' && !quoted) {
      colon = i;
      break;
    }
  }
  std::vector<std::string> params = SplitParameters(line.substr(0, colon));
  std::string name = Lower(TrimBlanks(params[0]));
  if (size_t dot = name.rfind('.'); dot != std::string::npos) {
    out.group = name.substr(0, dot);
    name = name.substr(dot + 1);
  }
  out.name = name;
  std::string encoding, charset;
  for (size_t i = 1; i < params.size(); ++i) {
    std::string p = TrimBlanks(params[i]);
    size_t eq = p.find('=');
    if (eq == std::string::npos) {
      std::string word = Lower(p);
      if (word == "quoted-printable" || word == "base64" || word == "8bit" || word == "7bit") encoding = word;
      else if (!word.empty()) out.types.push_back(word);
      continue;
    }
    std::string key = Lower(TrimBlanks(p.substr(0, eq)));
    std::string value = TrimBlanks(p.substr(eq + 1));
    if (key == "type") {
      // "work,voice", "\"work,voice\"" or one word.
      std::string word;
      for (char c : value + ",") {
        if (c == '"') continue;
        if (c == ',') {
          if (!word.empty()) out.types.push_back(Lower(TrimBlanks(word)));
          word.clear();
        } else {
          word += c;
        }
      }
    } else if (key == "encoding") {
      encoding = Lower(value);
    } else if (key == "charset") {
      charset = value;
    } else if (key == "value") {
      out.valueType = Lower(value);
    }
  }
  std::string_view raw = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
  std::string bytes = encoding == "quoted-printable" ? DecodeQuotedPrintable(raw) : std::string(raw);
  if (!ToUtf8(applyCharset ? std::string_view(charset) : std::string_view(), bytes, out.value, out.error)) out.value.clear();
  return out;
}

}  // namespace

bool VCardLine::HasType(std::string_view word) const {
  for (const std::string& t : types)
    if (t == word) return true;
  return false;
}

const VCardLine* VCard::Find(std::string_view name) const {
  for (const VCardLine& l : lines)
    if (l.name == name) return &l;
  return nullptr;
}

bool VCard::IsGroup() const {
  for (const VCardLine& l : lines)
    if ((l.name == "kind" || l.name == "x-addressbookserver-kind") && Lower(TrimBlanks(l.value)) == "group") return true;
  return false;
}

std::vector<VCardLine> ReadVCardLines(std::string_view text, bool applyCharset) {
  std::vector<VCardLine> out;
  std::vector<std::string_view> physical = PhysicalLines(text);
  std::string logical;
  bool have = false;
  auto flush = [&] {
    if (have && logical.find(':') != std::string::npos && out.size() < kVCardMaxLines) out.push_back(ParseLine(logical, applyCharset));
    logical.clear();
    have = false;
  };
  for (std::string_view line : physical) {
    if (have && !line.empty() && (line[0] == ' ' || line[0] == '\t')) {
      logical.append(line.substr(1));
      continue;
    }
    // A quoted-printable soft break: the value goes on, whatever the next line starts with.
    if (have && !logical.empty() && logical.back() == '=' && IsQuotedPrintableHead(logical.substr(0, logical.find(':')))) {
      logical.pop_back();
      logical.append(line);
      continue;
    }
    flush();
    if (line.empty()) continue;
    logical.assign(line);
    have = true;
  }
  flush();
  return out;
}

std::vector<VCard> ReadVCards(std::string_view text) {
  std::vector<VCard> cards;
  int depth = 0;
  for (VCardLine& line : ReadVCardLines(text)) {
    std::string value = Lower(TrimBlanks(line.value));
    if (line.name == "begin" && value == "vcard") {
      if (depth++ == 0 && cards.size() < kVCardMaxCards) cards.emplace_back();
      continue;
    }
    if (line.name == "end" && value == "vcard") {
      if (depth > 0) --depth;
      continue;
    }
    if (depth != 1 || cards.empty()) continue;
    if (line.name == "version") cards.back().version = TrimBlanks(line.value);
    cards.back().lines.push_back(std::move(line));
  }
  return cards;
}

std::vector<std::string> SplitVCardValue(std::string_view value) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c == '\\' && i + 1 < value.size()) {
      char n = value[++i];
      parts.back() += (n == 'n' || n == 'N') ? '\n' : n;
    } else if (c == ';') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

std::string UnescapeVCardText(std::string_view value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      char n = value[++i];
      out += (n == 'n' || n == 'N') ? '\n' : n;
    } else {
      out += value[i];
    }
  }
  return out;
}

}  // namespace hub::platform
