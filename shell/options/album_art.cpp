#include "shell/options/album_art.h"

#include <fcntl.h>
#include <id3/tag.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "common/folders.h"
#include "common/settings.h"
#include "platform/fs/whole_file.h"
#include "platform/media/image.h"
#include "platform/unique_fd.h"
#include "shell/transfer/metadata/byte_source.h"
#include "shell/transfer/metadata/id3v2_walker.h"

namespace hub {
namespace {

using metadata::BigEndian32;
using metadata::BigEndian64;
using metadata::ByteSource;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string ExtensionOf(std::string_view path) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  return std::string(path.substr(dot));
}

// One atom: where it starts, its header's length and where it ends.
struct Atom {
  uint64_t start = 0;
  uint64_t header = 8;
  uint64_t end = 0;
  char type[5] = {};
  uint64_t Body() const { return start + header; }
};

// The atom at `pos` inside its parent ending at `limit`; false when its size
// cannot be right (under its header, past the parent or the file).
bool ReadAtom(const ByteSource& file, uint64_t pos, uint64_t limit, Atom& atom) {
  limit = std::min(limit, file.Size());
  uint8_t h[16];
  if (pos >= limit || limit - pos < 8 || !file.ReadExact(pos, h, 8)) return false;
  uint64_t size = BigEndian32(h);
  uint64_t header = 8;
  if (size == 1) {
    if (limit - pos < 16 || !file.ReadExact(pos + 8, h + 8, 8)) return false;
    size = BigEndian64(h + 8);
    header = 16;
  } else if (size == 0) {
    size = limit - pos;  // to the end of its parent
  }
  if (size < header || size > limit - pos) return false;
  atom.start = pos;
  atom.header = header;
  atom.end = pos + size;
  std::memcpy(atom.type, h + 4, 4);
  atom.type[4] = 0;
  return true;
}

// The first child of that type in [begin, end); the walk stops at an unsound atom.
std::optional<Atom> FindChild(const ByteSource& file, uint64_t begin, uint64_t end, const char* type) {
  Atom a;
  for (uint64_t pos = begin; ReadAtom(file, pos, end, a); pos = a.end)
    if (std::memcmp(a.type, type, 4) == 0) return a;
  return std::nullopt;
}

bool ReadRange(const ByteSource& file, uint64_t offset, uint64_t size, std::vector<uint8_t>& out) {
  if (size > kMaxArtBytes) return false;
  out.resize(static_cast<size_t>(size));
  return file.ReadExact(offset, out.data(), out.size());
}

bool WriteWorkingFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  return platform::WriteFileAtomically(path, bytes.data(), bytes.size()).ok();
}

}  // namespace

std::string ExtensionFromMime(std::string_view mime) {
  std::string m = Lower(mime);
  if (m.find("jpeg") != std::string::npos || m.find("jpg") != std::string::npos) return "jpg";
  if (m.find("png") != std::string::npos) return "png";
  if (m.find("gif") != std::string::npos) return "gif";
  if (m.find("bmp") != std::string::npos) return "bmp";
  return {};
}

