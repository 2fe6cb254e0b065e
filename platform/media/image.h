// Pictures read from files or memory (PNG, JPEG with JFIF or Exif, GIF's
// first frame, BMP) into RGBA bitmaps, and stretched to a size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/media/bitmap.h"

namespace hub::platform::media {

// Larger files, and pictures of more pixels, are refused before decoding.
inline constexpr size_t kMaxPictureFileBytes = 16u << 20;
inline constexpr int64_t kMaxPicturePixels = 64ll << 20;

// The picture in `data`; nothing (with `error` when given) when it is no
// picture this reader knows, damaged or too large.
std::optional<Bitmap> DecodePicture(const uint8_t* data, size_t size, std::string* error = nullptr);
std::optional<Bitmap> LoadPicture(const std::string& path, std::string* error = nullptr);
// The picture stretched onto width x height (the aspect ratio is not kept).
Bitmap ScalePicture(const Bitmap& picture, int width, int height);

}  // namespace hub::platform::media
