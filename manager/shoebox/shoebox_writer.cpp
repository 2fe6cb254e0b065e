// Writing a database file: formed in memory in table order, then replacing
// the old file whole.
#include <cerrno>
#include <cstdio>
#include <limits>

#include "manager/shoebox/shoebox.h"
#include "manager/shoebox/shoebox_chunks.h"
#include "platform/fs/whole_file.h"

namespace hub {

using namespace shoebox_chunks;

namespace {

// Builds the file in memory; each chunk's total is patched in when it closes.
class ShoeboxWriter {
 public:
  explicit ShoeboxWriter(size_t estimate) { out_.reserve(estimate); }

  size_t Begin(const Tag& tag, uint16_t payload) {
    size_t start = out_.size();
    out_.insert(out_.end(), {static_cast<uint8_t>(tag[0]), static_cast<uint8_t>(tag[1]), kChunkVersion, 0,
                             static_cast<uint8_t>(payload), static_cast<uint8_t>(payload >> 8), 0, 0, 0, 0, 0, 0});
    return start;
  }
  void End(size_t start) {
    size_t total = out_.size() - start;
    if (total > std::numeric_limits<uint32_t>::max())
      throw ShoeboxSaveError("database chunk longer than 4 GB", EFBIG);
    for (int i = 0; i < 4; ++i) out_[start + 8 + i] = static_cast<uint8_t>(total >> (8 * i));
  }
  void Bytes(const uint8_t* p, size_t n) { out_.insert(out_.end(), p, p + n); }
  void U32(uint32_t v) {
    uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                    static_cast<uint8_t>(v >> 24)};
    Bytes(b, 4);
  }
  // A "TS" chunk; an empty text is not written.
  void Text(int id, std::u16string_view text) {
    if (text.empty()) return;
    size_t count = text.size() + 1;
    size_t start = Begin(kTagText, kTextPayloadSize);
    uint8_t payload[4] = {static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(count),
                          static_cast<uint8_t>(count >> 8)};
    Bytes(payload, 4);
    size_t at = out_.size();
    out_.resize(at + count * 2);
    uint8_t* p = out_.data() + at;
    for (char16_t u : text) {
      *p++ = static_cast<uint8_t>(u);
      *p++ = static_cast<uint8_t>(u >> 8);
    }
    p[0] = p[1] = 0;
    End(start);
  }
  std::vector<uint8_t> Take() { return std::move(out_); }

 private:
  std::vector<uint8_t> out_;
};

}  // namespace

std::vector<uint8_t> Shoebox::Serialize(ShoeboxProgressMonitor* monitor) const {
  ShoeboxWriter w(72 + tracks_.size() * 420 + playlists_.size() * 200);
  size_t bs = w.Begin(kTagDatabase, kShoeboxHeaderSize);
  w.Bytes(header_.bytes.data(), header_.bytes.size());
  w.Text(kHeaderTextOwner, ownerName_);
  w.Text(kHeaderTextSecond, secondText_);
  size_t ba = w.Begin(kTagBody, 0);

  size_t ct = w.Begin(kTagTracks, 0);
  if (monitor) monitor->SetStatus("Saving...", static_cast<int>(std::min<size_t>(tracks_.size(), INT32_MAX)));
  int n = 0;
  for (const SBTrackV100& track : tracks_) {
    ++n;
    if (monitor && (n - 1) % kShoeboxProgressEvery == 0) monitor->SetPosition(n);
    size_t it = w.Begin(kTagTrack, kSBTrackSize);
    w.Bytes(track.Bytes().data(), track.Bytes().size());
    std::u16string_view path = track.Path();
    if (!baseFolder_.empty() && !path.empty()) {
      if (!StartsWithNoCase(path, baseFolder_))
        throw ShoeboxSaveError("track path outside the player's root", EINVAL);
      w.Text(kTrackTextPath, path.substr(baseFolder_.size()));
    } else {
      w.Text(kTrackTextPath, path);
    }
    for (int id = kTrackTextFirst + 1; id <= kTrackTextLast; ++id) w.Text(id, track.Text(id));
    w.End(it);
  }
  w.End(ct);

  size_t cp = w.Begin(kTagPlaylists, 0);
  for (const SBPlaylistV100& playlist : playlists_) {
    size_t ip = w.Begin(kTagPlaylist, kSBPlaylistSize);
    if (playlist.items.size() > std::numeric_limits<uint32_t>::max())
      throw ShoeboxSaveError("playlist too long", EFBIG);
    // Ids that name no track stay out of the file (they stay reserved in memory).
    std::array<uint8_t, kSBPlaylistSize> record = playlist.bytes;
    uint32_t count = 0;
    for (uint32_t id : playlist.items) count += tracks_.Contains(id) ? 1 : 0;
    for (int i = 0; i < 4; ++i) record[kPlaylistOffItemCount + i] = static_cast<uint8_t>(count >> (8 * i));
    w.Bytes(record.data(), record.size());
    for (uint32_t id : playlist.items)
      if (tracks_.Contains(id)) w.U32(id);
    w.Text(kPlaylistTextName, playlist.Name());
    w.Text(kPlaylistTextSecond, playlist.SecondText());
    w.End(ip);
  }
  w.End(cp);
  w.End(ba);
  w.End(bs);
  return w.Take();
}

int Shoebox::Save(ShoeboxProgressMonitor* monitor, std::string& errorText) {
  monitor_ = monitor;
  auto fail = [&](int stage, int error) {
    char text[32];
    std::snprintf(text, sizeof text, "%d:0x%X", stage, static_cast<unsigned>(error));
    errorText = text;
    return 0;
  };
  std::vector<uint8_t> bytes;
  try {
    bytes = Serialize(monitor);
  } catch (const ShoeboxSaveError& e) {
    return fail(platform::kWriteStageWrite, e.error);
  } catch (const std::bad_alloc&) {
    return fail(platform::kWriteStageWrite, ENOMEM);
  }
  if (filePath_.empty()) return fail(platform::kWriteStageCreate, ENOENT);
  platform::AtomicWriteResult result = platform::WriteFileAtomically(filePath_, bytes.data(), bytes.size());
  if (!result.ok()) return fail(result.stage, result.error);
  return 1;
}

}  // namespace hub
