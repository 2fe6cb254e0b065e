// What the item list shows and how it orders rows: the cell text of a row
// by its kind and column, the comparison of two rows, and the status texts.
// The view (shell_view.cpp) feeds these from its list; tests call them alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "shell/namespace/pidl_access.h"
#include "shell/namespace/shell_ext_routines.h"

namespace hub {

// The folder a row is shown in.
struct RowFolder {
  uint32_t kind = 0;  // 0: the namespace root
  uint32_t key = 0;
};

// The text of column `columnId` for the row (column 0: the row's display
// text). Device questions (playlist counts and names) go to TheClient() and
// may throw its failures.
std::string CellText(const PidlItem& row, int columnId, const RowFolder& folder,
                     const UserLocale& locale = EnvironmentLocale());

// Writes `text` into a buffer of `capacity` bytes, terminated, cut on a UTF-8
// character boundary when it does not fit.
void CopyCellText(std::string_view text, char* buffer, size_t capacity);

// --- Sorting

// The texts the comparison reads are cut to this many bytes.
inline constexpr size_t kSortTextLimit = 256;

// Rows that stay on top in both directions: -1 when only `a` is pinned, +1
// when only `b` is; nothing when neither rule separates them (both pinned by
// the same rule go on to the next rule, so the order stays consistent).
std::optional<int> ComparePinnedRows(std::string_view a, std::string_view b);
// The same, in two steps for a sort that reads each row once: the pin marks a
// text holds, then the comparison of two rows' marks.
uint8_t PinnedMarks(std::string_view text);
std::optional<int> ComparePinnedMarks(uint8_t a, uint8_t b);

// Whether the folder's own order (CompareIDs(99)) decides.
bool UsesFolderOrder(const RowFolder& folder, int sortColumnId, uint32_t kindA, uint32_t kindB);

struct SortRow {
  std::string text;   // the sort column's text
  std::string name;   // column 0's text (ties)
  uint32_t added = 0;
  uint32_t modified = 0;
};
// Rules 4 and 5: numbers, times, text lengths, then texts without case, ties by column 0.
int CompareSortRows(const SortRow& a, const SortRow& b, std::string_view columnName, int direction);

// The same comparison for a sort that prepares each row once: what the
// column's name decides is found once per sort, whether a text is a number
// once per row. The texts are views: the caller keeps them.
enum class SortRule : uint8_t { Text, Added, Modified, LengthFirst };
SortRule SortRuleOf(std::string_view columnName);
struct SortKey {
  std::string_view text;  // the view cuts it to kSortTextLimit
  std::string_view name;
  bool number = false;    // the text is a number (IsNumber)
  bool timed = true;      // has times; between a timed and an untimed row both count as 0
  uint32_t added = 0;
  uint32_t modified = 0;
  // FoldAsciiLetters of text and name when each is all ASCII (AttachFolded);
  // two such texts compare as bytes, others through CompareNoCase.
  std::string_view textFolded;
  std::string_view nameFolded;
  bool textAscii = false;
  bool nameAscii = false;
};
// The key of a row with these texts.
SortKey MakeSortKey(std::string_view text, std::string_view name, bool timed, uint32_t added, uint32_t modified);
// Lowers ASCII letters and keeps every other byte, so the length stays: for
// texts of ASCII only, the byte order of the results is CompareNoCase's order.
// A sort folds its columns once instead of folding at every comparison.
std::string FoldAsciiLetters(std::string_view text);
// Gives the key its texts folded (views of the same length as text and name,
// kept by the caller); texts that are not all ASCII keep comparing by CompareNoCase.
void AttachFolded(SortKey& key, std::string_view textFolded, std::string_view nameFolded);
int CompareSortKeys(const SortKey& a, const SortKey& b, SortRule rule, int direction);

// --- Status texts

// "%d match%s." / "%d item%s.".
std::string MatchCountText(int count);
std::string ItemCountText(int count);
// "%s file%s (%s MB). %s MB free." and, with a length, "... (%s MB, hh:mm:ss). ...".
std::string FolderFilesText(int files, uint64_t sizeKB, std::optional<uint64_t> seconds, uint64_t freeKB,
                            const UserLocale& locale = EnvironmentLocale());
// "%s file%s selected (%s MB)." or "... (%s MB, hh:mm:ss).".
std::string SelectionText(int files, uint64_t sizeKB, std::optional<uint64_t> seconds,
                          const UserLocale& locale = EnvironmentLocale());
// "Playing (%d:%02d/%d:%02d)  %s".
std::string PlayingText(int elapsedSeconds, int lengthSeconds, std::string_view title);

// The KB a row adds to a summary: its size field in KB, and its length.
uint64_t RowSizeKB(const PidlItem& row);
uint64_t RowSeconds(const PidlItem& row);

}  // namespace hub
