// Reading a database file: one pass over its bytes with every length checked
// against its parent, tracks indexed in one batch at the end.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <exception>
#include <limits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "manager/shoebox/shoebox.h"
#include "manager/shoebox/shoebox_chunks.h"
#include "platform/fs/whole_file.h"

namespace hub {

using namespace shoebox_chunks;

namespace {

// Whether text[units] is the first NUL of `text`, reading sixteen units a
// step (never past `room` units): most texts end inside the first step, so
// the loop's exit is well predicted.
bool EndsAtFirstNul(const char16_t* text, size_t units, size_t room) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i <= units && i + 16 <= room; i += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + 8));
    // Two bits a unit: the 16-bit compares make pairs of byte bits.
    uint32_t zeros = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi16(a, zero))) |
                     static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi16(b, zero))) << 16;
    if (zeros != 0) return i + static_cast<size_t>(__builtin_ctz(zeros) >> 1) == units;
  }
#endif
  // Four units a word: a lane of the mask is set exactly when that unit is zero.
  constexpr uint64_t kLow = 0x7FFF7FFF7FFF7FFFull;
  for (; i <= units && i + 4 <= room; i += 4) {
    uint64_t word;
    std::memcpy(&word, text + i, sizeof word);
    uint64_t zeros = ~(((word & kLow) + kLow) | word | kLow);
    if (zeros != 0) return i + static_cast<size_t>(__builtin_ctzll(zeros) >> 4) == units;
  }
  for (; i <= units && i < room; ++i) {
    if (text[i] == 0) return i == units;
  }
  return false;
}

// The first eight bytes of a text chunk's header as the writer makes them: the
// tag, version 1, a 4-byte payload, the reserved bytes zero.
constexpr uint64_t kTextHeadWord = uint64_t{'T'} | uint64_t{'S'} << 8 | uint64_t{kChunkVersion} << 16 |
                                   uint64_t{kTextPayloadSize} << 32;

uint64_t Le64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);  // the host is little-endian, as the file (records.h asserts it)
  return v;
}

}  // namespace

// One pass over the bytes of a database file. Every chunk is checked against
// the bytes its parent has left; a chunk that breaks the bounds stops its
// parent, so damage never desynchronises the walk or reads past the data.
// Anything that a rewrite would not reproduce exactly marks the load unclean.
class ShoeboxReader {
 public:
  // `units` holds the file's `size` bytes; loaded tracks' texts stay views of
  // it, so it must outlive them.
  ShoeboxReader(Shoebox& db, char16_t* units, size_t size, ShoeboxProgressMonitor* monitor)
      : db_(db), units_(units), data_(reinterpret_cast<const uint8_t*>(units)), size_(size), monitor_(monitor) {}

