// The records of the player's database: one `SBTrackV100` per track and one
// `SBPlaylistV100` per playlist. Each keeps the stored fixed bytes verbatim, so
// bytes the system gives no meaning are written back as they were read; named
// fields are read and written little-endian at their offsets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hub {

struct _AUDIODATA;

// Longest text the database stores, in UTF-16 code units without the NUL
// (the reader takes no text whose count with the NUL passes 4096).
constexpr size_t kShoeboxMaxText = 4095;

// Text ids of a track ("TS" children of "IT").
enum ShoeboxTrackText : int {
  kTrackTextPath = 100,
  kTrackText101 = 101,
  kTrackTextArtist = 102,
  kTrackText103 = 103,
  kTrackTextComposer = 104,
  kTrackTextAlbum = 105,
  kTrackTextTitle = 106,
  kTrackTextGenre = 107,
  kTrackTextComment = 108,
  kTrackText109 = 109,
  kTrackTextSeventh = 110,
  kTrackTextFirst = 100,
  kTrackTextLast = 113,
};
constexpr int kTrackTextCount = kTrackTextLast - kTrackTextFirst + 1;

// Byte offsets of the 120-byte track record.
enum SBTrackOffset : size_t {
  kTrackOffId = 0,
  kTrackOffAdded = 4,
  kTrackOffAddedCopy = 8,
  kTrackOffSize = 16,
  kTrackOffModified = 28,
  kTrackOffCodec = 32,
  kTrackOffBitrate = 36,
  kTrackOffSampleRate = 40,
  kTrackOffLengthMs = 48,
  kTrackOffBpm = 52,
  kTrackOffTrackNumber = 56,
  kTrackOffTrackCount = 58,
  kTrackOffDiscNumber = 60,
  kTrackOffDiscCount = 62,
  kTrackOffCompilation = 64,
  kTrackOffYear = 66,
  kTrackOffRating = 68,
  kTrackOff96 = 96,
  kTrackOff100 = 100,
  kTrackOff104 = 104,
  kTrackOffLastPlayed = 112,
};
constexpr size_t kSBTrackSize = 120;
static_assert(kTrackOffLastPlayed + 4 <= kSBTrackSize);

class SBTrackV100 {
 public:
  std::array<uint8_t, kSBTrackSize> bytes{};

  uint32_t Id() const { return U32(kTrackOffId); }
  void SetId(uint32_t id) { SetU32(kTrackOffId, id); }
  // The file's size in bytes. Sizes of 2 to 4 GiB are often stored sign-extended
  // from 32 bits (0xFFFFFFFFC0000000 for 3 GiB); those are their low 32 bits.
  uint64_t Size() const {
    uint64_t stored = U64(kTrackOffSize);
    return stored >> 31 == 0x1FFFFFFFFull ? stored & 0xFFFFFFFFull : stored;
  }
  void SetSize(uint64_t size) { SetU64(kTrackOffSize, size); }
  uint16_t Codec() const { return U16(kTrackOffCodec); }
  void SetCodec(uint16_t code) { SetU16(kTrackOffCodec, code); }
  uint16_t TrackNumber() const { return U16(kTrackOffTrackNumber); }
  void SetTrackNumber(uint16_t n) { SetU16(kTrackOffTrackNumber, n); }

  uint8_t U8(size_t off) const { return bytes[off]; }
  uint16_t U16(size_t off) const { return static_cast<uint16_t>(bytes[off] | bytes[off + 1] << 8); }
  uint32_t U32(size_t off) const {
    return uint32_t(bytes[off]) | uint32_t(bytes[off + 1]) << 8 | uint32_t(bytes[off + 2]) << 16 |
           uint32_t(bytes[off + 3]) << 24;
  }
  uint64_t U64(size_t off) const { return U32(off) | uint64_t(U32(off + 4)) << 32; }
  void SetU8(size_t off, uint8_t v) { bytes[off] = v; }
  void SetU16(size_t off, uint16_t v);
  void SetU32(size_t off, uint32_t v);
  void SetU64(size_t off, uint64_t v) {
    SetU32(off, static_cast<uint32_t>(v));
    SetU32(off + 4, static_cast<uint32_t>(v >> 32));
  }

  // Texts 100 to 113; an empty text is an absent one. Setting cuts at
  // kShoeboxMaxText units without splitting a surrogate pair.
  std::u16string_view Text(int id) const;
  void SetText(int id, std::u16string_view text);
  // The track's file: its full path on the player, in the stored (backslash) form.
  std::u16string_view Path() const { return Text(kTrackTextPath); }

 private:
  friend class ShoeboxReader;
  static size_t Slot(int id);
  size_t OffsetOf(size_t slot) const;
  // All texts in id order in one string (one allocation per track, which keeps
  // loading 50,000 tracks fast), with the length of each.
  std::u16string texts_;
  std::array<uint16_t, kTrackTextCount> lengths_{};
};

// Byte offsets of the 16-byte playlist record.
enum SBPlaylistOffset : size_t {
  kPlaylistOffId = 0,
  kPlaylistOff4 = 4,
  kPlaylistOffItemCount = 8,
  kPlaylistOff12 = 12,
};
constexpr size_t kSBPlaylistSize = 16;

class SBPlaylistV100 {
 public:
  std::array<uint8_t, kSBPlaylistSize> bytes{};
  // Track ids in playlist order; an id may occur more than once.
  std::vector<uint32_t> items;

  uint32_t Id() const {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
  }
  void SetId(uint32_t id);
  const std::u16string& Name() const { return name_; }
  void SetName(std::u16string name);
  // Text 201, written back unchanged.
  const std::u16string& SecondText() const { return second_; }
  void SetSecondText(std::u16string text);

 private:
  std::u16string name_;
  std::u16string second_;
};

// Text ids of a playlist and of the database header.
constexpr int kPlaylistTextName = 200;
constexpr int kPlaylistTextSecond = 201;
constexpr int kHeaderTextOwner = 50;
constexpr int kHeaderTextSecond = 51;

// A text cut to what the database stores.
std::u16string_view BoundShoeboxText(std::u16string_view text);
void BoundShoeboxText(std::u16string& text);

// The file extension (without dot) of a codec code; "wav" for unknown codes.
std::string_view CodecExtension(int code);
// Codec code <-> file type of the track record.
uint16_t CodecFromFileType(int fileType);
uint8_t FileTypeFromCodec(int code);

// The conversions between the database's track record and the protocol's.
// TrackFromAudioData leaves the id, the unnamed bytes and the carried texts as they are.
void TrackFromAudioData(SBTrackV100& track, const _AUDIODATA& audio);
void AudioDataFromTrack(_AUDIODATA& audio, const SBTrackV100& track);
// TrackFromAudioData for a record that may have been read from `track` and
// sent back: a text that equals the stored one cut at the record field's
// bound keeps the stored text, so a read-modify-write never shortens it.
void UpdateTrackFromAudioData(SBTrackV100& track, const _AUDIODATA& audio);

}  // namespace hub
