// Filling a track record from an audio file on this computer: one entry that
// picks the reader by the path's extension, one reader a container, and the
// names taken from the path when a file carries none. Every reader treats the
// file as hostile: reads are bounded by their parent, sizes are 64-bit, and a
// file it cannot read leaves the tag texts as they were.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/records.h"
#include "shell/transfer/metadata/byte_source.h"

namespace hub {

// Stores the path, size and file type, resets the numbers, then runs the
// type's reader: non-zero on success, 0 on failure.
int ReadTrackInfoFromFile(const std::string& path, _AUDIODATA& record);

// The file type of the path's extension (lower-cased).
uint8_t GetTrackFileType(std::string_view path);

// Blanks off both ends of title, album, artist, genre and comment.
void TrimTrackText(_AUDIODATA& record);

// Fills empty artist, album and title (and the track number) from the path's
// folder and file names, by `ATM_UseFolders`, `ATM_DelimiterList` and
// `ATM_DefaultAlbum`. The path may use '/' or '\'.
void TagsFromPath(std::string_view path, _AUDIODATA& record);

// The tag read of the transfer engine: ReadTrackInfoFromFile, TrimTrackText,
// and, when `namesFromPath` and artist, album or title is still empty,
// TagsFromPath and TrimTrackText again. The result is ReadTrackInfoFromFile's.
int ReadTrackTags(const std::string& path, _AUDIODATA& record, bool namesFromPath = true);

// One reader a format: (path, record), non-zero on success.
int ReadWavInfo(const std::string& path, _AUDIODATA& record);
int ReadMp3Info(const std::string& path, _AUDIODATA& record);
int ReadWmaTags(const std::string& path, _AUDIODATA& record);
int ReadMp4Tags(const std::string& path, _AUDIODATA& record);
int ReadAudibleInfo(const std::string& path, _AUDIODATA& record);
int ReadOggTags(const std::string& path, _AUDIODATA& record);
int ReadFlacTags(const std::string& path, _AUDIODATA& record);

// The same readers over bytes (fuzzing, tests): the record's file size and
// file type must already be set.
namespace metadata {
int ReadWavInfo(const ByteSource& source, _AUDIODATA& record);
int ReadMp3Info(const ByteSource& source, _AUDIODATA& record);
int ReadWmaTags(const ByteSource& source, _AUDIODATA& record);
int ReadMp4Tags(const ByteSource& source, _AUDIODATA& record);
int ReadOggTags(const ByteSource& source, _AUDIODATA& record);
int ReadFlacTags(const ByteSource& source, _AUDIODATA& record);
}  // namespace metadata

// The wave format of a RIFF file's "fmt " chunk (its first 18 bytes).
struct WaveFormat {
  uint16_t formatTag = 0;
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  uint16_t extraSize = 0;  // always 0: the extension is not kept
};

struct WaveLayout {
  WaveFormat format;            // zeros when the file has no "fmt " chunk
  uint64_t dataOffset = 0;      // just behind the "data" chunk's head; 0 when none
  uint64_t dataSize = 0;        // the chunk's stated size (0 or 0xFFFFFFFF: to the end)
  bool hasData = false;
  uint16_t subFormat = 0;       // format tag 0xFFFE: the tag its subformat names (1 PCM, 3 float)
};

// Walks the chunks (padded to even; unpadded when the padded walk finds no
// "data"). False when the file cannot be read or has no "fmt " chunk.
bool ReadWavFormat(const std::string& path, WaveLayout& layout);
bool ReadWavFormat(const metadata::ByteSource& source, WaveLayout& layout);

}  // namespace hub
