// The playlist-to-go builder's list: files in transfer order, fitted into the
// player's memory segments in that order, with the orderings, moves and the
// M3U file the dialog offers. No user interface here.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hub {

// The C library's generator the builder seeds with the tick count.
class RoamdeckRandom {
 public:
  explicit RoamdeckRandom(uint32_t seed) : state_(seed) {}
  // 0..32767.
  int Next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
  }
  // An index below `count` from the next value.
  size_t Index(size_t count) { return static_cast<size_t>(Next() * (1.0 / 32768) * static_cast<double>(count)); }

 private:
  uint32_t state_;
};

struct RoamdeckFit {
  std::vector<uint32_t> segmentOf;  // parallel to the files kept
  std::vector<int32_t> remainingKB;  // per segment
  int dropped = 0;                   // files taken out of the list
};

// A file's length in bytes; nothing when it cannot be opened.
using FileSizeReader = std::function<std::optional<uint64_t>(const std::string& path)>;
std::optional<uint64_t> FileSizeOnDisk(const std::string& path);

// Walks the files in order with one segment cursor that never moves back:
// each takes its size in KB (rounded down) from the first segment at or after
// the cursor that still has room. A file that fits no segment ends the list
// there; a file that can no longer be opened is left out alone. Both kinds
// are removed from `files` and counted.
RoamdeckFit FitFilesToSegments(std::vector<std::string>& files, const std::vector<uint32_t>& capacityKB,
                               const FileSizeReader& sizeOf);

// "#" of each file: 1, 2, ... restarting whenever the segment changes.
std::vector<int> NumberWithinSegments(const std::vector<uint32_t>& segmentOf);
std::string RoamdeckSummary(size_t files, uint64_t totalKB);

// Up to 100 candidates in random order, none twice; the picked ones leave `candidates`.
std::vector<std::string> PickRandomFiles(std::vector<std::string>& candidates, RoamdeckRandom& random);
// As many passes as there are files, each swapping two random entries.
void ShuffleFiles(std::vector<std::string>& files, RoamdeckRandom& random);
// Ascending by full path without regard to case.
void SortFiles(std::vector<std::string>& files);
// Removes the rows, highest first.
void DeleteRows(std::vector<std::string>& files, std::vector<int> rows);

enum class MoveResult { Moved, NotMoved, Nothing };
// Drag of row `source` onto row `target` (-1: no row under the pointer).
MoveResult MoveRow(std::vector<std::string>& files, int source, int target);

// "#EXTM3U" and every path, each line ending in CR LF; written whole or not at all.
bool WriteRoamdeckM3u(const std::string& path, const std::vector<std::string>& files);

}  // namespace hub
