// Growable arrays of KernelId that sort by what the device holds for each id:
// track records (SortableKernelIdArray) or playlist names
// (SortablePlaylistIdArray). Neither owns the device.
#pragma once

#include <vector>

#include "common/records.h"

namespace hub {

class KernelDevice;

class SortableKernelIdArray : public std::vector<KernelId> {
 public:
  explicit SortableKernelIdArray(KernelDevice* device = nullptr) : device_(device) {}
  virtual ~SortableKernelIdArray() = default;

  KernelDevice* Device() const { return device_; }
  void SetDevice(KernelDevice* device) { device_ = device; }

  // Sorts by the device's track records on `key` first, then every other key
  // (a negative key: album order by track number first). Each record is
  // fetched once; a record that cannot be fetched sorts as an empty one. The
  // sort is stable, so it stays sound whatever the comparison answers.
  void Sort(int key);
  // Sort, leaving out locked tracks, from the same single fetch of each record.
  void SortUnlocked(int key);
  // Orders by the first key word (unsigned), ascending for +1, descending for -1.
  void SortByKeyWord(int direction);
  // A random order: 5 x size swaps of two indexes drawn uniformly.
  void Shuffle();

 private:
  void SortTracks(int key, bool dropLocked);
  KernelDevice* device_;
};

class SortablePlaylistIdArray : public SortableKernelIdArray {
 public:
  using SortableKernelIdArray::SortableKernelIdArray;

  // Sorts by playlist name, case-sensitively; a name that cannot be fetched
  // sorts as the empty name.
  void SortByName();
};

}  // namespace hub
