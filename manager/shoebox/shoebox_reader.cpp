// Reading a database file: one pass over its bytes with every length checked
// against its parent, tracks indexed in one batch at the end.
#include <cstring>
#include <exception>
#include <limits>
#include <typeinfo>

#include "manager/shoebox/shoebox.h"
#include "manager/shoebox/shoebox_chunks.h"
#include "platform/fs/whole_file.h"

namespace hub {

using namespace shoebox_chunks;

namespace {

// Copies UTF-16LE units (the host is little-endian, as records.h asserts) and
// answers whether one of them is NUL, four units a step: texts are short, so
// this beats a library copy and a separate scan.
bool CopyUnitsFindNul(char16_t* dest, const uint8_t* from, size_t units) {
  constexpr uint64_t kLow = 0x0001000100010001ULL;
  constexpr uint64_t kHigh = 0x8000800080008000ULL;
  uint64_t nul = 0;
  size_t i = 0;
  for (; i + 4 <= units; i += 4) {
    uint64_t x;
    std::memcpy(&x, from + 2 * i, 8);
    nul |= (x - kLow) & ~x & kHigh;  // nonzero when some 16-bit lane is zero
    std::memcpy(dest + i, &x, 8);
  }
  for (; i < units; ++i) {
    uint16_t u = Le16(from + 2 * i);
    dest[i] = static_cast<char16_t>(u);
    nul |= u == 0;
  }
  return nul != 0;
}

}  // namespace

// One pass over the bytes of a database file. Every chunk is checked against
// the bytes its parent has left; a chunk that breaks the bounds stops its
// parent, so damage never desynchronises the walk or reads past the data.
// Anything that a rewrite would not reproduce exactly marks the load unclean.
class ShoeboxReader {
 public:
  ShoeboxReader(Shoebox& db, std::span<const uint8_t> bytes, ShoeboxProgressMonitor* monitor)
      : db_(db), data_(bytes.data()), size_(bytes.size()), monitor_(monitor) {}

  void Run() {
    batch_ = db_.tracks_.size() == 0;
    // Our own key is built into one reused buffer instead of a new string per track.
    ownKey_ = typeid(*db_.hasher_) == typeid(Shoebox);
    // Whatever stops the walk (a failing progress window, no memory) still
    // leaves the tracks read so far indexed, and the load unclean.
    std::exception_ptr stopped;
    try {
      ReadFile();
    } catch (...) {
      stopped = std::current_exception();
      Damage(trackStarts_.empty() ? 0 : trackStarts_.back(), "reading stopped before the end");
    }
    if (batch_) {
      bool replaced = false;
      db_.tracks_.IndexAll([&](const SBTrackV100&, const SBTrackV100&, size_t n) {
        Damage(trackStarts_[n], "second track with the same id");
        replaced = true;
      });
      if (replaced) {
        // Rare (a damaged file): the keys of replaced records are stale; index what was kept.
        db_.IndexAllTracks();
      } else {
        db_.totalSize_ += batchSize_;
        db_.IndexKeys(keys_);
      }
    }
    if (stopped) std::rethrow_exception(stopped);
  }

 private:
  void ReadFile() {
    ShoeboxLoadReport& report = db_.lastLoad_;
    report.clean = true;
    if (size_ < kChunkHeaderSize) {
      Damage(0, "file shorter than a chunk header");
      return;
    }
    Chunk bs = HeaderAt(0);
    if (bs.tag != kTagDatabase) Damage(0, "file does not begin with the database chunk");
    CheckHeaderBytes(bs);
    if (bs.total != size_) Damage(8, "database chunk length differs from the file length");
    ReadFixed(bs, db_.header_.bytes.data(), kShoeboxHeaderSize, size_);
    // The top level runs to the end of the file, whatever the first chunk's length says.
    size_t pos = std::min(size_, kChunkHeaderSize + bs.payload);
    int order = 0;
    bool sawBody = false;
    Chunk c;
    while (NextChild(pos, size_, c, /*containerMayClamp=*/true)) {
      if (c.tag == kTagText) {
        uint16_t id = 0;
        std::u16string text;
        if (ReadText(c, id, text)) {
          int rank = id == kHeaderTextOwner ? 1 : id == kHeaderTextSecond ? 2 : 0;
          if (rank == 0) Damage(c.start, "unknown text id in the database chunk");
          else if (rank <= order) Damage(c.start, "header text out of order");
          else order = rank;
          if (id == kHeaderTextOwner) db_.ownerName_ = std::move(text);
          if (id == kHeaderTextSecond) db_.secondText_ = std::move(text);
        }
      } else if (c.tag == kTagBody) {
        if (sawBody) Damage(c.start, "second body chunk");
        sawBody = true;
        order = 3;
        ReadBody(c);
      } else {
        Damage(c.start, "unknown chunk skipped");
      }
      pos = c.end;
    }
    if (!sawBody) Damage(pos, "no body chunk");
  }