std::string ExtensionFromData(const uint8_t* data, size_t size) {
  if (size >= 4 && data[0] == 0x89 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G') return "png";
  if (size >= 4 && std::memcmp(data, "GIF8", 4) == 0) return "gif";
  // Any JPEG: JFIF (E0), Exif (E1) and the others all begin FF D8 FF.
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return "jpg";
  return {};
}

std::optional<ArtPicture> FindMp4Cover(const ByteSource& file) {
  uint64_t size = file.Size();
  auto moov = FindChild(file, 0, size, "moov");
  if (!moov) return std::nullopt;
  std::optional<Atom> meta;
  if (auto udta = FindChild(file, moov->Body(), moov->end, "udta"))
    meta = FindChild(file, udta->Body(), udta->end, "meta");
  if (!meta) meta = FindChild(file, moov->Body(), moov->end, "meta");
  // "meta" is a full atom: a version and flags word before its children.
  if (!meta || meta->end - meta->Body() < 4) return std::nullopt;
  auto ilst = FindChild(file, meta->Body() + 4, meta->end, "ilst");
  if (!ilst) return std::nullopt;
  Atom item;
  for (uint64_t pos = ilst->Body(); ReadAtom(file, pos, ilst->end, item); pos = item.end) {
    if (std::memcmp(item.type, "free", 4) == 0) return std::nullopt;
    if (std::memcmp(item.type, "covr", 4) != 0) continue;
    auto data = FindChild(file, item.Body(), item.end, "data");
    // The data atom's type and locale words come before the picture.
    if (!data || data->end - data->Body() < 8) return std::nullopt;
    ArtPicture art;
    if (!ReadRange(file, data->Body() + 8, data->end - data->Body() - 8, art.bytes) || art.bytes.empty())
      return std::nullopt;
    art.extension = ExtensionFromData(art.bytes.data(), art.bytes.size());
    if (art.extension.empty()) art.extension = "png";
    return art;
  }
  return std::nullopt;
}

std::optional<ArtPicture> FindId3Picture(const ByteSource& file) {
  metadata::Id3v2Scan scan = metadata::ScanId3v2Tags(file);
  for (const auto& tag : scan.tags) {
    const metadata::Id3v2Frame* frame = tag.Find(tag.major == 2 ? "PIC" : "APIC");
    if (!frame) continue;
    const std::vector<uint8_t>& b = frame->body;
    if (b.size() < 2) return std::nullopt;
    int encoding = b[0];
    size_t at = 1;
    std::string mime;
    if (tag.major == 2) {
      if (b.size() < 5) return std::nullopt;
      mime = std::string(b.begin() + 1, b.begin() + 4);  // "PNG", "JPG"
      at = 4;
    } else {
      auto nul = std::find(b.begin() + 1, b.end(), 0);
      if (nul == b.end()) return std::nullopt;
      mime = std::string(b.begin() + 1, nul);
      at = static_cast<size_t>(nul - b.begin()) + 1;
    }
    if (at >= b.size()) return std::nullopt;
    ++at;  // the picture type
    size_t consumed = 0;
    metadata::DecodeId3Text(encoding, b.data() + at, b.size() - at, &consumed);
    at += consumed;
    if (at >= b.size() || b.size() - at > kMaxArtBytes) return std::nullopt;
    ArtPicture art;
    art.bytes.assign(b.begin() + static_cast<ptrdiff_t>(at), b.end());
    art.extension = mime.empty() ? ExtensionFromData(art.bytes.data(), art.bytes.size()) : ExtensionFromMime(mime);
    if (art.extension.empty()) return std::nullopt;
    return art;
  }
  return std::nullopt;
}

std::optional<std::string> FindArt(const std::string& trackPath, std::string_view baseName) {
  std::string folder = GetTempFolder("art");
  std::string ext = Lower(ExtensionOf(trackPath));
  std::optional<ArtPicture> art;
  if (ext == ".m4p" || ext == ".m4a" || ext == ".m4b" || ext == ".mp3") {
    metadata::FileByteSource file(trackPath);
    if (file.ok()) art = ext == ".mp3" ? FindId3Picture(file) : FindMp4Cover(file);
  }
  if (art) {
    std::string path = folder + std::string(baseName) + "." + art->extension;
    if (WriteWorkingFile(path, art->bytes)) return path;
  }
  // The folder picture: only a file name, so it stays in the track's folder.
  std::string name = SettingString("JB_AlbumArtFilename", "cover.jpg");
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return std::nullopt;
  size_t slash = trackPath.find_last_of('/');
  std::string source = (slash == std::string::npos ? std::string(".") : trackPath.substr(0, slash)) + "/" + name;
  platform::WholeFileRead read = platform::ReadWholeFile(source, kMaxArtBytes);
  if (!read.ok()) return std::nullopt;
  std::string path = folder + std::string(baseName) + ExtensionOf(name);
  if (!WriteWorkingFile(path, read.bytes)) return std::nullopt;
  return path;
}

std::shared_ptr<const platform::media::Bitmap> LoadScaledImage(const std::string& imagePath, int width, int height) {
  auto picture = platform::media::LoadPicture(imagePath);
  if (!picture) return nullptr;
  return std::make_shared<const platform::media::Bitmap>(platform::media::ScalePicture(*picture, width, height));
}

std::shared_ptr<const platform::media::Bitmap> GetArtBitmap(const std::string& trackPath, int width, int height) {
  std::optional<std::string> path = FindArt(trackPath, "bitmap");
  if (!path) return nullptr;
  auto bitmap = LoadScaledImage(*path, width, height);
  ::unlink(path->c_str());
  return bitmap;
}

bool EmbedAlbumArt(const std::string& mp3Path, const std::string& imagePath, std::string* error) {
  auto fail = [&](std::string text) {
    if (error) *error = std::move(text);
    return false;
  };
  std::string ext = Lower(ExtensionOf(imagePath));
  const char* mime = ext == ".png" ? "image/png" : ext == ".gif" ? "image/gif"
                   : (ext == ".jpg" || ext == ".jpeg") ? "image/jpeg" : nullptr;
  if (!mime) return fail("Only GIF, PNG, and JPEG images are supported.");
  platform::WholeFileRead image = platform::ReadWholeFile(imagePath, kMaxArtBytes);
  if (!image.ok() || image.bytes.empty()) return fail("Could not read the image " + imagePath + ".");
  if (std::string why = metadata::Id3RewriteRefusal(mp3Path); !why.empty()) return fail(why);

  // id3lib renders a tag into memory only through a copy of it, which it
  // frees wrongly; so the tag alone goes into a small working file that
  // id3lib updates in place, and the new file is formed from that and the
  // old file's audio.
  // The audio starts after the tags the guard walked (id3lib would first
  // look for the audio's frames to tell the same).
  uint64_t audioStart = 0;
  {
    metadata::FileByteSource source(mp3Path);
    audioStart = metadata::ScanId3v2Tags(source).tagBytes;
  }
  platform::UniqueFd in(::open(mp3Path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in) return fail("Could not open " + mp3Path + ": " + std::strerror(errno));
  std::vector<uint8_t> oldTag(static_cast<size_t>(audioStart));
  if (audioStart > 2 * kMaxArtBytes ||
      ::pread(in.get(), oldTag.data(), oldTag.size(), 0) != static_cast<ssize_t>(oldTag.size()))
    return fail("Could not read the tag of " + mp3Path + ".");
  std::string work = GetTempFolder("art") + "tag.XXXXXX";
  platform::UniqueFd workFd(::mkostemp(work.data(), O_CLOEXEC));
  if (!workFd) return fail("Could not make a working file in " + GetTempFolder("art") + ".");
  struct RemoveOnExit {
    std::string path;
    ~RemoveOnExit() { ::unlink(path.c_str()); }
  } removeWork{work};
  if (::write(workFd.get(), oldTag.data(), oldTag.size()) != static_cast<ssize_t>(oldTag.size()))
    return fail("Could not write the working file " + work + ".");
  workFd.Reset();
  {
    ID3_Tag tag;
    tag.Link(work.c_str(), ID3TT_ID3V2);
    ID3_Frame* frame = tag.Find(ID3FID_PICTURE);
    std::unique_ptr<ID3_Frame> added;
    if (!frame) {
      added = std::make_unique<ID3_Frame>(ID3FID_PICTURE);
      frame = added.get();
    }
    auto set = [&](ID3_FieldID id, auto value) {
      if (ID3_Field* field = frame->GetField(id)) field->Set(value);
    };
    set(ID3FN_TEXTENC, static_cast<uint32_t>(ID3TE_ISO8859_1));
    set(ID3FN_MIMETYPE, mime);
    set(ID3FN_IMAGEFORMAT, mime);
    set(ID3FN_DESCRIPTION, mime);
    set(ID3FN_PICTURETYPE, static_cast<uint32_t>(0));
    if (ID3_Field* data = frame->GetField(ID3FN_DATA)) data->Set(image.bytes.data(), image.bytes.size());
    if (added) tag.AttachFrame(added.release());
    if (!(tag.Update(ID3TT_ID3V2) & ID3TT_ID3V2)) return fail("Could not form the new tag of " + mp3Path + ".");
  }
  platform::WholeFileRead rendered = platform::ReadWholeFile(work, 3 * kMaxArtBytes);
  if (!rendered.ok() || rendered.bytes.size() < 10 || std::memcmp(rendered.bytes.data(), "ID3", 3) != 0)
    return fail("Could not form the new tag of " + mp3Path + ".");
  const size_t renderedBytes = rendered.bytes.size();

  platform::AtomicFileWriter out(mp3Path);
  auto writeFailed = [&] {
    return fail("Could not write " + mp3Path + ": " + std::strerror(out.Result().error) + ". The file is unchanged.");
  };
  if (!out.Open() || !out.Write(rendered.bytes.data(), renderedBytes)) return writeFailed();
  if (!out.CopyFrom(in.get(), audioStart)) {
    if (!out.SourceFailed()) return writeFailed();
    return fail("Could not read " + mp3Path + ": " + std::strerror(out.Result().error) + ". The file is unchanged.");
  }
  if (!out.Commit()) return writeFailed();
  return true;
}

}  // namespace hub
