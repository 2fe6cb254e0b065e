// Text listing of a database for people and for tests (the sbxdump command).
#include "manager/shoebox/shoebox_dump.h"

#include <cstdio>
#include <cstring>

#include "common/utf16.h"

namespace hub {
namespace {

std::string Format(const char* fmt, auto... args) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

template <size_t N>
std::string Hex(std::span<const uint8_t, N> bytes) {
  std::string out;
  for (uint8_t b : bytes) out += Format("%02x", b);
  return out;
}

struct NamedField {
  const char* name;
  size_t offset;
  int width;
};

constexpr NamedField kTrackFields[] = {
    {"added", kTrackOffAdded, 4},          {"added copy", kTrackOffAddedCopy, 4},
    {"size", kTrackOffSize, 8},            {"modified", kTrackOffModified, 4},
    {"codec", kTrackOffCodec, 2},          {"bitrate", kTrackOffBitrate, 4},
    {"sample rate", kTrackOffSampleRate, 4}, {"length ms", kTrackOffLengthMs, 4},
    {"bpm", kTrackOffBpm, 2},              {"track number", kTrackOffTrackNumber, 2},
    {"track count", kTrackOffTrackCount, 2}, {"disc number", kTrackOffDiscNumber, 2},
    {"disc count", kTrackOffDiscCount, 2}, {"compilation", kTrackOffCompilation, 1},
    {"year", kTrackOffYear, 2},            {"rating", kTrackOffRating, 1},
    {"value 96", kTrackOff96, 4},          {"value 100", kTrackOff100, 4},
    {"value 104", kTrackOff104, 4},        {"last played", kTrackOffLastPlayed, 4},
};

uint64_t FieldValue(const SBTrackV100& t, const NamedField& f) {
  switch (f.width) {
    case 1: return t.U8(f.offset);
    case 2: return t.U16(f.offset);
    case 4: return t.U32(f.offset);
    default: return t.U64(f.offset);
  }
}

}  // namespace

std::string QuoteShoeboxText(std::u16string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    bool pair = u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (pair) {
      out += Utf16ToUtf8(text.substr(i, 2));
      ++i;
    } else if (u == u'"' || u == u'\\') {
      out += '\\';
      out += static_cast<char>(u);
    } else if (u < 0x20 || u == 0x7F || (u >= 0xD800 && u <= 0xDFFF)) {
      out += Format("\\u%04X", static_cast<unsigned>(u));
    } else {
      out += Utf16ToUtf8(text.substr(i, 1));
    }
  }
  return out + "\"";
}

std::string DumpShoebox(const Shoebox& db) {
  std::string out;
  const ShoeboxLoadReport& load = db.LastLoad();
  if (!load.fileRead && load.error)
    out += Format("status: unreadable (%s)\n", std::strerror(load.error));
  else if (load.clean)
    out += "status: clean\n";
  else
    out += Format("status: damaged at byte %llu: %s\n", static_cast<unsigned long long>(load.damageOffset),
                  load.damage.c_str());
  out += "header: " + Hex(std::span(db.Header().bytes)) + "\n";
  out += "owner: " + QuoteShoeboxText(db.OwnerName()) + "\n";
  out += "text 51: " + QuoteShoeboxText(db.SecondHeaderText()) + "\n";
  out += Format("tracks: %zu  total size: %llu\n", db.TrackCount(), static_cast<unsigned long long>(db.TotalSize()));
  for (const SBTrackV100& t : db.Tracks()) {
    out += Format("track %u\n", t.Id());
    std::string line = " ";
    for (const NamedField& f : kTrackFields) {
      std::string item = Format(" %s %llu", f.name, static_cast<unsigned long long>(FieldValue(t, f)));
      if (line.size() + item.size() > 100) {
        out += line + "\n";
        line = " ";
      }
      line += item;
    }
    out += line + Format(" (%s)\n", std::string(CodecExtension(t.Codec())).c_str());
    out += "  bytes: " + Hex(t.Bytes()) + "\n";
    for (int id = kTrackTextFirst; id <= kTrackTextLast; ++id)
      if (!t.Text(id).empty()) out += Format("  text %d: ", id) + QuoteShoeboxText(t.Text(id)) + "\n";
  }
  out += Format("playlists: %zu\n", db.PlaylistCount());
  for (const SBPlaylistV100& p : db.Playlists()) {
    out += Format("playlist %u  items %zu:", p.Id(), p.items.size());
    for (uint32_t id : p.items) out += Format(db.FindTrack(id) ? " %u" : " %u?", id);
    out += "\n  bytes: " + Hex(std::span(p.bytes)) + "\n";
    if (!p.Name().empty()) out += "  name: " + QuoteShoeboxText(p.Name()) + "\n";
    if (!p.SecondText().empty()) out += "  text 201: " + QuoteShoeboxText(p.SecondText()) + "\n";
  }
  return out;
}

}  // namespace hub
