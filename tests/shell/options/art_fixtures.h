// Pictures, MP3 and MP4 files made by the tests themselves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hub::test {

using Bytes = std::vector<uint8_t>;

Bytes MakePng(int width, int height, uint32_t rgba = 0xFF0000FF);
Bytes MakeJfifJpeg(int width, int height);
// The same picture with an Exif APP1 segment in place of the JFIF one.
Bytes MakeExifJpeg(int width, int height);
// A 1 x 1 GIF.
Bytes MakeGif();

// An ID3v2.3 tag of these (id, body) frames, then `audio`.
Bytes MakeMp3(const std::vector<std::pair<std::string, Bytes>>& frames, const Bytes& audio);
Bytes TextFrame(const std::string& text);  // Latin-1 text frame body
Bytes PictureFrame(const std::string& mime, const Bytes& picture);  // APIC body
// Audio-like bytes (MPEG frame headers among pattern bytes).
Bytes AudioBytes(size_t size, uint8_t seed = 1);

// An atom: big-endian size, type, body.
Bytes Atom(const std::string& type, const Bytes& body);
Bytes Concat(const std::vector<Bytes>& parts);
// ftyp, then moov/udta/meta/ilst holding `items`.
Bytes MakeMp4(const std::vector<Bytes>& items);
// A 'covr' item with one data atom holding the picture.
Bytes CoverItem(const Bytes& picture);

void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);

}  // namespace hub::test