  struct Chunk {
    size_t start = 0;
    Tag tag{};
    size_t payload = 0;  // stored fixed payload length
    size_t total = 0;    // stored total length
    size_t end = 0;      // where the chunk ends inside its parent
    size_t Body() const { return std::min(end, start + kChunkHeaderSize + payload); }
  };

  Chunk HeaderAt(size_t pos) const {
    Chunk c;
    const uint8_t* p = data_ + pos;
    c.start = pos;
    c.tag = {static_cast<char>(p[0]), static_cast<char>(p[1])};
    c.payload = Le16(p + 4);
    c.total = Le32(p + 8);
    c.end = std::min(size_, pos + c.total);
    return c;
  }

  void CheckHeaderBytes(const Chunk& c) {
    const uint8_t* p = data_ + c.start;
    if (p[2] != kChunkVersion || p[3] != 0 || p[6] != 0 || p[7] != 0)
      Damage(c.start + 2, "chunk version or reserved bytes not as written");
  }

  static bool IsContainer(const Tag& tag) { return tag == kTagBody || tag == kTagTracks || tag == kTagPlaylists; }

  // The next child header inside [pos, end); false when the parent must stop.
  bool NextChild(size_t pos, size_t end, Chunk& c, bool containerMayClamp) {
    if (pos >= end) return false;
    if (end - pos < kChunkHeaderSize) {
      Damage(pos, "bytes left over after the last chunk");
      stopped_ = true;
      return false;
    }
    c = HeaderAt(pos);
    CheckHeaderBytes(c);
    if (c.total < kChunkHeaderSize + c.payload) {
      Damage(pos + 8, "chunk length smaller than its header and payload");
      stopped_ = true;
      return false;
    }
    if (c.total > end - pos) {
      Damage(pos + 8, "chunk runs past its parent");
      // A cut-off table still yields the whole records before the cut.
      if (!(containerMayClamp && IsContainer(c.tag))) {
        stopped_ = true;
        return false;
      }
      c.end = end;
      return true;
    }
    c.end = pos + c.total;
    return true;
  }

  // Fixed payload: the expected bytes of what is stored, the rest of dest left as it was.
  void ReadFixed(const Chunk& c, uint8_t* dest, size_t expected, size_t limit) {
    size_t from = c.start + kChunkHeaderSize;
    size_t stored = c.payload;
    size_t available = from < limit ? std::min(stored, limit - from) : 0;
    if (stored != expected) Damage(c.start + 4, "fixed payload length not as expected");
    if (available < stored) Damage(from, "fixed payload cut short");
    std::memcpy(dest, data_ + from, std::min(expected, available));
  }

  // A "TS" chunk, appended to `text`; false (and nothing appended) when it is unusable.
  bool ReadText(const Chunk& c, uint16_t& id, std::u16string& text) {
    uint8_t payload[kTextPayloadSize] = {};
    ReadFixed(c, payload, kTextPayloadSize, c.end);
    id = Le16(payload);
    size_t count = Le16(payload + 2);
    size_t from = c.Body();
    if (count > kMaxTextCount) {
      Damage(c.start, "text longer than 4096 characters dropped");
      return false;
    }
    if (count * 2 > c.end - from) {
      Damage(c.start, "text runs past its chunk");
      return false;
    }
    if (from + count * 2 != c.end) Damage(c.start, "text chunk length not as written");
    const uint8_t* p = data_ + from;
    // Copy all units but the terminator (the host is little-endian, as the file;
    // records.h asserts it), then look for a NUL inside with a loop the
    // compiler vectorises; the text ends at the first one.
    size_t prefix = text.size();
    size_t units = count == 0 ? 0 : count - 1;
    bool terminated = count > 0 && Le16(p + 2 * units) == 0;
    if (!terminated) units = count;
    text.resize(prefix + units);
    std::memcpy(text.data() + prefix, p, units * 2);
    const char16_t* d = text.data() + prefix;
    size_t zeros = 0;
    for (size_t i = 0; i < units; ++i) zeros += d[i] == 0;
    size_t len = units;
    if (zeros != 0) {
      len = std::u16string_view(d, units).find(u'\0');
      text.resize(prefix + len);
    }
    if (!terminated || zeros != 0) Damage(c.start, "text not ended by its one NUL");
    if (len == 0) Damage(c.start, "empty text");
    return true;
  }

