// The picture reader over stb_image and its resize, compiled here once.
#include "platform/media/image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/unique_fd.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wdouble-promotion"
#define STBI_NO_STDIO
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_FAILURE_USERMSG
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb/stb_image_resize.h>
#pragma GCC diagnostic pop

namespace hub::platform::media {
namespace {

std::optional<Bitmap> Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return std::nullopt;
}

}  // namespace

std::optional<Bitmap> DecodePicture(const uint8_t* data, size_t size, std::string* error) {
  if (!data || size == 0) return Fail(error, "empty picture");
  if (size > kMaxPictureFileBytes || size > INT32_MAX) return Fail(error, "picture larger than 16 MiB");
  int w = 0, h = 0, channels = 0;
  int len = static_cast<int>(size);
  // The header first: a picture claiming huge sides is refused before any allocation.
  if (!stbi_info_from_memory(data, len, &w, &h, &channels)) return Fail(error, stbi_failure_reason());
  if (w <= 0 || h <= 0 || int64_t(w) * h > kMaxPicturePixels) return Fail(error, "picture too large");
  stbi_uc* pixels = stbi_load_from_memory(data, len, &w, &h, &channels, 4);
  if (!pixels) return Fail(error, stbi_failure_reason());
  Bitmap out;
  out.width = w;
  out.height = h;
  out.rgba.assign(pixels, pixels + size_t(w) * size_t(h) * 4);
  stbi_image_free(pixels);
  return out;
}

std::optional<Bitmap> LoadPicture(const std::string& path, std::string* error) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return Fail(error, "cannot open " + path + ": " + std::strerror(errno));
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return Fail(error, path + " is not a file");
  if (static_cast<uint64_t>(st.st_size) > kMaxPictureFileBytes) return Fail(error, "picture larger than 16 MiB");
  std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
  size_t got = 0;
  while (got < bytes.size()) {
    ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return DecodePicture(bytes.data(), bytes.size(), error);
}

Bitmap ScalePicture(const Bitmap& picture, int width, int height) {
  Bitmap out;
  if (picture.Empty() || width <= 0 || height <= 0) return out;
  out.width = width;
  out.height = height;
  out.rgba.resize(size_t(width) * size_t(height) * 4);
  stbir_resize_uint8(picture.rgba.data(), picture.width, picture.height, 0, out.rgba.data(), width, height, 0, 4);
  return out;
}

}  // namespace hub::platform::media
