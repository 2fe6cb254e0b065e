// What the Transfer Manager's pages do to their rows, apart from any window:
// removing and moving rows, the tag commands on one record, the merge that
// prepares the tag editor for several rows, the playlist page's rows, and
// the sheet's sizing. The pages call these; tests call them directly.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/records.h"
#include "platform/ui/ui_types.h"
#include "shell/transfer/path_expansion.h"

namespace hub {

// Field codes of the copy and swap commands.
enum TrackField : int {
  kFieldArtist = 0,
  kFieldAlbum = 1,
  kFieldTrackNumber = 2,
  kFieldTitle = 3,
  kFieldYear = 4,
  kFieldGenre = 5,
  kFieldComment = 6,
  kTrackFieldCount = 7,
};
inline constexpr uint32_t FieldBit(int field) { return 1u << field; }

// 0 when the records agree in path, size, the flag after the path, artist,
// album, track number, title, length, bitrate, format, year, genre and
// comment; -1 as soon as one differs.
int TrackRecordsDiffer(const _AUDIODATA& a, const _AUDIODATA& b);
// Copies a field into another (numbers as decimal text, text as a number);
// false for an unknown field code.
bool CopyTrackField(int from, int to, _AUDIODATA& record);
bool SwapTrackFields(int a, int b, _AUDIODATA& record);
void PrependArtistToTitle(_AUDIODATA& record);
void PrependTrackNumberToTitle(_AUDIODATA& record);

// The editor's start over several rows: fields on which every row agrees are
// checked and hold the value; the others are unchecked and empty.
struct TagEditMerge {
  _AUDIODATA record;
  uint32_t checked = 0;  // FieldBit(...) of the seven fields
};
TagEditMerge MergeForTagEdit(const std::vector<const _AUDIODATA*>& rows);
// The editor's answer into one row: each checked field; artist, album, title
// and genre only when not empty.
void ApplyTagEdit(const _AUDIODATA& edited, uint32_t checked, _AUDIODATA& row);

// Removes the rows at `indexes` (any order, repeats ignored), keeping the order of the rest.
template <class T>
void RemoveRows(std::vector<T>& rows, std::vector<int> indexes) {
  std::sort(indexes.begin(), indexes.end());
  indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
  for (auto it = indexes.rbegin(); it != indexes.rend(); ++it)
    if (*it >= 0 && static_cast<size_t>(*it) < rows.size()) rows.erase(rows.begin() + *it);
}

// A drop of row `from` on row `to`: the row moves to just before `to`;
// a drop on itself or on the row below it changes nothing. True when it moved.
template <class T>
bool MoveRow(std::vector<T>& rows, int from, int to) {
  int n = static_cast<int>(rows.size());
  if (from < 0 || from >= n || to < 0 || to >= n || to == from || to == from + 1) return false;
  T moving = std::move(rows[from]);
  rows.erase(rows.begin() + from);
  rows.insert(rows.begin() + (from < to ? to - 1 : to), std::move(moving));
  return true;
}

// The row to keep in view when the list is filled again: the last visible
// one, but at most the second last row; -1 when there is none to scroll to.
int RowToKeepVisible(int topIndex, int rowsPerPage, int rowCount);

// One row of the playlist page: the shown name (one trailing separator
// dropped) and the number of non-empty paths.
struct PlaylistSourceRow {
  std::string name;
  int count = 0;
};
std::vector<PlaylistSourceRow> PlaylistSourceRows(const TransferGroups& sources);
// Removes every source whose shown name is not in `checked`.
void PruneUncheckedSources(TransferGroups& sources, const std::vector<std::string>& checked);

// The sheet's sizing: the tab control and the page area grow with the
// client area, buttons move with its lower right corner.
struct SheetChild {
  platform::ui::Rect rect;
  bool button = false;
};
void ResizeSheetChildren(const platform::ui::Rect& oldClient, const platform::ui::Rect& newClient,
                         platform::ui::Rect& tab, std::vector<SheetChild>& children);

}  // namespace hub
