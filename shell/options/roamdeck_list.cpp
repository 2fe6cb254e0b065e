// The playlist-to-go builder's list operations.
#include "shell/options/roamdeck_list.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "common/atomic_file.h"
#include "common/text.h"

namespace hub {

std::optional<uint64_t> FileSizeOnDisk(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  if (!ok) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

RoamdeckFit FitFilesToSegments(std::vector<std::string>& files, const std::vector<uint32_t>& capacityKB,
                               const FileSizeReader& sizeOf) {
  RoamdeckFit fit;
  for (uint32_t c : capacityKB) fit.remainingKB.push_back(static_cast<int32_t>(c));
  std::vector<std::string> kept;
  size_t cursor = 0;
  size_t i = 0;
  for (; i < files.size(); ++i) {
    std::optional<uint64_t> bytes = sizeOf(files[i]);
    if (!bytes) {
      ++fit.dropped;  // gone since it was added: it fits nowhere, the others still may
      continue;
    }
    int64_t kb = static_cast<int64_t>(*bytes / 1024);
    while (cursor < fit.remainingKB.size() && fit.remainingKB[cursor] - kb < 0) ++cursor;
    if (cursor >= fit.remainingKB.size()) break;
    fit.remainingKB[cursor] = static_cast<int32_t>(fit.remainingKB[cursor] - kb);
    fit.segmentOf.push_back(static_cast<uint32_t>(cursor));
    kept.push_back(std::move(files[i]));
  }
  fit.dropped += static_cast<int>(files.size() - i);
  files = std::move(kept);
  return fit;
}

std::vector<int> NumberWithinSegments(const std::vector<uint32_t>& segmentOf) {
  std::vector<int> numbers;
  int n = 0;
  for (size_t i = 0; i < segmentOf.size(); ++i) {
    n = (i > 0 && segmentOf[i] == segmentOf[i - 1]) ? n + 1 : 1;
    numbers.push_back(n);
  }
  return numbers;
}

std::string RoamdeckSummary(size_t files, uint64_t totalKB) {
  char text[96];
  std::snprintf(text, sizeof text, "%d track%s.  %0.2f MB.", static_cast<int>(files), files == 1 ? "" : "s",
                static_cast<double>(totalKB) * (1.0 / 1024));
  return text;
}

std::vector<std::string> PickRandomFiles(std::vector<std::string>& candidates, RoamdeckRandom& random) {
  std::vector<std::string> picked;
  for (int n = 0; n < 100 && !candidates.empty(); ++n) {
    size_t index = std::min(random.Index(candidates.size()), candidates.size() - 1);
    picked.push_back(std::move(candidates[index]));
    candidates.erase(candidates.begin() + static_cast<long>(index));
  }
  return picked;
}

void ShuffleFiles(std::vector<std::string>& files, RoamdeckRandom& random) {
  size_t count = files.size();
  for (size_t pass = 0; pass < count; ++pass) {
    size_t a = std::min(random.Index(count), count - 1);
    size_t b = std::min(random.Index(count), count - 1);
    std::swap(files[a], files[b]);
  }
}

void SortFiles(std::vector<std::string>& files) {
  std::stable_sort(files.begin(), files.end(),
                   [](const std::string& a, const std::string& b) { return FoldCase(a) < FoldCase(b); });
}

void DeleteRows(std::vector<std::string>& files, std::vector<int> rows) {
  std::sort(rows.rbegin(), rows.rend());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (int r : rows)
    if (r >= 0 && static_cast<size_t>(r) < files.size()) files.erase(files.begin() + r);
}

MoveResult MoveRow(std::vector<std::string>& files, int source, int target) {
  if (target == source || target == source + 1) return MoveResult::NotMoved;
  int count = static_cast<int>(files.size());
  if (source < 0 || source >= count || target < 0 || target >= count) return MoveResult::Nothing;
  std::string entry = std::move(files[source]);
  files.erase(files.begin() + source);
  if (source < target) target = std::max(target - 1, 0);
  files.insert(files.begin() + target, std::move(entry));
  return MoveResult::Moved;
}

bool WriteRoamdeckM3u(const std::string& path, const std::vector<std::string>& files) {
  std::string text = "#EXTM3U\r\n";
  for (const std::string& f : files) text += f + "\r\n";
  return WriteFileAtomically(path, text);
}

}  // namespace hub
