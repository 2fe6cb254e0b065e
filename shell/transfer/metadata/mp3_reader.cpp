// MP3: tags through id3lib behind our ID3v2 guard (v2.4 through our own walk),
// then length and bitrate from a VBR header or the first acceptable frame.
#include <id3/misc_support.h>
#include <id3/tag.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "shell/transfer/metadata/id3lib_reader.h"
#include "shell/transfer/metadata/id3v2_walker.h"
#include "shell/transfer/metadata/metadata_text.h"
#include "shell/transfer/metadata/track_info.h"

namespace hub::metadata {
namespace {

// What the reader takes from one tag, whoever parsed it.
struct TagValues {
  bool present = false;
  std::string leadArtist, band, album, title, composer, comment, year, genre;
  uint32_t track = 0;
  std::optional<uint32_t> rating;  // the POPM byte
  std::optional<uint32_t> popmCounter, playCounter;

  std::string Artist() const { return leadArtist.empty() ? band : leadArtist; }
};

uint32_t CounterValue(const uint8_t* p, size_t n) {
  uint64_t value = 0;
  for (size_t i = 0; i < n; ++i) {
    value = value << 8 | p[i];
    if (value > UINT32_MAX) return UINT32_MAX;
  }
  return uint32_t(value);
}

// --- Our walk (v2.4) ---

TagValues FromWalk(const Id3v2Scan& scan) {
  TagValues v;
  auto text = [&](const char* id) -> std::string {
    for (const auto& tag : scan.tags)
      if (const Id3v2Frame* f = tag.Find(id)) return Id3TextFrameValue(f->body);
    return {};
  };
  auto find = [&](const char* id) -> const Id3v2Frame* {
    for (const auto& tag : scan.tags)
      if (const Id3v2Frame* f = tag.Find(id)) return f;
    return nullptr;
  };
  v.present = !scan.tags.empty();
  v.leadArtist = text("TPE1");
  v.band = text("TPE2");
  v.album = text("TALB");
  v.title = text("TIT2");
  v.composer = text("TCOM");
  v.year = text("TDRC");
  if (v.year.empty()) v.year = text("TYER");
  v.genre = GenreFromId3Text(text("TCON"));
  v.track = uint32_t(std::strtoul(text("TRCK").c_str(), nullptr, 10));
  if (const Id3v2Frame* f = find("COMM"); f && f->body.size() >= 4) {
    // Encoding, language, description, then the text.
    size_t used = 0;
    const uint8_t* p = f->body.data() + 4;
    size_t n = f->body.size() - 4;
    DecodeId3Text(f->body[0], p, n, &used);
    v.comment = DecodeId3Text(f->body[0], p + used, n - used);
  }
  if (const Id3v2Frame* f = find("POPM")) {
    const auto& b = f->body;
    size_t email = 0;
    while (email < b.size() && b[email]) ++email;
    if (email + 1 < b.size()) {
      v.rating = b[email + 1];
      if (email + 2 < b.size()) v.popmCounter = CounterValue(b.data() + email + 2, b.size() - email - 2);
    }
  }
  if (const Id3v2Frame* f = find("PCNT"); f && !f->body.empty()) v.playCounter = CounterValue(f->body.data(), f->body.size());
  return v;
}

// --- id3lib (v2.2, v2.3, v1) ---

std::string FieldText(const ID3_Field* field) {
  if (!field) return {};
  // Size() counts the stored text's bytes.
  const size_t bytes = field->Size();
  ID3_TextEnc encoding = field->GetEncoding();
  if (encoding == ID3TE_UTF16 || encoding == ID3TE_UTF16BE) {
    // id3lib keeps UTF-16 text high byte first whatever the file's byte order mark.
    const unicode_t* text = field->GetRawUnicodeText();
    if (!text) return {};
    size_t n = 0;
    while (n < bytes / 2 && text[n]) ++n;
    return Utf16BytesToUtf8(reinterpret_cast<const uint8_t*>(text), n * 2, true);
  }
  const char* text = field->GetRawText();
  if (!text) return {};
  std::string_view raw(text, strnlen(text, bytes));
  return encoding == ID3TE_UTF8 ? ValidUtf8(raw) : Latin1ToUtf8(raw);
}

std::string FrameText(const ID3_Tag& tag, ID3_FrameID id) {
  const ID3_Frame* frame = tag.Find(id);
  return frame ? FieldText(frame->GetField(ID3FN_TEXT)) : std::string();
}

TagValues FromId3lib(const ID3_Tag& tag) {
  TagValues v;
  v.present = true;
  v.leadArtist = FrameText(tag, ID3FID_LEADARTIST);
  v.band = FrameText(tag, ID3FID_BAND);
  v.album = FrameText(tag, ID3FID_ALBUM);
  v.title = FrameText(tag, ID3FID_TITLE);
  v.composer = FrameText(tag, ID3FID_COMPOSER);
  v.comment = FrameText(tag, ID3FID_COMMENT);
  v.track = uint32_t(ID3_GetTrackNum(&tag));
  if (char* year = ID3_GetYear(&tag)) {
    v.year = year;
    delete[] year;
  }
  size_t genreNumber = ID3_GetGenreNum(&tag);
  if (const char* name = genreNumber < kId3v1GenreCount ? Id3v1GenreName(genreNumber) : nullptr) {
    v.genre = name;
  } else {
    v.genre = FrameText(tag, ID3FID_CONTENTTYPE);
  }
  if (const ID3_Frame* f = tag.Find(ID3FID_POPULARIMETER)) {
    if (const ID3_Field* rating = f->GetField(ID3FN_RATING)) v.rating = rating->Get();
    if (const ID3_Field* counter = f->GetField(ID3FN_COUNTER)) v.popmCounter = counter->Get();
  }
  if (const ID3_Frame* f = tag.Find(ID3FID_PLAYCOUNTER))
    if (const ID3_Field* counter = f->GetField(ID3FN_COUNTER)) v.playCounter = counter->Get();
  return v;
}

// --- The audio ---

constexpr uint32_t kMpeg1Kbps[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr uint32_t kMpeg2Kbps[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
constexpr size_t kBlockBytes = 5000;
constexpr int kMaxBlocks = 100;
// A VBR header needs 18 bytes from its name; blocks overlap so none is split.
constexpr size_t kOverlap = 18;

bool IsFrameHeader(const uint8_t* p) {
  return p[0] == 0xFF && ((p[1] >> 3) & 3) != 1 && ((p[1] >> 1) & 3) == 1 && (p[2] >> 4) != 0 && (p[2] >> 4) != 15 &&
         ((p[2] >> 2) & 3) != 3 && (p[3] & 3) != 2;
}

uint32_t Clamp32(double v) { return v <= 0 ? 0 : v >= 4294967295.0 ? UINT32_MAX : uint32_t(v); }

int ScanAudio(const ByteSource& source, uint64_t start, int64_t audioBytes, _AUDIODATA& record) {
  const uint64_t audio = audioBytes > 0 ? uint64_t(audioBytes) : 0;
  const uint64_t audioKbits = audio * 8 / 1000;
  uint8_t buffer[kBlockBytes];
  bool vbr = false;
  uint32_t frames = 0;
  uint64_t pos = start;
  for (int round = 0; round < kMaxBlocks; ++round) {
    const size_t n = source.ReadAt(pos, buffer, sizeof buffer);
    if (n == 0) return 0;
    for (size_t i = 0; !vbr && i + kOverlap <= n; ++i) {
      const bool xing = std::memcmp(buffer + i, "Xing", 4) == 0;
      if (!xing && std::memcmp(buffer + i, "VBRI", 4) != 0) continue;
      frames = BigEndian32(buffer + i + (xing ? 8 : 14));
      uint32_t bitrate = frames ? Clamp32(double(audio) / frames * 44100 / 144000) : 0;
      record.bitrate = bitrate;
      if (bitrate > 0) record.length = uint32_t(std::min<uint64_t>(audioKbits / bitrate, UINT32_MAX));
      vbr = bitrate > 0 && bitrate < 1000 && record.length > 0 && record.length < 86400;
    }
    for (size_t i = 0; i + 4 <= n; ++i) {
      const uint8_t* h = buffer + i;
      if (!IsFrameHeader(h)) continue;
      const uint32_t rateIndex = (h[2] >> 2) & 3;
      if (vbr) {
        if (rateIndex != 0) {
          const uint32_t rate = rateIndex == 1 ? 48000 : 32000;
          record.sampleRate = rate;
          record.bitrate = Clamp32(double(audio) / frames * rate / 144000);
          if (record.bitrate > 0) record.length = uint32_t(std::min<uint64_t>(audioKbits / record.bitrate, UINT32_MAX));
        } else {
          record.sampleRate = 44100;
        }
        return 1;
      }
      const uint32_t version = (h[1] >> 3) & 3, index = h[2] >> 4;
      const uint32_t bitrate = version == 3 ? kMpeg1Kbps[index] : kMpeg2Kbps[index];
      record.bitrate = bitrate;
      if (bitrate > 0) record.length = uint32_t(std::min<uint64_t>(audioKbits / bitrate, UINT32_MAX));
      if (bitrate > 0 && bitrate < 1000 && record.length > 0 && record.length < 86400) return 1;
    }
    if (n < sizeof buffer) return 0;  // the end of the file
    pos += n - kOverlap;
  }
  return 0;
}

}  // namespace

int ReadMp3Info(const ByteSource& source, _AUDIODATA& record) {
  const Id3v2Scan scan = ScanId3v2Tags(source);
  if (!scan.sound) std::fprintf(stderr, "ID3v2 tag not read (%s): %s\n", scan.fault.c_str(), record.path.str().c_str());
  const bool id3libFits = source.Size() <= kMaxId3libFileBytes;

  // The v2 tag: id3lib's for v2.2/v2.3, ours for v2.4; nothing for a tag the guard refused.
  TagValues v2;
  uint64_t prepended = scan.tagBytes;
  uint64_t appended = 0;
  if (scan.sound && !scan.tags.empty()) {
    if (scan.hasOlder() && id3libFits) {
      Id3libByteReader reader(source);
      ID3_Tag tag;
      tag.Link(reader, ID3TT_ID3V2);
      v2 = FromId3lib(tag);
      v2.present = tag.HasTagType(ID3TT_ID3V2);
      prepended = tag.GetPrependedBytes();
      appended = tag.GetAppendedBytes();
    } else {
      v2 = FromWalk(scan);
    }
  }
  record.artist.Set(Utf8ToAnsi(v2.Artist()));
  record.album.Set(Utf8ToAnsi(v2.album));
  record.title.Set(Utf8ToAnsi(v2.title));
  if (v2.rating) record.rating = uint8_t(double(*v2.rating) * 100 * (1.0 / 255));
  if (v2.popmCounter) record.playCount = *v2.popmCounter;
  if (v2.playCounter) record.playCount = *v2.playCounter;

  const TagValues* values = &v2;
  TagValues v1;
  if (!v2.present || record.artist.empty() || record.album.empty() || record.title.empty()) {
    // A v1-only link never parses the v2 tags, so a refused tag stays unread.
    if (id3libFits) {
      Id3libByteReader reader(source);
      ID3_Tag tag;
      tag.Link(reader, ID3TT_ID3V1);
      v1 = FromId3lib(tag);
      appended = tag.GetAppendedBytes();
    }
    values = &v1;
  }
  record.trackNumber = values->track;
  if (record.artist.empty()) record.artist.Set(Utf8ToAnsi(values->Artist()));
  if (record.album.empty()) record.album.Set(Utf8ToAnsi(values->album));
  if (record.title.empty()) record.title.Set(Utf8ToAnsi(values->title));
  record.composer.Set(Utf8ToAnsi(values->composer));
  record.comment.Set(Utf8ToAnsi(values->comment));
  if (!values->year.empty()) record.year = uint32_t(std::max(0, std::atoi(values->year.c_str())));
  record.genre.Set(Utf8ToAnsi(values->genre));

  const int64_t audioBytes = int64_t(source.Size()) - int64_t(prepended) - int64_t(appended);
  return ScanAudio(source, prepended, audioBytes, record);
}

}  // namespace hub::metadata
