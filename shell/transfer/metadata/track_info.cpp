// The entry of the readers, the path-derived names and the text trim.
#include "shell/transfer/metadata/track_info.h"

#include <cstdlib>
#include <vector>

#include "common/settings.h"
#include "common/text.h"

namespace hub {
namespace {

using ReaderOnSource = int (*)(const metadata::ByteSource&, _AUDIODATA&);

ReaderOnSource ReaderFor(uint8_t type) {
  switch (type) {
    case kFileTypeWav: return metadata::ReadWavInfo;
    case kFileTypeMp3: return metadata::ReadMp3Info;
    case kFileTypeWma: return metadata::ReadWmaTags;
    case kFileTypeM4a:
    case kFileTypeM4p:
    case kFileTypeM4b:
    case kFileTypeMp4: return metadata::ReadMp4Tags;
    case kFileTypeOgg: return metadata::ReadOggTags;
    case kFileTypeFlac: return metadata::ReadFlacTags;
    default: return nullptr;
  }
}

void ResetNumbers(_AUDIODATA& record) {
  record.length = record.trackNumber = record.trackCount = record.year = record.bitrate = 0;
  record.playCount = record.discNumber = record.discCount = 0;
  record.rating = 0;
  record.bpm = 0;
  record.sampleRate = 44100;
}

// Opens the file for a reader called on its own (not through the entry).
template <typename Reader>
int ReadFromPath(const std::string& path, _AUDIODATA& record, Reader reader) {
  metadata::FileByteSource source(path);
  if (!source.ok()) return 0;
  return reader(source, record);
}

}  // namespace

uint8_t GetTrackFileType(std::string_view path) { return GetFileTypeFromPath(path); }

int ReadTrackInfoFromFile(const std::string& path, _AUDIODATA& record) {
  record.path.Set(path);
  metadata::FileByteSource source(path);
  if (!source.ok()) return 0;
  record.size = static_cast<uint32_t>(source.Size());
  record.fileType = GetTrackFileType(path);
  ResetNumbers(record);
  if (record.fileType == kFileTypeAa) return ReadAudibleInfo(path, record);
  ReaderOnSource reader = ReaderFor(record.fileType);
  return reader ? reader(source, record) : 0;
}

void TrimTrackText(_AUDIODATA& record) {
  for (KernelTextField* field : {&record.title, &record.album, &record.artist, &record.genre, &record.comment})
    field->Set(TrimWhitespace(field->Get()));
}

void TagsFromPath(std::string_view path, _AUDIODATA& record) {
  size_t slash = path.find_last_of("\\/");
  std::string_view directory = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (size_t dot = name.rfind('.'); dot != std::string_view::npos) name = name.substr(0, dot);
  std::string working;
  if (SettingDword("ATM_UseFolders", 0) != 0) working = std::string(directory) + "\\";
  working += name;

  std::string delimiters = "/\\";
  for (char c : SettingString("ATM_DelimiterList", "-"))
    if (c != ' ') delimiters += c;

  std::vector<std::string> tokens;
  SplitString(tokens, working, delimiters);
  std::string found[3];  // title, album, artist
  int named = 0;
  bool haveNumber = false;
  uint32_t number = 0;
  // From the end: the first digit token is the track; names past the artist
  // (a mount point's folders, say) are not the track's.
  for (auto it = tokens.rbegin(); it != tokens.rend() && named < 3; ++it) {
    std::string token = TrimWhitespace(*it);
    if (token.empty()) continue;
    if (token.find_first_not_of("0123456789") == std::string::npos) {
      if (!haveNumber) number = static_cast<uint32_t>(std::strtoul(token.c_str(), nullptr, 10));
      haveNumber = true;
      continue;
    }
    found[named++] = token;
  }
  if (record.title.empty()) record.title.Set(found[0]);
  if (record.album.empty()) record.album.Set(found[1]);
  if (record.artist.empty()) record.artist.Set(found[2]);
  if (haveNumber && record.trackNumber == 0) record.trackNumber = number;
  if (record.artist.empty()) {
    record.artist.Set(record.album.Get());
    record.album.Set(SettingString("ATM_DefaultAlbum", "Single"));
  }
}

int ReadTrackTags(const std::string& path, _AUDIODATA& record, bool namesFromPath) {
  int result = ReadTrackInfoFromFile(path, record);
  TrimTrackText(record);
  if (namesFromPath && (record.artist.empty() || record.album.empty() || record.title.empty())) {
    TagsFromPath(path, record);
    TrimTrackText(record);
  }
  return result;
}

int ReadWavInfo(const std::string& path, _AUDIODATA& record) { return ReadFromPath(path, record, metadata::ReadWavInfo); }
int ReadMp3Info(const std::string& path, _AUDIODATA& record) { return ReadFromPath(path, record, metadata::ReadMp3Info); }
int ReadWmaTags(const std::string& path, _AUDIODATA& record) { return ReadFromPath(path, record, metadata::ReadWmaTags); }
int ReadMp4Tags(const std::string& path, _AUDIODATA& record) { return ReadFromPath(path, record, metadata::ReadMp4Tags); }
int ReadOggTags(const std::string& path, _AUDIODATA& record) { return ReadFromPath(path, record, metadata::ReadOggTags); }
int ReadFlacTags(const std::string& path, _AUDIODATA& record) { return ReadFromPath(path, record, metadata::ReadFlacTags); }

bool ReadWavFormat(const std::string& path, WaveLayout& layout) {
  metadata::FileByteSource source(path);
  layout = WaveLayout();
  return source.ok() && ReadWavFormat(source, layout);
}

}  // namespace hub
