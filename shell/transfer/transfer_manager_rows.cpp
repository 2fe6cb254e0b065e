// The Transfer Manager's row work.
#include "shell/transfer/transfer_manager_rows.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "common/text.h"

namespace hub {

namespace {

KernelTextField* TextField(int field, _AUDIODATA& r) {
  switch (field) {
    case kFieldArtist: return &r.artist;
    case kFieldAlbum: return &r.album;
    case kFieldTitle: return &r.title;
    case kFieldGenre: return &r.genre;
    case kFieldComment: return &r.comment;
    default: return nullptr;
  }
}

uint32_t* NumberField(int field, _AUDIODATA& r) {
  if (field == kFieldTrackNumber) return &r.trackNumber;
  if (field == kFieldYear) return &r.year;
  return nullptr;
}

bool KnownField(int field) { return field >= 0 && field < kTrackFieldCount; }

std::string FieldText(int field, const _AUDIODATA& record) {
  auto& r = const_cast<_AUDIODATA&>(record);  // only read
  if (KernelTextField* t = TextField(field, r)) return t->str();
  return std::to_string(*NumberField(field, r));
}

void SetFieldText(int field, _AUDIODATA& r, std::string_view text) {
  if (KernelTextField* t = TextField(field, r)) t->Set(text);
  else *NumberField(field, r) = static_cast<uint32_t>(std::strtoul(std::string(text).c_str(), nullptr, 10));
}

bool FieldsAgree(int field, const _AUDIODATA& a, const _AUDIODATA& b) { return FieldText(field, a) == FieldText(field, b); }

std::string WithoutTrailingSeparator(std::string_view name) {
  if (!name.empty() && (name.back() == '\\' || name.back() == '/')) name.remove_suffix(1);
  return std::string(name);
}

}  // namespace

int TrackRecordsDiffer(const _AUDIODATA& a, const _AUDIODATA& b) {
  bool same = a.path.Get() == b.path.Get() && a.size == b.size && a.locked == b.locked &&
              a.artist.Get() == b.artist.Get() && a.album.Get() == b.album.Get() && a.trackNumber == b.trackNumber &&
              a.title.Get() == b.title.Get() && a.length == b.length && a.bitrate == b.bitrate &&
              a.fileType == b.fileType && a.year == b.year && a.genre.Get() == b.genre.Get() &&
              a.comment.Get() == b.comment.Get();
  return same ? 0 : -1;
}

bool CopyTrackField(int from, int to, _AUDIODATA& record) {
  if (!KnownField(from) || !KnownField(to)) return false;
  SetFieldText(to, record, FieldText(from, record));
  return true;
}

bool SwapTrackFields(int a, int b, _AUDIODATA& record) {
  if (!KnownField(a) || !KnownField(b)) return false;
  std::string first = FieldText(a, record), second = FieldText(b, record);
  SetFieldText(a, record, second);
  SetFieldText(b, record, first);
  return true;
}

void PrependArtistToTitle(_AUDIODATA& record) {
  record.title.Set(record.artist.str() + " - " + record.title.str());
}

void PrependTrackNumberToTitle(_AUDIODATA& record) {
  char number[16];
  std::snprintf(number, sizeof number, "%02u", record.trackNumber);
  record.title.Set(std::string(number) + " - " + record.title.str());
}

TagEditMerge MergeForTagEdit(const std::vector<const _AUDIODATA*>& rows) {
  TagEditMerge merge;
  if (rows.empty()) return merge;
  const _AUDIODATA& pattern = *rows.front();
  for (int field = 0; field < kTrackFieldCount; ++field) {
    bool agree = true;
    for (const _AUDIODATA* row : rows) agree = agree && FieldsAgree(field, pattern, *row);
    if (agree) {
      merge.checked |= FieldBit(field);
      SetFieldText(field, merge.record, FieldText(field, pattern));
    } else {
      SetFieldText(field, merge.record, "");
    }
  }
  return merge;
}

void ApplyTagEdit(const _AUDIODATA& edited, uint32_t checked, _AUDIODATA& row) {
  for (int field = 0; field < kTrackFieldCount; ++field) {
    if (!(checked & FieldBit(field))) continue;
    bool keepsEmpty = field == kFieldTrackNumber || field == kFieldYear || field == kFieldComment;
    std::string value = FieldText(field, edited);
    if (keepsEmpty || !value.empty()) SetFieldText(field, row, value);
  }
}

int RowToKeepVisible(int topIndex, int rowsPerPage, int rowCount) {
  int row = std::min(topIndex + rowsPerPage - 1, rowCount - 2);
  return row < 0 ? -1 : row;
}

std::vector<PlaylistSourceRow> PlaylistSourceRows(const TransferGroups& sources) {
  std::vector<PlaylistSourceRow> rows;
  for (const auto& [name, paths] : sources) {
    int count = 0;
    for (const std::string& p : paths)
      if (!TrimWhitespace(p).empty()) ++count;
    rows.push_back({WithoutTrailingSeparator(name), count});
  }
  return rows;
}

void PruneUncheckedSources(TransferGroups& sources, const std::vector<std::string>& checked) {
  std::set<std::string> keep(checked.begin(), checked.end());
  for (auto it = sources.begin(); it != sources.end();) {
    if (keep.count(WithoutTrailingSeparator(it->first))) ++it;
    else it = sources.erase(it);
  }
}

void ResizeSheetChildren(const platform::ui::Rect& oldClient, const platform::ui::Rect& newClient,
                         platform::ui::Rect& tab, std::vector<SheetChild>& children) {
  int dx = newClient.Width() - oldClient.Width();
  int dy = newClient.Height() - oldClient.Height();
  tab.right += dx;
  tab.bottom += dy;
  for (SheetChild& c : children) {
    if (c.button) {
      c.rect.left += dx;
      c.rect.right += dx;
      c.rect.top += dy;
      c.rect.bottom += dy;
    } else {
      c.rect.right += dx;
      c.rect.bottom += dy;
    }
  }
}

}  // namespace hub
