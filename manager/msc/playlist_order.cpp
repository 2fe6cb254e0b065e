// Playlist order changes, kept apart from the device so the index rules can be
// checked against the tables they come from.
#include "manager/msc/playlist_order.h"

#include <algorithm>
#include <unordered_set>

namespace hub {

bool MovePlaylistBlock(std::vector<uint32_t>& items, int first, int target, int count) {
  const int64_t n = static_cast<int64_t>(items.size());
  if (first < 0 || first >= n || target < 0 || target >= n || count < 1) return false;
  const int64_t end = std::min<int64_t>(int64_t(first) + count, n);
  auto begin = items.begin();
  if (end < target) {
    // [0,F) [E,T) [F,E) [T,n)
    std::rotate(begin + first, begin + end, begin + target);
  } else if (target < first) {
    // [0,T) [F,E) [T,F) [E,n)
    std::rotate(begin + target, begin + first, begin + end);
  }
  return true;
}

void ShufflePlaylistItems(std::vector<uint32_t>& items, std::mt19937& generator) {
  if (items.size() < 2) return;
  std::uniform_int_distribution<size_t> pick(0, items.size() - 1);
  for (size_t round = 0; round < 5 * items.size(); ++round) std::swap(items[pick(generator)], items[pick(generator)]);
}

void RemovePlaylistPositions(std::vector<uint32_t>& items, const std::vector<std::pair<uint32_t, int>>& named) {
  std::unordered_set<uint64_t> wanted;
  for (const auto& [track, position] : named) {
    if (position >= 0) wanted.insert(uint64_t(uint32_t(position)) << 32 | track);
  }
  std::vector<uint32_t> kept;
  kept.reserve(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    if (!wanted.count(uint64_t(i) << 32 | items[i])) kept.push_back(items[i]);
  }
  items.swap(kept);
}

}  // namespace hub
