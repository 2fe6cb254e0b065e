// Sorting id arrays by what the device answers for each id. Every record or
// name is fetched once up front, and the sort is stable: the track comparison
// is not transitive across albums (its empty-key rule), so a sort that relies
// on a strict order could run past the array.
#include "common/sortable_id_array.h"

#include <algorithm>
#include <exception>
#include <numeric>
#include <random>
#include <string>

#include "common/kernel_device.h"
#include "common/track_compare.h"

namespace hub {
namespace {

// Orders `ids` by values fetched once each; `keep` drops values on the way, so
// the ids are copied once whatever is dropped.
template <typename Value, typename Fetch, typename Less, typename Keep>
void SortBy(std::vector<KernelId>& ids, Fetch fetch, Less less, Keep keep) {
  std::vector<Value> values;
  values.reserve(ids.size());
  for (const KernelId& id : ids) values.push_back(fetch(id));
  std::vector<size_t> order(ids.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return less(values[a], values[b]); });
  std::vector<KernelId> sorted;
  sorted.reserve(ids.size());
  for (size_t i : order) {
    if (keep(values[i])) sorted.push_back(ids[i]);
  }
  ids.swap(sorted);
}

template <typename Value, typename Fetch, typename Less>
void SortBy(std::vector<KernelId>& ids, Fetch fetch, Less less) {
  SortBy<Value>(ids, fetch, less, [](const Value&) { return true; });
}

}  // namespace

void SortableKernelIdArray::Sort(int key) { SortTracks(key, false); }

void SortableKernelIdArray::SortUnlocked(int key) { SortTracks(key, true); }

void SortableKernelIdArray::SortTracks(int key, bool dropLocked) {
  if (!device_ || (size() < 2 && !dropLocked)) return;
  KernelDevice& device = *device_;
  std::vector<int> keys;
  if (key >= 0) keys.push_back(key);
  _AUDIODATA record;
  SortBy<TrackSortKey>(
      *this,
      [&](const KernelId& id) {
        record.Init();  // a device may leave the record as it was for an id it does not know
        try {
          device.GetTrackInfo(id, record);
        } catch (const std::exception&) {
          record.Init();
        }
        return TrackSortKey::Of(record);
      },
      [&](const TrackSortKey& a, const TrackSortKey& b) { return CompareTrackKeys(a, b, keys) < 0; },
      [&](const TrackSortKey& k) { return !dropLocked || k.locked == 0; });
}

void SortableKernelIdArray::SortByKeyWord(int direction) {
  std::stable_sort(begin(), end(), [direction](const KernelId& a, const KernelId& b) {
    return direction < 0 ? a.key[0] > b.key[0] : a.key[0] < b.key[0];
  });
}

void SortableKernelIdArray::Shuffle() {
  if (empty()) return;
  // One engine a thread, seeded once: a random_device and a fresh seeding a call cost more than the shuffle.
  static thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<size_t> index(0, size() - 1);
  for (size_t round = 0; round < 5 * size(); ++round) std::swap((*this)[index(random)], (*this)[index(random)]);
}

void SortablePlaylistIdArray::SortByName() {
  KernelDevice* device = Device();
  if (!device || size() < 2) return;
  SortBy<std::string>(
      *this,
      [&](const KernelId& id) {
        try {
          return device->GetPlaylistName(id);
        } catch (const std::exception&) {
          return std::string();
        }
      },
      [](const std::string& a, const std::string& b) { return a < b; });
}

}  // namespace hub
