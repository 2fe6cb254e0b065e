// Track and playlist records of the database, the codec table and the
// conversions to and from the protocol's track record.
#include "manager/shoebox/sb_track.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "common/records.h"
#include "common/text.h"
#include "common/utf16.h"

namespace hub {
namespace {

struct CodecRow {
  uint16_t code;
  uint8_t fileType;   // what the code converts to
  bool fromFileType;  // the code that this file type converts to
  std::string_view extension;
};

constexpr CodecRow kCodecs[] = {
    {1, kFileTypeUnknown, false, "wav"}, {10, kFileTypeWav, true, "wav"},   {20, kFileTypeMp3, true, "mp3"},
    {21, kFileTypeUnknown, false, "mp3"}, {30, kFileTypeWma, true, "wma"},  {40, kFileTypeUnknown, false, "aac"},
    {41, kFileTypeMp4, true, "mp4"},      {42, kFileTypeM4a, true, "m4a"},  {43, kFileTypeM4p, true, "m4p"},
    {44, kFileTypeM4b, true, "m4b"},      {50, kFileTypeOgg, true, "ogg"},  {51, kFileTypeFlac, true, "flac"},
    {60, kFileTypeAa, true, "aa"},        {70, kFileTypeUnknown, false, "shn"},
    {71, kFileTypeUnknown, false, "ape"},
};
constexpr uint16_t kCodecOther = 1;

const CodecRow* FindCodec(int code) {
  for (const auto& row : kCodecs)
    if (row.code == code) return &row;
  return nullptr;
}

uint16_t Saturate16(uint32_t v) { return static_cast<uint16_t>(std::min<uint32_t>(v, 0xFFFF)); }

std::u16string FromField(std::string_view text) { return Utf8ToUtf16(text); }

}  // namespace

namespace {
// What a track without bytes of its own reads: a zero record, no texts.
alignas(8) const char16_t kZeroRecord[kSBTrackSize / 2] = {};
}  // namespace

SBTrackV100::SBTrackV100() : at_(kZeroRecord) {}

SBTrackV100::SBTrackV100(const SBTrackV100& other) : at_(other.at_), offsets_(other.offsets_), lengths_(other.lengths_) {
  Rebuild(kTrackTextCount, {});
}

SBTrackV100& SBTrackV100::operator=(const SBTrackV100& other) {
  if (this != &other) *this = SBTrackV100(other);
  return *this;
}

SBTrackV100::SBTrackV100(SBTrackV100&& other) noexcept
    : at_(other.at_), own_(std::move(other.own_)), offsets_(other.offsets_), lengths_(other.lengths_) {
  other.at_ = kZeroRecord;
  other.offsets_ = {};
  other.lengths_ = {};
}

SBTrackV100& SBTrackV100::operator=(SBTrackV100&& other) noexcept {
  if (this != &other) {
    at_ = other.at_;
    own_ = std::move(other.own_);
    offsets_ = other.offsets_;
    lengths_ = other.lengths_;
    other.at_ = kZeroRecord;
    other.offsets_ = {};
    other.lengths_ = {};
  }
  return *this;
}

void SBTrackV100::ThrowBadTextId() { throw std::out_of_range("track text id"); }

void SBTrackV100::Rebuild(size_t replace, std::u16string_view text) {
  size_t total = kRecordUnits;
  for (size_t slot = 0; slot < kTrackTextCount; ++slot) total += slot == replace ? text.size() : lengths_[slot];
  // Built beside the old bytes, which `text` may be a view of.
  auto block = std::unique_ptr<char16_t[]>(new char16_t[total]);
  std::copy(at_, at_ + kRecordUnits, block.get());
  size_t at = kRecordUnits;
  for (size_t slot = 0; slot < kTrackTextCount; ++slot) {
    std::u16string_view piece = slot == replace ? text : std::u16string_view(at_ + offsets_[slot], lengths_[slot]);
    std::copy(piece.begin(), piece.end(), block.get() + at);
    offsets_[slot] = static_cast<uint16_t>(at);
    lengths_[slot] = static_cast<uint16_t>(piece.size());
    at += piece.size();
  }
  own_ = std::move(block);
  at_ = own_.get();
}

uint8_t* SBTrackV100::MutableBytes() {
  if (!own_ || at_ != own_.get()) Rebuild(kTrackTextCount, {});
  return reinterpret_cast<uint8_t*>(own_.get());
}

void SBTrackV100::Assemble(const uint8_t* record, std::u16string_view texts,
                           const std::array<uint16_t, kTrackTextCount>& lengths) {
  auto block = std::unique_ptr<char16_t[]>(new char16_t[kRecordUnits + texts.size()]);
  std::memcpy(block.get(), record, kSBTrackSize);
  std::copy(texts.begin(), texts.end(), block.get() + kRecordUnits);
  size_t at = kRecordUnits;
  for (size_t slot = 0; slot < kTrackTextCount; ++slot) {
    offsets_[slot] = static_cast<uint16_t>(at);
    lengths_[slot] = lengths[slot];
    at += lengths[slot];
  }
  own_ = std::move(block);
  at_ = own_.get();
}

void SBTrackV100::SetU16(size_t off, uint16_t v) {
  uint8_t* b = MutableBytes();
  b[off] = static_cast<uint8_t>(v);
  b[off + 1] = static_cast<uint8_t>(v >> 8);
}

void SBTrackV100::SetU32(size_t off, uint32_t v) {
  uint8_t* b = MutableBytes();
  for (int i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

void SBTrackV100::SetText(int id, std::u16string_view text) {
  size_t slot = Slot(id);
  Rebuild(slot, BoundShoeboxText(text));
}

void SBPlaylistV100::SetId(uint32_t id) {
  for (int i = 0; i < 4; ++i) bytes[kPlaylistOffId + i] = static_cast<uint8_t>(id >> (8 * i));
}

void SBPlaylistV100::SetName(std::u16string name) {
  BoundShoeboxText(name);
  name_ = std::move(name);
}
void SBPlaylistV100::SetSecondText(std::u16string text) {
  BoundShoeboxText(text);
  second_ = std::move(text);
}

std::u16string_view BoundShoeboxText(std::u16string_view text) {
  return text.substr(0, Utf16CutLength(text, kShoeboxMaxText));
}

void BoundShoeboxText(std::u16string& text) { text.resize(Utf16CutLength(text, kShoeboxMaxText)); }

std::string_view CodecExtension(int code) {
  const CodecRow* row = FindCodec(code);
  return row ? row->extension : "wav";
}

uint16_t CodecFromFileType(int fileType) {
  for (const auto& row : kCodecs)
    if (row.fromFileType && row.fileType == fileType) return row.code;
  return kCodecOther;
}

uint8_t FileTypeFromCodec(int code) {
  const CodecRow* row = FindCodec(code);
  return row ? row->fileType : static_cast<uint8_t>(kFileTypeUnknown);
}

void TrackFromAudioData(SBTrackV100& track, const _AUDIODATA& audio) {
  track.SetCodec(CodecFromFileType(audio.fileType));
  track.SetText(kTrackTextArtist, FromField(audio.artist.Get()));
  track.SetText(kTrackTextAlbum, FromField(audio.album.Get()));
  track.SetText(kTrackTextTitle, FromField(audio.title.Get()));
  track.SetText(kTrackTextGenre, FromField(audio.genre.Get()));
  track.SetText(kTrackTextComment, FromField(audio.comment.Get()));
  track.SetText(kTrackTextComposer, FromField(audio.composer.Get()));
  track.SetText(kTrackTextSeventh, FromField(audio.text7.Get()));
  track.SetText(kTrackTextPath, FromField(audio.path.Get()));

  track.SetU32(kTrackOffAdded, static_cast<uint32_t>(audio.added));
  track.SetSize(audio.size);  // zero-extended: a 3 GB file stays 3 GB
  track.SetU32(kTrackOffModified, static_cast<uint32_t>(audio.modified));
  track.SetU32(kTrackOffBitrate, audio.bitrate);
  track.SetU32(kTrackOffSampleRate, audio.sampleRate);
  uint64_t ms = uint64_t(audio.length) * 1000;
  track.SetU32(kTrackOffLengthMs, static_cast<uint32_t>(std::min<uint64_t>(ms, std::numeric_limits<uint32_t>::max())));
  track.SetU16(kTrackOffBpm, audio.bpm);
  track.SetU16(kTrackOffTrackNumber, Saturate16(audio.trackNumber));
  track.SetU16(kTrackOffTrackCount, Saturate16(audio.trackCount));
  track.SetU16(kTrackOffDiscNumber, Saturate16(audio.discNumber));
  track.SetU16(kTrackOffDiscCount, Saturate16(audio.discCount));
  track.SetU8(kTrackOffCompilation, audio.compilation);
  track.SetU16(kTrackOffYear, Saturate16(audio.year));
  track.SetU8(kTrackOffRating, audio.rating);
  track.SetU32(kTrackOff96, audio.value2156);
  track.SetU32(kTrackOff100, audio.value2164);
  track.SetU32(kTrackOff104, audio.value2168);
  track.SetU32(kTrackOffLastPlayed, static_cast<uint32_t>(audio.lastPlayed));
}

void AudioDataFromTrack(_AUDIODATA& audio, const SBTrackV100& track) {
  audio.fileType = FileTypeFromCodec(track.Codec());
  audio.artist.Set(Utf16ToUtf8(track.Text(kTrackTextArtist)));
  audio.album.Set(Utf16ToUtf8(track.Text(kTrackTextAlbum)));
  audio.title.Set(Utf16ToUtf8(track.Text(kTrackTextTitle)));
  audio.genre.Set(Utf16ToUtf8(track.Text(kTrackTextGenre)));
  audio.comment.Set(Utf16ToUtf8(track.Text(kTrackTextComment)));
  audio.composer.Set(Utf16ToUtf8(track.Text(kTrackTextComposer)));
  audio.text7.Set(Utf16ToUtf8(track.Text(kTrackTextSeventh)));
  audio.path.Set(Utf16ToUtf8(track.Path()));

  audio.added = static_cast<int32_t>(track.U32(kTrackOffAdded));
  // The record's size field is 32 bits: a size of 4 GiB or more saturates rather than wrapping to a small one.
  audio.size = static_cast<uint32_t>(std::min<uint64_t>(track.Size(), std::numeric_limits<uint32_t>::max()));
  audio.modified = static_cast<int32_t>(track.U32(kTrackOffModified));
  audio.bitrate = track.U32(kTrackOffBitrate);
  audio.sampleRate = track.U32(kTrackOffSampleRate);
  audio.length = track.U32(kTrackOffLengthMs) / 1000;
  audio.bpm = track.U16(kTrackOffBpm);
  audio.trackNumber = track.U16(kTrackOffTrackNumber);
  audio.trackCount = track.U16(kTrackOffTrackCount);
  audio.discNumber = track.U16(kTrackOffDiscNumber);
  audio.discCount = track.U16(kTrackOffDiscCount);
  audio.compilation = track.U8(kTrackOffCompilation);
  audio.year = track.U16(kTrackOffYear);
  audio.rating = track.U8(kTrackOffRating);
  audio.value2156 = track.U32(kTrackOff96);
  audio.value2164 = track.U32(kTrackOff100);
  audio.value2168 = track.U32(kTrackOff104);
  audio.lastPlayed = static_cast<int32_t>(track.U32(kTrackOffLastPlayed));
}

void UpdateTrackFromAudioData(SBTrackV100& track, const _AUDIODATA& audio) {
  const std::pair<int, const KernelTextField*> texts[] = {
      {kTrackTextArtist, &audio.artist}, {kTrackTextAlbum, &audio.album},       {kTrackTextTitle, &audio.title},
      {kTrackTextGenre, &audio.genre},   {kTrackTextComment, &audio.comment},   {kTrackTextComposer, &audio.composer},
      {kTrackTextSeventh, &audio.text7},
  };
  std::vector<std::pair<int, std::u16string>> kept;
  for (const auto& [id, field] : texts) {
    std::string stored = Utf16ToUtf8(track.Text(id));
    if (stored.size() <= sizeof field->text) continue;
    if (field->Get() == std::string_view(stored).substr(0, Utf8CutLength(stored, sizeof field->text)))
      kept.emplace_back(id, std::u16string(track.Text(id)));
  }
  TrackFromAudioData(track, audio);
  for (auto& [id, text] : kept) track.SetText(id, text);
}

}  // namespace hub