  void ReadBody(const Chunk& ba) {
    if (ba.payload != 0) Damage(ba.start + 4, "body chunk with a payload");
    size_t pos = ba.Body();
    int order = 0;
    Chunk c;
    while (NextChild(pos, ba.end, c, true)) {
      int rank = c.tag == kTagTracks ? 1 : c.tag == kTagPlaylists ? 2 : 0;
      if (rank == 0) Damage(c.start, "unknown chunk skipped");
      else if (rank <= order) Damage(c.start, "table out of order");
      else order = rank;
      if (c.payload != 0 && rank != 0) Damage(c.start + 4, "table chunk with a payload");
      if (rank == 1) ReadTracks(c);
      if (rank == 2) ReadPlaylists(c);
      pos = c.end;
    }
    if (order != 2) Damage(pos, "body without both tables");
  }

  void ReadTracks(const Chunk& ct) {
    size_t pos = ct.Body();
    if (batch_) {
      // A hint only: a well-formed track takes at least its header and record.
      size_t likely = trackStarts_.size() + (ct.end - pos) / (kChunkHeaderSize + kSBTrackSize);
      trackStarts_.reserve(likely);
      keys_.reserve(likely);
      db_.tracks_.ReservePending(likely);
    }
    Chunk c;
    while (NextChild(pos, ct.end, c, false)) {
      if (c.tag == kTagTrack) {
        if (monitor_ && tracksRead_ % kShoeboxProgressEvery == 0) monitor_->SetPosition(ClampInt(c.start + kChunkHeaderSize));
        ++tracksRead_;
        ReadTrack(c);
      } else {
        Damage(c.start, "unknown chunk skipped");
      }
      pos = c.end;
    }
  }

  // A track text as the writer makes it (well-formed, in id order, fitting with
  // the base folder) appended to the packed texts; answers where the chunk
  // ends. Anything else answers 0 with nothing changed, and the general path
  // reads it and reports what is wrong.
  size_t ReadTrackTextFast(size_t pos, size_t end, int& lastId, SBTrackV100& track, size_t& used) {
    constexpr size_t kFixed = kChunkHeaderSize + kTextPayloadSize;
    if (end - pos < kFixed) return 0;
    const uint8_t* p = data_ + pos;
    if (p[0] != kTagText[0] || p[1] != kTagText[1] || p[2] != kChunkVersion || p[3] != 0 ||
        Le16(p + 4) != kTextPayloadSize || p[6] != 0 || p[7] != 0)
      return 0;
    int id = Le16(p + 12);
    size_t count = Le16(p + 14);
    size_t total = Le32(p + 8);
    if (id <= lastId || id < kTrackTextFirst || id > kTrackTextLast) return 0;
    if (count < 2 || count > kMaxTextCount || total != kFixed + 2 * count || total > end - pos) return 0;
    size_t units = count - 1;
    const uint8_t* from = p + kFixed;
    if (Le16(from + 2 * units) != 0) return 0;
    // The texts were sized up front; `used` is how much of them holds texts.
    std::u16string& texts = track.texts_;
    size_t prefix = id == kTrackTextPath ? db_.baseFolder_.size() : 0;
    if (prefix + units > kShoeboxMaxText || used + prefix + units > texts.size()) return 0;
    char16_t* d = texts.data() + used;
    std::copy(db_.baseFolder_.data(), db_.baseFolder_.data() + prefix, d);
    d += prefix;
    if (CopyUnitsFindNul(d, from, units)) return 0;
    track.lengths_[id - kTrackTextFirst] = static_cast<uint16_t>(prefix + units);
    used += prefix + units;
    lastId = id;
    return pos + total;
  }