  void Run() {
    batch_ = db_.tracks_.size() == 0;
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
      // Rare (a damaged file): the sizes of replaced records are stale; add up what was kept.
      db_.totalSize_ = replaced ? db_.SumTrackSizes() : batchSize_;
      // The duplicate index waits for its first use: most connections never add a track.
      db_.duplicatesIndexed_ = false;
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

  // A track as the writer makes it (a whole record, then well-formed texts in
  // id order filling the chunk) taken as a view of the file's units; the
  // path's view starts with the base folder, written over the path chunk's own
  // header, which has been read by then. Anything else answers false with
  // nothing changed, and the checked reader reads it and reports what is wrong.
  bool ReadTrackInPlace(const Chunk& it, SBTrackV100& track) {
    constexpr size_t kFixed = kChunkHeaderSize + kTextPayloadSize;
    static_assert(kFixed % 2 == 0 && kChunkHeaderSize % 2 == 0 && kSBTrackSize % 2 == 0);
    const size_t prefix = db_.baseFolder_.size();
    if (it.start % 2 != 0 || it.payload != kSBTrackSize || prefix > kFixed / 2) return false;
    const size_t record = (it.start + kChunkHeaderSize) / 2;  // in units
    size_t pos = it.start + kChunkHeaderSize + kSBTrackSize;
    const size_t end = it.end;
    if (pos > end) return false;
    std::array<uint16_t, kTrackTextCount> offsets{};
    std::array<uint16_t, kTrackTextCount> lengths{};
    int lastId = 0;
    while (pos < end) {
      if (end - pos < kFixed) return false;
      const uint8_t* p = data_ + pos;
      if (Le64(p) != kTextHeadWord) return false;
      const uint64_t rest = Le64(p + 8);  // total length u32, id u16, count u16
      const size_t total = static_cast<uint32_t>(rest);
      const int id = static_cast<uint16_t>(rest >> 32);
      const size_t count = static_cast<uint16_t>(rest >> 48);
      if (id <= lastId || id < kTrackTextFirst || id > kTrackTextLast) return false;
      if (count < 2 || count > kMaxTextCount || total != kFixed + 2 * count || total > end - pos) return false;
      size_t units = count - 1;
      size_t at = (pos + kFixed) / 2;
      if (at - record > UINT16_MAX) return false;
      if (!EndsAtFirstNul(units_ + at, units, size_ / 2 - at)) return false;
      if (id == kTrackTextPath && prefix + units > kShoeboxMaxText) return false;
      offsets[id - kTrackTextFirst] = static_cast<uint16_t>(at - record);
      lengths[id - kTrackTextFirst] = static_cast<uint16_t>(units);
      lastId = id;
      pos += total;
    }
    if (lengths[0] != 0 && prefix != 0) {
      offsets[0] = static_cast<uint16_t>(offsets[0] - prefix);
      lengths[0] = static_cast<uint16_t>(lengths[0] + prefix);
      std::copy(db_.baseFolder_.begin(), db_.baseFolder_.end(), units_ + record + offsets[0]);
    }
    track.at_ = units_ + record;
    track.own_.reset();
    track.offsets_ = offsets;
    track.lengths_ = lengths;
    return true;
  }

  // Any track, every chunk checked and every fault reported; the track gets
  // storage of its own.
  void ReadTrackChecked(const Chunk& it, SBTrackV100& track) {
    std::array<uint8_t, kSBTrackSize> record{};
    ReadFixed(it, record.data(), kSBTrackSize, it.end);
    std::u16string& texts = texts_;
    texts.clear();
    std::array<uint16_t, kTrackTextCount> lengths{};
    // Out-of-order and overlong texts are set afterwards, as SetText would.
    std::vector<std::pair<int, std::u16string>>& late = lateTexts_;
    late.clear();
    int lastId = 0;
    size_t pos = it.Body();
    Chunk c;
    while (NextChild(pos, it.end, c, false)) {
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
            lengths[id - kTrackTextFirst] = static_cast<uint16_t>(length);
          } else {
            if (id <= lastId) Damage(c.start, "track texts out of order");
            late.emplace_back(id, texts.substr(at, length));
            texts.resize(at);
          }
          lastId = std::max<int>(lastId, id);
        }
      }
      pos = c.end;
    }
    track.Assemble(record.data(), texts, lengths);
    for (const auto& [id, text] : late) track.SetText(id, text);
  }

  void ReadTrack(const Chunk& it) {
    stopped_ = false;
    SBTrackV100 track;
    if (!ReadTrackInPlace(it, track)) ReadTrackChecked(it, track);
    // A record whose texts were cut off by damage is not kept half-read.
    if (stopped_) return;
    if (batch_) {
      trackStarts_.push_back(it.start);
      batchSize_ += track.Size();
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
  char16_t* units_;
  const uint8_t* data_;  // the same bytes
  size_t size_;
  ShoeboxProgressMonitor* monitor_;
  size_t tracksRead_ = 0;
  std::u16string text_;   // reused for every text read
  bool batch_ = false;    // tracks are appended unindexed and indexed at the end
  std::vector<size_t> trackStarts_;  // file offsets of the batch's tracks
  uint64_t batchSize_ = 0;  // size total of the batch's tracks
  std::u16string texts_;    // a checked track's texts, reused
  std::vector<std::pair<int, std::u16string>> lateTexts_;
  bool stopped_ = false;  // the last child walk ended at damage
};

int Shoebox::Load(ShoeboxProgressMonitor* monitor, ShoeboxDuplicateHasher* hasher, const std::string& filePath,
                  std::u16string_view baseFolder) {
  if (loaded_) return 0;
  ++revision_;
  filePath_ = filePath;
  platform::WholeFileUnits read = platform::ReadWholeFileUnits(filePath, kShoeboxMaxFileSize);
  if (read.error != 0 && read.size == 0) {
    monitor_ = monitor;
    hasher_ = hasher ? hasher : this;
    baseFolder_ = baseFolder;
    lastLoad_ = ShoeboxLoadReport{};
    lastLoad_.error = read.error;
    return 0;
  }
  const size_t size = read.size;
  int result = Parse(std::move(read.units), size, monitor, hasher, baseFolder);
  if (read.error != 0) {
    // What was read before the failure stays; the database is not marked loaded.
    lastLoad_.fileRead = false;
    lastLoad_.error = read.error;
    if (lastLoad_.clean) {
      lastLoad_.clean = false;
      lastLoad_.damageOffset = size;
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
  // The tracks keep views of the texts: they read a copy the database owns.
  auto units = std::unique_ptr<char16_t[]>(new char16_t[bytes.size() / 2 + 1]);
  if (!bytes.empty()) std::memcpy(units.get(), bytes.data(), bytes.size());
  return Parse(std::move(units), bytes.size(), monitor, hasher, baseFolder);
}

int Shoebox::Parse(std::unique_ptr<char16_t[]> file, size_t size, ShoeboxProgressMonitor* monitor,
                   ShoeboxDuplicateHasher* hasher, std::u16string_view baseFolder) {
  ++revision_;
  monitor_ = monitor;
  hasher_ = hasher ? hasher : this;
  baseFolder_ = baseFolder;
  lastLoad_ = ShoeboxLoadReport{};
  if (monitor) monitor->SetStatus("Connecting...", static_cast<int>(std::min<size_t>(size, INT32_MAX)));
  // Kept before reading: whatever is read, even if reading stops, has views into it.
  loadedFiles_.push_back(std::move(file));
  ShoeboxReader reader(*this, loadedFiles_.back().get(), size, monitor);
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
