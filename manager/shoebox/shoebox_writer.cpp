// Writing a database file: formed in memory in table order, then replacing
// the old file whole.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "manager/shoebox/shoebox.h"
#include "manager/shoebox/shoebox_chunks.h"
#include "platform/fs/whole_file.h"

namespace hub {

using namespace shoebox_chunks;

namespace {

// Appends chunks to a buffer; each chunk's total is patched in when it closes.
class ShoeboxWriter {
 public:
  explicit ShoeboxWriter(std::vector<uint8_t>& out) : out_(out) {}

  // The header's other bytes, the total among them, stay zero until End.
  size_t Begin(const Tag& tag, uint16_t payload) {
    size_t start = out_.size();
    out_.resize(start + kChunkHeaderSize);
    uint8_t* p = out_.data() + start;
    p[0] = static_cast<uint8_t>(tag[0]);
    p[1] = static_cast<uint8_t>(tag[1]);
    p[2] = kChunkVersion;
    p[4] = static_cast<uint8_t>(payload);
    p[5] = static_cast<uint8_t>(payload >> 8);
    return start;
  }
  void End(size_t start) { SetTotal(start, out_.size() - start); }
  void SetTotal(size_t start, size_t total) {
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

 private:
  std::vector<uint8_t>& out_;
};

}  // namespace

ShoeboxSerializer::ShoeboxSerializer(const Shoebox& db, ShoeboxProgressMonitor* monitor)
    : db_(db), monitor_(monitor) {}

void ShoeboxSerializer::StartWalk() {
  if (started_) ++restarts_;
  started_ = true;
  revision_ = db_.Revision();
  formed_ = 0;
  out_.clear();
  out_.reserve(72 + db_.TrackCount() * 420 + db_.PlaylistCount() * 200);
  tracksChunk_ = ShoeboxWriter(out_).Begin(kTagTracks, 0);
  next_ = db_.Tracks().begin();
  if (monitor_) monitor_->SetStatus("Saving...", static_cast<int>(std::min<size_t>(db_.TrackCount(), INT32_MAX)));
}

bool ShoeboxSerializer::Step(size_t tracks) {
  if (done_) return true;
  // The walk's place names a node of the table, which a change may have reused.
  if (!started_ || db_.Revision() != revision_) StartWalk();
  ShoeboxWriter w(out_);
  const std::u16string& base = db_.BaseFolder();
  for (size_t n = 0; n < tracks && next_ != db_.Tracks().end(); ++n, ++next_) {
    const SBTrackV100& track = *next_;
    ++formed_;
    if (monitor_ && (formed_ - 1) % kShoeboxProgressEvery == 0) monitor_->SetPosition(formed_);
    size_t it = w.Begin(kTagTrack, kSBTrackSize);
    w.Bytes(track.Bytes().data(), track.Bytes().size());
    std::u16string_view path = track.Path();
    if (!base.empty() && !path.empty()) {
      if (!StartsWithNoCase(path, base)) throw ShoeboxSaveError("track path outside the player's root", EINVAL);
      w.Text(kTrackTextPath, path.substr(base.size()));
    } else {
      w.Text(kTrackTextPath, path);
    }
    for (int id = kTrackTextFirst + 1; id <= kTrackTextLast; ++id) w.Text(id, track.Text(id));
    w.End(it);
  }
  if (next_ != db_.Tracks().end()) return false;
  w.End(tracksChunk_);

  size_t cp = w.Begin(kTagPlaylists, 0);
  for (const SBPlaylistV100& playlist : db_.Playlists()) {
    size_t ip = w.Begin(kTagPlaylist, kSBPlaylistSize);
    if (playlist.items.size() > std::numeric_limits<uint32_t>::max())
      throw ShoeboxSaveError("playlist too long", EFBIG);
    // Ids that name no track stay out of the file (they stay reserved in memory).
    std::array<uint8_t, kSBPlaylistSize> record = playlist.bytes;
    uint32_t count = 0;
    for (uint32_t id : playlist.items) count += db_.Tracks().Contains(id) ? 1 : 0;
    for (int i = 0; i < 4; ++i) record[kPlaylistOffItemCount + i] = static_cast<uint8_t>(count >> (8 * i));
    w.Bytes(record.data(), record.size());
    for (uint32_t id : playlist.items)
      if (db_.Tracks().Contains(id)) w.U32(id);
    w.Text(kPlaylistTextName, playlist.Name());
    w.Text(kPlaylistTextSecond, playlist.SecondText());
    w.End(ip);
  }
  w.End(cp);

  // The chunks that hold the others open the file; their totals count what follows them.
  ShoeboxWriter h(head_);
  size_t bs = h.Begin(kTagDatabase, kShoeboxHeaderSize);
  h.Bytes(db_.Header().bytes.data(), db_.Header().bytes.size());
  h.Text(kHeaderTextOwner, db_.OwnerName());
  h.Text(kHeaderTextSecond, db_.SecondHeaderText());
  size_t ba = h.Begin(kTagBody, 0);
  h.SetTotal(ba, head_.size() - ba + out_.size());
  h.SetTotal(bs, head_.size() - bs + out_.size());
  done_ = true;
  return true;
}

std::vector<uint8_t> ShoeboxSerializer::Take() {
  out_.insert(out_.begin(), head_.begin(), head_.end());
  head_.clear();
  return std::move(out_);
}

std::vector<uint8_t> Shoebox::Serialize(ShoeboxProgressMonitor* monitor) const {
  ShoeboxSerializer serializer(*this, monitor);
  serializer.Step(SIZE_MAX);
  return serializer.Take();
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