  void ReadTrack(const Chunk& it) {
    stopped_ = false;
    SBTrackV100 track;
    ReadFixed(it, track.bytes.data(), kSBTrackSize, it.end);
    size_t pos = it.Body();
    // The texts cannot take more units than the chunk has bytes for: one
    // allocation, written in place by the fast path and cut to size at the end.
    std::u16string& texts = track.texts_;
    size_t room = db_.baseFolder_.size() + (it.end - pos) / 2;
    texts.resize(room);
    size_t used = 0;
    int lastId = 0;
    Chunk c;
    while (pos < it.end) {
      if (size_t next = ReadTrackTextFast(pos, it.end, lastId, track, used)) {
        pos = next;
        continue;
      }
      // The checked reader works on the texts at their true size.
      texts.resize(used);
      if (!NextChild(pos, it.end, c, false)) break;
      uint16_t id = 0;
      // Texts in id order (the rule) are read straight onto the packed texts.
      size_t at = texts.size();
      if (c.tag != kTagText) {
        Damage(c.start, "unknown chunk skipped");
      } else if (ReadText(c, id, texts)) {
        if (id < kTrackTextFirst || id > kTrackTextLast) {
          texts.resize(at);
          Damage(c.start, "unknown track text dropped");
        } else {
          if (id == kTrackTextPath) texts.insert(at, db_.baseFolder_);
          size_t length = texts.size() - at;
          if (length > kShoeboxMaxText) Damage(c.start, "path too long with the base folder");
          if (id > lastId && length <= kShoeboxMaxText) {
            track.lengths_[id - kTrackTextFirst] = static_cast<uint16_t>(length);
          } else {
            if (id <= lastId) Damage(c.start, "track texts out of order");
            text_.assign(texts, at, length);
            texts.resize(at);
            track.SetText(id, text_);
          }
          lastId = std::max<int>(lastId, id);
        }
      }
      pos = c.end;
      used = texts.size();
      if (used < room) texts.resize(room);
    }
    texts.resize(used);
    // A record whose texts were cut off by damage is not kept half-read.
    if (stopped_) return;
    if (batch_) {
      // Sized and keyed while the record is still in the cache.
      trackStarts_.push_back(it.start);
      batchSize_ += track.Size();
      uint64_t hash;
      if (ownKey_) {
        db_.DuplicateKeyInto(track, key_);
        hash = KeyHash(key_);
      } else {
        hash = KeyHash(db_.hasher_->GetDuplicateKey(track));
      }
      keys_.emplace_back(hash, track.Id());
      db_.tracks_.AppendUnindexed(std::move(track));
      return;
    }
    if (db_.tracks_.Contains(track.Id())) Damage(it.start, "second track with the same id");
    db_.PutTrack(std::move(track));
  }

  void ReadPlaylists(const Chunk& cp) {
    size_t pos = cp.Body();
    Chunk c;
    while (NextChild(pos, cp.end, c, false)) {
      if (c.tag == kTagPlaylist) ReadPlaylist(c);
      else Damage(c.start, "unknown chunk skipped");
      pos = c.end;
    }
  }

  void ReadPlaylist(const Chunk& ip) {
    stopped_ = false;
    SBPlaylistV100 playlist;
    ReadFixed(ip, playlist.bytes.data(), kSBPlaylistSize, ip.end);
    size_t from = ip.Body();
    uint64_t count = Le32(playlist.bytes.data() + kPlaylistOffItemCount);
    if (count * 4 > ip.end - from) {
      // The count would read past the chunk: the playlist cannot be trusted.
      Damage(ip.start, "playlist item count runs past its chunk");
      return;
    }
    playlist.items.resize(count);
    for (size_t i = 0; i < count; ++i) playlist.items[i] = Le32(data_ + from + 4 * i);
    size_t pos = from + count * 4;
    int order = 0;
    Chunk c;
    while (NextChild(pos, ip.end, c, false)) {
      uint16_t id = 0;
      std::u16string text;
      if (c.tag != kTagText) {
        Damage(c.start, "unknown chunk skipped");
      } else if (ReadText(c, id, text)) {
        int rank = id == kPlaylistTextName ? 1 : id == kPlaylistTextSecond ? 2 : 0;
        if (rank == 0) Damage(c.start, "unknown playlist text dropped");
        else if (rank <= order) Damage(c.start, "playlist texts out of order");
        else order = rank;
        if (rank == 1) playlist.SetName(std::move(text));
        if (rank == 2) playlist.SetSecondText(std::move(text));
      }
      pos = c.end;
    }
    if (stopped_) return;
    if (db_.playlists_.Contains(playlist.Id())) Damage(ip.start, "second playlist with the same id");
    db_.playlists_.Put(std::move(playlist));
  }

