// Cell texts, row comparison and status texts of the item list.
#include "shell/namespace/item_list.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

#include "common/records.h"
#include "common/text.h"
#include "shell/namespace/the_client.h"

namespace hub {
namespace {

std::string Printf(const char* format, auto... args) {
  char buf[128];
  std::snprintf(buf, sizeof buf, format, args...);
  return buf;
}

int32_t Clamp32(uint64_t v) { return static_cast<int32_t>(std::min<uint64_t>(v, std::numeric_limits<int32_t>::max())); }

std::string Grouped(uint64_t v, const UserLocale& locale) { return FormatNumberGrouped(Clamp32(v), locale); }

std::string KBText(uint64_t bytes, const UserLocale& locale) { return Grouped(bytes / 1024, locale) + " KB"; }

// Megabytes as a decimal number in the locale's format.
std::string DecimalMB(uint64_t kb, const UserLocale& locale) {
  return FormatNumberLocale(static_cast<double>(kb / 1024), locale) + " MB";
}

std::string LengthText(uint32_t seconds) { return Printf("%d:%02d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60)); }

std::string BitrateText(uint32_t bitrate) { return bitrate == 1 ? std::string("VBR") : Printf("%d Kbps", static_cast<int>(bitrate)); }

// "%m/%d/%Y %I:%M %p" in local time; empty for a time that cannot be shown.
std::string StampText(int32_t time) {
  if (time <= 0) return {};
  std::time_t t = time;
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return {};
  char buf[64];
  return std::strftime(buf, sizeof buf, "%m/%d/%Y %I:%M %p", &tm) ? std::string(buf) : std::string();
}

std::string TypeText(const _AUDIODATA& t) { return std::string(GetExtensionForFileType(t.fileType)); }

std::string TrackCell(const PidlItem& row, int column, const UserLocale& locale) {
  _AUDIODATA t = row.Track();
  switch (column) {
    case 1: return t.artist.str();
    case 2: return t.album.str();
    case 3: return Printf("%d", static_cast<int>(t.trackNumber));
    case 4: return t.title.str();
    case 5: return TypeText(t);
    case 6: return KBText(row.Size(), locale);
    case 7: return LengthText(t.length);
    case 8: return BitrateText(t.bitrate);
    case 9: return Printf("%d kHz", static_cast<int>(t.sampleRate));
    case 10: return Printf("%d", static_cast<int>(t.year));
    case 11: return t.genre.str();
    case 12: return t.composer.str();
    case 13: return Printf("%d", static_cast<int>(t.bpm));
    case 14: return Printf("%d", t.rating / 20);
    case 15: return Printf("%d", static_cast<int>(t.playCount));
    case 16: return StampText(t.lastPlayed);
    case 17: return t.comment.str();
    case 18: return StampText(t.added);
    case 19: return StampText(t.modified);
    case 20: return Printf("%d", TheClient().GetTrackPlaylistCount(row.Id()));
    case 21: return Printf("%u", row.Key(0));
    case 22: return t.path.str();
    default: return {};
  }
}

std::string PlaylistEntryCell(const PidlItem& row, int column, const UserLocale& locale) {
  _AUDIODATA t = row.Track();
  switch (column) {
    case 1: return Printf("%d", static_cast<int>(row.Position()));
    case 2: return TypeText(t);
    case 3: return KBText(row.Size(), locale);
    case 4: return LengthText(t.length);
    case 5: return BitrateText(t.bitrate);
    case 6: return t.genre.str();
    case 7: return Printf("%d", static_cast<int>(t.year));
    case 8: return t.comment.str();
    default: return {};
  }
}

std::string AttributeLetters(uint32_t attributes) {
  static constexpr std::pair<uint32_t, char> kLetters[] = {{0x1, 'R'}, {0x2, 'H'}, {0x20, 'A'}, {0x800, 'C'}, {0x4000, 'E'}};
  std::string out;
  for (auto [bit, letter] : kLetters)
    if (attributes & bit) out += letter;
  return out;
}

// A file's type as the desktop names it: the extension's, else "File".
std::string FileTypeName(std::string_view name) {
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot + 1 == name.size()) return "File";
  std::string ext(name.substr(dot + 1));
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext + " File";
}

}  // namespace

std::string CellText(const PidlItem& row, int column, const RowFolder& folder, const UserLocale& locale) {
  // The name field is what the folder names the item by; rows that carry
  // only a text (message lines) show that.
  if (column == 0) return std::string(row.Name().empty() ? row.Text() : row.Name());
  uint32_t kind = row.Kind();
  switch (kind) {
    case ItemTrack: return TrackCell(row, column, locale);
    case ItemTrackWithPlaylists:
      if (column == 1) return Printf("%d", TheClient().GetTrackPlaylistCount(row.Id()));
      if (column == 2) return TheClient().GetTrackPlaylistNames(row.Id());
      return TrackCell(row, column, locale);
    case ItemQueueEntry:
      if (column == 1) return Printf("%d", static_cast<int>(row.Position()) + 1);
      if (column == 2) {
        int32_t status = static_cast<int32_t>(row.Count());
        return status < 0 ? "Already played." : status == 0 ? "Current track." : "Not yet played.";
      }
      if (column == 3) return LengthText(row.Track().length);
      return {};
    case ItemPlaylistEntry: return PlaylistEntryCell(row, column, locale);
    case ItemDataFile:
      if (column == 1) return Grouped(std::max<uint64_t>(row.Size() / 1024, 1), locale) + " KB";
      if (column == 2) return FileTypeName(row.Name());
      if (column == 3) return FormatDateTime(static_cast<int32_t>(row.FreeKB()), locale);
      if (column == 4) return AttributeLetters(row.Count());
      return {};
    case FolderSegment:
      if (column == 1) return Printf("%d", static_cast<int>(row.Count()));
      if (column == 2) return DecimalMB(row.UsedKB(), locale);
      if (column == 3) return DecimalMB(row.FreeKB(), locale);
      if (column == 4) return DecimalMB(static_cast<uint64_t>(row.UsedKB()) + row.FreeKB(), locale);
      return {};
    case FolderTrackList: {
      uint32_t key = row.SubKind();
      if (column == 1) return Printf("%d", static_cast<int>(row.Count()));
      if (column == 2 && (key == 1 || key == 2)) return Grouped(row.UsedKB() / 1024, locale) + " MB";
      if (column == 3 && key == 1) return Grouped(row.FreeKB() / 1024, locale) + " MB";
      if (column == 4 && key == 1) return Grouped((static_cast<uint64_t>(row.UsedKB()) + row.FreeKB()) / 1024, locale) + " MB";
      return {};
    }
    case FolderFmTuner:
    case FolderCategory:
    case FolderPlaylist:
    case FolderDeviceInfo:
    case FolderUtilities:
    case FolderNotes:
    case FolderContacts: return column == 1 ? Printf("%d", static_cast<int>(row.Count())) : std::string();
    case FolderData:
      if (folder.kind != FolderData) {
        if (column == 1) return Printf("%d", static_cast<int>(row.Count()));
        if (column == 2) return Grouped(row.UsedKB() / 1024, locale) + " MB";
        return {};
      }
      if (column == 2) return "File Folder";
      if (column == 3) return FormatDateTime(static_cast<int32_t>(row.FreeKB()), locale);
      return {};
    case ItemInfoLine:
    case ItemUtility: return column == 1 ? std::string(row.Text()) : std::string();
    default: return {};
  }
}

void CopyCellText(std::string_view text, char* buffer, size_t capacity) {
  if (!buffer || capacity == 0) return;
  size_t n = std::min(text.size(), capacity - 1);
  // Back off continuation bytes so no character is cut in half.
  if (n < text.size())
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

uint8_t PinnedMarks(std::string_view text) {
  uint8_t marks = 0;
  if (text.find("[ All: ") != std::string_view::npos) marks |= 1;
  if (text.find("[ Playlist Index ]") != std::string_view::npos) marks |= 2;
  return marks;
}

std::optional<int> ComparePinnedMarks(uint8_t a, uint8_t b) {
  // "[ All: " first, then "[ Playlist Index ]"; rows pinned alike go on to the next rule.
  for (uint8_t mark : {uint8_t{1}, uint8_t{2}}) {
    bool inA = (a & mark) != 0, inB = (b & mark) != 0;
    if (inA != inB) return inA ? -1 : 1;
  }
  return std::nullopt;
}

std::optional<int> ComparePinnedRows(std::string_view a, std::string_view b) {
  return ComparePinnedMarks(PinnedMarks(a), PinnedMarks(b));
}

bool UsesFolderOrder(const RowFolder& folder, int sortColumnId, uint32_t kindA, uint32_t kindB) {
  switch (folder.kind) {
    case FolderSegment:
    case FolderFmTuner:
    case FolderPlaylist:
    case FolderDeviceInfo:
    case FolderUtilities: return true;
    default: break;
  }
  if (kindA == ItemUtility) return true;
  if (sortColumnId == 0) {
    if (folder.kind == FolderData || folder.kind == FolderNotes || folder.kind == FolderContacts) return true;
    if (kindA == ItemDataFile || kindA == ItemNote || kindA == ItemContact) return true;
  }
  if (folder.kind == FolderTrackList && (folder.key == kTrackListQueue || folder.key == kTrackListAlbum)) return true;
  for (uint32_t k : {kindA, kindB})
    if (k == ItemMessageLine || k == ItemMessageHead || k == ItemLink || k == ItemCommandLink) return true;
  return false;
}

int CompareSortRows(const SortRow& a, const SortRow& b, std::string_view columnName, int direction) {
  auto sign = [](auto x, auto y) { return x < y ? -1 : x > y ? 1 : 0; };
  if (IsNumber(a.text.c_str()) && IsNumber(b.text.c_str())) {
    // Compared as digit strings, so numbers of any length keep their order.
    std::string_view x = a.text, y = b.text;
    while (x.size() > 1 && x.front() == '0') x.remove_prefix(1);
    while (y.size() > 1 && y.front() == '0') y.remove_prefix(1);
    int c = x.size() != y.size() ? sign(x.size(), y.size()) : sign(x.compare(y), 0);
    return c * direction;
  }
  if (columnName == "Added") return sign(a.added, b.added) * direction;
  if (columnName == "Modified") return sign(a.modified, b.modified) * direction;
  if ((columnName == "Length" || columnName == "Size" || columnName == "Bitrate") && a.text.size() != b.text.size())
    return sign(a.text.size(), b.text.size()) * direction;
  int c = CompareNoCase(a.text, b.text);
  if (c == 0) c = CompareNoCase(a.name, b.name);
  return sign(c, 0) * direction;
}

std::string MatchCountText(int count) { return Printf("%d match%s.", count, count == 1 ? "" : "es"); }
std::string ItemCountText(int count) { return Printf("%d item%s.", count, count == 1 ? "" : "s"); }

namespace {
std::string Clock(uint64_t seconds) {
  return Printf("%02d:%02d:%02d", Clamp32(seconds / 3600), static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
}
}  // namespace

std::string FolderFilesText(int files, uint64_t sizeKB, std::optional<uint64_t> seconds, uint64_t freeKB,
                            const UserLocale& locale) {
  std::string out = Grouped(static_cast<uint64_t>(std::max(files, 0)), locale) + " file" + (files == 1 ? "" : "s") +
                    " (" + Grouped(sizeKB / 1024, locale) + " MB";
  if (seconds) out += ", " + Clock(*seconds);
  return out + "). " + Grouped(freeKB / 1024, locale) + " MB free.";
}

std::string SelectionText(int files, uint64_t sizeKB, std::optional<uint64_t> seconds, const UserLocale& locale) {
  std::string out = Grouped(static_cast<uint64_t>(std::max(files, 0)), locale) + " file" + (files == 1 ? "" : "s") +
                    " selected (" + Grouped(sizeKB / 1024, locale) + " MB";
  if (seconds) out += ", " + Clock(*seconds);
  return out + ").";
}

std::string PlayingText(int elapsed, int length, std::string_view title) {
  elapsed = std::max(elapsed, 0);
  length = std::max(length, 0);
  return Printf("Playing (%d:%02d/%d:%02d)  ", elapsed / 60, elapsed % 60, length / 60, length % 60) + std::string(title);
}

uint64_t RowSizeKB(const PidlItem& row) { return row.Size() / 1024; }
uint64_t RowSeconds(const PidlItem& row) { return IsTrackKind(row.Kind()) ? row.Track().length : 0; }

}  // namespace hub
