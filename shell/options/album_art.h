// Album art: the picture of a track found inside its file (an MP4 'covr'
// atom, an ID3v2 picture frame) or beside it, loaded and stretched for the
// tag editor, and embedded into MP3 files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/media/bitmap.h"

namespace hub {

namespace metadata {
class ByteSource;
}

// A picture larger than this is neither taken out of a track nor embedded.
inline constexpr size_t kMaxArtBytes = 16u << 20;

// A picture taken out of a track: its bytes and the extension (no point).
struct ArtPicture {
  std::vector<uint8_t> bytes;
  std::string extension;
};

// The 'covr' picture of an MP4 file's item list (moov/udta/meta/ilst); none
// when the list reaches "free" first. Every atom size is checked against its
// header, its parent and the file.
std::optional<ArtPicture> FindMp4Cover(const metadata::ByteSource& file);
// The first picture frame of the ID3v2 tags; its extension from the MIME type
// or, when that is empty, from the data's first bytes.
std::optional<ArtPicture> FindId3Picture(const metadata::ByteSource& file);
// "jpg", "png", "gif" or "bmp" from a MIME type ("" when none fits).
std::string ExtensionFromMime(std::string_view mime);
// The same from the picture's first bytes.
std::string ExtensionFromData(const uint8_t* data, size_t size);

// Finds the track's art and writes it into the temporary "art" folder as
// `baseName` + "." + extension; the path written, or nothing. MP4 and MP3
// files are looked into first; otherwise (or without a picture) the file
// `JB_AlbumArtFilename` in the track's folder is copied.
std::optional<std::string> FindArt(const std::string& trackPath, std::string_view baseName);
// The picture file stretched to width x height; null when it cannot be read.
std::shared_ptr<const platform::media::Bitmap> LoadScaledImage(const std::string& imagePath, int width, int height);
// The track's art stretched to width x height (the working file is removed again).
std::shared_ptr<const platform::media::Bitmap> GetArtBitmap(const std::string& trackPath, int width, int height);

// Embeds the image (".png", ".gif", ".jpg" or ".jpeg") as the MP3 file's first
// picture frame, keeping its other frames and its audio. The new file is
// written beside the old one and renamed over it only when written whole;
// false (with `error`) leaves the old file as it was.
bool EmbedAlbumArt(const std::string& mp3Path, const std::string& imagePath, std::string* error = nullptr);

}  // namespace hub