  void Damage(size_t offset, const char* what) {
    ShoeboxLoadReport& report = db_.lastLoad_;
    if (!report.clean) return;
    report.clean = false;
    report.damageOffset = offset;
    report.damage = what;
  }

  static int ClampInt(size_t v) { return static_cast<int>(std::min<size_t>(v, std::numeric_limits<int>::max())); }

  Shoebox& db_;
  const uint8_t* data_;
  size_t size_;
  ShoeboxProgressMonitor* monitor_;
  size_t tracksRead_ = 0;
  std::u16string text_;   // reused for every text read
  bool batch_ = false;    // tracks are appended unindexed and indexed at the end
  std::vector<size_t> trackStarts_;  // file offsets of the batch's tracks
  std::vector<std::pair<uint64_t, uint32_t>> keys_;  // key hash and id of the batch's tracks
  uint64_t batchSize_ = 0;  // size total of the batch's tracks
  bool ownKey_ = false;     // the hasher is this database's own key
  std::u16string key_;      // reused for every key built
  bool stopped_ = false;  // the last child walk ended at damage
};

int Shoebox::Load(ShoeboxProgressMonitor* monitor, ShoeboxDuplicateHasher* hasher, const std::string& filePath,
                  std::u16string_view baseFolder) {
  if (loaded_) return 0;
  filePath_ = filePath;
  platform::WholeFileRead read = platform::ReadWholeFile(filePath, kShoeboxMaxFileSize);
  if (read.error != 0 && read.bytes.empty()) {
    monitor_ = monitor;
    hasher_ = hasher ? hasher : this;
    baseFolder_ = baseFolder;
    lastLoad_ = ShoeboxLoadReport{};
    lastLoad_.error = read.error;
    return 0;
  }
  int result = Parse(read.bytes, monitor, hasher, baseFolder);
  if (read.error != 0) {
    // What was read before the failure stays; the database is not marked loaded.
    lastLoad_.fileRead = false;
    lastLoad_.error = read.error;
    if (lastLoad_.clean) {
      lastLoad_.clean = false;
      lastLoad_.damageOffset = read.bytes.size();
      lastLoad_.damage = "read failed";
    }
    loaded_ = false;
    return 0;
  }
  return result;
}

int Shoebox::LoadFromMemory(std::span<const uint8_t> bytes, ShoeboxProgressMonitor* monitor,
                            ShoeboxDuplicateHasher* hasher, std::u16string_view baseFolder) {
  if (loaded_) return 0;
  return Parse(bytes, monitor, hasher, baseFolder);
}

int Shoebox::Parse(std::span<const uint8_t> bytes, ShoeboxProgressMonitor* monitor, ShoeboxDuplicateHasher* hasher,
                   std::u16string_view baseFolder) {
  monitor_ = monitor;
  hasher_ = hasher ? hasher : this;
  baseFolder_ = baseFolder;
  lastLoad_ = ShoeboxLoadReport{};
  if (monitor) monitor->SetStatus("Connecting...", static_cast<int>(std::min<size_t>(bytes.size(), INT32_MAX)));
  ShoeboxReader reader(*this, bytes, monitor);
  try {
    reader.Run();
  } catch (const std::exception& e) {
    // Kept, never silently: the report says what stopped it, and a save keeps a backup first.
    NoteDanglingIds();
    lastLoad_.clean = false;
    lastLoad_.damage = std::string("reading stopped before the end: ") + e.what();
    loaded_ = true;
    return 1;
  }
  NoteDanglingIds();
  lastLoad_.fileRead = true;
  loaded_ = true;
  return 1;
}

}  // namespace hub
