// BuildPidl: makes the item records of a listing. The enumerator owns one
// PidlRecordList; each record comes from the shell allocator and belongs to
// the list once appended (before that, to the builder, so a device failure
// half-way leaks nothing).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "shell/namespace/pidl_routines.h"

namespace hub {

class PidlRecordList {
 public:
  PidlRecordList() = default;
  ~PidlRecordList();
  PidlRecordList(const PidlRecordList&) = delete;
  PidlRecordList& operator=(const PidlRecordList&) = delete;

  // Builds one record and appends it; returns it (owned by the list), or null
  // when the allocator has no memory. `extra` is the per-kind number (a
  // count, or the queue position); `track` the caller's filled record for an
  // ItemTrack on a device with tag support (else null: the device is asked).
  // A device failure (KernelDeviceClientException) propagates and appends nothing.
  LPCITEMIDLIST BuildPidl(uint32_t kind, const KernelId& id, uint32_t position, std::string_view name,
                          uint32_t extra, const _AUDIODATA* track, std::string_view text);

  size_t size() const { return records_.size(); }
  LPCITEMIDLIST operator[](size_t i) const { return records_[i]; }
  // Hands the records from `first` on to the caller (each a block of the
  // shell allocator, freed by the caller), frees those before it and leaves
  // the list empty.
  std::vector<LPITEMIDLIST> TakeFrom(size_t first);

 private:
  ShellMalloc malloc_;
  std::vector<LPITEMIDLIST> records_;
  // JB_TrackDisplayFormat, read at the list's first track: a listing of
  // thousands of tracks reads the setting once.
  std::optional<std::string> trackFormat_;
};

// A track's name in the listing: the JB_TrackDisplayFormat pattern (empty:
// "%A - %L - %N - %T") filled in one pass, so text that a tag brings in is
// never read as a code. Cut to the 256 bytes of the name field by the caller.
std::string TrackDisplayName(std::string_view format, const _AUDIODATA& track);

}  // namespace hub
