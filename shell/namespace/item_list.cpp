// Cell texts, row comparison and status texts of the item list.
#include "shell/namespace/item_list.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <limits>

#include "common/printf.h"
#include "common/records.h"
#include "common/text.h"
#include "shell/namespace/the_client.h"

namespace hub {
namespace {

int32_t Clamp32(uint64_t v) { return static_cast<int32_t>(std::min<uint64_t>(v, std::numeric_limits<int32_t>::max())); }

std::string Grouped(uint64_t v, const UserLocale& locale) { return FormatNumberGrouped(Clamp32(v), locale); }

std::string KBText(uint64_t bytes, const UserLocale& locale) { return Grouped(bytes / 1024, locale) + " KB"; }

// Megabytes as a decimal number in the locale's format.
std::string DecimalMB(uint64_t kb, const UserLocale& locale) {
  return FormatNumberLocale(static_cast<double>(kb / 1024), locale) + " MB";
}

// Decimal numbers without a format string: lists ask for tens of thousands.
std::string Decimal(int64_t v) {
  char buf[24];
  auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
  return std::string(buf, end);
}

std::string LengthText(uint32_t seconds) {
  std::string out = Decimal(static_cast<int>(seconds / 60));
  auto s = static_cast<int>(seconds % 60);
  out += ':';
  out += static_cast<char>('0' + s / 10);
  out += static_cast<char>('0' + s % 10);
  return out;
}

std::string BitrateText(uint32_t bitrate) {
  return bitrate == 1 ? std::string("VBR") : Decimal(static_cast<int>(bitrate)) + " Kbps";
}

// "%m/%d/%Y %I:%M %p" in local time; empty for a time that cannot be shown.
std::string StampText(int32_t time) {
  if (time <= 0) return {};
  std::time_t t = time;
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return {};
  char buf[64];
  return std::strftime(buf, sizeof buf, "%m/%d/%Y %I:%M %p", &tm) ? std::string(buf) : std::string();
}

std::string TypeText(const PidlItem& row) {
  return std::string(GetExtensionForFileType(row.TrackByte(offsetof(_AUDIODATA, fileType))));
}

// The record's fields are read in place: a list asks for every shown cell.
std::string TrackCell(const PidlItem& row, int column, const UserLocale& locale) {
  auto text = [&](size_t offset) { return std::string(row.TrackText(offset)); };
  auto number = [&](size_t offset) { return Decimal(static_cast<int>(row.TrackU32(offset))); };
  auto stamp = [&](size_t offset) { return StampText(static_cast<int32_t>(row.TrackU32(offset))); };
  switch (column) {
    case 1: return text(offsetof(_AUDIODATA, artist));
    case 2: return text(offsetof(_AUDIODATA, album));
    case 3: return number(offsetof(_AUDIODATA, trackNumber));
    case 4: return text(offsetof(_AUDIODATA, title));
    case 5: return TypeText(row);
    case 6: return KBText(row.Size(), locale);
    case 7: return LengthText(row.TrackU32(offsetof(_AUDIODATA, length)));
    case 8: return BitrateText(row.TrackU32(offsetof(_AUDIODATA, bitrate)));
    case 9: return number(offsetof(_AUDIODATA, sampleRate)) + " kHz";
    case 10: return number(offsetof(_AUDIODATA, year));
    case 11: return text(offsetof(_AUDIODATA, genre));
    case 12: return text(offsetof(_AUDIODATA, composer));
    case 13: return Decimal(row.TrackU16(offsetof(_AUDIODATA, bpm)));
    case 14: return Decimal(row.TrackByte(offsetof(_AUDIODATA, rating)) / 20);
    case 15: return number(offsetof(_AUDIODATA, playCount));
    case 16: return stamp(offsetof(_AUDIODATA, lastPlayed));
    case 17: return text(offsetof(_AUDIODATA, comment));
    case 18: return stamp(offsetof(_AUDIODATA, added));
    case 19: return stamp(offsetof(_AUDIODATA, modified));
    case 20: return Decimal(TheClient().GetTrackPlaylistCount(row.Id()));
    case 21: return Decimal(row.Key(0));
    case 22: return std::string(row.TrackPath());
    default: return {};
  }
}

std::string PlaylistEntryCell(const PidlItem& row, int column, const UserLocale& locale) {
  switch (column) {
    case 1: return Decimal(static_cast<int>(row.Position()));
    case 2: return TypeText(row);
    case 3: return KBText(row.Size(), locale);
    case 4: return LengthText(row.TrackU32(offsetof(_AUDIODATA, length)));
    case 5: return BitrateText(row.TrackU32(offsetof(_AUDIODATA, bitrate)));
    case 6: return std::string(row.TrackText(offsetof(_AUDIODATA, genre)));
    case 7: return Decimal(static_cast<int>(row.TrackU32(offsetof(_AUDIODATA, year))));
    case 8: return std::string(row.TrackText(offsetof(_AUDIODATA, comment)));
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
      if (column == 3) return LengthText(row.TrackU32(offsetof(_AUDIODATA, length)));
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

SortRule SortRuleOf(std::string_view columnName) {
  if (columnName == "Added") return SortRule::Added;
  if (columnName == "Modified") return SortRule::Modified;
  if (columnName == "Length" || columnName == "Size" || columnName == "Bitrate") return SortRule::LengthFirst;
  return SortRule::Text;
}

SortKey MakeSortKey(std::string_view text, std::string_view name, bool timed, uint32_t added, uint32_t modified) {
  SortKey key;
  key.text = text;
  key.name = name;
  // As IsNumber reads a terminated text: digits up to the end or a NUL, at least one.
  bool number = !key.text.empty() && key.text.front() != '\0';
  for (char c : key.text) {
    if (c == '\0') break;
    if (c < '0' || c > '9') {
      number = false;
      break;
    }
  }
  key.number = number;
  key.timed = timed;
  key.added = added;
  key.modified = modified;
  return key;
}

// Both loops run without branches, so the compiler does them many bytes at a time.
std::string FoldAsciiLetters(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    auto u = static_cast<unsigned char>(c);
    c = static_cast<char>(u + (static_cast<unsigned char>(u - 'A') < 26 ? 'a' - 'A' : 0));
  }
  return out;
}

namespace {
bool AllAscii(std::string_view text) {
  unsigned char any = 0;
  for (char c : text) any |= static_cast<unsigned char>(c);
  return any < 0x80;
}

int CompareTexts(std::string_view a, std::string_view foldedA, bool asciiA, std::string_view b,
                 std::string_view foldedB, bool asciiB) {
  return asciiA && asciiB ? foldedA.compare(foldedB) : CompareNoCase(a, b);
}
}  // namespace

void AttachFolded(SortKey& key, std::string_view textFolded, std::string_view nameFolded) {
  key.textAscii = textFolded.size() == key.text.size() && AllAscii(key.text);
  key.textFolded = key.textAscii ? textFolded : std::string_view();
  bool sameText = key.name.data() == key.text.data() && key.name.size() == key.text.size();
  key.nameAscii = nameFolded.size() == key.name.size() && (sameText ? key.textAscii : AllAscii(key.name));
  key.nameFolded = key.nameAscii ? nameFolded : std::string_view();
}

int CompareSortKeys(const SortKey& a, const SortKey& b, SortRule rule, int direction) {
  auto sign = [](auto x, auto y) { return x < y ? -1 : x > y ? 1 : 0; };
  if (a.number && b.number) {
    // Compared as digit strings, so numbers of any length keep their order.
    std::string_view x = a.text, y = b.text;
    while (x.size() > 1 && x.front() == '0') x.remove_prefix(1);
    while (y.size() > 1 && y.front() == '0') y.remove_prefix(1);
    int c = x.size() != y.size() ? sign(x.size(), y.size()) : sign(x.compare(y), 0);
    return c * direction;
  }
  bool times = a.timed && b.timed;
  if (rule == SortRule::Added) return times ? sign(a.added, b.added) * direction : 0;
  if (rule == SortRule::Modified) return times ? sign(a.modified, b.modified) * direction : 0;
  if (rule == SortRule::LengthFirst && a.text.size() != b.text.size()) return sign(a.text.size(), b.text.size()) * direction;
  int c = CompareTexts(a.text, a.textFolded, a.textAscii, b.text, b.textFolded, b.textAscii);
  if (c == 0) c = CompareTexts(a.name, a.nameFolded, a.nameAscii, b.name, b.nameFolded, b.nameAscii);
  return sign(c, 0) * direction;
}

int CompareSortRows(const SortRow& a, const SortRow& b, std::string_view columnName, int direction) {
  SortKey x = MakeSortKey(a.text, a.name, true, a.added, a.modified);
  SortKey y = MakeSortKey(b.text, b.name, true, b.added, b.modified);
  return CompareSortKeys(x, y, SortRuleOf(columnName), direction);
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
uint64_t RowSeconds(const PidlItem& row) { return IsTrackKind(row.Kind()) ? row.TrackU32(offsetof(_AUDIODATA, length)) : 0; }

}  // namespace hub
