// Order changes of a playlist's item array (track ids, duplicates allowed):
// moving a block, shuffling, and removing named positions.
#pragma once

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace hub {

// Moves `count` items starting at `first` so that they stand before the item
// that was at `target`. False, with nothing changed, unless 0 <= first < n,
// 0 <= target < n and count >= 1; a block running past the end is cut there.
// A target inside the block leaves the order as it is.
bool MovePlaylistBlock(std::vector<uint32_t>& items, int first, int target, int count);

// 5 x n random swaps, each index drawn uniformly from [0, n).
void ShufflePlaylistItems(std::vector<uint32_t>& items, std::mt19937& generator);

// Removes every item whose (track id, position) pair is named, once each,
// judged by the positions before any removal.
void RemovePlaylistPositions(std::vector<uint32_t>& items, const std::vector<std::pair<uint32_t, int>>& named);

}  // namespace hub
