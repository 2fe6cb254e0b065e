#include "art_fixtures.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace hub::test {
namespace {

void Collect(void* context, void* data, int size) {
  auto* out = static_cast<Bytes*>(context);
  auto* p = static_cast<uint8_t*>(data);
  out->insert(out->end(), p, p + size);
}

Bytes Pixels(int width, int height, uint32_t rgba) {
  Bytes px(static_cast<size_t>(width) * height * 4);
  for (size_t i = 0; i < px.size(); i += 4) {
    px[i] = static_cast<uint8_t>(rgba >> 24);
    px[i + 1] = static_cast<uint8_t>(rgba >> 16);
    px[i + 2] = static_cast<uint8_t>(rgba >> 8);
    px[i + 3] = static_cast<uint8_t>(rgba);
  }
  return px;
}

void Be32(Bytes& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

}  // namespace

Bytes MakePng(int width, int height, uint32_t rgba) {
  Bytes px = Pixels(width, height, rgba), out;
  if (!stbi_write_png_to_func(Collect, &out, width, height, 4, px.data(), width * 4)) throw std::runtime_error("png");
  return out;
}

Bytes MakeJfifJpeg(int width, int height) {
  Bytes px = Pixels(width, height, 0x2040C0FF), out;
  if (!stbi_write_jpg_to_func(Collect, &out, width, height, 4, px.data(), 90)) throw std::runtime_error("jpg");
  return out;
}

Bytes MakeExifJpeg(int width, int height) {
  Bytes jfif = MakeJfifJpeg(width, height);
  // FF D8, then the APP0 segment (FF E0, length) that JFIF writes first.
  if (jfif.size() < 6 || jfif[2] != 0xFF || jfif[3] != 0xE0) throw std::runtime_error("no JFIF segment");
  size_t app0 = static_cast<size_t>(jfif[4] << 8 | jfif[5]);
  Bytes exifBody = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};
  Bytes out = {0xFF, 0xD8, 0xFF, 0xE1, 0, static_cast<uint8_t>(exifBody.size() + 2)};
  out.insert(out.end(), exifBody.begin(), exifBody.end());
  out.insert(out.end(), jfif.begin() + 4 + static_cast<ptrdiff_t>(app0), jfif.end());
  return out;
}

Bytes MakeGif() {
  return {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0,
          1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0, 0x3B};
}

Bytes TextFrame(const std::string& text) {
  Bytes b = {0};
  b.insert(b.end(), text.begin(), text.end());
  return b;
}

Bytes PictureFrame(const std::string& mime, const Bytes& picture) {
  Bytes b = {0};
  b.insert(b.end(), mime.begin(), mime.end());
  b.push_back(0);
  b.push_back(3);  // front cover
  b.push_back(0);  // empty description
  b.insert(b.end(), picture.begin(), picture.end());
  return b;
}

Bytes AudioBytes(size_t size, uint8_t seed) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>((i * 31 + seed) & 0x7F);
  for (size_t i = 0; i + 4 < size; i += 418) {
    b[i] = 0xFF;
    b[i + 1] = 0xFB;
    b[i + 2] = 0x90;
    b[i + 3] = 0x64;
  }
  return b;
}

Bytes MakeMp3(const std::vector<std::pair<std::string, Bytes>>& frames, const Bytes& audio) {
  Bytes body;
  for (const auto& [id, data] : frames) {
    body.insert(body.end(), id.begin(), id.end());
    Be32(body, static_cast<uint32_t>(data.size()));
    body.push_back(0);
    body.push_back(0);
    body.insert(body.end(), data.begin(), data.end());
  }
  body.resize(body.size() + 64, 0);  // padding
  Bytes out = {'I', 'D', '3', 3, 0, 0};
  uint32_t n = static_cast<uint32_t>(body.size());
  for (int s = 21; s >= 0; s -= 7) out.push_back(static_cast<uint8_t>((n >> s) & 0x7F));
  out.insert(out.end(), body.begin(), body.end());
  out.insert(out.end(), audio.begin(), audio.end());
  return out;
}

Bytes Atom(const std::string& type, const Bytes& body) {
  Bytes out;
  Be32(out, static_cast<uint32_t>(body.size() + 8));
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes Concat(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes MakeMp4(const std::vector<Bytes>& items) {
  Bytes ilst = Atom("ilst", Concat(items));
  Bytes hdlr = Atom("hdlr", Bytes(25, 0));
  Bytes meta = Atom("meta", Concat({Bytes{0, 0, 0, 0}, hdlr, ilst}));
  Bytes moov = Atom("moov", Concat({Atom("mvhd", Bytes(100, 0)), Atom("udta", meta)}));
  return Concat({Atom("ftyp", {'M', '4', 'A', ' ', 0, 0, 0, 0}), moov, Atom("mdat", AudioBytes(2000))});
}

Bytes CoverItem(const Bytes& picture) {
  return Atom("covr", Atom("data", Concat({Bytes{0, 0, 0, 14, 0, 0, 0, 0}, picture})));
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace hub::test
