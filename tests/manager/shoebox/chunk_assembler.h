// Builds database files from a readable description, independently of the
// database's own writer, so round trips are checked against bytes a person
// wrote down. Grammar (whitespace separated, '#' starts a comment):
//   chunk  := TAG/PAYLOAD[=TOTAL] { item* }   total defaults to the real length
//   item   := chunk | u8 N | u16 N | u32 N | u64 N | hex HEXDIGITS | zeros N
//           | record N { (@OFFSET TYPE N)* }  N zero bytes with fields placed
//           | text ID "string"                a TS chunk: id, count, UTF-16LE + NUL
//           | units "string"                  UTF-16LE code units, no NUL
// Strings are UTF-8 with escapes \" \\ and \uXXXX (one raw UTF-16 unit, so an
// unpaired surrogate can be written).
#pragma once

#include <cctype>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace hub::test {

struct AssembledChunk {
  std::string tag;
  size_t start = 0;
  size_t end = 0;
  int depth = 0;
};

struct Assembled {
  std::vector<uint8_t> bytes;
  std::vector<AssembledChunk> chunks;  // in file order
};

class ChunkAssembler {
 public:
  static Assembled Build(std::string_view source) {
    ChunkAssembler a(source);
    while (a.Peek() != "") a.Chunk(0);
    return std::move(a.out_);
  }

 private:
  explicit ChunkAssembler(std::string_view source) : src_(source) {}

  std::string Next() {
    std::string t = Peek();
    pos_ = peekEnd_;
    return t;
  }
  std::string Peek() {
    size_t p = pos_;
    for (;;) {
      while (p < src_.size() && std::isspace(static_cast<unsigned char>(src_[p]))) ++p;
      if (p < src_.size() && src_[p] == '#') {
        while (p < src_.size() && src_[p] != '\n') ++p;
        continue;
      }
      break;
    }
    if (p >= src_.size()) {
      peekEnd_ = p;
      return "";
    }
    size_t start = p;
    if (src_[p] == '"') {
      ++p;
      while (p < src_.size() && src_[p] != '"') p += src_[p] == '\\' ? 2 : 1;
      peekEnd_ = p + 1;
      return std::string(src_.substr(start, peekEnd_ - start));
    }
    while (p < src_.size() && !std::isspace(static_cast<unsigned char>(src_[p]))) ++p;
    peekEnd_ = p;
    return std::string(src_.substr(start, p - start));
  }
  void Expect(const std::string& what) {
    std::string t = Next();
    if (t != what) throw std::runtime_error("assembler: expected " + what + ", got " + t);
  }
  static uint64_t Number(const std::string& t) {
    if (t.empty()) throw std::runtime_error("assembler: number expected");
    return std::stoull(t, nullptr, 0);
  }

  void Put(uint64_t v, int width) {
    for (int i = 0; i < width; ++i) out_.bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void PutAt(size_t at, uint64_t v, int width) {
    for (int i = 0; i < width; ++i) out_.bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }

  static std::u16string Units(const std::string& quoted) {
    std::string s = quoted.substr(1, quoted.size() - 2);
    std::u16string u;
    for (size_t i = 0; i < s.size();) {
      unsigned char b = static_cast<unsigned char>(s[i]);
      if (b == '\\') {
        char e = s[i + 1];
        if (e == 'u') {
          u += static_cast<char16_t>(std::stoul(s.substr(i + 2, 4), nullptr, 16));
          i += 6;
        } else {
          u += static_cast<char16_t>(e);
          i += 2;
        }
        continue;
      }
      int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
      uint32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
      for (int k = 1; k <= extra; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
      i += 1 + extra;
      if (c >= 0x10000) {
        c -= 0x10000;
        u += static_cast<char16_t>(0xD800 + (c >> 10));
        u += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
      } else {
        u += static_cast<char16_t>(c);
      }
    }
    return u;
  }

  static int Width(const std::string& type) {
    if (type == "u8") return 1;
    if (type == "u16") return 2;
    if (type == "u32") return 4;
    if (type == "u64") return 8;
    throw std::runtime_error("assembler: unknown type " + type);
  }

  // TAG/PAYLOAD[=TOTAL] { ... }
  void Chunk(int depth) {
    std::string head = Next();
    size_t slash = head.find('/');
    if (head.size() < 4 || slash != 2) throw std::runtime_error("assembler: bad chunk head " + head);
    size_t eq = head.find('=');
    uint64_t payload = Number(head.substr(3, eq == std::string::npos ? std::string::npos : eq - 3));
    bool fixedTotal = eq != std::string::npos;
    uint64_t total = fixedTotal ? Number(head.substr(eq + 1)) : 0;
    size_t start = out_.bytes.size();
    size_t index = out_.chunks.size();
    out_.chunks.push_back({head.substr(0, 2), start, 0, depth});
    out_.bytes.push_back(static_cast<uint8_t>(head[0]));
    out_.bytes.push_back(static_cast<uint8_t>(head[1]));
    Put(1, 1);
    Put(0, 1);
    Put(payload, 2);
    Put(0, 2);
    Put(0, 4);
    Expect("{");
    while (Peek() != "}") Item(depth);
    Next();
    out_.chunks[index].end = out_.bytes.size();
    PutAt(start + 8, fixedTotal ? total : out_.bytes.size() - start, 4);
  }

  void Item(int depth) {
    std::string t = Peek();
    if (t.size() >= 4 && t[2] == '/') return Chunk(depth + 1);
    Next();
    if (t == "u8" || t == "u16" || t == "u32" || t == "u64") return Put(Number(Next()), Width(t));
    if (t == "zeros") return out_.bytes.resize(out_.bytes.size() + Number(Next()));
    if (t == "hex") {
      std::string h = Next();
      for (size_t i = 0; i + 1 < h.size(); i += 2) Put(std::stoul(h.substr(i, 2), nullptr, 16), 1);
      return;
    }
    if (t == "record") {
      size_t at = out_.bytes.size();
      out_.bytes.resize(at + Number(Next()));
      Expect("{");
      while (Peek() != "}") {
        std::string off = Next();
        if (off[0] != '@') throw std::runtime_error("assembler: @offset expected, got " + off);
        int width = Width(Next());
        PutAt(at + Number(off.substr(1)), Number(Next()), width);
      }
      Next();
      return;
    }
    if (t == "units") {
      for (char16_t u : Units(Next())) Put(u, 2);
      return;
    }
    if (t == "text") {
      uint64_t id = Number(Next());
      std::u16string u = Units(Next());
      size_t start = out_.bytes.size();
      out_.chunks.push_back({"TS", start, start + 16 + 2 * (u.size() + 1), depth + 1});
      Put('T', 1);
      Put('S', 1);
      Put(1, 1);
      Put(0, 1);
      Put(4, 2);
      Put(0, 2);
      Put(16 + 2 * (u.size() + 1), 4);
      Put(id, 2);
      Put(u.size() + 1, 2);
      for (char16_t c : u) Put(c, 2);
      Put(0, 2);
      return;
    }
    throw std::runtime_error("assembler: unknown item " + t);
  }

  std::string_view src_;
  size_t pos_ = 0;
  size_t peekEnd_ = 0;
  Assembled out_;
};

}  // namespace hub::test
